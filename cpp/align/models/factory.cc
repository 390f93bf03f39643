#include "align/models/factory.h"

#include <string>

namespace qaz {

const char* ModelName(ModelType type) {
  switch (type) {
    case ModelType::kAbstract:
      return "abstract";
    case ModelType::kModel1:
      return "1";
    case ModelType::kModel2:
      return "2";
    case ModelType::kHmm:
      return "hmm";
  }
  return "?";
}

const AlignmentModel& ModelOf(ModelType type) {
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

}  // namespace qaz
