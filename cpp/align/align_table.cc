#include "align/align_table.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "common/errors.h"
#include <string>

namespace qaz {

std::shared_ptr<AlignTable> AlignTable::Build(int32_t A, int32_t B,
                                              const Corpus& corpus) {
  if (A - 1 < 0 || B < 0) {
    throw std::invalid_argument("negative dimensions are not allowed");
  }
  auto table = std::make_shared<AlignTable>(A, B);
  std::set<std::pair<int32_t, int32_t>> shapes;
  for (int64_t p = 0; p < corpus.size(); ++p) {
    int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    if (HasShape(L, m)) shapes.emplace(L - 1, m);
  }
  size_t cells = 0, rows = 0;
  for (const auto& shape : shapes) {
    cells += static_cast<size_t>(shape.second) * (shape.first + 1);
    rows += static_cast<size_t>(shape.second);
  }
  table->values_.reserve(cells);
  table->counts_.reserve(cells);
  table->padding_.reserve(rows);
  table->blocks_.reserve(shapes.size());
  for (const auto& shape : shapes) table->Add(shape.first, shape.second);
  return table;
}

void AlignTable::CheckShape(int32_t L, int32_t m) const {
  if (L - 2 >= A_ - 1) ThrowOutOfBounds(L - 2, 0, A_ - 1);
  if (m - 1 >= B_) ThrowOutOfBounds(m - 1, 1, B_);
}

const AlignTable::Block* AlignTable::Find(int32_t I, int32_t J) const {
  auto it = index_.find({I, J});
  return it == index_.end() ? nullptr : &blocks_[it->second];
}

const AlignTable::Block& AlignTable::Add(int32_t I, int32_t J) {
  auto it = index_.find({I, J});
  if (it != index_.end()) return blocks_[it->second];
  const int32_t L = I + 1;
  Block b{I, J, values_.size(), padding_.size()};
  const double uniform = 1.0 / static_cast<double>(L);
  values_.resize(values_.size() + static_cast<size_t>(J) * L, uniform);
  counts_.resize(values_.size(), 0.0);
  padding_.resize(padding_.size() + J, uniform);
  blocks_.push_back(b);
  if (blocks_.size() >= 2 &&
      std::make_pair(blocks_[blocks_.size() - 2].I,
                     blocks_[blocks_.size() - 2].J) > std::make_pair(I, J)) {
    Reindex();
  } else {
    index_[{I, J}] = blocks_.size() - 1;
  }
  return blocks_[index_[{I, J}]];
}

void AlignTable::Reindex() {
  std::sort(blocks_.begin(), blocks_.end(), [](const Block& x, const Block& y) {
    return x.I != y.I ? x.I < y.I : x.J < y.J;
  });
  index_.clear();
  for (size_t k = 0; k < blocks_.size(); ++k) {
    index_[{blocks_[k].I, blocks_[k].J}] = k;
  }
}

double AlignTable::Get(int64_t u, int64_t v, int64_t j, int64_t i) const {
  if (u < -(A_ - 1) || u >= A_ - 1) ThrowOutOfBounds(u, 0, A_ - 1);
  if (v < -B_ || v >= B_) ThrowOutOfBounds(v, 1, B_);
  if (j < -B_ || j >= B_) ThrowOutOfBounds(j, 2, B_);
  if (i < -A_ || i >= A_) ThrowOutOfBounds(i, 3, A_);
  if (u < 0) u += A_ - 1;
  if (v < 0) v += B_;
  if (j < 0) j += B_;
  if (i < 0) i += A_;
  const int32_t I = static_cast<int32_t>(u) + 1, J = static_cast<int32_t>(v) + 1;
  const int32_t L = I + 1;
  const Block* b = Find(I, J);
  if (b == nullptr || j >= J) return 1.0 / static_cast<double>(L);
  if (i >= L) return padding(*b)[j];
  return values(*b)[j * L + i];
}

namespace {

// Runs fn(first, last) over runs of blocks [0, n) of about equal cells on
// the threads of `parallel` (one run when null).
template <typename Fn>
void ForBlocks(const std::vector<AlignTable::Block>& blocks,
               const Parallel* parallel, const Fn& fn) {
  const int32_t n = static_cast<int32_t>(blocks.size());
  if (parallel == nullptr || parallel->threads() == 1 || n == 0) {
    fn(0, n);
    return;
  }
  std::vector<uint64_t> cumulative(static_cast<size_t>(n) + 1, 0);
  for (int32_t k = 0; k < n; ++k) {
    cumulative[k + 1] = cumulative[k] +
                        static_cast<uint64_t>(blocks[k].I + 1) * blocks[k].J + 1;
  }
  const std::vector<int32_t> starts = SplitByWork(
      n, Parallel::Chunks(static_cast<int64_t>(cumulative[n]), int64_t{1} << 16,
                          parallel->threads(), 2),
      [&](int32_t k) { return cumulative[k]; });
  parallel->For(static_cast<int64_t>(starts.size()) - 1, [&](int64_t t) -> int64_t {
    fn(starts[t], starts[t + 1]);
    return 0;
  });
}

}  // namespace

void AlignTable::ZeroCounts(const Parallel* parallel) {
  ForBlocks(blocks_, parallel, [&](int32_t first, int32_t last) {
    for (int32_t k = first; k < last; ++k) {
      const Block& b = blocks_[k];
      double* c = counts_.data() + b.offset;
      std::fill(c, c + static_cast<size_t>(b.I + 1) * b.J, 0.0);
    }
  });
}

void AlignTable::SaveCounts() { saved_counts_ = counts_; }

void AlignTable::Normalize(bool save, const Parallel* parallel) {
  if (save) saved_counts_.resize(counts_.size());
  double* saved = save ? saved_counts_.data() : nullptr;
  uniform_ = false;
  ForBlocks(blocks_, parallel, [&](int32_t first, int32_t last) {
    for (int32_t k = first; k < last; ++k) {
      const Block& b = blocks_[k];
      const int32_t L = b.I + 1;
      double* v = values_.data() + b.offset;
      const double* c = counts_.data() + b.offset;
      double* pad = padding_.data() + b.row;
      if (saved != nullptr) {
        std::copy(c, c + static_cast<size_t>(L) * b.J, saved + b.offset);
      }
      for (int32_t j = 0; j < b.J; ++j) {
        double total = 0.0;
        for (int32_t i = 0; i < L; ++i) total += c[j * L + i];
        if (!(total > 0.0)) continue;
        for (int32_t i = 0; i < L; ++i) v[j * L + i] = c[j * L + i] / total;
        pad[j] = 0.0;
      }
    }
  });
}

void AlignTable::RestoreCounts() {
  if (saved_counts_.size() == counts_.size()) counts_ = saved_counts_;
}

size_t AlignTable::MemoryBytes() const {
  return (values_.capacity() + counts_.capacity() + padding_.capacity()) *
             sizeof(double) +
         blocks_.capacity() * sizeof(Block) + index_.size() * 64;
}

}  // namespace qaz
