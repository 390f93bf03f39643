// Training and scoring of Models 1 and 2 on a corpus split into shards
// (the training and scoring commands on a cluster).  The transport between
// the machines is the caller's; the engine does the work on both sides:
//
// - a worker's shard (ModelShard): its line range loaded into words of its
//   own, then its pairs in the ids of the whole corpus with tables laid out
//   for them, then the maps of those tables onto the whole ones; it walks
//   its pairs under the whole tables' values and writes its part of the
//   score and decoded-alignment files;
// - the driver (ShardedTraining): the merged vocabulary, the whole tables
//   set up and logged as the training command sets them up, and the EM
//   loops whose walks the shards do, their counts summed in shard order.
#ifndef QAZ_ALIGN_SHARD_RUN_H_
#define QAZ_ALIGN_SHARD_RUN_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "align/corpus.h"
#include "align/model.h"
#include "align/shard.h"
#include "align/sweep.h"
#include "align/trainer.h"
#include "common/reporter.h"

namespace qaz {

// One worker's shard of a Model 1/2 run.  Each step gives a new shard:
// Load (own words), Remap (whole-corpus ids), Index (tables), then Attach.
// A step asked of a shard that has not come through the one before it
// throws std::invalid_argument naming what is missing.
class ModelShard {
 public:
  // Reads `count` pairs from line `first_line` on (LoadCorpusLines) into a
  // vocabulary of the shard's own, keeping the warnings of the load (the
  // driver logs them, in shard order); `threads` runs its walks.
  static std::shared_ptr<ModelShard> Load(
      const std::string& src_path, const std::string& trg_path,
      int64_t src_offset, int64_t trg_offset, int64_t first_line,
      int64_t count, bool character_based, int threads);

  int64_t pairs() const { return corpus_->size(); }
  const Corpus& corpus() const { return *corpus_; }
  // The words as loaded.
  const Vocab& vocab() const;
  const std::vector<std::string>& warnings() const { return warnings_; }

  // The pairs in the ids of the whole corpus (RemapCorpus).
  std::shared_ptr<ModelShard> Remap(const std::vector<int32_t>& src_map,
                                    const std::vector<int32_t>& trg_map) const;
  // The same pairs with tables laid out for them (ShardTables) in the
  // whole corpus's dimensions.
  std::shared_ptr<ModelShard> Index(int32_t S, int32_t T, int32_t A,
                                    int32_t B) const;
  ShardTables& tables();
  const ShardTables& tables() const;
  // The maps of the tables onto the whole ones (ShardTables::Attach).
  void Attach(std::vector<uint32_t> cell_map,
              std::vector<uint64_t> block_offsets);

  // One walk under the whole tables' values (`p` of `p_size` translation
  // cells, `a` of `a_size` alignment values; ShardTables::TakeValues
  // refuses values that do not cover the shard's cells and blocks): the
  // entropy total, and the counts as ShardTables::Sweep leaves them.
  double Sweep(const double* p, size_t p_size, const double* a, size_t a_size,
               const SweepRequest& request, std::vector<double>* counts,
               std::vector<double>* align_counts);

  // The score file and/or the decoded-alignment file (a null path for one
  // not wanted) of the shard's pairs under the whole tables' values, by a
  // Model 2 (or a Model 1 when !model2).
  void WriteTrained(const double* p, size_t p_size, const double* a,
                    size_t a_size, bool model2, const std::string* scores_path,
                    const std::string* decoded_path);

  // Scores the loaded shard with stored tables as the scoring command does
  // the whole corpus: the translation file's words entered, every entry the
  // file lacks 1/T where T counts the target words of the whole corpus and
  // of the file.  Writes the shard's score and/or decoded-alignment file.
  struct StoredTables {
    int64_t cells = 0;  // translation entries laid out
    size_t trans_bytes = 0, align_bytes = 0;
    size_t shapes = 0;
  };
  StoredTables ScoreStored(const std::string& trans_path,
                           const std::string* align_path, int32_t T,
                           const std::string* scores_path,
                           const std::string* decoded_path);

  // What the shard holds: pairs, tables, maps.
  size_t MemoryBytes() const;

 private:
  int threads_ = 1;
  std::shared_ptr<Vocab> vocab_;  // null once remapped
  std::shared_ptr<const Corpus> corpus_;
  std::vector<std::string> warnings_;
  std::shared_ptr<ShardTables> tables_;
};

// The driver's side of a sharded training run of Models 1 and 2.
class ShardedTraining {
 public:
  // Enters the words of the whole corpus (merged in shard order) into
  // `vocab` and lays out the whole tables on `model` from the shards'
  // cells and shapes (ModelShard::tables().Keys(), Shapes(), in shard
  // order), logging as the training command's set-up does: the vocabulary
  // to `core_log`, the translation table to `lex_log`, the alignment table
  // to `pos_log`.  `model` must outlive the object.
  ShardedTraining(Vocab* vocab, Model* model,
                  const std::vector<std::string>& src_words,
                  const std::vector<std::string>& trg_words, int32_t max_src,
                  int32_t max_trg,
                  const std::vector<std::vector<uint64_t>>& keys,
                  std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes,
                  Reporter& core_log, Reporter& lex_log, Reporter& pos_log);

  const ShardedTables& tables() const { return *tables_; }

  // One walk done by the shards with the step's model: one part a shard,
  // in shard order (ModelShard::Sweep's results).  The arrays the parts
  // point to stay valid until the next call.
  using StepShardWalk = std::function<std::vector<ShardedTables::Part>(
      bool entropy, bool expect, ModelType step)>;
  // A schedule of EM loops (RunEmSchedule), e.g. EmSchedule(n), over the
  // `pairs` pairs of the shards: the shards walk with the step's model and
  // each walk's parts are summed into the whole tables in shard order;
  // `start_step` gives the reporter of the step's model lines; `on_step`
  // as RunEmSchedule's.
  void RunSchedule(const Schedule& schedule, int64_t pairs,
                   const StepShardWalk& walk, Reporter& core_log,
                   const StepStart& start_step,
                   const std::function<void(ModelType step)>& on_step);

 private:
  Model* model_;
  std::unique_ptr<ShardedTables> tables_;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_SHARD_RUN_H_
