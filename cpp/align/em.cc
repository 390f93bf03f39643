#include "align/em.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "common/errors.h"
#include <string>

namespace qaz {

namespace {

constexpr int64_t kPairsPerTick = 2048;

// How far ahead in the cell index the sweeps prefetch table cells: the
// gathers are random over the whole table, so their latency is hidden by
// asking early.  The index is padded so that reading ahead stays inside it.
constexpr int kAhead = TransTable::kIndexPadding;


void CheckShape(const AlignTable& align, int32_t L, int32_t m) {
  if (L - 2 >= align.A() - 1) ThrowOutOfBounds(L - 2, 0, align.A() - 1);
  if (m - 1 >= align.B()) ThrowOutOfBounds(m - 1, 1, align.B());
}

}  // namespace

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

void Model1ExpectStep(TransTable* table, const Corpus& corpus,
                      Reporter& reporter) {
  if (table->indexed_corpus() != &corpus) {
    throw std::logic_error("translation table is not laid out for the corpus");
  }
  table->ZeroCounts();
  TransCell* cells = table->cells();
  const uint32_t* index = table->cell_index().data();
  const uint64_t* offsets = table->cell_offsets().data();
  ProgressTicker ticker(reporter, "processing", corpus.size(), kPairsPerTick);
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const uint32_t* idx = index + offsets[p];
    for (int32_t j = 0; j < m; ++j, idx += L) {
      double sum = 0.0;
      for (int32_t i = 0; i < L; ++i) {
        __builtin_prefetch(&cells[idx[i + kAhead]], 1);
        sum += cells[idx[i]].p;
      }
      // A column whose sum is 0 contributes nothing.
      if (!(sum > 0.0)) continue;
      const double inv = 1.0 / sum;
      // c(e_i, f_j) += t(f_j|e_i) / sum_i' t(f_j|e_i')
      for (int32_t i = 0; i < L; ++i) {
        TransCell& cell = cells[idx[i]];
        cell.c += cell.p * inv;
      }
    }
    ticker.Tick();
  }
  ticker.Flush();
}

void PrepareAlignBlocks(AlignTable* align, const Corpus& corpus) {
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    if (L < 2 || m < 1) continue;
    CheckShape(*align, L, m);
    if (align->Find(L - 1, m) == nullptr) align->Add(L - 1, m);
  }
}

void Model2ExpectStep(TransTable* table, AlignTable* align,
                      const Corpus& corpus, Reporter& reporter) {
  if (table->indexed_corpus() != &corpus) {
    throw std::logic_error("translation table is not laid out for the corpus");
  }
  PrepareAlignBlocks(align, corpus);
  table->ZeroCounts();
  align->ZeroCounts();
  TransCell* cells = table->cells();
  const uint32_t* index = table->cell_index().data();
  const uint64_t* offsets = table->cell_offsets().data();
  std::vector<double> post;
  ProgressTicker ticker(reporter, "processing", corpus.size(), kPairsPerTick);
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    ticker.Tick();
    if (L < 2 || m < 1) continue;
    const AlignTable::Block& block = *align->Find(L - 1, m);
    const double* a = align->values(block);  // [j][i]
    double* ac = align->counts(block);
    const uint32_t* idx = index + offsets[p];
    post.resize(static_cast<size_t>(L));
    for (int32_t j = 0; j < m; ++j, idx += L, a += L, ac += L) {
      double sum = 0.0;
      for (int32_t i = 0; i < L; ++i) {
        __builtin_prefetch(&cells[idx[i + kAhead]], 1);
        post[i] = cells[idx[i]].p * a[i];
        sum += post[i];
      }
      if (!(sum > 0.0)) continue;
      const double inv = 1.0 / sum;
      // c(e_i, f_j) += p(i, j); c(i | j, I, J) += p(i, j)
      for (int32_t i = 0; i < L; ++i) {
        const double v = post[i] * inv;
        cells[idx[i]].c += v;
        ac[i] += v;
      }
    }
  }
  ticker.Flush();
}

double Model1CorpusEntropy(const TransTable& table, const Corpus& corpus,
                           Reporter& reporter) {
  const TransCell* cells = table.cells();
  const uint32_t* index = table.cell_index().data();
  const uint64_t* offsets = table.cell_offsets().data();
  std::vector<double> logs;
  ProgressTicker ticker(reporter, "progress", corpus.size(), kPairsPerTick);
  double total = 0.0;
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const uint32_t* idx = index + offsets[p];
    const double len = static_cast<double>(L);
    logs.resize(static_cast<size_t>(m));
    for (int32_t j = 0; j < m; ++j, idx += L) {
      double sum = 0.0;
      for (int32_t i = 0; i < L; ++i) {
        __builtin_prefetch(&cells[idx[i + kAhead]]);
        sum += cells[idx[i]].p;
      }
      logs[j] = std::log(sum / len);
    }
    total += -PairwiseSum(logs.data(), m) / static_cast<double>(m);
    ticker.Tick();
  }
  ticker.Flush();
  return total;
}

double Model2CorpusEntropy(const TransTable& table, const AlignTable& align,
                           const Corpus& corpus, Reporter& reporter) {
  const TransCell* cells = table.cells();
  const uint32_t* index = table.cell_index().data();
  const uint64_t* offsets = table.cell_offsets().data();
  std::vector<double> logs;
  ProgressTicker ticker(reporter, "progress", corpus.size(), kPairsPerTick);
  double total = 0.0;
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const uint32_t* idx = index + offsets[p];
    const AlignTable::Block* b = nullptr;
    if (L >= 2 && m >= 1) {
      CheckShape(align, L, m);
      b = align.Find(L - 1, m);
    }
    const double* a = b != nullptr ? align.values(*b) : nullptr;
    const double uniform = 1.0 / static_cast<double>(L);
    logs.resize(static_cast<size_t>(m));
    for (int32_t j = 0; j < m; ++j, idx += L) {
      double sum = 0.0;
      if (a != nullptr) {
        for (int32_t i = 0; i < L; ++i) {
          __builtin_prefetch(&cells[idx[i + kAhead]]);
          sum += a[i] * cells[idx[i]].p;
        }
        a += L;
      } else {
        for (int32_t i = 0; i < L; ++i) {
          __builtin_prefetch(&cells[idx[i + kAhead]]);
          sum += uniform * cells[idx[i]].p;
        }
      }
      logs[j] = std::log(sum);
    }
    total += -PairwiseSum(logs.data(), m) / static_cast<double>(m);
    ticker.Tick();
  }
  ticker.Flush();
  return total;
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

const double* AlignRow(const AlignTable& align, int32_t L, int32_t m,
                       int32_t j) {
  CheckShape(align, L, m);
  const AlignTable::Block* b = align.Find(L - 1, m);
  if (b == nullptr) return nullptr;
  return align.values(*b) + static_cast<size_t>(j) * L;
}

double Model2PairEntropy(const double* t, const AlignTable& align, int32_t L,
                         int32_t m, bool average) {
  std::vector<double> logs(static_cast<size_t>(m));
  if (L >= 2 && m >= 1) CheckShape(align, L, m);
  const AlignTable::Block* b = (L >= 2 && m >= 1) ? align.Find(L - 1, m)
                                                  : nullptr;
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
  if (L < 2 || m < 1) return;
  CheckShape(align, L, m);
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
