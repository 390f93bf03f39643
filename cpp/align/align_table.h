// Alignment table a(i | j, I, J) of IBM Model 2, held per shape.
//
// The dense table it stands for has shape (A - 1, B, B, A): source length
// index I - 1 (I real words, so L = I + 1 positions with the NULL word at
// i = 0), target length index J - 1, target position j, source position i.
// Only the shapes (I, J) that occur are stored, as a J x L block of values
// and counts, plus one padding value per row for the cells i >= L that no
// sentence of that shape can use.  Every cell of an absent shape, and every
// row j >= J, reads as the uniform start 1/L.
#ifndef QAZ_ALIGN_ALIGN_TABLE_H_
#define QAZ_ALIGN_ALIGN_TABLE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "align/corpus.h"
#include "common/parallel.h"

namespace qaz {

// True when a pair of L source positions (NULL included) and m target
// positions has a shape of the alignment table: a real source word and a
// target word.
inline bool HasShape(int32_t L, int32_t m) { return L >= 2 && m >= 1; }

class AlignTable {
 public:
  struct Block {
    int32_t I;         // source length without NULL
    int32_t J;         // target length
    uint64_t offset;   // first of J * (I + 1) cells, row-major [j][i]
    uint64_t row;      // first of J padding values
  };

  // Dense dimensions A (longest source id list, NULL included) and B.
  AlignTable(int32_t A, int32_t B) : A_(A), B_(B) {}

  // Blocks for every shape of `corpus` with I >= 1 and J >= 1, uniform.
  static std::shared_ptr<AlignTable> Build(int32_t A, int32_t B,
                                           const Corpus& corpus);

  int32_t A() const { return A_; }
  int32_t B() const { return B_; }

  // Throws std::out_of_range, worded as numpy's index error, when a pair of
  // L x m positions lies outside the dense dimensions.
  void CheckShape(int32_t L, int32_t m) const;
  // The block a pair of L x m positions reads: nullptr for a pair without
  // a shape or a shape the table lacks; std::out_of_range (CheckShape) for
  // one outside the dense dimensions.
  const Block* PairBlock(int32_t L, int32_t m) const {
    if (!HasShape(L, m)) return nullptr;
    CheckShape(L, m);
    return Find(L - 1, m);
  }
  // Block of shape (I, J) or nullptr.
  const Block* Find(int32_t I, int32_t J) const;
  // Adds the uniform block (I, J) if absent; returns it.
  const Block& Add(int32_t I, int32_t J);
  const std::vector<Block>& blocks() const { return blocks_; }  // sorted

  // The writable views of the values and padding mark the table as no
  // longer uniform (uniform()).
  double* values(const Block& b) {
    uniform_ = false;
    return values_.data() + b.offset;
  }
  const double* values(const Block& b) const {
    return values_.data() + b.offset;
  }
  double* counts(const Block& b) { return counts_.data() + b.offset; }
  const double* counts(const Block& b) const {
    return counts_.data() + b.offset;
  }
  double* values_at(uint64_t offset) {
    uniform_ = false;
    return values_.data() + offset;
  }
  const double* values_at(uint64_t offset) const {
    return values_.data() + offset;
  }
  double* counts_at(uint64_t offset) { return counts_.data() + offset; }
  double* padding(const Block& b) {
    uniform_ = false;
    return padding_.data() + b.row;
  }
  const double* padding(const Block& b) const {
    return padding_.data() + b.row;
  }

  // a(i | j, I, J) for any indices of the dense table (bounds checked with
  // numpy's wording).
  double Get(int64_t u, int64_t v, int64_t j, int64_t i) const;

  // Both split by blocks over `parallel`'s threads when given (each count
  // row is summed by one thread, in order, whatever their number).
  void ZeroCounts(const Parallel* parallel = nullptr);
  // M-step: each row of each block becomes its counts over their total when
  // the total is positive (padding cells then 0); other rows stay.  `save`
  // keeps the counts aside for RestoreCounts, as in TransTable.
  void Normalize(bool save = false, const Parallel* parallel = nullptr);
  void SaveCounts();
  void RestoreCounts();
  size_t MemoryBytes() const;
  // True while every value and padding cell is still its shape's uniform
  // start 1/L, exactly (no M-step and no writable view of the values yet).
  bool uniform() const { return uniform_; }

 private:
  void Reindex();

  int32_t A_, B_;
  std::vector<Block> blocks_;
  std::map<std::pair<int32_t, int32_t>, size_t> index_;
  std::vector<double> values_, counts_, padding_, saved_counts_;
  bool uniform_ = true;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_ALIGN_TABLE_H_
