// qaz.common._vocab: the script-visible face of the native string enumerator.
#include <pybind11/pybind11.h>

#include "common/string_enumerator.h"

namespace py = pybind11;

PYBIND11_MODULE(_vocab, m) {
  m.doc() = "Native string enumerator (dense ids from 0 in order of entry).";
  py::class_<qaz::StringEnumerator>(m, "StringEnumerator")
      .def(py::init<>())
      .def(
          "append",
          [](qaz::StringEnumerator& e, std::string_view s) { e.StrToId(s); },
          py::arg("s"), "Enter `s` (a known string keeps its id).")
      .def(
          "str2id",
          [](qaz::StringEnumerator& e, std::string_view s) {
            return e.StrToId(s);
          },
          py::arg("s"),
          "Id of `s`; a string seen for the first time gets the next id.")
      .def(
          "id2str",
          [](const qaz::StringEnumerator& e, int64_t id) {
            std::string_view v = e.IdToStr(id);
            return py::str(v.data(), v.size());
          },
          py::arg("id"), "Text of `id`; IndexError for an unknown id.")
      .def("__len__", &qaz::StringEnumerator::size)
      .def("__contains__",
           [](const qaz::StringEnumerator& e, std::string_view s) {
             return e.Find(s) >= 0;
           })
      .def("__repr__", [](const qaz::StringEnumerator& e) {
        return "<StringEnumerator of " + std::to_string(e.size()) +
               " entries>";
      });
}
