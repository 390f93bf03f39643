// The two distribution files, written (readers.h reads them back).
//
// Translation file: "src<TAB>trg<TAB>p[<TAB>count]\n", source ids ascending
// (NULL first), within a row descending p with ties in ascending target id,
// at most n-best records per row, only p > threshold.  Alignment file:
// "I<TAB>J<TAB>j<TAB>i<TAB>p[<TAB>count]\n" in (I, J, j, i) order for every
// row that is not constant over the padded source axis, only p > threshold.
// Probabilities are narrowed to 32-bit float before they are compared and
// printed: shortest round-trip form (model files) or "%.8f" with the count in
// "%.2f" (trainer files).
#ifndef QAZ_ALIGN_WRITERS_H_
#define QAZ_ALIGN_WRITERS_H_

#include <cstdint>
#include <optional>
#include <string>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/trans_table.h"
#include "common/output_file.h"
#include "common/reporter.h"

namespace qaz {

// Where the count column of a trainer file comes from.
class CountSource {
 public:
  virtual ~CountSource() = default;
  // `cell` is the cell of (s, t) in the table being written, or -1.
  virtual double TransCount(int32_t s, int32_t t, int64_t cell) const = 0;
  virtual double AlignCount(int64_t u, int64_t v, int64_t j,
                            int64_t i) const = 0;
  // The counts of block `b` of `written` ([j][i], as its values), when they
  // are held beside its values; nullptr to go through AlignCount.
  virtual const double* AlignBlockCounts(const AlignTable& /*written*/,
                                         const AlignTable::Block& /*b*/) const {
    return nullptr;
  }
};

struct WriteOptions {
  double threshold = 0.001;
  std::optional<int64_t> nbest;        // nullopt keeps every record
  const CountSource* counts = nullptr;  // set: trainer variant
  bool trainer_variant = false;
};

// Appends the translation-file lines of source rows [s0, s1).  Safe to call
// from several threads on disjoint rows (the count source must be too).
void AppendTransRows(const TransTable& table, const Vocab& vocab,
                     const WriteOptions& options, int32_t s0, int32_t s1,
                     std::string* out);

// Number of cells the alignment writer will consider (rows that are not
// constant, times A).
int64_t AlignCandidates(const AlignTable& align);
// Appends the alignment-file lines of blocks [b0, b1) of align.blocks().
void AppendAlignBlocks(const AlignTable& align, const WriteOptions& options,
                       int64_t b0, int64_t b1, std::string* out);

}  // namespace qaz

#endif  // QAZ_ALIGN_WRITERS_H_
