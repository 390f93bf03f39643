// qaz.common._memory: the engine's reading of memory sizes, for the Python
// layers that must not load the alignment modules to parse an option.
#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "common/memory.h"

namespace py = pybind11;

PYBIND11_MODULE(_memory, m) {
  m.doc() = "The engine's reading of memory sizes.";
  m.def(
      "parse_size",
      [](const std::string& text, bool whole_number) -> py::object {
        std::optional<int64_t> bytes = qaz::ParseSize(
            text, whole_number ? qaz::SizeForm::kWholeNumber : qaz::SizeForm::kAny);
        if (!bytes) return py::none();
        return py::int_(*bytes);
      },
      py::arg("text"), py::arg("whole_number") = false,
      "A byte count from text such as 320M or 1.5G (K, M, G: powers of 1024; "
      "with whole_number only digits and the unit), or None when the text is "
      "not a positive size of that form.");
}
