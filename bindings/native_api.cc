#include "native_api.h"

#include <string>

#include "py_support.h"

namespace qaz_py {

namespace {

template <typename Fn>
PyObject* Guard(Fn fn) {
  try {
    return fn().release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const py::builtin_exception& e) {
    e.set_error();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
  return nullptr;
}

py::object Numpy() { return py::module_::import("numpy"); }

py::tuple GridImpl(py::handle rows, py::handle cols) {
  py::object np = Numpy();
  py::object int64 = np.attr("int64");
  py::object r = np.attr("asarray")(rows, int64);
  py::object c = np.attr("asarray")(cols, int64);
  py::tuple grid = np.attr("meshgrid")(r, c, py::arg("sparse") = true);
  return py::make_tuple(grid[0].attr("T"), grid[1].attr("T"));
}

}  // namespace

PyObject* GridIndices(PyObject* rows, PyObject* cols) {
  return Guard([&] { return py::object(GridImpl(rows, cols)); });
}

PyObject* SubMatrix(PyObject* matrix, PyObject* rows, PyObject* cols) {
  return Guard([&]() -> py::object {
    py::handle m(matrix);
    if (!m.is_none()) {
      py::object np = Numpy();
      py::object float64 = np.attr("dtype")("float64");
      bool ok = py::isinstance(m, np.attr("ndarray")) &&
                m.attr("ndim").cast<int>() == 2 &&
                py::object(m.attr("dtype")).equal(float64);
      if (!ok) {
        throw py::type_error("sub_matrix expects a 2-D float64 array, got " +
                             std::string(Py_TYPE(matrix)->tp_name));
      }
    }
    py::tuple grid = GridImpl(rows, cols);
    return m[grid];
  });
}

PyObject* Normalize(PyObject* counts_ptr, int32_t axis, PyObject* out_ptr) {
  return Guard([&]() -> py::object {
    py::object np = Numpy();
    py::handle counts(counts_ptr), out(out_ptr);
    py::object total = np.attr("sum")(counts, py::arg("axis") = axis);
    total = np.attr("expand_dims")(total, axis);
    total = np.attr("broadcast_to")(total, counts.attr("shape"));
    py::object mask = total.attr("__gt__")(0);
    out[mask] = np.attr("true_divide")(counts[mask], total[mask]);
    return py::reinterpret_borrow<py::object>(out);
  });
}

py::dict MakeNativeApi() {
  py::dict api;
  api["sub_matrix"] = py::capsule(reinterpret_cast<void*>(&SubMatrix),
                                  kSubMatrixSig);
  api["normalize"] = py::capsule(reinterpret_cast<void*>(&Normalize),
                                 kNormalizeSig);
  api["grid_indices"] = py::capsule(reinterpret_cast<void*>(&GridIndices),
                                    kGridIndicesSig);
  return api;
}

namespace {

void* Take(py::handle api, const char* exporter, const char* name,
           const char* signature) {
  if (!PyDict_Check(api.ptr())) {
    throw py::import_error(std::string(exporter) +
                           " does not export its native function table");
  }
  PyObject* cap = PyDict_GetItemString(api.ptr(), name);
  if (cap == nullptr) {
    throw py::import_error(std::string(exporter) +
                           " does not export expected C function " + name);
  }
  if (!PyCapsule_IsValid(cap, signature)) {
    const char* got = PyCapsule_CheckExact(cap) ? PyCapsule_GetName(cap) : "?";
    PyErr_Clear();
    throw py::type_error(std::string("C function ") + exporter + "." + name +
                         " has wrong signature (expected " + signature +
                         ", got " + (got ? got : "NULL") + ")");
  }
  return PyCapsule_GetPointer(cap, signature);
}

}  // namespace

NativeApi BindNativeApi(py::handle api, const char* exporter) {
  NativeApi out;
  out.sub_matrix = reinterpret_cast<SubMatrixFn>(
      Take(api, exporter, "sub_matrix", kSubMatrixSig));
  out.normalize = reinterpret_cast<NormalizeFn>(
      Take(api, exporter, "normalize", kNormalizeSig));
  out.grid_indices = reinterpret_cast<GridIndicesFn>(
      Take(api, exporter, "grid_indices", kGridIndicesSig));
  return out;
}

py::object Need(const py::module_& from, const char* name) {
  if (!py::hasattr(from, name)) {
    throw py::import_error(std::string("cannot import name '") + name +
                           "' from '" +
                           from.attr("__name__").cast<std::string>() + "'");
  }
  return from.attr(name);
}

void LoadCoreInto(py::module_& m, const char* module_name, NativeApi* api) {
  const char* core_name = "qaz.smt.align.emcore";
  RegisterErrorTranslators();
  m.attr("np") = py::module_::import("numpy");
  py::module_ core = py::module_::import(core_name);
  for (const char* name : {"Vocab", "Model", "Trainer"}) Need(core, name);
  if (!py::hasattr(core, "_native_api")) {
    throw py::import_error(std::string(core_name) +
                           " does not export its native function table");
  }
  *api = BindNativeApi(core.attr("_native_api"), core_name);
  py::module_::import("qaz.common.progress");
  py::object logger = py::module_::import("qaz.common.logging")
                          .attr("getColorLogger")(module_name);
  m.attr("logger") = logger;
  m.attr("dprint") = logger.attr("debug_print");
  m.def("_bind_native_api",
        [core_name](py::handle table) { BindNativeApi(table, core_name); },
        "Checks a native-function table the way loading does.");
  m.def("_call_native", [api](const std::string& name, py::args args) {
    return CallNative(*api, name, args);
  });
}

py::object CallNative(const NativeApi& api, const std::string& name,
                      py::args args) {
  PyObject* result = nullptr;
  if (name == "sub_matrix" && args.size() == 3) {
    result = api.sub_matrix(args[0].ptr(), args[1].ptr(), args[2].ptr());
  } else if (name == "normalize" && args.size() == 3) {
    result = api.normalize(args[0].ptr(), Int32Arg(args[1]), args[2].ptr());
  } else if (name == "grid_indices" && args.size() == 2) {
    result = api.grid_indices(args[0].ptr(), args[1].ptr());
  } else {
    throw py::type_error("no native function " + name + " taking " +
                         std::to_string(args.size()) + " arguments");
  }
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}

}  // namespace qaz_py
