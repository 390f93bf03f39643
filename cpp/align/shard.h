// Tables of a corpus split into shards: each shard holds a table laid out
// for its own pairs (global ids); the whole corpus's table holds the union
// of their cells.  Each shard's cells and alignment blocks map once onto the
// whole table's, so that values go out and counts come back by position.
#ifndef QAZ_ALIGN_SHARD_H_
#define QAZ_ALIGN_SHARD_H_

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "align/align_table.h"
#include "align/trans_table.h"

namespace qaz {

// (source id << 32 | target id) of every cell of `table`, in cell order
// (ascending).
std::vector<uint64_t> CellKeys(const TransTable& table);

// The union of the shards' cells, as the rows of an S-row table, and where
// each shard's cell k sits in it.
struct CellUnion {
  std::vector<uint64_t> row_ptr;
  std::vector<int32_t> cols;
  std::vector<std::vector<uint32_t>> maps;
};
CellUnion UnionCells(int32_t S, const std::vector<std::vector<uint64_t>>& shards);

// The shapes (I, J) of `align`, in block order.
std::vector<std::pair<int32_t, int32_t>> BlockShapes(const AlignTable& align);

// A uniform alignment table of dimensions A x B holding every shape of the
// shards (blocks in ascending shape order, so values lie in that order), and
// for each shard the first value of each of its blocks in it.
std::shared_ptr<AlignTable> UnionShapes(
    int32_t A, int32_t B,
    const std::vector<std::vector<std::pair<int32_t, int32_t>>>& shards,
    std::vector<std::vector<uint64_t>>* offsets);

// Values of every block of `align` (block order, J x L each).
uint64_t AlignCells(const AlignTable& align);

// Shard side: its cells' values from the whole table's (cell k from
// whole_p[map[k]]), its blocks' values from the whole table's values.
void TakeValues(const double* whole_p, const std::vector<uint32_t>& map,
                const double* whole_a, const std::vector<uint64_t>& offsets,
                TransTable* table, AlignTable* align);

// Whole side: adds a shard's counts (cell order; block order) into the
// whole table's.
void AddCounts(const double* counts, const std::vector<uint32_t>& map,
               TransTable* whole);
void AddAlignCounts(const double* counts,
                    const std::vector<std::pair<int32_t, int32_t>>& shapes,
                    const std::vector<uint64_t>& offsets, AlignTable* whole);

}  // namespace qaz

#endif  // QAZ_ALIGN_SHARD_H_
