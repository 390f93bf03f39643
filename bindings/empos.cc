// qaz.smt.align.empos: IBM Model 2 (Model2, Model2Trainer).
#include <pybind11/pybind11.h>

#include "align_objects.h"
#include "native_api.h"
#include "py_support.h"

namespace py = pybind11;
using namespace qaz_py;

namespace {
NativeApi g_core_api;
}  // namespace

static py::object Need(const py::module_& from, const char* name) {
  if (!py::hasattr(from, name)) {
    throw py::import_error(std::string("cannot import name '") + name +
                           "' from '" +
                           from.attr("__name__").cast<std::string>() + "'");
  }
  return from.attr(name);
}

PYBIND11_MODULE(empos, m) {
  m.doc() = "IBM Model 2: Model2 and Model2Trainer.";
  RegisterErrorTranslators();
  m.attr("np") = py::module_::import("numpy");
  py::module_ core = py::module_::import(kCore);
  for (const char* name : {"Vocab", "Model", "Trainer"}) Need(core, name);
  if (!py::hasattr(core, "_native_api")) {
    throw py::import_error(std::string(kCore) +
                           " does not export its native function table");
  }
  g_core_api = BindNativeApi(core.attr("_native_api"), kCore);
  py::module_ lex = py::module_::import(kLex);
  for (const char* name : {"Model1", "Model1Trainer"}) Need(lex, name);
  py::module_::import("qaz.common.progress");
  py::object logger =
      py::module_::import("qaz.common.logging").attr("getColorLogger")(kPos);
  m.attr("logger") = logger;
  m.attr("dprint") = logger.attr("debug_print");

  BindModel2(m);

  m.def("_bind_native_api",
        [](py::handle api) { BindNativeApi(api, kCore); },
        "Checks a native-function table the way loading does.");
  m.def("_call_native", [](const std::string& name, py::args args) {
    return CallNative(g_core_api, name, args);
  });
}
