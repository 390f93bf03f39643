// IBM Model 1 (Brown et al., 1993, "The Mathematics of Statistical Machine
// Translation: Parameter Estimation"): every source position, the NULL word
// i = 0 included, is equally likely for each target word, so a link's
// weight in its column is t(f_j | e_i) and ln p(f_j | e) = ln(sum_i t / L).
// Its only table is the translation table.
#ifndef QAZ_ALIGN_MODELS_MODEL1_H_
#define QAZ_ALIGN_MODELS_MODEL1_H_

#include <cmath>
#include <cstdint>
#include <vector>

#include "align/models/model.h"

namespace qaz {

struct Model1Kernel {
  static constexpr ModelType kType = ModelType::kModel1;
  static constexpr bool kActive = true;
  static constexpr bool kAlign = false;
  static double Link(double t, double) { return t; }
  static double LogColumn(double s, int32_t L) {
    return std::log(s / static_cast<double>(L));
  }
  static void AddAlignCounts(double*, const double*, const double*, int32_t,
                             int32_t) {}
};

class Model1 : public KernelModel<Model1Kernel> {
 public:
  void LogExpectStep(Reporter& log) const override;
  void Maximize(TransTable* trans, AlignTable* align, bool aside,
                const Parallel* parallel, Reporter& log) const override;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_MODELS_MODEL1_H_
