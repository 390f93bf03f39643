// The array helpers that emcore exports to the model modules as native
// functions, looked up by name with their signature text checked at load.
#ifndef QAZ_BINDINGS_NATIVE_API_H_
#define QAZ_BINDINGS_NATIVE_API_H_

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstdint>

namespace qaz_py {

namespace py = pybind11;

using SubMatrixFn = PyObject* (*)(PyObject*, PyObject*, PyObject*);
using NormalizeFn = PyObject* (*)(PyObject*, int32_t, PyObject*);
using GridIndicesFn = PyObject* (*)(PyObject*, PyObject*);

inline constexpr const char* kSubMatrixSig =
    "PyObject *(PyArrayObject *, PyObject *, PyObject *)";
inline constexpr const char* kNormalizeSig =
    "PyObject *(PyArrayObject *, int32_t, PyArrayObject *)";
inline constexpr const char* kGridIndicesSig =
    "PyObject *(PyObject *, PyObject *)";

struct NativeApi {
  SubMatrixFn sub_matrix = nullptr;
  NormalizeFn normalize = nullptr;
  GridIndicesFn grid_indices = nullptr;
};

// emcore's implementations (new reference, or nullptr with an error set).
PyObject* SubMatrix(PyObject* matrix, PyObject* rows, PyObject* cols);
PyObject* Normalize(PyObject* counts, int32_t axis, PyObject* out);
PyObject* GridIndices(PyObject* rows, PyObject* cols);

// The name -> capsule table emcore publishes as `_native_api`.
py::dict MakeNativeApi();

// Binds the three functions from `api` (ImportError naming a missing one,
// TypeError for another signature).
NativeApi BindNativeApi(py::handle api, const char* exporter);

// What a model module does first when it loads: imports numpy (as `np`) and
// emcore, binds emcore's classes and native functions into `api`, sets the
// module's `logger` and `dprint`, and registers the error translations.
// ImportError / TypeError when emcore lacks a name or a signature differs.
void LoadCoreInto(py::module_& m, const char* module_name, NativeApi* api);

// Looks up `name` on a loaded module; ImportError naming both if absent.
py::object Need(const py::module_& from, const char* name);

// Calls one bound function by name (the model modules' test surface).
py::object CallNative(const NativeApi& api, const std::string& name,
                      py::args args);

}  // namespace qaz_py

#endif  // QAZ_BINDINGS_NATIVE_API_H_
