// The models by type: the object of each (ModelOf) and, for the threaded
// walks, the kernel of each (WithKernel).  A new model adds its line to
// each.
#ifndef QAZ_ALIGN_MODELS_FACTORY_H_
#define QAZ_ALIGN_MODELS_FACTORY_H_

#include <stdexcept>
#include <string>
#include <utility>

#include "align/models/model.h"
#include "align/models/model1.h"
#include "align/models/model2.h"

namespace qaz {

// The model of a type; std::invalid_argument for kAbstract and the HMM
// (trained by a schedule of models/joint.h).
inline const AlignmentModel& ModelOf(ModelType type) {
  static const Model1 model1;
  static const Model2 model2;
  switch (type) {
    case ModelType::kModel1:
      return model1;
    case ModelType::kModel2:
      return model2;
    default:
      break;
  }
  throw std::invalid_argument(std::string("no alignment model of type ") +
                              ModelName(type));
}

// Calls f(K{}) with the kernel K of `type` and returns what it returns;
// std::invalid_argument for a type without a walk kernel.
template <typename F>
decltype(auto) WithKernel(ModelType type, F&& f) {
  switch (type) {
    case ModelType::kModel1:
      return std::forward<F>(f)(Model1Kernel{});
    case ModelType::kModel2:
      return std::forward<F>(f)(Model2Kernel{});
    default:
      break;
  }
  throw std::invalid_argument(std::string("no corpus walk for model ") +
                              ModelName(type));
}

}  // namespace qaz

#endif  // QAZ_ALIGN_MODELS_FACTORY_H_
