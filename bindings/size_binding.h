// The engine's size parser as a module function; bound by qaz.common._memory
// (for the commands) and by emcore (its script API).
#ifndef QAZ_BINDINGS_SIZE_BINDING_H_
#define QAZ_BINDINGS_SIZE_BINDING_H_

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "common/memory.h"

inline void DefParseSize(pybind11::module_& m, const char* name) {
  m.def(
      name,
      [](const std::string& text, bool whole_number) -> pybind11::object {
        std::optional<int64_t> bytes = qaz::ParseSize(
            text, whole_number ? qaz::SizeForm::kWholeNumber : qaz::SizeForm::kAny);
        if (!bytes) return pybind11::none();
        return pybind11::int_(*bytes);
      },
      pybind11::arg("text"), pybind11::arg("whole_number") = false,
      "A byte count from text such as 320M or 1.5G (K, M, G: powers of 1024; "
      "with whole_number only digits and the unit), or None when the text is "
      "not a positive size of that form.");
}

#endif  // QAZ_BINDINGS_SIZE_BINDING_H_
