// IBM Models 1 and 2 (Brown et al., 1993, "The Mathematics of Statistical
// Machine Translation: Parameter Estimation") on one sentence pair: entropies
// and Viterbi decoding from the pair's gathered t values.  The corpus walks
// of EM are in sweep.h.
//
// Notation: a sentence pair has L source positions i = 0..L-1 (i = 0 is the
// NULL word, so I = L - 1 real words) and m = J target positions j.  Counts
// are accumulated in corpus order, source position outer, target position
// inner, as a sequential scatter-add over each pair would.
#ifndef QAZ_ALIGN_EM_H_
#define QAZ_ALIGN_EM_H_

#include <cstdint>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/trans_table.h"
#include "common/reporter.h"

namespace qaz {

// Entropy of one pair from its gathered t values (L x m, t[i * m + j]):
// Model 1: -sum_j ln(sum_i t(f_j|e_i) / L), Model 2: -sum_j ln(sum_i
// a(i|j,I,J) t(f_j|e_i)); divided by m when `average`.
double Model1PairEntropy(const double* t, int32_t L, int32_t m, bool average);
double Model2PairEntropy(const double* t, const AlignTable& align, int32_t L,
                         int32_t m, bool average);

// Viterbi alignment of one pair: best[j] = argmax_i a(i|j,I,J) t(f_j|e_i),
// ties to the lowest i; every word of an empty source goes to 0.
void DecodePair(const double* t, const AlignTable& align, int32_t L,
                int32_t m, std::vector<int32_t>* best);

// numpy's pairwise summation of n doubles (the order np.sum uses).
double PairwiseSum(const double* x, int64_t n);

}  // namespace qaz

#endif  // QAZ_ALIGN_EM_H_
