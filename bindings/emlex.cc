// qaz.smt.align.emlex: IBM Model 1 (Model1, Model1Trainer).
#include <pybind11/pybind11.h>

#include "align_objects.h"
#include "native_api.h"

namespace py = pybind11;
using namespace qaz_py;

namespace {
NativeApi g_core_api;
}  // namespace

PYBIND11_MODULE(emlex, m) {
  m.doc() = "IBM Model 1: Model1 and Model1Trainer.";
  LoadCoreInto(m, kLex, &g_core_api);
  BindModel1(m);
  // Model 2 binds this module's classes when it loads.
  py::module_::import(kPos);
}
