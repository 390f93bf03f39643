// qaz.common._memory: the engine's reading of memory sizes, for the Python
// layers that must not load the alignment modules to parse an option.
#include <pybind11/pybind11.h>

#include "size_binding.h"

PYBIND11_MODULE(_memory, m) {
  m.doc() = "The engine's reading of memory sizes.";
  DefParseSize(m, "parse_size");
}
