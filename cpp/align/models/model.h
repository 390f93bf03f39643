// An alignment model of the engine: one name per model (ModelType), its
// per-pair kernel for the threaded corpus walks (sweep.h), and what the
// trainers, the scoring command and the aligner ask of it (AlignmentModel).
//
// A kernel is a struct of static inline members, so that the walk, a
// template over it, compiles to the loops a hand-written walk would have:
//   kType        its ModelType;
//   kAlign       it has an alignment table: reads a(i | j, I, J) and
//                collects alignment counts (only for pairs with a shape);
//   Link(t, a)   the weight of link (i, j) in its column from t(f_j | e_i)
//                and a(i | j, I, J) (a kernel without a table ignores a);
//   LogColumn(s, L)   ln p(f_j | e) from s, the column's sum of Link over
//                the source positions in order (L of them, NULL first);
//   AddAlignCounts(counts, post, inv, L, m)   the pair's alignment counts
//                from its links' weights column by column (post[j * L + i])
//                and the columns' inverse sums (-1: the column adds none).
// A pair's posterior of link (i, j) is Link / the column's sum, its
// entropy -sum_j LogColumn, its Viterbi link of j the first i of the
// largest Link.  Everything a kernel computes is summed source position
// outer in order, so any loop order over the columns gives the same bits.
#ifndef QAZ_ALIGN_MODELS_MODEL_H_
#define QAZ_ALIGN_MODELS_MODEL_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "align/align_table.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

class Model;
class TransTable;
struct WriteOptions;

// The models of the engine.  kAbstract is the model without a formula (its
// entropies and decodings raise NotImplementedError).
enum class ModelType { kAbstract, kModel1, kModel2, kHmm };

// The name of a model in schedules and log lines: "1", "2", "hmm".
inline const char* ModelName(ModelType type) {
  switch (type) {
    case ModelType::kAbstract:
      return "abstract";
    case ModelType::kModel1:
      return "1";
    case ModelType::kModel2:
      return "2";
    case ModelType::kHmm:
      return "hmm";
  }
  return "?";
}

// The model as the log lines of its training steps name it: "IBM Model 1",
// "IBM Model 2", "the HMM".
inline std::string ModelTitle(ModelType type) {
  if (type == ModelType::kHmm) return "the HMM";
  return std::string("IBM Model ") + ModelName(type);
}

// A training schedule: steps of (model, iterations), run in order.
struct ScheduleStep {
  ModelType model;
  int32_t iterations;
};
using Schedule = std::vector<ScheduleStep>;

// numpy's pairwise summation of n doubles (the order np.sum uses).
double PairwiseSum(const double* x, int64_t n);

// The kernel of no model: a walk without an E-step or without an entropy.
struct NoModel {
  static constexpr ModelType kType = ModelType::kAbstract;
  static constexpr bool kActive = false;
  static constexpr bool kAlign = false;
  static double Link(double t, double) { return t; }
  static double LogColumn(double s, int32_t) { return s; }
  static void AddAlignCounts(double*, const double*, const double*, int32_t,
                             int32_t) {}
};

// The alignment values one pair reads: column j's L values at
// at + j * stride (stride 0: one row of 1/L, for a table without the
// pair's shape or a model without a table).
struct PairAlign {
  const double* at;
  size_t stride;
  double operator()(int32_t i, int32_t j) const {
    return at[static_cast<size_t>(j) * stride + i];
  }
};

// The values pair (L, m) reads of `align` (null: none), `uniform` holding
// the row of 1/L when needed.  std::out_of_range for a shape outside the
// table's dense dimensions.
PairAlign PairAlignOf(const AlignTable* align, int32_t L, int32_t m,
                      std::vector<double>* uniform);

// The one-pair computations of a kernel from the pair's gathered t values
// (L x m, t[i * m + j], NULL row first).
template <typename K>
double KernelPairEntropy(const double* t, const PairAlign& a, int32_t L,
                         int32_t m, bool average) {
  std::vector<double> logs(static_cast<size_t>(m));
  for (int32_t j = 0; j < m; ++j) {
    double s = 0.0;
    for (int32_t i = 0; i < L; ++i) s += K::Link(t[i * m + j], a(i, j));
    logs[j] = K::LogColumn(s, L);
  }
  const double h = -PairwiseSum(logs.data(), m);
  return average ? h / static_cast<double>(m) : h;
}

// best[j]: the first i of the largest Link (0 for an empty source).
template <typename K>
void KernelViterbi(const double* t, const PairAlign& a, int32_t L, int32_t m,
                   int32_t* best) {
  for (int32_t j = 0; j < m; ++j) {
    double top = -std::numeric_limits<double>::infinity();
    int32_t arg = 0;
    for (int32_t i = 0; i < L; ++i) {
      const double v = K::Link(t[i * m + j], a(i, j));
      if (v > top) {
        top = v;
        arg = i;
      }
    }
    best[j] = arg;
  }
}

// post[i * m + j] = Link / the column's sum (the E-step's normalised
// column); a column whose sum is not above 0 is all 0.
template <typename K>
void KernelPosteriors(const double* t, const PairAlign& a, int32_t L,
                      int32_t m, double* post) {
  for (int32_t j = 0; j < m; ++j) {
    double sum = 0.0;
    for (int32_t i = 0; i < L; ++i) {
      const double v = K::Link(t[i * m + j], a(i, j));
      post[static_cast<size_t>(i) * m + j] = v;
      sum += v;
    }
    if (!(sum > 0.0)) {
      for (int32_t i = 0; i < L; ++i) post[static_cast<size_t>(i) * m + j] = 0.0;
      continue;
    }
    const double inv = 1.0 / sum;
    for (int32_t i = 0; i < L; ++i) post[static_cast<size_t>(i) * m + j] *= inv;
  }
}

// What the engine asks of a model besides its walks (ModelOf in
// models/factory.h gives the one of a type).  The alignment table
// `align` may be null for a model without one; a model with one reads 1/L
// for the shapes it lacks.
class AlignmentModel {
 public:
  virtual ~AlignmentModel() = default;
  virtual ModelType type() const = 0;
  // Whether it has an alignment table (trained, written and read).
  virtual bool has_align_table() const = 0;

  // One pair from its gathered t values (L x m, t[i * m + j]): the entropy
  // in nats (per target word when `average`), the Viterbi links (best[j],
  // ties to the lowest i) and the link posteriors (post[i * m + j]).
  virtual double PairEntropy(const double* t, const AlignTable* align,
                             int32_t L, int32_t m, bool average) const = 0;
  virtual void Viterbi(const double* t, const AlignTable* align, int32_t L,
                       int32_t m, std::vector<int32_t>* best) const = 0;
  virtual void Posteriors(const double* t, const AlignTable* align, int32_t L,
                          int32_t m, std::vector<double>* post) const = 0;

  // The log lines of an E-step.
  virtual void LogExpectStep(Reporter& log) const = 0;
  // The M-step from the tables' expected counts (kept aside when `aside`),
  // with its log line.
  virtual void Maximize(TransTable* trans, AlignTable* align, bool aside,
                        const Parallel* parallel, Reporter& log) const = 0;

  // Writes the model's tables as the training command writes them (with
  // their log lines): the translation table to `trans_path` and, for a
  // model with an alignment table, that table to `align_path` when given
  // (without n-best).
  virtual void WriteTables(const Model& model, const std::string& trans_path,
                           const std::string* align_path,
                           const WriteOptions& options,
                           const std::string& threshold_text,
                           const Parallel& parallel, Reporter& log) const;
  // Reads back what WriteTables wrote into a model of this type, with a
  // vocabulary of the files' words (NULL first), a translation table laid
  // out for no corpus and an alignment table holding the shapes the file
  // lists (none without `align_path` or a table: every shape reads 1/L).
  virtual Model ReadTables(const std::string& trans_path,
                           const std::string* align_path,
                           const Parallel& parallel, Reporter& log) const;
};

// An AlignmentModel whose one-pair computations are its walk kernel's
// (KernelPairEntropy, KernelViterbi, KernelPosteriors above): a model of
// the EM kind derives from KernelModel<ItsKernel> and adds its E-step log
// lines and its M-step.
template <typename K>
class KernelModel : public AlignmentModel {
 public:
  ModelType type() const override { return K::kType; }
  bool has_align_table() const override { return K::kAlign; }
  double PairEntropy(const double* t, const AlignTable* align, int32_t L,
                     int32_t m, bool average) const override {
    std::vector<double> uniform;
    return KernelPairEntropy<K>(t, Align(align, L, m, &uniform), L, m, average);
  }
  void Viterbi(const double* t, const AlignTable* align, int32_t L, int32_t m,
               std::vector<int32_t>* best) const override {
    best->assign(static_cast<size_t>(m), 0);
    std::vector<double> uniform;
    KernelViterbi<K>(t, Align(align, L, m, &uniform), L, m, best->data());
  }
  void Posteriors(const double* t, const AlignTable* align, int32_t L,
                  int32_t m, std::vector<double>* post) const override {
    post->assign(static_cast<size_t>(L) * m, 0.0);
    std::vector<double> uniform;
    KernelPosteriors<K>(t, Align(align, L, m, &uniform), L, m, post->data());
  }

 private:
  // A kernel without alignment values never reads them.
  static PairAlign Align(const AlignTable* align, int32_t L, int32_t m,
                         std::vector<double>* uniform) {
    if constexpr (K::kAlign) {
      return PairAlignOf(align, L, m, uniform);
    } else {
      return PairAlign{nullptr, 0};
    }
  }
};

}  // namespace qaz

#endif  // QAZ_ALIGN_MODELS_MODEL_H_
