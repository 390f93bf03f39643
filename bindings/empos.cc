// qaz.smt.align.empos: IBM Model 2 (Model2, Model2Trainer).
#include <pybind11/pybind11.h>

#include "align_objects.h"
#include "native_api.h"

namespace py = pybind11;
using namespace qaz_py;

namespace {
NativeApi g_core_api;
}  // namespace

PYBIND11_MODULE(empos, m) {
  m.doc() = "IBM Model 2: Model2 and Model2Trainer.";
  LoadCoreInto(m, kPos, &g_core_api);
  py::module_ lex = py::module_::import(kLex);
  for (const char* name : {"Model1", "Model1Trainer"}) Need(lex, name);
  BindModel2(m);
}
