// IBM Model 2 (Brown et al., 1993): the source position of target word j
// is drawn from a(i | j, I, J), held per sentence shape (align_table.h), so
// a link's weight in its column is t(f_j | e_i) a(i | j, I, J) and
// ln p(f_j | e) = ln sum_i t a.  A shape the table lacks reads 1/L.  Its
// E-step also collects the alignment counts c(i | j, I, J) += p(i, j) of
// the pairs with a shape.
#ifndef QAZ_ALIGN_MODELS_MODEL2_H_
#define QAZ_ALIGN_MODELS_MODEL2_H_

#include <cmath>
#include <cstdint>
#include <vector>

#include "align/models/model.h"

namespace qaz {

struct Model2Kernel {
  static constexpr ModelType kType = ModelType::kModel2;
  static constexpr bool kActive = true;
  static constexpr bool kAlign = true;
  static double Link(double t, double a) { return t * a; }
  static double LogColumn(double s, int32_t) { return std::log(s); }
  // c(i | j, I, J) += p(i, j), one addition to each count, in the block's
  // order.
  static void AddAlignCounts(double* counts, const double* post,
                             const double* inv, int32_t L, int32_t m) {
    for (int32_t j = 0; j < m; ++j) {
      if (inv[j] < 0.0) continue;
      double* cj = counts + static_cast<size_t>(j) * L;
      const double* pj = post + static_cast<size_t>(j) * L;
      for (int32_t i = 0; i < L; ++i) cj[i] += pj[i] * inv[j];
    }
  }
};

class Model2 : public KernelModel<Model2Kernel> {
 public:
  void LogExpectStep(Reporter& log) const override;
  void Maximize(TransTable* trans, AlignTable* align, bool aside,
                const Parallel* parallel, Reporter& log) const override;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_MODELS_MODEL2_H_
