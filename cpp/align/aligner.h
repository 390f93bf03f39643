// Word alignment in both directions: IBM Model 2 started from IBM Model 1
// (Brown et al., 1993) trained source-to-target (the forward model, of
// P(target | source)) and target-to-source (the reverse model), the Viterbi
// links and the link posteriors of each, and their symmetrisation
// (links.h).
//
// Each direction is trained exactly as the training command trains its
// model: the corpus read into a fresh vocabulary, the uniform tables, the
// Model 1 loop and then the Model 2 loop on one Model 2, with the same
// iteration limit and early stop.  So the forward model equals the
// training command's, and its Viterbi links are those of its decoded
// alignment file.  The reverse corpus is the forward one with its sides
// exchanged, its words entered in the order a load of the exchanged files
// would enter them.
//
// Links are 0-based (i, j), source first, NULL links dropped; the reverse
// model's links and posteriors are transposed into that orientation.
//
// A model applied to sentence pairs that it was not trained on sees them as
// the scoring command sees a corpus: their new words join the vocabulary
// (for that call only), and every entry that the translation table does not
// hold reads 1/T, T counting the model's target words and the new ones.
// Shapes that the alignment table lacks read 1/L.
//
// Usage:
//   qaz::AlignerOptions options;  // 5 + 5 iterations, every CPU
//   qaz::Aligner aligner(options);
//   aligner.TrainFiles("c.fr", "c.en", reporter);
//   qaz::LinkMethod method = qaz::ParseLinkMethod("grow-diag-final-and", 0.5);
//   aligner.WriteLinks({{"links", "-"}}, method, reporter);  // standard output
//
// Results never depend on the number of threads.
//
// A corpus split into shards of lines (qaz.distributed.align) is aligned by
// AlignerShard on the workers and ShardedDirection on the driver: each
// shard reads its line range into vocabularies of its own, forward and with
// its sides exchanged as SwapSides exchanges them; the driver merges the
// words of the shards in shard order, which enters them in the order a load
// of the whole corpus (or its exchange) would, so every id is the one the
// one-machine aligner gives.  Each direction is then trained as
// TrainDirection trains it, every walk a sweep of every shard with the
// counts summed in shard order (shard.h), and the links of each shard are
// made from its pairs under the trained tables: with one shard, byte for
// byte the files of WriteLinks.
#ifndef QAZ_ALIGN_ALIGNER_H_
#define QAZ_ALIGN_ALIGNER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "align/corpus.h"
#include "align/links.h"
#include "align/model.h"
#include "align/models/hmm.h"
#include "align/models/joint.h"
#include "align/outputs.h"
#include "align/shard.h"
#include "align/trainer.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

struct AlignerOptions {
  int32_t iterations = 5;  // limit of each of the two EM loops
  bool character_based = false;
  // Word mode split at runs of white space (Tokenization::runs), and
  // every token in lower case (links keep the positions of the input).
  bool whitespace_runs = false;
  bool lowercase = false;
  int threads = 0;  // < 1: every CPU this process may run on
  // Bytes the whole process may use, 0 for the memory available.  Handed to
  // the table set-up in one place (Aligner::TrainDirection).
  int64_t memory_limit = 0;
  // Train the reverse model with the forward one (else only on demand).
  bool both_directions = true;
  // With two threads or more, train the two directions at the same time on
  // half the threads each instead of one after the other on all of them:
  // the serial parts of one (loading the tables, the M-steps) then overlap
  // the other's sweeps.
  bool concurrent = true;
  // Empty: each direction trained as the training command trains it (the
  // Model 1 loop, then the Model 2 loop).  Otherwise the steps of Model 1
  // and the HMM that train both directions together (models/joint.h), in
  // agreement when `agreement` is set.
  Schedule schedule;
  bool agreement = false;
  double p0 = 0.2;  // the HMM's NULL probability
  // "posterior" links by the product of the two posteriors, not their mean.
  bool posterior_product = false;

  Tokenization tokens() const {
    return Tokenization{character_based, whitespace_runs, lowercase};
  }
};

// How the links of a pair are chosen.
struct LinkMethod {
  enum Kind {
    kForward,    // the forward model's Viterbi links
    kHeuristic,  // Symmetrize(forward, reverse, heuristic)
    kPosterior,  // mean of the two posteriors >= threshold
  };
  Kind kind = kHeuristic;
  Symmetrization heuristic = Symmetrization::kGrowDiagFinalAnd;
  double threshold = 0.5;
  // kPosterior: the product of the two posteriors instead of their mean.
  bool product = false;

  bool NeedsReverse() const { return kind != kForward; }
};

// "none" (the forward links), "posterior", or a heuristic's name as
// ParseSymmetrization takes it.  std::invalid_argument for another name or
// a threshold outside (0, 1].
LinkMethod ParseLinkMethod(std::string_view name, double threshold);

// The lines of the output kinds named in `kinds` (outputs.h), one text a
// kind in that order, of the pairs of `fwd_corpus` under `fwd`, the reverse
// model `rev` holding the same pairs exchanged (`rev_corpus`, as SwapSides
// gives them): the lines Aligner::WriteLinks writes.  std::invalid_argument
// for an unknown kind; std::logic_error when the reverse model is needed
// but null.
std::vector<std::string> PairLines(
    const Model& fwd, const Corpus& fwd_corpus, const Model* rev,
    const Corpus* rev_corpus, const std::vector<std::string>& kinds,
    const LinkMethod& method, const Parallel& parallel, Reporter& log,
    const HmmParams* fwd_hmm = nullptr, const HmmParams* rev_hmm = nullptr);

// A corpus with its two sides exchanged: source k of the result is target
// k of `corpus` (with the NULL word first), target k the source words.
// Words are entered into `to` in the order LoadCorpus would enter them from
// the exchanged files, so ids and lengths are the same as that load gives.
Corpus SwapSides(const Vocab& from, const Corpus& corpus, Vocab* to);

// One direction: a model with the corpus it was trained on (empty for a
// model read from files).
struct DirectionModel {
  std::shared_ptr<Vocab> vocab;
  std::shared_ptr<const Corpus> corpus;
  Model model;  // a Model 1 or HMM direction reads 1/L from an empty align
  std::shared_ptr<const HmmParams> hmm;  // an HMM direction's transitions
  // A reverse direction trained in agreement, whose table has no cell index
  // of its own: its pairing with the forward table, through whose index its
  // cells are read.
  std::shared_ptr<const AgreementCells> through_forward;
};

// A direction's model laid out for other sentence pairs (see the top).
struct AppliedModel {
  std::shared_ptr<const Corpus> corpus;
  Model model;  // trans indexed for `corpus`, align holding its shapes
  std::shared_ptr<const HmmParams> hmm;
};

AppliedModel ApplyModel(const DirectionModel& direction,
                        const std::vector<std::string>& src,
                        const std::vector<std::string>& trg,
                        const Tokenization& tokens, const Parallel& parallel,
                        Reporter& log);

// A direction read from the distribution files the training command
// writes (Aligner::Load); without an alignment file every shape reads 1/L.
std::unique_ptr<DirectionModel> ReadDirectionFiles(
    const std::string& trans_path, const std::string* align_path,
    const Parallel& parallel, Reporter& log);

class Aligner {
 public:
  explicit Aligner(const AlignerOptions& options);

  const AlignerOptions& options() const { return options_; }

  // Trains on a corpus held in two files (pairs of the common prefix when
  // their line counts differ, with LoadCorpus's warning) or in memory
  // (std::invalid_argument when the counts differ): the forward model, and
  // the reverse one when options().both_directions.
  void TrainFiles(const std::string& src_path, const std::string& trg_path,
                  Reporter& log);
  // A corpus of one file, "source ||| target" a line (LoadJoinedCorpus).
  void TrainJoined(const std::string& path, Reporter& log);
  void TrainLines(const std::vector<std::string>& src,
                  const std::vector<std::string>& trg, Reporter& log);
  // Trains the reverse model on the training corpus unless it exists.
  // std::logic_error for a model read from files (no corpus).
  void TrainReverse(Reporter& log);

  // Reads a forward model from the distribution files the training command
  // writes (either variant), as the scoring command reads them; without an
  // alignment file every shape reads 1/L.
  void Load(const std::string& trans_path, const std::string* align_path,
            Reporter& log);
  // Writes the forward model's two distribution files (model variant, as
  // Model::WriteTransFile and WriteAlignFile write them); a null
  // `align_path` skips the alignment file.
  void Save(const std::string& trans_path, const std::string* align_path,
            double threshold, std::optional<int64_t> nbest,
            const std::string& threshold_text, Reporter& log) const;

  bool trained() const { return forward_ != nullptr; }
  bool has_reverse() const { return reverse_ != nullptr; }
  const DirectionModel& forward() const;
  const DirectionModel& reverse() const;
  // Pairs of the training corpus.
  int64_t size() const;

  // Links of pair p of the training corpus.
  Links ForwardLinks(int64_t p) const;
  Links ReverseLinks(int64_t p) const;
  Links PairLinks(int64_t p, const LinkMethod& method) const;

  // Writes output files of the training corpus in one walk, one line a
  // pair, each kind asked for by name (outputs.h: "links" chosen by
  // `method`, "forward" and "reverse" each direction's Viterbi links) into
  // its path ("-": standard output; empty: not written).  Files are logged
  // and opened in the order of OutputKinds().  std::invalid_argument for an
  // unknown kind or one asked for twice, before anything is written.
  using Outputs = OutputRequests;
  void WriteLinks(const Outputs& outputs, const LinkMethod& method,
                  Reporter& log) const;
  // The same for the pairs of two files (line k of one translating line k
  // of the other; the common prefix, with a warning, when their lengths
  // differ; an empty `trg_path`: `src_path` holds "source ||| target"
  // lines) under the held models, applied to them as AlignLines applies
  // them.
  void WriteLinksOf(const std::string& src_path, const std::string& trg_path,
                    const Outputs& outputs, const LinkMethod& method,
                    Reporter& log) const;

  // A model folder: both directions' translation tables ("forward.t",
  // "reverse.t", the model variant of the training command's file, every
  // value above 0), per model their other parameters ("forward.hmm",
  // "reverse.hmm" as FormatHmmParams writes them; "forward.a", "reverse.a"
  // for Model 2), and "manifest.txt" naming the model and its options.
  // SaveModel creates the folder when missing (its parent must exist) and
  // needs both directions.  LoadModel reads one back, replacing the held
  // models and the options the manifest names (schedule, agreement,
  // character mode, posterior combination); std::invalid_argument naming
  // the file and the line for a manifest or parameter file it cannot use,
  // IoError for a missing file.  Everything is read before anything held
  // changes.
  void SaveModel(const std::string& dir, Reporter& log) const;
  void LoadModel(const std::string& dir, Reporter& log);

  // The models applied to other pairs (see the top).  Links by `method`
  // (the reverse model must exist unless it is kForward); per-word
  // cross-entropies under the forward model, as the score file has them;
  // the forward posteriors of the real words of one pair, I x J row-major.
  std::vector<Links> AlignLines(const std::vector<std::string>& src,
                                const std::vector<std::string>& trg,
                                const LinkMethod& method, Reporter& log) const;
  std::vector<double> ScoreLines(const std::vector<std::string>& src,
                                 const std::vector<std::string>& trg,
                                 Reporter& log) const;
  std::vector<double> Posteriors(const std::string& src,
                                 const std::string& trg, int64_t* I,
                                 int64_t* J, Reporter& log) const;
  // t(f | e) as the applied forward model reads it.
  double TranslationProb(std::string_view e, std::string_view f) const;

 private:
  void TrainBoth(std::shared_ptr<Vocab> vocab, Corpus corpus, Reporter& log);
  // `method` with the options' choice of posterior combination.
  LinkMethod Decoding(LinkMethod method) const;
  // Both directions (or the forward one) by options().schedule.
  void TrainScheduled(std::unique_ptr<DirectionModel> fwd, Reporter& log);
  // Logs the start of a direction's set-up (its name, pairs, vocabulary)
  // and returns the memory plan of its tables: `share` of the memory left
  // under the limit.
  MemoryPlan StartDirection(const DirectionModel& direction, const char* name,
                            double share, Reporter& log) const;
  // Logs a direction's set-up and lays out its translation table; `share`
  // of the memory left under the limit goes to it.
  // `through_forward`: a reverse direction trained in agreement, its table
  // laid out without a cell index (read through the forward one's).
  void SetUpScheduled(DirectionModel* direction, const char* name,
                      double share, const Parallel& parallel, Reporter& log,
                      bool through_forward = false) const;
  // `share` of the memory left under the limit goes to this direction.
  // `next`, when given, is trained after this one: a limit that leaves it
  // no room is refused before this one trains.
  void TrainDirection(DirectionModel* direction, const char* name,
                      const Parallel& parallel, Reporter& log,
                      double share = 1.0,
                      const DirectionModel* next = nullptr) const;

  AlignerOptions options_;
  Parallel parallel_;
  std::unique_ptr<DirectionModel> forward_, reverse_;
};

// ------------------------------------------------------ sharded alignment

// Where one direction's pairs of a shard go in the whole corpus: the maps
// of the shard's source and target ids, and the whole corpus's vocabulary
// sizes S, T and dense dimensions A (longest source, NULL included), B.
struct ShardIds {
  std::vector<int32_t> src_map, trg_map;
  int32_t S = 0, T = 0, A = 0, B = 0;
};

// What one worker holds of a corpus split into shards.
class AlignerShard {
 public:
  // Reads `count` pairs from line `first_line` on (LoadCorpusLines) into a
  // vocabulary of the shard's own, keeping the warnings of the load; with
  // `both_directions` also the same pairs exchanged (SwapSides), into a
  // second one.
  static std::shared_ptr<AlignerShard> Load(
      const std::string& src_path, const std::string& trg_path,
      int64_t src_offset, int64_t trg_offset, int64_t first_line,
      int64_t count, const Tokenization& tokens, bool both_directions);
  const std::vector<std::string>& warnings() const { return warnings_; }

  // 1 or 2: forward, and reverse with both directions.
  int directions() const { return corpus_[1] ? 2 : 1; }
  int64_t size() const { return corpus_[0]->size(); }
  // The words of direction d as loaded; std::logic_error once indexed.
  const Vocab& vocab(int d) const;

  // The same pairs in the whole corpus's ids (one ShardIds a direction),
  // with tables laid out for each direction.
  std::shared_ptr<AlignerShard> Index(const std::vector<ShardIds>& ids,
                                      const Parallel& parallel) const;
  // The tables of direction d; std::logic_error before Index.
  ShardTables& tables(int d);
  const ShardTables& tables(int d) const;

  // The lines of the output kinds named in `kinds` of the shard's pairs
  // under the values its tables took (the reverse ones only when needed),
  // as PairLines makes them.
  std::vector<std::string> Lines(const std::vector<std::string>& kinds,
                                 const LinkMethod& method,
                                 const Parallel& parallel, Reporter& log,
                                 const HmmParams* fwd_hmm = nullptr,
                                 const HmmParams* rev_hmm = nullptr) const;

  // One E-step of a scheduled model over the shard's pairs (both
  // directions when `rev_p` is given) under the whole tables' translation
  // values and the HMMs' parameters (null outside an HMM step): the
  // totals, and each direction's counts in the order of its cells.
  JointTotals JointSweep(const double* fwd_p, size_t fwd_size,
                         const double* rev_p, size_t rev_size,
                         std::shared_ptr<HmmParams> fwd_hmm,
                         std::shared_ptr<HmmParams> rev_hmm, bool hmm,
                         bool agreement, const Parallel& parallel,
                         std::vector<double> counts[2]);

  size_t MemoryBytes() const;

 private:
  void CheckDirection(int d) const;

  std::shared_ptr<Vocab> vocab_[2];
  std::shared_ptr<const Corpus> corpus_[2];
  std::shared_ptr<ShardTables> tables_[2];
  // The two directions' cells paired for agreement, kept between walks.
  std::shared_ptr<AgreementCells> agreement_;
  std::vector<std::string> warnings_;
};

// One direction trained on the driver over shards held elsewhere: the
// whole corpus's tables, set up and logged as Aligner sets up a direction
// (with the "cell layout" line of the sharded tables), and both EM loops.
class ShardedDirection {
 public:
  // `vocab`: the merged words of the direction; `keys` and `shapes`: each
  // shard's cells and shapes (ShardTables::Keys, Shapes), in shard order.
  // `scheduled`: a direction of Model 1 and the HMM, whose set-up logs no
  // alignment table.
  ShardedDirection(const char* name, const Vocab& vocab, int64_t pairs,
                   const std::vector<std::vector<uint64_t>>& keys,
                   std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes,
                   Reporter& log, bool scheduled = false);

  ShardedTables& tables() { return *tables_; }
  const ShardedTables& tables() const { return *tables_; }

  // One walk: every shard sweeps (`expect_model` for the E-step, Model 2
  // for the entropy) and the results are reduced into tables(); returns
  // the entropy total.
  using Walk = StepWalker;
  // The training command's schedule (EmSchedule) on one Model 2, as Aligner
  // trains a direction.
  void Train(int32_t iterations, const Walk& walk, Reporter& log);

  // The HMM's parameters after a scheduled training (null without an HMM
  // step).
  std::shared_ptr<HmmParams> hmm;

 private:
  int64_t pairs_;
  std::unique_ptr<ShardedTables> tables_;
};

// Scheduled training of one or two sharded directions (`rev` null for
// one): walk(hmm) runs the E-step on every shard and sums the parts into
// the directions' tables in shard order (ShardedTables::Reduce), returning
// the totals summed in shard order.
void TrainShardedJoint(ShardedDirection* fwd, ShardedDirection* rev,
                       int64_t pairs, const Schedule& schedule,
                       const JointOptions& options, const JointWalker& walk,
                       Reporter& log);

}  // namespace qaz

#endif  // QAZ_ALIGN_ALIGNER_H_
