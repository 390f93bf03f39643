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
//   aligner.WriteLinks({"-", "", ""}, method, reporter);  // to standard output
//
// Results never depend on the number of threads.
#ifndef QAZ_ALIGN_ALIGNER_H_
#define QAZ_ALIGN_ALIGNER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "align/corpus.h"
#include "align/links.h"
#include "align/model.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

struct AlignerOptions {
  int32_t iterations = 5;  // limit of each of the two EM loops
  bool character_based = false;
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

  bool NeedsReverse() const { return kind != kForward; }
};

// "none" (the forward links), "posterior", or a heuristic's name as
// ParseSymmetrization takes it.  std::invalid_argument for another name or
// a threshold outside (0, 1].
LinkMethod ParseLinkMethod(std::string_view name, double threshold);

// Link posteriors of IBM Model 2 for one pair from its gathered t values
// (L x m, a-major, as PairCells::Gather gives them): post[i * m + j] =
// t(f_j|e_i) a(i|j,I,J) / sum_i' t(f_j|e_i') a(i'|j,I,J), the NULL word
// i = 0 in the sum: the E-step's normalised column.  A shape the table
// lacks reads 1/L; a column whose sum is 0 is all 0.
void PairPosteriors(const double* t, const AlignTable& align, int32_t L,
                    int32_t m, std::vector<double>* post);

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
  Model model;
};

// A direction's model laid out for other sentence pairs (see the top).
struct AppliedModel {
  std::shared_ptr<const Corpus> corpus;
  Model model;  // trans indexed for `corpus`, align holding its shapes
};

AppliedModel ApplyModel(const DirectionModel& direction,
                        const std::vector<std::string>& src,
                        const std::vector<std::string>& trg,
                        bool character_based, const Parallel& parallel,
                        Reporter& log);

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

  // Writes link files of the training corpus, one Pharaoh line a pair, in
  // one walk: `links` chosen by `method`, `forward` and `reverse` each
  // direction's Viterbi links.  An empty path skips that file; "-" is
  // standard output.
  struct Outputs {
    std::string links;
    std::string forward;
    std::string reverse;
  };
  void WriteLinks(const Outputs& outputs, const LinkMethod& method,
                  Reporter& log) const;

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
  // `share` of the memory left under the limit goes to this direction.
  void TrainDirection(DirectionModel* direction, const char* name,
                      const Parallel& parallel, Reporter& log,
                      double share = 1.0) const;

  AlignerOptions options_;
  Parallel parallel_;
  std::unique_ptr<DirectionModel> forward_, reverse_;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_ALIGNER_H_
