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

PYBIND11_MODULE(empos, m) {
  m.doc() = "IBM Model 2: Model2 and Model2Trainer.";
  LoadCoreInto(m, kPos, &g_core_api);
  py::module_ lex = py::module_::import(kLex);
  for (const char* name : {"Model1", "Model1Trainer"}) Need(lex, name);
  BindModel2(m);
  // The training command's Model 1 then Model 2 schedule in one call.
  py::object trainer = m.attr("Model2Trainer");
  trainer.attr("_train_schedule") = py::cpp_function(
      [](Model2TrainerObj& t, py::handle iterations, bool keep_final_walk) {
        t.TrainSchedule(Int32Arg(iterations), keep_final_walk);
      },
      py::name("_train_schedule"), py::is_method(trainer),
      py::arg("iterations"), py::arg("keep_final_walk") = false);
}
