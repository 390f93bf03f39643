// Training by a schedule of (model, iterations) steps, IBM Model 1 and the
// HMM (models/hmm.h), of one direction or of two directions together, and
// then, by default, in agreement (Liang, Taskar and Klein 2006, "Alignment
// by Agreement"): in every E-step both directions' link posteriors are
// computed for the pair, p1(i, j) of the forward model and p2(i, j) of the
// reverse one, and the translation counts of both models take their
// product q(i, j) = p1(i, j) p2(i, j) in place of their own posteriors.
// The NULL counts come from each model's own posteriors, and so do the
// HMM's jump counts.
//
// Every step runs its iterations in full: with agreement the counts are
// not those of either model's likelihood, so a rise of an entropy says
// nothing about the step.  An M-step multiplies each row's counts by 1 /
// their total and floors the values at 1e-10, so no link becomes
// impossible for a later HMM step (TransTable::NormalizeFloored).
//
// A walk goes through the corpus in chunks of pairs.  Any thread works out
// a chunk's posteriors; then, in chunk order, the same thread adds the
// chunk's counts to the tables pair after pair (source position outer,
// target position inner) and its entropies and jump counts to the totals.
// In agreement a word pair's count q is summed once, into the forward
// table, and copied to the reverse table's cell of the same word pair after
// the walk; each NULL row takes its own direction's counts.  So every
// result is the same for any number of threads and either cell layout.
#ifndef QAZ_ALIGN_MODELS_JOINT_H_
#define QAZ_ALIGN_MODELS_JOINT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "align/corpus.h"
#include "align/models/hmm.h"
#include "align/models/model.h"
#include "align/trans_table.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

// A schedule of these models (Schedule, models/model.h), "1:5,hmm:5":
// models 1 and hmm, iterations >= 0, comma-separated.
// std::invalid_argument naming the faulty part otherwise.
Schedule ParseSchedule(std::string_view text);
std::string FormatSchedule(const Schedule& schedule);

// One direction under training: its corpus (source side with the NULL word
// first), its translation table laid out for that corpus, and its HMM
// parameters (set up at the first HMM step).
struct JointDirection {
  const Corpus* corpus = nullptr;
  TransTable* trans = nullptr;
  std::shared_ptr<HmmParams> hmm;
};

struct JointOptions {
  bool agreement = true;
  double p0 = 0.2;  // the HMM's NULL probability, kept fixed
};

// Runs the schedule.  `rev` is null for one direction (no agreement then);
// its corpus must hold the forward pairs with their sides exchanged.
// `keep`, when given, holds the pairing of the two tables afterwards
// (AgreementCells::GatherReverse).
class AgreementCells;
void TrainJoint(JointDirection* fwd, JointDirection* rev,
                const Schedule& schedule, const JointOptions& options,
                const Parallel& parallel, Reporter& log,
                AgreementCells* keep = nullptr);

// What one E-step gives besides the translation counts: each direction's
// sum of per-pair entropies (nats per target word) and, in an HMM step,
// its jump and start counts.
struct JointTotals {
  double entropy[2] = {0.0, 0.0};
  HmmParams::Counts counts[2];
};

// What agreement E-steps over the same two tables keep from one to the
// next (see JointExpect): the reverse cell of each forward word pair (4
// bytes a pair, a quarter of a table's cell).  Built at the first E-step
// that needs it.
class AgreementCells {
 public:
  AgreementCells() = default;
  AgreementCells(const AgreementCells&) = delete;
  AgreementCells& operator=(const AgreementCells&) = delete;

  // Pairs the tables' cells (once for the same tables): false when some
  // word pair has no cell in one of them, or a cell no word pair (tables
  // not built from the two corpora); JointExpect then sums each
  // direction's counts apart.
  bool Pair(const JointDirection& fwd, const JointDirection& rev);
  // The forward table's counts of word pairs into the reverse table's cells.
  void CopyCounts(const JointDirection& fwd, const JointDirection& rev,
                  const Parallel& parallel) const;

  // The M-step of the paired tables, their counts in place.  Every word
  // pair's count is in both tables, so the reverse values of the next
  // E-step need not be read from the reverse table: when every row with
  // cells has a positive count total, the reverse table is normalised and
  // floored as usual, while the forward table keeps its counts as values
  // and 1 / its row totals aside (deferred).  The next E-step then reads
  // each forward cell once and works out both directions' values of its
  // word pair as the M-step would have left them, max(count * (1 / row
  // total), floor), bit for bit (GatherBoth).  Otherwise both tables are
  // normalised and floored, as without the pairing.
  void Maximize(const JointDirection& fwd, const JointDirection& rev,
                const Parallel& parallel);
  // Whether the forward table holds deferred counts.
  bool deferred() const { return deferred_; }
  // Normalises and floors a deferred forward table (its counts are still
  // in place: call before the next E-step zeroes them).
  void Materialize(const JointDirection& fwd, const Parallel& parallel);
  // In deferred mode: pair p's values of both directions, tf[i * m + j] =
  // t(f_j | e_i) forward (L x m) and tr[j' * m' + i'] reverse (m + 1 rows,
  // NULL row first, by L - 1 columns).
  void GatherBoth(const JointDirection& fwd, const JointDirection& rev,
                  int64_t p, std::vector<double>* tf, std::vector<double>* tr,
                  std::vector<double>* scratch) const;

  // Whether the pairing holds for these directions, the forward table
  // with its cell index: GatherReverse then gives the reverse values.
  bool Reaches(const TransTable& fwd, const Corpus& fwd_corpus,
               const TransTable& rev) const;
  // Pair p's reverse values (m + 1 rows, NULL row first, by L - 1
  // columns) through the forward cell index, bit for bit as the reverse
  // table holds them: a reverse table without an index of its own
  // (MemoryPlan::kNone) needs none.  After a deferred M-step they come of
  // the forward cells' counts alone.
  void GatherReverse(const TransTable& fwd, const Corpus& fwd_corpus,
                     const TransTable& rev, const Corpus& rev_corpus, int64_t p,
                     std::vector<double>* out) const;
  // The forward counts are about to change (an E-step zeroes them).
  void ForgetCounts() { counts_kept_ = false; }
  // Adds the counts of pair p's reverse NULL row (m' values).
  void AddNullCounts(const JointDirection& rev, int64_t p,
                     const double* counts) const;

  // The floor of the translation values after each M-step.
  static constexpr double kFloor = 1e-10;

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  // Whether these are the tables paired last, unchanged in size.
  bool SameTables(const TransTable& fwd, const TransTable& rev) const;
  // Pair p's reverse NULL row values (one per reverse target word) to out.
  void NullRow(const TransTable& rev, const Corpus& rev_corpus, int64_t p,
               double* out) const;

  const TransTable* tables_[2] = {nullptr, nullptr};
  int64_t nnz_[2] = {0, 0};
  bool paired_ = false, ok_ = false, deferred_ = false;
  // Whether the forward counts are still those of the last M-step, which
  // was deferred (inverses_ hold its row totals): GatherReverse then works
  // the reverse values out of them.
  bool counts_kept_ = false;
  std::vector<uint32_t> rev_of_;  // per forward cell; kNone in the NULL row
  std::vector<uint32_t> null_cell_;  // per reverse target word
  std::vector<double> inverses_[2];  // 1 / row totals of the deferred counts
};

// One E-step over the directions' corpora (pairs in corpus order): the
// translation tables' counts become this step's expected counts.
//
// In agreement, a word pair's count is the same q for both directions, so
// the reverse table's counts of word pairs are the forward table's (each
// summed once, pair after pair, source position outer); each direction's
// NULL row takes its own.  `keep` holds the pairing of the two tables
// between calls (null: paired for this call only).
JointTotals JointExpect(JointDirection* fwd, JointDirection* rev, bool hmm,
                        bool agreement, const Parallel& parallel,
                        Reporter& log, AgreementCells* keep = nullptr);

// The schedule's loop over E-steps that run elsewhere (on shards):
// walk(hmm, fwd HMM, rev HMM) leaves the counts of both tables and returns
// the totals (the HMMs are null outside an HMM step); the loop logs as
// TrainJoint logs, sets up the HMMs and runs the M-steps on the
// directions' tables (their corpora are not read).
using JointWalker = std::function<JointTotals(bool hmm, const HmmParams* fwd,
                                              const HmmParams* rev)>;
// With `pairing` (tables paired for agreement), the M-steps go through
// it (AgreementCells::Maximize) and the last leaves both tables normalised.
void RunSchedule(JointDirection* fwd, JointDirection* rev, int64_t pairs,
                 const Schedule& schedule, const JointOptions& options,
                 const JointWalker& walk, const Parallel& parallel,
                 Reporter& log, AgreementCells* pairing = nullptr);

// The link posteriors of one pair, L x m with the NULL row first: Model 1
// when `hmm` is null, else the HMM's; returns ln p(f | e) (Model 1: with
// the uniform 1/L alignment).
double PairLinkPosteriors(const HmmParams* hmm, const double* t, int32_t L,
                          int32_t m, double* post, HmmParams::Counts* counts,
                          HmmScratch* scratch);

}  // namespace qaz

#endif  // QAZ_ALIGN_MODELS_JOINT_H_
