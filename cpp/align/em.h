// EM for IBM Models 1 and 2 (Brown et al., 1993, "The Mathematics of
// Statistical Machine Translation: Parameter Estimation"), entropies and
// Viterbi decoding.
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

// Model 1 E-step: counts of `table` (zeroed first) become
// c(e, f) = sum over pairs and positions of t(f|e) / sum_i t(f|e_i).
// `table` must be indexed for `corpus`.
void Model1ExpectStep(TransTable* table, const Corpus& corpus,
                      Reporter& reporter);

// Model 2 E-step: with p(i, j) = t(f_j|e_i) a(i|j,I,J) / sum_i' (same),
// c(e_i, f_j) += p(i, j) and c(i | j, I, J) += p(i, j).  Pairs with no real
// source word or no target word are skipped; a column whose sum is 0
// contributes nothing.
void Model2ExpectStep(TransTable* table, AlignTable* align,
                      const Corpus& corpus, Reporter& reporter);

// Checks that every shape of `corpus` fits the dense dimensions of `align`
// and adds the blocks it lacks; throws std::out_of_range like an index
// error otherwise.
void PrepareAlignBlocks(AlignTable* align, const Corpus& corpus);

// Entropy of one pair from its gathered t values (L x m, a-major):
// Model 1: -sum_j ln(sum_i t(f_j|e_i) / L), Model 2: -sum_j ln(sum_i
// a(i|j,I,J) t(f_j|e_i)); divided by m when `average`.
double Model1PairEntropy(const double* t, int32_t L, int32_t m, bool average);
double Model2PairEntropy(const double* t, const AlignTable& align, int32_t L,
                         int32_t m, bool average);

// Sum over the pairs of the per-word entropies above (average true), for a
// corpus the table is indexed for; one sweep without copies.
double Model1CorpusEntropy(const TransTable& table, const Corpus& corpus,
                           Reporter& reporter);
double Model2CorpusEntropy(const TransTable& table, const AlignTable& align,
                           const Corpus& corpus, Reporter& reporter);

// Viterbi alignment of one pair: best[j] = argmax_i a(i|j,I,J) t(f_j|e_i),
// ties to the lowest i; every word of an empty source goes to 0.
void DecodePair(const double* t, const AlignTable& align, int32_t L,
                int32_t m, std::vector<int32_t>* best);

// The alignment row a(. | j, I, J) of a pair of L x m positions: a pointer
// to L values, or nullptr when it reads as the uniform 1/L.  Throws
// std::out_of_range when the shape lies outside the dense dimensions.
const double* AlignRow(const AlignTable& align, int32_t L, int32_t m,
                       int32_t j);

// numpy's pairwise summation of n doubles (the order np.sum uses).
double PairwiseSum(const double* x, int64_t n);

}  // namespace qaz

#endif  // QAZ_ALIGN_EM_H_
