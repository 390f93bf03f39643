// One walk over the corpus per EM iteration: the E-step of Model 1 or 2 and
// the corpus entropy under Model 1 or 2, computed together when both are
// asked for (the entropy after an M-step needs exactly the column sums of
// the next E-step).
//
// The walk has two phases, each split over threads without changing a
// result:
//   1. per pair and target position j, the column sums over the source
//      positions (gathered through the cell index), the pair's entropy and,
//      for Model 2, the alignment counts; pairs are handed out by sentence
//      shape, so every alignment count is summed by one task, in corpus
//      order;
//   2. the translation counts, row by row: every count of source word e is
//      summed by one task, over the occurrences of e in corpus order, each
//      occurrence's target positions in order (source position outer,
//      target position inner, as a sequential scatter-add over each pair).
// The corpus entropy is the sum of the pairs' entropies in corpus order.
#ifndef QAZ_ALIGN_SWEEP_H_
#define QAZ_ALIGN_SWEEP_H_

#include <cstdint>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/trans_table.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

enum class ModelKind { kModel1, kModel2 };

struct SweepRequest {
  // E-step: the counts of the translation table (and, for Model 2, of the
  // alignment table) become the expected counts under the current tables.
  bool expect = false;
  ModelKind expect_model = ModelKind::kModel1;
  // Entropy: the sum over the pairs of the per-word entropies.
  bool entropy = false;
  ModelKind entropy_model = ModelKind::kModel1;
};

// Buffers of the walk, kept between walks over the same corpus.
class SweepScratch {
 public:
  std::vector<double> inv;       // per target token: 1 / column sum, or -1
  std::vector<double> entropy;   // per pair
  std::vector<int64_t> block;    // per pair: first alignment cell, or -1
  std::vector<uint32_t> by_shape;        // pairs grouped by shape
  std::vector<uint64_t> shape_start;     // group boundaries
  const AlignTable* block_table = nullptr;
  size_t block_count = 0;
  std::vector<uint64_t> trg_start;  // first target token of each pair
  std::vector<uint64_t> row_chunks;  // row boundaries of phase 2's tasks
};

// Runs one walk; returns the entropy total (0 when not asked for).  The
// table must be indexed for `corpus`; for Model 2 (either part) `align`
// must hold every shape of the corpus (PrepareAlignBlocks).
double Sweep(TransTable* table, AlignTable* align, const Corpus& corpus,
             const SweepRequest& request, const Parallel& parallel,
             SweepScratch* scratch, Reporter& reporter);

// Checks that every shape of `corpus` fits the dense dimensions of `align`
// and adds the blocks it lacks; throws std::out_of_range like an index
// error otherwise.
void PrepareAlignBlocks(AlignTable* align, const Corpus& corpus);

}  // namespace qaz

#endif  // QAZ_ALIGN_SWEEP_H_
