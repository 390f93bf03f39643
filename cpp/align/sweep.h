// One walk over the corpus per EM iteration: the E-step of a model and the
// corpus entropy under a model (Model 1 or 2: the kernels of
// models/factory.h), computed together when both are
// asked for (the entropy after an M-step needs exactly the column sums of
// the next E-step).
//
// On one thread each pair's counts are added right after its column sums.
// On several, an E-step runs in lock step, a batch of pairs at a time, and
// gives the same bits:
//   1. every source word has one owning thread, which copies the t values
//      of its words' cells out of the table;
//   2. per pair and target position j, the column sum over the source
//      positions in order, the pair's entropy and, for Model 2, the
//      alignment counts, by one thread (every sentence shape has one owning
//      thread, so every alignment count is summed in corpus order);
//   3. each thread adds the translation counts of its own words (source
//      position outer, target position inner, pair by pair), so every
//      count is summed in corpus order by one thread and a word's cells
//      never leave its thread's cache.
// A walk for the entropy alone splits the pairs among the threads.
// The corpus entropy is the sum of the pairs' entropies in corpus order.
#ifndef QAZ_ALIGN_SWEEP_H_
#define QAZ_ALIGN_SWEEP_H_

#include <cstdint>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/models/model.h"
#include "align/trans_table.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

// What a Model 2 entropy walk without an E-step can leave behind: the score
// file's and the decoded-alignment file's values for the tables it read.
struct PairOutcome {
  std::vector<double> entropy;  // per pair: nats per target word
  std::vector<int32_t> best;    // per target token, in corpus order: the
                                // source position of the largest a * t
                                // (the first of equals), 0 for a pair
                                // without a shape
};

struct SweepRequest {
  // E-step: the counts of the translation table (and, for Model 2, of the
  // alignment table) become the expected counts under the current tables.
  bool expect = false;
  ModelType expect_model = ModelType::kModel1;
  // Entropy: the sum over the pairs of the per-word entropies.
  bool entropy = false;
  ModelType entropy_model = ModelType::kModel1;
  // Set with a Model 2 entropy and no E-step: filled with each pair's
  // entropy and best source positions.
  PairOutcome* outcome = nullptr;
};

// Buffers of the walk, kept between walks over the same corpus.
class SweepScratch {
 public:
  std::vector<double> inv;       // per target token of the run: 1 / column
                                 // sum, or -1
  std::vector<uint32_t> run_index;   // cells of a run of pairs looked up
  std::vector<uint64_t> run_offsets;
  std::vector<uint64_t> lookup_start;  // per source id: its first occurrence
  std::vector<TransTable::Occurrence> lookup_occ;  // of the run, by source id
  std::vector<std::vector<uint32_t>> lookup_maps;  // per task: target -> cell
  std::vector<double> entropy;   // per pair
  std::vector<int64_t> block;    // per pair: first alignment cell, or -1
  std::vector<uint32_t> shape;    // per pair: block number + 1, or 0
  std::vector<uint64_t> shape_work;  // cells per shape number
  std::vector<uint16_t> shape_owner;  // per shape number: its thread
  int shape_owner_threads = 0;
  const AlignTable* block_table = nullptr;
  size_t block_count = 0;
  std::vector<uint16_t> row_owner;   // per source id: its thread
  int row_owner_threads = 0;
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
