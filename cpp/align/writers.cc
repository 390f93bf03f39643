#include "align/writers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "common/float_format.h"

namespace qaz {

namespace {

void AppendProbability(double p, const WriteOptions& options,
                       std::string* out) {
  if (options.trainer_variant) {
    AppendFixed(p, 8, out);
  } else {
    AppendRepr(p, out);
  }
}

// Number of records n-best keeps of a row of T (slice semantics).
int64_t Keep(const std::optional<int64_t>& nbest, int64_t T) {
  if (!nbest) return T;
  if (*nbest >= 0) return std::min(*nbest, T);
  return std::max<int64_t>(T + *nbest, 0);
}

}  // namespace

void AppendTransRows(const TransTable& table, const Vocab& vocab,
                     const WriteOptions& options, int32_t s0, int32_t s1,
                     std::string* out) {
  const int64_t T = table.T();
  std::string& buf = *out;
  std::vector<uint64_t> order;  // cells of the row, best first
  auto emit = [&](int32_t s, int32_t t, double p, int64_t cell) {
    std::string_view src = vocab.src.IdToStr(s), trg = vocab.trg.IdToStr(t);
    buf.append(src.data(), src.size());
    buf.push_back('\t');
    buf.append(trg.data(), trg.size());
    buf.push_back('\t');
    AppendProbability(p, options, &buf);
    if (options.trainer_variant) {
      buf.push_back('\t');
      AppendFixed(options.counts ? options.counts->TransCount(s, t, cell) : 0.0,
                  2, &buf);
    }
    buf.push_back('\n');
  };
  for (int32_t s = s0; s < s1; ++s) {
    const int64_t keep = Keep(options.nbest, T);
    const uint64_t begin = table.row_begin(s), end = table.row_end(s);
    const TransCell* cells = table.cells();
    const int32_t* cols = table.cols();
    const double d = table.row_default(s);
    // Only cells that pass the threshold can be written, and they come
    // before every cell that does not (narrowing keeps the order), so the
    // others need no sorting; a row holding a NaN is sorted whole.
    order.clear();
    bool nan = false;
    for (uint64_t k = begin; k < end; ++k) {
      nan = nan || std::isnan(cells[k].p);
      if (Narrow(cells[k].p) > options.threshold) order.push_back(k);
    }
    if (nan) {
      order.clear();
      for (uint64_t k = begin; k < end; ++k) order.push_back(k);
    }
    // Descending p, ties in ascending target id (cells are in id order, so a
    // stable sort keeps that).
    std::stable_sort(order.begin(), order.end(), [&](uint64_t x, uint64_t y) {
      return cells[x].p > cells[y].p;
    });
    // Cells above the default come first, then the targets worth the
    // default (cells equal to it and every target without a cell, in id
    // order), then the cells below it.
    int64_t emitted = 0;
    size_t k = 0;
    bool stop = false;
    auto take_cell = [&](uint64_t cell) {
      if (emitted >= keep) {
        stop = true;
        return;
      }
      ++emitted;
      double p = Narrow(cells[cell].p);
      if (p > options.threshold) emit(s, cols[cell], p, cell);
    };
    for (; k < order.size() && !stop && cells[order[k]].p > d; ++k) {
      take_cell(order[k]);
    }
    // The tie group at the default value.
    if (!stop && emitted < keep) {
      const double pd = Narrow(d);
      const bool above = pd > options.threshold;
      uint64_t next_cell = begin;  // walks the cells in id order
      size_t equal_left = 0;
      for (size_t q = k; q < order.size() && cells[order[q]].p == d; ++q) {
        ++equal_left;
      }
      int64_t defaults_left = T - static_cast<int64_t>(end - begin);
      for (int32_t t = 0; emitted < keep && (equal_left > 0 || defaults_left > 0);
           ++t) {
        while (next_cell < end && cols[next_cell] < t) ++next_cell;
        if (next_cell < end && cols[next_cell] == t) {
          if (cells[next_cell].p != d) continue;
          --equal_left;
          ++emitted;
          if (above) emit(s, t, pd, static_cast<int64_t>(next_cell));
        } else {
          --defaults_left;
          ++emitted;
          if (above) emit(s, t, pd, -1);
        }
        if (!above && options.threshold >= pd) {
          // Nothing of this group or after it can pass the threshold.
          emitted = keep;
        }
      }
      while (k < order.size() && cells[order[k]].p == d) ++k;
    }
    for (; k < order.size() && !stop; ++k) take_cell(order[k]);
  }
}

namespace {

bool RowIsConstant(const double* v, int32_t L, double pad, int32_t A) {
  const double first = v[0];
  if (std::isnan(first)) return false;
  for (int32_t i = 1; i < L; ++i) {
    if (!(v[i] == first)) return false;
  }
  return L >= A || pad == first;
}

bool InDims(const AlignTable& align, const AlignTable::Block& b) {
  return b.I + 1 <= align.A() && b.I >= 1 && b.J <= align.B() && b.J >= 1;
}

}  // namespace

int64_t AlignCandidates(const AlignTable& align) {
  int64_t rows = 0;
  for (const AlignTable::Block& b : align.blocks()) {
    if (!InDims(align, b)) continue;
    const int32_t L = b.I + 1;
    for (int32_t j = 0; j < b.J; ++j) {
      if (!RowIsConstant(align.values(b) + j * L, L, align.padding(b)[j],
                         align.A())) {
        ++rows;
      }
    }
  }
  return rows * align.A();
}

void AppendAlignBlocks(const AlignTable& align, const WriteOptions& options,
                       int64_t b0, int64_t b1, std::string* out) {
  const int32_t A = align.A();
  std::string& buf = *out;
  for (int64_t k = b0; k < b1; ++k) {
    const AlignTable::Block& b = align.blocks()[k];
    if (!InDims(align, b)) continue;
    const int32_t L = b.I + 1;
    const double* values = align.values(b);
    const double* pad = align.padding(b);
    const double* block_counts =
        options.counts ? options.counts->AlignBlockCounts(align, b) : nullptr;
    // "I<TAB>J<TAB>" of the block, then "j<TAB>" of the row.
    char prefix[48];
    char* row_start = prefix;
    row_start = std::to_chars(row_start, prefix + 16, b.I).ptr;
    *row_start++ = '\t';
    row_start = std::to_chars(row_start, prefix + 32, b.J).ptr;
    *row_start++ = '\t';
    for (int32_t j = 0; j < b.J; ++j) {
      const double* v = values + j * L;
      if (RowIsConstant(v, L, pad[j], A)) continue;
      char* prefix_end = std::to_chars(row_start, prefix + 46, j + 1).ptr;
      *prefix_end++ = '\t';
      for (int32_t i = 0; i < A; ++i) {
        const double p = Narrow(i < L ? v[i] : pad[j]);
        if (!(p > options.threshold)) continue;
        buf.append(prefix, static_cast<size_t>(prefix_end - prefix));
        char num[16];
        buf.append(num, std::to_chars(num, num + sizeof(num), i).ptr);
        buf.push_back('\t');
        AppendProbability(p, options, &buf);
        if (options.trainer_variant) {
          buf.push_back('\t');
          double c = 0.0;
          if (block_counts != nullptr) {
            c = i < L ? block_counts[j * L + i] : 0.0;
          } else if (options.counts) {
            c = options.counts->AlignCount(b.I - 1, b.J - 1, j, i);
          }
          AppendFixed(c, 2, &buf);
        }
        buf.push_back('\n');
      }
    }
  }
}

}  // namespace qaz
