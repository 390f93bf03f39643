// Tables of a corpus split into shards: each shard holds a table laid out
// for its own pairs (global ids); the whole corpus's table holds the union
// of their cells.  Each shard's cells and alignment blocks map once onto the
// whole table's, so that values go out and counts come back by position.
//
// A walk over a sharded corpus: the whole tables' values go to every shard
// (TakeValues), each shard sweeps its own pairs, and the shards' counts are
// added into the whole tables in shard order (AddCounts, AddAlignCounts).
// With one shard the counts are the whole-corpus sweep's, bit for bit; with
// several, each cell's count is the sum of the shards' partial sums, which
// differs from the corpus-order sum by reassociation only.
#ifndef QAZ_ALIGN_SHARD_H_
#define QAZ_ALIGN_SHARD_H_

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/model.h"
#include "align/sweep.h"
#include "align/trans_table.h"
#include "common/parallel.h"
#include "common/reporter.h"

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

// Pairs in the ids of the whole corpus: source id k becomes src_map[k],
// target id k trg_map[k].  std::out_of_range for an id outside its map.
Corpus RemapCorpus(const Corpus& corpus, const std::vector<int32_t>& src_map,
                   const std::vector<int32_t>& trg_map);

// Shard side: one shard's pairs (ids of the whole corpus) with tables laid
// out for them, an S x T translation table with a cell index and an A x B
// alignment table of their shapes, and, once attached, the maps of its
// cells and blocks onto the whole tables.
class ShardTables {
 public:
  ShardTables(std::shared_ptr<const Corpus> corpus, int32_t S, int32_t T,
              int32_t A, int32_t B, const Parallel& parallel);

  const Corpus& corpus() const { return *corpus_; }
  const TransTable& trans() const { return *trans_; }
  const AlignTable& align() const { return *align_; }
  std::vector<uint64_t> Keys() const { return CellKeys(*trans_); }
  std::vector<std::pair<int32_t, int32_t>> Shapes() const {
    return BlockShapes(*align_);
  }

  // std::invalid_argument when the maps do not match the tables.
  void Attach(std::vector<uint32_t> cell_map,
              std::vector<uint64_t> block_offsets);
  bool attached() const { return attached_; }

  // The whole tables' values: `p` of `p_size` cells, `a` of `a_size`
  // alignment values; std::out_of_range when a map points past them,
  // std::logic_error before Attach.
  void TakeValues(const double* p, size_t p_size, const double* a,
                  size_t a_size);
  // The translation values alone (the scheduled models read no alignment
  // table): cell k from p[map[k]].
  void TakeTransValues(const double* p, size_t p_size);
  TransTable* mutable_trans() { return trans_.get(); }

  // One walk over the shard's pairs under the values taken; returns the
  // entropy total.  With an E-step, `counts` gets the translation counts in
  // cell order and, for Model 2, `align_counts` the alignment counts in
  // block order (else they are emptied).
  double Sweep(const SweepRequest& request, const Parallel& parallel,
               std::vector<double>* counts, std::vector<double>* align_counts);
  // A Model 2 over the tables (sharing them), as the values were taken.
  Model AsModel() const;

  size_t MemoryBytes() const;

 private:
  std::shared_ptr<const Corpus> corpus_;
  std::shared_ptr<TransTable> trans_;
  std::shared_ptr<AlignTable> align_;
  std::vector<uint32_t> cell_map_;
  std::vector<uint64_t> block_offsets_;
  bool attached_ = false;
  SweepScratch scratch_;
};

// Whole side: the tables of the whole corpus whose walks run on shards held
// elsewhere: the union of the shards' cells (S x T, every value 1/T,
// counts kept aside between walks, no cell index) and of their shapes (an
// A x B table), with each shard's maps onto them.
class ShardedTables {
 public:
  ShardedTables(int32_t S, int32_t T, int32_t A, int32_t B,
                const std::vector<std::vector<uint64_t>>& keys,
                std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes);

  size_t shards() const { return maps_.size(); }
  const std::vector<uint32_t>& cell_map(size_t s) const { return maps_.at(s); }
  const std::vector<uint64_t>& block_offsets(size_t s) const {
    return offsets_.at(s);
  }
  const std::shared_ptr<TransTable>& trans() const { return trans_; }
  const std::shared_ptr<AlignTable>& align() const { return align_; }

  // The current values: translation cells in cell order, alignment values
  // in block order (what ShardTables::TakeValues takes).
  std::vector<double> TransValues() const;
  std::vector<double> AlignValues() const;

  // One shard's part of a walk, as ShardTables::Sweep gives it.
  struct Part {
    double total = 0.0;
    const double* counts = nullptr;
    size_t counts_size = 0;
    const double* align_counts = nullptr;
    size_t align_counts_size = 0;
  };
  // Sums the parts in shard order: returns the entropy total; with
  // `expect` the whole tables' counts become the sum of the shards' counts
  // (alignment counts too with `model2`).  std::invalid_argument when the
  // parts do not match the shards.
  double Reduce(const std::vector<Part>& parts, bool expect, bool model2);

 private:
  std::shared_ptr<TransTable> trans_;
  std::shared_ptr<AlignTable> align_;
  std::vector<std::vector<uint32_t>> maps_;
  std::vector<std::vector<uint64_t>> offsets_;
  std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes_;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_SHARD_H_
