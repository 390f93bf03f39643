#include "align/models/model.h"

namespace qaz {

double PairwiseSum(const double* x, int64_t n) {
  if (n < 8) {
    double res = 0.0;
    for (int64_t k = 0; k < n; ++k) res += x[k];
    return res;
  }
  if (n <= 128) {
    double r[8];
    for (int k = 0; k < 8; ++k) r[k] = x[k];
    int64_t k = 8;
    for (; k < n - (n % 8); k += 8) {
      for (int q = 0; q < 8; ++q) r[q] += x[k + q];
    }
    double res = ((r[0] + r[1]) + (r[2] + r[3])) + ((r[4] + r[5]) + (r[6] + r[7]));
    for (; k < n; ++k) res += x[k];
    return res;
  }
  int64_t n2 = n / 2;
  n2 -= n2 % 8;
  return PairwiseSum(x, n2) + PairwiseSum(x + n2, n - n2);
}

PairAlign PairAlignOf(const AlignTable* align, int32_t L, int32_t m,
                      std::vector<double>* uniform) {
  const AlignTable::Block* b = align ? align->PairBlock(L, m) : nullptr;
  if (b != nullptr) return PairAlign{align->values(*b), static_cast<size_t>(L)};
  uniform->assign(static_cast<size_t>(L), 1.0 / static_cast<double>(L));
  return PairAlign{uniform->data(), 0};
}

}  // namespace qaz
