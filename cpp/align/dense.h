// The dense arrays a pickled trainer or model carries, converted to and from
// the sparse tables: t as [S, T], a as [A - 1, B, B, A] (C order).
#ifndef QAZ_ALIGN_DENSE_H_
#define QAZ_ALIGN_DENSE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "align/align_table.h"
#include "align/trans_table.h"

namespace qaz {

// Dense forms larger than this are refused (std::length_error naming the
// size) instead of exhausting memory.
inline constexpr double kMaxDenseBytes = 4.0 * (1ull << 30);

// Throws std::length_error when a dense form of `elements` doubles is too
// large; `what` names it.
void CheckDenseSize(double elements, const std::string& what);

// Fills `out` (S * T values) with the probabilities or the counts.
void DenseTrans(const TransTable& table, bool counts, double* out);
// Fills `out` ((A-1) * B * B * A values) likewise.
void DenseAlign(const AlignTable& align, bool counts, double* out);

// A translation table holding exactly the values of `data` ([S, T]): each
// row's most frequent value becomes its default.
std::shared_ptr<TransTable> TransFromDense(const double* data, int32_t S,
                                           int32_t T);
// An alignment table holding exactly the values of `data` (shape
// [U, B, J, A]); throws std::invalid_argument when a block holds values in
// rows past its target length, which the table cannot keep.
std::shared_ptr<AlignTable> AlignFromDense(const double* data, int32_t U,
                                           int32_t B, int32_t J, int32_t A);

}  // namespace qaz

#endif  // QAZ_ALIGN_DENSE_H_
