// Word translation table t(f | e), held sparse.
//
// Row e lists, in ascending target id, the targets that have an entry of
// their own (in training: the targets that co-occur with e in some sentence
// pair), each with its probability and its expected count beside it, so the
// E-step gathers and scatters on one cache line.  Every other target of row
// e reads as the row's default value.  The table therefore gives exactly what
// the dense S x T array would, without ever holding S x T values:
//   - after the uniform start every entry is 1/T (the default of every row);
//   - an M-step divides a row by its count total when the total is positive,
//     which also sets the row's default to 0; other rows keep everything.
//
// A cell index maps every (pair, source position i, target position j) of
// one corpus to its cell, laid out i-major per pair as the sweeps read it,
// so they never search.
#ifndef QAZ_ALIGN_TRANS_TABLE_H_
#define QAZ_ALIGN_TRANS_TABLE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "align/corpus.h"
#include "common/memory.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

// An allocator whose resize leaves new elements uninitialised: the cell
// index is written in full right after it is sized.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <typename U>
  UninitializedAllocator(const UninitializedAllocator<U>&) {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

struct TransCell {
  double p;  // t(f | e)
  double c;  // expected count c(e, f) of the last E-step
};

// A target id with a value, used to add entries to a table.
struct TransEntry {
  int32_t src;
  int32_t trg;
  double p;
};

// How much memory a table may take, and which cell layout to use.
struct MemoryPlan {
  // Bytes the whole process may hold at its peak; -1 for the memory
  // available to it.
  int64_t limit = -1;
  // The limit as the user gave it, when `limit` is one run's share of it
  // (refusals name both); -1 when `limit` is the whole of it.
  int64_t stated_limit = -1;
  // kNone: neither index nor lookups, for a table whose cells the sweeps
  // reach through another table's index (the reverse table of two
  // directions trained in agreement, see AgreementCells).
  enum class Layout { kAuto, kIndex, kLookup, kNone } layout = Layout::kAuto;
  // With kLookup: cells looked up at a time (0: as many as fit).
  int64_t lookup_cells = 0;
  // Whether an alignment table for the corpus's shapes is still to come
  // (its bytes are then counted in), or is held already.
  bool align_to_come = true;
  // Arrays of the table this big or bigger are backed by huge pages (see
  // AdviseHugePages).
  size_t huge_pages_from = kHugePagesWorthIt;
};

class TransTable {
 public:
  // Source position `pos` of pair `pair`.
  struct Occurrence {
    uint32_t pair;
    uint32_t pos;
  };

  // Zero entries after the last cell of the index, so sweeps may read ahead.
  static constexpr int kIndexPadding = 256;

  // An S x T table whose rows hold the targets co-occurring with each source
  // id in `corpus` plus the (src, trg) pairs of `extra`; every value
  // `initial`, every count 0.  Also builds the cell index of `corpus`.
  // `reporter`, when given, shows the progress of the build ("initializing");
  // `parallel`, when given, runs it on its threads.
  static std::shared_ptr<TransTable> Build(
      int32_t S, int32_t T, std::shared_ptr<const Corpus> corpus,
      std::vector<TransEntry> extra, double initial,
      Reporter* reporter = nullptr, const Parallel* parallel = nullptr,
      const MemoryPlan* plan = nullptr);
  // The same values laid out for `corpus` (cells added where it has pairs
  // the table lacks, holding their row's default), then `entries` set in
  // order (a repeated pair: the last one wins).  Counts are dropped.
  static std::shared_ptr<TransTable> Relayout(
      const TransTable& table, std::shared_ptr<const Corpus> corpus,
      const std::vector<TransEntry>& entries, const Parallel* parallel = nullptr,
      const MemoryPlan* plan = nullptr);
  // What Relayout(*this, indexed_corpus_ptr(), entries) gives, done in
  // place when every entry names a cell of the table (the common case of
  // tables stored from the same corpus): the values set in order, the
  // counts dropped, the layout and index kept.  Returns false, changing
  // nothing, when some entry has no cell (or lies outside the table).
  bool AssignInPlace(const std::vector<TransEntry>& entries);
  // An S x T table whose row s holds the targets cols[row_ptr[s]] ..
  // cols[row_ptr[s + 1] - 1] (ascending), every value `initial`, every count
  // 0, without a cell index (its sweeps run elsewhere, on tables of parts of
  // the corpus); counts are kept aside between walks.
  static std::shared_ptr<TransTable> FromRows(int32_t S, int32_t T,
                                              std::vector<uint64_t> row_ptr,
                                              std::vector<int32_t> cols,
                                              double initial,
                                              std::string layout_note);
  // An S x T table from explicit rows (restoring a dense array): each row's
  // default and its cells.
  TransTable(int32_t S, int32_t T) : S_(S), T_(T), row_ptr_(S + 1, 0),
                                     default_(S, 0.0) {}

  int32_t S() const { return S_; }
  int32_t T() const { return T_; }
  int64_t nnz() const { return static_cast<int64_t>(cols_.size()); }

  // Cell of (s, t) or -1.  Both must be in range.
  int64_t Find(int32_t s, int32_t t) const;
  // t(t | s); throws std::out_of_range (numpy's wording) outside the table.
  double Get(int64_t s, int64_t t) const;
  double Count(int32_t s, int32_t t) const {
    int64_t k = Find(s, t);
    return k < 0 ? 0.0 : cells_[k].c;
  }
  void CheckRange(int64_t s, int64_t t) const;

  uint64_t row_begin(int32_t s) const { return row_ptr_[s]; }
  uint64_t row_end(int32_t s) const { return row_ptr_[s + 1]; }
  const int32_t* cols() const { return cols_.data(); }
  TransCell* cells() { return cells_.data(); }
  const TransCell* cells() const { return cells_.data(); }
  double row_default(int32_t s) const { return default_[s]; }

  // Appends row `s` (rows must come in order); used when restoring.
  void AppendRow(int32_t s, double default_value,
                 const std::vector<std::pair<int32_t, double>>& cells);

  // Both split by rows over `parallel`'s threads when given (the results
  // do not depend on it: each row is summed by one thread, in order).
  void ZeroCounts(const Parallel* parallel = nullptr);
  // M-step: p = c / row total for every row whose total is positive.  With
  // `save`, the counts are also kept aside (RestoreCounts brings them back
  // after a walk that was only needed for its entropy).
  void Normalize(bool save = false, const Parallel* parallel = nullptr);
  void SaveCounts();
  void RestoreCounts();
  // The M-step of the jointly trained models: every value of a row whose
  // count total is positive becomes max(count * (1 / total), floor), every
  // other value max(value, floor).  `inverses`, when given, takes 1 / each
  // row's total (as InverseRowTotals); returns what InverseRowTotals would.
  bool NormalizeFloored(double floor, const Parallel* parallel = nullptr,
                        std::vector<double>* inverses = nullptr);
  // 1 / the total of each row's counts into `inverses` (S values); false
  // when a row with cells has a total that is not positive (the M-steps
  // would leave its values as they are).
  bool InverseRowTotals(std::vector<double>* inverses,
                        const Parallel* parallel = nullptr) const;
  // Every cell's value becomes its count (an M-step left for later).
  void CountsAsValues(const Parallel* parallel = nullptr);
  // False when the memory plan has no room for the counts kept aside: the
  // EM loop then walks once for the entropy and once for each E-step.
  bool keeps_counts_aside() const { return keep_aside_; }

  // Cell index of the corpus the table was built from.
  const Corpus* indexed_corpus() const { return indexed_corpus_.get(); }
  // True when the cell index serves `corpus` (that corpus, or equal pairs).
  bool IndexedFor(const Corpus& corpus) const {
    return indexed_corpus_ != nullptr &&
           (indexed_corpus_.get() == &corpus || *indexed_corpus_ == corpus);
  }
  const std::shared_ptr<const Corpus>& indexed_corpus_ptr() const {
    return indexed_corpus_;
  }
  // The sweeps find the cells of the indexed corpus through the cell index
  // (one entry per corpus cell) or, without it, by looking them up in the
  // rows, lookup_cells() cells at a time.
  bool has_cell_index() const { return has_index_; }
  int64_t lookup_cells() const { return lookup_cells_; }
  // Without the index, the busiest rows have a direct map from target id to
  // cell: row_map(s) is T cells, or nullptr for a row searched instead.
  const uint32_t* row_map(int32_t s) const {
    return map_of_row_.empty() || map_of_row_[s] < 0
               ? nullptr
               : row_maps_.data() + static_cast<size_t>(map_of_row_[s]) * T_;
  }
  // Gives the busiest rows (most occurrences in `corpus` first) direct maps
  // within `bytes`.
  void BuildRowMaps(const Corpus& corpus, int64_t bytes);
  // One line saying which layout was chosen and why.
  const std::string& layout_note() const { return layout_note_; }
  // Gives up the cell index (the sweeps then look cells up).
  void ReleaseIndex();
  // Whether every cell holds its row's default (a table never trained):
  // every t(f | e) is then its row's default.
  bool AllDefaults() const;
  // When every cell holds its row's default (a table never trained), gives
  // up the cells and the index, leaving rows without cells that read the
  // same; returns whether it did.  For a table about to be laid out anew.
  bool ReleaseCellsIfUniform();

  using Index = std::vector<uint32_t, UninitializedAllocator<uint32_t>>;
  const Index& cell_index() const { return cell_index_; }
  const std::vector<uint64_t>& cell_offsets() const { return cell_offsets_; }

  size_t MemoryBytes() const;

 private:
  // rows(s0, s1) over consecutive runs of rows, on `parallel`'s threads
  // when given, split by their cells.
  void ForRows(const Parallel* parallel,
               const std::function<void(int32_t, int32_t)>& rows) const;
  // The sum of row s's counts, in cell order.
  double RowTotal(int32_t s) const;

  int32_t S_, T_;
  std::vector<uint64_t> row_ptr_;
  std::vector<int32_t> cols_;
  std::vector<TransCell> cells_;
  std::vector<double> default_;
  std::shared_ptr<const Corpus> indexed_corpus_;
  Index cell_index_;                    // per corpus cell, [i][j] per pair
  std::vector<uint64_t> cell_offsets_;  // first cell of each pair
  std::vector<double> saved_counts_;
  bool has_index_ = false;
  bool keep_aside_ = true;
  std::vector<int32_t> map_of_row_;
  std::vector<uint32_t> row_maps_;
  int64_t lookup_cells_ = 0;
  std::string layout_note_;
};

// The source positions of pairs [first, last) of `corpus` grouped by source
// id (ids below S), in corpus order within an id: those of id e are
// occ[start[e]] .. occ[start[e + 1] - 1], pair numbers counted from `first`.
void GroupOccurrences(const Corpus& corpus, int64_t first, int64_t last,
                      int32_t S, std::vector<uint64_t>* start,
                      std::vector<TransTable::Occurrence>* occ);

// Looks up the cells of one sentence pair: through the table's cell index
// when `corpus` is the indexed one, else by search.
class PairCells {
 public:
  PairCells(const TransTable& table, const Corpus& corpus);
  // Fills `out` with L * m values t(trg[j] | src[i]) at i * m + j.
  void Gather(int64_t p, std::vector<double>* out) const;

 private:
  const TransTable& table_;
  const Corpus& corpus_;
  bool indexed_;
};

}  // namespace qaz

#endif  // QAZ_ALIGN_TRANS_TABLE_H_
