// First-order HMM alignment model (Vogel, Ney and Tillmann 1996, "HMM-Based
// Word Alignment in Statistical Translation") with the empty word of Och and
// Ney (2003, "A Systematic Comparison of Various Statistical Alignment
// Models", section 2.1.1), on one sentence pair at a time.
//
// A pair has L = I + 1 source rows (row 0 the NULL word, rows 1..I the real
// words) and m target positions j; its translation values come gathered as
// for the IBM models, t[i * m + j] = t(f_j | e_i).
//
// States: word state i (1..I) emits f_j from e_i; NULL state i (0..I)
// emits f_j from the NULL word and remembers source position i, NULL state
// 0 remembering the start before the sentence.  From word state i' or NULL
// state i', the next state is NULL state i' with probability p0, or word
// state i with probability (1 - p0) p(i | i', I), where
//
//   p(i | i', I) = c(i - i') / sum_{k=1..I} c(k - i')      (i' >= 1)
//   p(i | 0, I)  = s(i) / sum_{k=1..I} s(k)                 (the start)
//
// with one table of jump weights c(d) for every sentence length and one of
// start weights s(i).  Jumps of kWindow or more positions share a bucket at
// each end (c(d) = c(kWindow) for d >= kWindow, c(-kWindow) for d <=
// -kWindow; s(i) = s(kWindow) for i >= kWindow): every far jump weighs the
// same, so a row's sum and the forward and backward passes cost
// O(I * kWindow) a target position with running sums over the far ends,
// whatever the sentence length.  The window is 15: jumps beyond it are rare
// in aligned text and their probabilities barely differ, and it keeps a
// 3000-word pair to about 3000 * 3000 * 30 operations a pass.
//
// Sentences of up to kDense words read their transitions from matrices
// written out once per set of weights (Refresh), which the passes walk row
// by row; longer ones use the running sums.  The two give the same values
// up to rounding, and a pair always takes the same path, so results do not
// depend on anything but the pair and the weights.
//
// The forward and backward passes are scaled at every target position, so
// no probability underflows; the log-likelihood is the sum of the logs of
// the scales.
#ifndef QAZ_ALIGN_MODELS_HMM_H_
#define QAZ_ALIGN_MODELS_HMM_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qaz {

struct HmmParams {
  static constexpr int kWindow = 15;
  static constexpr int kJumps = 2 * kWindow + 1;  // c(d) at d + kWindow
  static constexpr int kStarts = kWindow + 1;     // s(i) at min(i, kWindow)
  // Floor of the weights after an M-step, so no jump becomes impossible.
  static constexpr double kFloor = 1e-8;
  static constexpr int kDense = 64;

  double p0 = 0.2;
  std::vector<double> jump = std::vector<double>(kJumps, 1.0);
  std::vector<double> start = std::vector<double>(kStarts, 1.0);

  // Expected counts to add up over a corpus, jump and start buckets as the
  // weights.  A far bucket's count is divided, row by row, by the number of
  // positions it covers in that row, so it estimates the weight of one far
  // jump.
  struct Counts {
    std::vector<double> jump = std::vector<double>(kJumps, 0.0);
    std::vector<double> start = std::vector<double>(kStarts, 0.0);
    void Clear();
    void Add(const Counts& other);
  };

  // M-step: each table becomes its counts over their total, floored at
  // kFloor; a table whose counts total 0 keeps its weights.  Refreshes.
  void Maximize(const Counts& counts);

  // Writes out the transition matrices of the short sentences; call after
  // changing p0 or the weights by hand.  Until then every pair takes the
  // running-sum path.
  void Refresh();
  // The rows of the matrices are padded with zeros to a multiple of 4.
  static constexpr size_t Padded(int32_t n) {
    return (static_cast<size_t>(n) + 3) / 4 * 4;
  }
  // p(i | i', I) at [i' * Padded(I) + i - 1] for i' = 0..I, i = 1..I;
  // nullptr for a sentence longer than kDense or before Refresh.
  const double* Matrix(int32_t I) const {
    return I <= kDense && !matrices.empty() ? matrices.data() + offsets[I] : nullptr;
  }

  // The same transposed: p(i | i', I) at [(i - 1) * Padded(I + 1) + i'].
  const double* Transposed(int32_t I) const {
    return I <= kDense && !matrices.empty() ? transposed.data() + toffsets[I] : nullptr;
  }

  // 1 / sum_{k=1..I} of the weights from each position i' = 0..I, for
  // sentences of up to kRowSumsKept words (Refresh writes them); nullptr
  // for longer ones or before Refresh.
  static constexpr int kRowSumsKept = 256;
  const double* InvRowSums(int32_t I) const {
    return I <= kRowSumsKept && !inv_row_sums.empty()
               ? inv_row_sums.data() + row_sum_offsets[I]
               : nullptr;
  }

  std::vector<double> matrices, transposed, inv_row_sums;
  std::vector<size_t> offsets, toffsets, row_sum_offsets;
};

// The log of a product of positive factors, taken once at the end: each
// factor's power of two is kept apart from its mantissa, so the product
// neither underflows nor overflows however many factors come.  A factor of
// 0 gives -inf, a negative one or a NaN NaN.
class LogOfProduct {
 public:
  void Add(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const uint64_t exponent = (bits >> 52) & 0x7FF;
    if (exponent == 0 || exponent == 0x7FF || (bits >> 63) != 0) {
      AddRare(x);  // 0, subnormal, infinite, NaN or negative
      return;
    }
    bits = (bits & ~(uint64_t{0x7FF} << 52)) | (uint64_t{1022} << 52);
    std::memcpy(&x, &bits, sizeof bits);  // in [0.5, 1)
    twos_ += static_cast<int64_t>(exponent) - 1022;
    product_ *= x;
    if (product_ < 0x1p-500) Rescale();
  }
  double Log() const;

 private:
  void AddRare(double x);
  void Rescale();

  double product_ = 1.0;  // a product of mantissas in [0.5, 1)
  int64_t twos_ = 0;
};

// Buffers of one thread's pairs, reused between pairs.
struct HmmScratch {
  std::vector<double> inv_z, g, s, u, pre, suf, word, null, back, scale, xi;
  std::vector<int32_t> from, lo_arg, hi_arg;
  std::vector<uint8_t> from_null;
};

// Forward-backward on one pair: post[i * m + j] the posterior of target j
// emitted by word state i (i >= 1) or, at i = 0, by any NULL state; each
// column sums to 1.  Adds the pair's expected jump and start counts to
// `counts` when given.  Returns ln p(f | e).  A pair without real source
// words sends every target word to NULL (ln p = sum_j ln t(f_j | NULL)); a
// pair without target words has ln p = 0.
double HmmPosteriors(const HmmParams& h, const double* t, int32_t L, int32_t m,
                     double* post, HmmParams::Counts* counts, HmmScratch* s);

// The most probable state sequence: best[j] = i for word state i, 0 for a
// NULL state.  Of equal scores the lowest previous position (word state
// before NULL state) wins, so the result is deterministic.
void HmmViterbi(const HmmParams& h, const double* t, int32_t L, int32_t m,
                int32_t* best, HmmScratch* s);

// The text file of one direction's HMM parameters:
//   p0<TAB>VALUE
//   window<TAB>15
//   start<TAB>i<TAB>WEIGHT      i = 1..15 (15: every i >= 15)
//   jump<TAB>d<TAB>WEIGHT       d = -15..15 (the ends: every jump beyond)
// Values in shortest round-trip form.
std::string FormatHmmParams(const HmmParams& h);
// Reads that text; std::invalid_argument naming `where` and the line for
// anything else (a missing or repeated entry, another window, a weight
// that is not a finite number > 0, p0 outside [0, 1)).
HmmParams ParseHmmParams(const std::string& text, const std::string& where);

}  // namespace qaz

#endif  // QAZ_ALIGN_MODELS_HMM_H_
