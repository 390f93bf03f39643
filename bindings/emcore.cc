// qaz.smt.align.emcore: vocabulary and corpus, the Model and Trainer bases,
// the array helpers exported to the model modules, the module constants and
// the training and scoring entry points.
//
// Load order: this module creates its classes and its native-function table
// first, then imports emlex (which imports empos).  Each model module binds
// what it needs from here when it loads, so any of the three may be imported
// first.  The drivers' names are fetched from the command module when first
// asked for.
#include <pybind11/pybind11.h>

#include "align_objects.h"
#include "common/errors.h"
#include "common/memory.h"
#include "native_api.h"
#include "py_support.h"
#include "size_binding.h"

namespace py = pybind11;
using namespace qaz_py;

namespace {

// The names of the training and scoring entries that this module exports.
constexpr const char* kDriverNames[] = {
    "create_train_parser", "check_train_config", "train_emcore", "train_model",
    "main_train", "create_score_parser", "check_test_config", "score_ibm_model",
    "score_model", "main_score"};

}  // namespace

PYBIND11_MODULE(emcore, m) {
  m.doc() =
      "IBM Model 1 and 2 word alignment: corpus vocabulary, model and trainer "
      "bases, distribution files, training and scoring drivers.";
  RegisterErrorTranslators();
  py::module_ logging = py::module_::import("qaz.common.logging");
  py::module_::import("qaz.common.progress");
  py::object logger = logging.attr("getColorLogger")(kCore);
  m.attr("logger") = logger;
  m.attr("dprint") = logger.attr("debug_print");
  m.attr("environ") = py::module_::import("os").attr("environ");

  // The module constants have one home, shared with the drivers.
  py::module_ constants = py::module_::import("qaz.smt.align._constants");
  for (const char* name : {"ITERATION_LIMIT", "THRESHOLD", "NBEST", "NULL_SYMBOL"}) {
    m.attr(name) = constants.attr(name);
  }
  if (m.attr("NULL_SYMBOL").cast<std::string>() != qaz::kNullSymbol) {
    throw std::logic_error("the NULL word of the engine and of the package differ");
  }

  BindVocabAndModel(m);
  BindTrainer(m);

  m.attr("_native_api") = MakeNativeApi();
  m.def(
      "_sub_matrix",
      [](py::handle matrix, py::handle rows, py::handle cols) {
        PyObject* r = SubMatrix(matrix.ptr(), rows.ptr(), cols.ptr());
        if (r == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(r);
      },
      "sub_matrix(matrix, rows, cols): the block matrix[rows x cols], a copy.");
  m.def(
      "_normalize",
      [](py::handle counts, py::handle axis, py::handle out) {
        PyObject* r = Normalize(counts.ptr(), Int32Arg(axis), out.ptr());
        if (r == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(r);
      },
      "normalize(counts, axis, out): out = counts / sum along axis where the "
      "sum is positive; returns out.");
  m.def(
      "_grid_indices",
      [](py::handle rows, py::handle cols) {
        PyObject* r = GridIndices(rows.ptr(), cols.ptr());
        if (r == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(r);
      },
      "grid_indices(rows, cols): (rows as a column, cols as a row), int64.");

  m.def(
      "_check_memory",
      [](int64_t bytes, const std::string& what) {
        qaz::CheckMemory(bytes, what);
      },
      "Raises MemoryError when `bytes` exceed the memory still available.");

  DefParseSize(m, "_parse_size");
  m.def("_default_memory_limit", &qaz::DefaultMemoryLimit,
        "The memory available to this process (MemAvailable or a cgroup "
        "limit, the smaller), plus what it holds; -1 when unknown.");

  py::module_::import("qaz.smt.align.emlex");

  // The training and scoring entries belong to the command module, which
  // sits above the model modules and imports them: this module names them
  // and fetches them on first use (PEP 562), so loading it never loads the
  // commands and the two never import each other.
  py::list public_names;
  for (auto item : m.attr("__dict__").cast<py::dict>()) {
    const std::string name = py::str(item.first);
    if (name.empty() || name[0] != '_') public_names.append(name);
  }
  for (const char* name : kDriverNames) public_names.append(name);
  m.attr("__all__") = public_names;
  m.attr("__getattr__") = py::cpp_function(
      [](const std::string& name) -> py::object {
        for (const char* driver : kDriverNames) {
          if (name != driver) continue;
          py::module_ self = py::module_::import(kCore);
          py::module_ drivers = py::module_::import("qaz.smt.align._drivers");
          for (const char* n : kDriverNames) self.attr(n) = drivers.attr(n);
          return self.attr(driver);
        }
        throw py::attribute_error("module '" + std::string(kCore) +
                                  "' has no attribute '" + name + "'");
      },
      py::arg("name"));
  m.attr("__dir__") = py::cpp_function([]() {
    py::module_ self = py::module_::import(kCore);
    py::list names = py::list(self.attr("__dict__"));
    for (const char* n : kDriverNames) {
      if (!names.contains(n)) names.append(n);
    }
    names.attr("sort")();
    return names;
  });
}
