// A word-alignment model as the engine holds it: its type (models/model.h),
// a vocabulary, a translation table and (Model 2) an alignment table, with
// everything computed from them on a corpus: the corpus entropy, the
// per-pair files (the kinds of ModelOutputKinds() in outputs.h: the score
// file, the decoded-alignment file), the two distribution files, and the
// stored tables read back for scoring.
#ifndef QAZ_ALIGN_MODEL_H_
#define QAZ_ALIGN_MODEL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/models/model.h"
#include "align/outputs.h"
#include "align/sweep.h"
#include "align/trans_table.h"
#include "align/writers.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

// The outcome of a training walk kept for the per-pair files written right
// after it, with what it was computed from.
struct KeptWalk {
  std::shared_ptr<const Corpus> corpus;
  uint64_t stamp = 0;  // Model::TablesStamp() at the walk
  PairOutcome outcome;
};

class Model {
 public:
  ModelType type = ModelType::kAbstract;
  std::shared_ptr<Vocab> vocab;
  std::shared_ptr<TransTable> trans;
  std::shared_ptr<AlignTable> align;
  MemoryPlan memory;  // what the tables may take
  // Training keeps its last Model 2 walk's pair entropies and best links
  // when asked (and they fit the memory limit); WritePairOutputs then
  // writes them instead of walking again, as long as the corpus is the
  // same and the tables still hold what that walk read.
  bool keep_final_walk = false;
  std::shared_ptr<const KeptWalk> final_walk;

  // The tables; TypeError (as indexing None would) when absent.
  const TransTable& Trans() const;
  const AlignTable& Align() const;
  const Vocab& Words() const;

  // Entropy of one pair from its gathered t values; NotImplementedError for
  // the abstract model.
  double PairEntropy(const double* t, int32_t L, int32_t m,
                     bool average) const;

  // Mean over the pairs of the per-word entropies, narrowed to 32-bit float
  // (the total is summed in double precision).  ZeroDivisionError for an
  // empty corpus.
  double CorpusEntropy(const Corpus& corpus, const Parallel& parallel,
                       Reporter& log) const;

  // A fingerprint of everything the score and decoded-alignment files
  // depend on besides the corpus: the model type, the translation table's
  // values and defaults, the alignment table's values and padding.
  uint64_t TablesStamp() const;
  // Bytes a kept walk over `corpus` takes, and whether that fits beside
  // what the process holds under the memory limit.
  bool RoomToKeepWalk(const Corpus& corpus) const;

  // Writes the per-pair files asked for by kind name (ModelOutputKinds():
  // "scores", one entropy per pair; "decoded", "j-i" per target position)
  // in one walk, logged and opened in table order.  An unknown or repeated
  // name is std::invalid_argument before any file is opened.
  void WritePairOutputs(const OutputRequests& requests, const Corpus& corpus,
                        const Parallel& parallel, Reporter& log) const;

  // The distribution files.  `threshold_text` is the threshold as the
  // caller wrote it, for the log line.
  void WriteTransFile(const std::string& path, const WriteOptions& options,
                      const std::string& threshold_text,
                      const Parallel& parallel, Reporter& log) const;
  void WriteAlignFile(const std::string& path, const WriteOptions& options,
                      const Parallel& parallel, Reporter& log) const;

  // Scoring with stored tables: the entries of a translation file (read
  // with ReadTransFile before the table was laid out for the corpus, so that
  // the file is read once) go into the table; LoadTransFile reads and sets
  // them in one go.  The alignment file's entries go into the blocks of the
  // table laid out for the corpus; lines of shapes the table does not hold
  // (the corpus never uses them) are skipped, so they cost no memory.
  void LoadTransEntries(const std::vector<TransEntry>& entries,
                        const Parallel& parallel);
  void LoadTransFile(const std::string& path, const Parallel& parallel,
                     Reporter& log);
  void LoadAlignFile(const std::string& path, Reporter& log);
};

}  // namespace qaz

#endif  // QAZ_ALIGN_MODEL_H_
