#include "common/errors.h"

#include <string>

namespace qaz {

void ThrowOutOfBounds(int64_t index, int axis, int64_t size) {
  throw std::out_of_range("index " + std::to_string(index) +
                          " is out of bounds for axis " +
                          std::to_string(axis) + " with size " +
                          std::to_string(size));
}

}  // namespace qaz
