#include "align/dense.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/float_format.h"

namespace qaz {

void CheckDenseSize(double elements, const std::string& what) {
  if (elements * 8.0 > kMaxDenseBytes) {
    throw std::length_error("the dense form of " + what +
                            " would take " +
                            Thousands(static_cast<long long>(elements * 8)) +
                            " bytes");
  }
}

void DenseTrans(const TransTable& table, bool counts, double* out) {
  const int64_t T = table.T();
  for (int32_t s = 0; s < table.S(); ++s) {
    double* row = out + s * T;
    std::fill(row, row + T, counts ? 0.0 : table.row_default(s));
    for (uint64_t k = table.row_begin(s); k < table.row_end(s); ++k) {
      const TransCell& cell = table.cells()[k];
      row[table.cols()[k]] = counts ? cell.c : cell.p;
    }
  }
}

void DenseAlign(const AlignTable& align, bool counts, double* out) {
  const int64_t A = align.A(), B = align.B();
  auto at = [&](int64_t u, int64_t v, int64_t j) {
    return out + ((u * B + v) * B + j) * A;
  };
  for (int64_t u = 0; u < A - 1; ++u) {
    const double uniform = counts ? 0.0 : 1.0 / static_cast<double>(u + 2);
    std::fill(at(u, 0, 0), at(u, 0, 0) + B * B * A, uniform);
  }
  for (const AlignTable::Block& b : align.blocks()) {
    if (b.I + 1 > A || b.J > B) continue;
    const int32_t L = b.I + 1;
    const double* vals = counts ? align.counts(b) : align.values(b);
    for (int32_t j = 0; j < b.J; ++j) {
      double* row = at(b.I - 1, b.J - 1, j);
      for (int64_t i = 0; i < A; ++i) {
        row[i] = i < L ? vals[j * L + i] : (counts ? 0.0 : align.padding(b)[j]);
      }
    }
  }
}

std::shared_ptr<TransTable> TransFromDense(const double* data, int32_t S,
                                           int32_t T) {
  auto table = std::make_shared<TransTable>(S, T);
  std::vector<double> sorted;
  std::vector<std::pair<int32_t, double>> cells;
  for (int32_t s = 0; s < S; ++s) {
    const double* row = data + static_cast<int64_t>(s) * T;
    sorted.assign(row, row + T);
    std::sort(sorted.begin(), sorted.end());
    double mode = T > 0 ? sorted[0] : 0.0;
    int64_t best = 0;
    for (int32_t k = 0; k < T;) {
      int32_t e = k;
      while (e < T && sorted[e] == sorted[k]) ++e;
      if (e - k > best) {
        best = e - k;
        mode = sorted[k];
      }
      k = e == k ? k + 1 : e;
    }
    cells.clear();
    for (int32_t t = 0; t < T; ++t) {
      if (!(row[t] == mode)) cells.emplace_back(t, row[t]);
    }
    table->AppendRow(s, mode, cells);
  }
  return table;
}

std::shared_ptr<AlignTable> AlignFromDense(const double* data, int32_t U,
                                           int32_t B, int32_t J, int32_t A) {
  auto table = std::make_shared<AlignTable>(A, B);
  auto view = [&](int64_t u, int64_t v, int64_t j, int64_t i) {
    return data[((u * B + v) * J + j) * A + i];
  };
  for (int32_t u = 0; u < U; ++u) {
    const double uniform = 1.0 / static_cast<double>(u + 2);
    for (int32_t v = 0; v < B; ++v) {
      bool all_uniform = true;
      for (int32_t j = 0; j < J && all_uniform; ++j) {
        for (int32_t i = 0; i < A && all_uniform; ++i) {
          all_uniform = view(u, v, j, i) == uniform;
        }
      }
      if (all_uniform) continue;
      const int32_t L = u + 2;
      for (int32_t j = v + 1; j < J; ++j) {
        for (int32_t i = 0; i < A; ++i) {
          if (view(u, v, j, i) != uniform) {
            throw std::invalid_argument(
                "align_dist holds values in rows past the target length "
                "(source length " + std::to_string(u + 1) +
                ", target length " + std::to_string(v + 1) +
                "), which no sentence uses and the table does not keep");
          }
        }
      }
      const AlignTable::Block b = table->Add(u + 1, v + 1);
      for (int32_t j = 0; j <= v && j < J; ++j) {
        for (int32_t i = 0; i < L && i < A; ++i) {
          table->values(b)[j * L + i] = view(u, v, j, i);
        }
        table->padding(b)[j] = L < A ? view(u, v, j, L) : uniform;
      }
    }
  }
  return table;
}

}  // namespace qaz
