#include "align/em.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "common/errors.h"
#include <string>

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

double Model1PairEntropy(const double* t, int32_t L, int32_t m, bool average) {
  std::vector<double> logs(static_cast<size_t>(m));
  std::vector<double> col_sum(static_cast<size_t>(m), 0.0);
  for (int32_t i = 0; i < L; ++i) {
    for (int32_t j = 0; j < m; ++j) col_sum[j] += t[i * m + j];
  }
  for (int32_t j = 0; j < m; ++j) {
    logs[j] = std::log(col_sum[j] / static_cast<double>(L));
  }
  double h = -PairwiseSum(logs.data(), m);
  return average ? h / static_cast<double>(m) : h;
}

double Model2PairEntropy(const double* t, const AlignTable& align, int32_t L,
                         int32_t m, bool average) {
  std::vector<double> logs(static_cast<size_t>(m));
  const AlignTable::Block* b = align.PairBlock(L, m);
  const double uniform = 1.0 / static_cast<double>(L);
  for (int32_t j = 0; j < m; ++j) {
    const double* row = b ? align.values(*b) + static_cast<size_t>(j) * L
                          : nullptr;
    double s = 0.0;
    for (int32_t i = 0; i < L; ++i) {
      s += (row ? row[i] : uniform) * t[i * m + j];
    }
    logs[j] = std::log(s);
  }
  double h = -PairwiseSum(logs.data(), m);
  return average ? h / static_cast<double>(m) : h;
}

void DecodePair(const double* t, const AlignTable& align, int32_t L,
                int32_t m, std::vector<int32_t>* best) {
  best->assign(static_cast<size_t>(m), 0);
  if (!HasShape(L, m)) return;
  align.CheckShape(L, m);
  const AlignTable::Block* b = align.Find(L - 1, m);
  const double uniform = 1.0 / static_cast<double>(L);
  for (int32_t j = 0; j < m; ++j) {
    const double* row = b ? align.values(*b) + static_cast<size_t>(j) * L
                          : nullptr;
    double top = -std::numeric_limits<double>::infinity();
    int32_t arg = 0;
    for (int32_t i = 0; i < L; ++i) {
      double v = (row ? row[i] : uniform) * t[i * m + j];
      if (v > top) {
        top = v;
        arg = i;
      }
    }
    (*best)[j] = arg;
  }
}

}  // namespace qaz
