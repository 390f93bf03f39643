#include "align/trans_table.h"

#include "common/errors.h"
#include "common/float_format.h"
#include "common/parallel.h"
#include "common/memory.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string>

namespace qaz {


void TransTable::CheckRange(int64_t s, int64_t t) const {
  if (s < -S_ || s >= S_) ThrowOutOfBounds(s, 0, S_);
  if (t < -T_ || t >= T_) ThrowOutOfBounds(t, 1, T_);
}

int64_t TransTable::Find(int32_t s, int32_t t) const {
  const int32_t* begin = cols_.data() + row_ptr_[s];
  const int32_t* end = cols_.data() + row_ptr_[s + 1];
  const int32_t* it = std::lower_bound(begin, end, t);
  if (it == end || *it != t) return -1;
  return it - cols_.data();
}

bool TransTable::AssignInPlace(const std::vector<TransEntry>& entries) {
  std::vector<uint32_t> where(entries.size());
  for (size_t k = 0; k < entries.size(); ++k) {
    const TransEntry& x = entries[k];
    if (x.src < 0 || x.src >= S_ || x.trg < 0 || x.trg >= T_) return false;
    const int64_t cell = Find(x.src, x.trg);
    if (cell < 0) return false;
    where[k] = static_cast<uint32_t>(cell);
  }
  for (TransCell& cell : cells_) cell.c = 0.0;
  std::vector<double>().swap(saved_counts_);
  for (size_t k = 0; k < entries.size(); ++k) cells_[where[k]].p = entries[k].p;
  return true;
}

double TransTable::Get(int64_t s, int64_t t) const {
  CheckRange(s, t);
  if (s < 0) s += S_;
  if (t < 0) t += T_;
  int64_t k = Find(static_cast<int32_t>(s), static_cast<int32_t>(t));
  return k < 0 ? default_[s] : cells_[k].p;
}

namespace {

struct LayoutChoice {
  bool index;
  int64_t lookup_cells;
  std::string note;
  int64_t map_bytes = 0;
  bool fused = true;
};

// The cells of the largest pair, and the bytes of the alignment table the
// corpus's shapes will need (values and counts; the counts kept aside take
// half as much again).
void CorpusShape(const Corpus& corpus, int64_t* largest, int64_t* align) {
  std::set<std::pair<int32_t, int32_t>> shapes;
  *largest = 0;
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    *largest = std::max<int64_t>(*largest, static_cast<int64_t>(L) * m);
    shapes.emplace(L, m);
  }
  *align = 0;
  for (const auto& sh : shapes) {
    *align += static_cast<int64_t>(sh.first) * sh.second * 16 + sh.second * 8;
  }
}

// Picks the fastest layout whose estimated peak stays under the limit:
// the cell index, else looking cells up a run of pairs at a time.
// `transient` are the bytes the build holds now and gives back.
LayoutChoice ChooseLayout(const MemoryPlan& plan, const Corpus& corpus,
                          int32_t S, uint64_t nnz, uint64_t total_cells,
                          int64_t transient, int threads) {
  const int64_t limit = plan.limit > 0 ? plan.limit : DefaultMemoryLimit();
  const int64_t n = corpus.size();
  int64_t largest = 0, align = 0;
  CorpusShape(corpus, &largest, &align);
  if (!plan.align_to_come) align = 0;
  int64_t trg_tokens = 0;
  for (int64_t p = 0; p < n; ++p) trg_tokens += corpus.trg(p).size;
  const int64_t resident = ResidentBytes();
  const int64_t pairs = static_cast<int64_t>(nnz);
  // What stays whatever the layout: the table (targets, values and counts,
  // row starts and defaults), the walks' per-pair buffers, the alignment
  // table, and room for writers and threads.
  const int64_t base = resident - transient + pairs * 20 +
                       static_cast<int64_t>(S) * 18 + n * 36 +
                       static_cast<int64_t>(threads) * (1 << 20) + align +
                       (4 << 20);
  // The counts kept aside let one walk give an entropy and the next
  // E-step's counts (otherwise two walks an iteration).
  const int64_t aside = pairs * 8 + align / 2;
  const int64_t index = static_cast<int64_t>(total_cells) * 4 + n * 8 +
                        trg_tokens * 8;
  // While the index is filled, the build's buffers and the targets are
  // held but not yet the values.
  const int64_t filling = resident + index + pairs * 4;
  auto describe = [&](const std::string& what, bool fused, int64_t peak) {
    return "cell layout: " + what +
           (fused ? "" : ", entropy and E-step in separate walks") +
           "; estimated peak " + FormatBytes(peak) +
           (limit > 0 ? " of a memory limit of " + FormatBytes(limit) : "");
  };
  if (plan.layout == MemoryPlan::Layout::kNone) {
    return {false, 0,
            describe("no cell index, the cells reached through the other direction's",
                     true, base),
            0, true};
  }
  const bool force_index = plan.layout == MemoryPlan::Layout::kIndex;
  const bool force_lookup = plan.layout == MemoryPlan::Layout::kLookup;
  const std::string index_text =
      "an index of " + Thousands(static_cast<long long>(total_cells)) +
      " corpus cells";
  if (!force_lookup) {
    for (bool fused : {true, false}) {
      const int64_t peak = std::max(base + index + (fused ? aside : 0), filling);
      if (force_index || limit <= 0 || peak <= limit) {
        return {true, 0, describe(index_text, fused, peak), 0, fused};
      }
    }
  }
  // Looking up: 4 bytes a cell of the run at hand, plus its target
  // positions' factors (at most 8 bytes a cell).
  for (bool fused : {true, false}) {
    const int64_t fixed = base + (fused ? aside : 0);
    const int64_t room = limit > 0 ? limit - fixed - largest * 12 : int64_t{1} << 40;
    // A sixteenth of the limit stays free for what comes after the tables
    // (file readers, writers, the allocator's slack).  A sixteenth of the
    // rest gives the busiest rows direct maps (at most 256 MiB), the rest
    // holds the looked-up cells of a run of pairs: 4 bytes a cell, plus its
    // target positions' factors (at most 8 a cell).  Longer runs pay more
    // than more maps: each run spreads the targets of each of its other rows
    // into a map once.
    const int64_t spare = std::max<int64_t>(room - (limit > 0 ? limit / 16 : 0), 0);
    const int64_t map_bytes = std::min<int64_t>(spare / 16, int64_t{256} << 20);
    int64_t cells = plan.lookup_cells;
    if (cells <= 0) {
      // At most 32M cells (384 MiB).
      cells = std::min<int64_t>((spare - map_bytes) / 12 + largest, int64_t{1} << 25);
      cells = std::min<int64_t>(cells, static_cast<int64_t>(total_cells));
    }
    cells = std::max<int64_t>(cells, 1);
    const int64_t peak = fixed + std::max(cells, largest) * 12 + map_bytes;
    // Runs of fewer cells cost more in hand-offs than a second walk: the
    // counts are then not kept aside.
    const int64_t enough = std::min<int64_t>(static_cast<int64_t>(total_cells), int64_t{1} << 20);
    const bool fits = limit <= 0 || (room >= 0 && peak <= limit &&
                                     (!fused || plan.lookup_cells > 0 || cells >= enough));
    if (!fits && !(force_lookup && !fused)) continue;
    return {false, cells,
            describe("no cell index, cells looked up " +
                         Thousands(static_cast<long long>(cells)) + " at a time",
                     fused, peak),
            map_bytes, fused};
  }
  throw MemoryError(
      "the translation table (" + Thousands(static_cast<long long>(nnz)) +
      " co-occurring word pairs) needs about " +
      FormatBytes(base + largest * 12) +
      " even without a cell index, more than the " +
      (plan.stated_limit > 0 && plan.stated_limit != limit
           ? FormatBytes(limit) + " this run may use under the memory limit of " +
                 FormatBytes(plan.stated_limit)
           : "memory limit of " + FormatBytes(limit)));
}

}  // namespace

void GroupOccurrences(const Corpus& corpus, int64_t first, int64_t last,
                      int32_t S, std::vector<uint64_t>* start,
                      std::vector<TransTable::Occurrence>* occ) {
  start->assign(static_cast<size_t>(S) + 1, 0);
  for (int64_t p = first; p < last; ++p) {
    const IdSpan src = corpus.src(p);
    for (int32_t i = 0; i < src.size; ++i) ++(*start)[src[i] + 1];
  }
  for (int32_t e = 0; e < S; ++e) (*start)[e + 1] += (*start)[e];
  occ->resize((*start)[S]);
  std::vector<uint64_t> fill(start->begin(), start->end() - 1);
  for (int64_t p = first; p < last; ++p) {
    const IdSpan src = corpus.src(p);
    for (int32_t i = 0; i < src.size; ++i) {
      (*occ)[fill[src[i]]++] = TransTable::Occurrence{
          static_cast<uint32_t>(p - first), static_cast<uint32_t>(i)};
    }
  }
}

std::shared_ptr<TransTable> TransTable::Build(
    int32_t S, int32_t T, std::shared_ptr<const Corpus> corpus_ptr,
    std::vector<TransEntry> extra, double initial, Reporter* reporter,
    const Parallel* parallel_ptr, const MemoryPlan* plan) {
  if (!corpus_ptr) corpus_ptr = std::make_shared<const Corpus>();
  NullReporter quiet;
  Reporter& log = reporter ? *reporter : quiet;
  const Parallel one(1);
  const Parallel& parallel = parallel_ptr ? *parallel_ptr : one;
  const Corpus& corpus = *corpus_ptr;
  auto table = std::make_shared<TransTable>(S, T);
  const int64_t n = corpus.size();
  // Two passes over the cells (count, fill), one display.
  ProgressTicker ticker(log, "initializing", 2 * n, 4096);

  std::vector<uint64_t> cell_offsets(static_cast<size_t>(n) + 1, 0);
  for (int64_t p = 0; p < n; ++p) {
    IdSpan src = corpus.src(p), trg = corpus.trg(p);
    for (int32_t i = 0; i < src.size; ++i) {
      if (src[i] < 0 || src[i] >= S) ThrowOutOfBounds(src[i], 0, S);
    }
    for (int32_t j = 0; j < trg.size; ++j) {
      if (trg[j] < 0 || trg[j] >= T) ThrowOutOfBounds(trg[j], 1, T);
    }
    cell_offsets[p + 1] = cell_offsets[p] + static_cast<uint64_t>(src.size) *
                                                static_cast<uint64_t>(trg.size);
  }
  std::vector<uint64_t> occ_start;
  std::vector<Occurrence> occ;
  GroupOccurrences(corpus, 0, n, S, &occ_start, &occ);
  for (const TransEntry& x : extra) {
    if (x.src < 0 || x.src >= S) ThrowOutOfBounds(x.src, 0, S);
    if (x.trg < 0 || x.trg >= T) ThrowOutOfBounds(x.trg, 1, T);
  }
  // Group the extra entries by source id (the rows only need them
  // together; targets are deduplicated and sorted per row).
  std::vector<uint64_t> extra_start(static_cast<size_t>(S) + 1, 0);
  {
    for (const TransEntry& x : extra) ++extra_start[x.src + 1];
    for (int32_t e = 0; e < S; ++e) extra_start[e + 1] += extra_start[e];
    std::vector<TransEntry> grouped(extra.size());
    std::vector<uint64_t> fill(extra_start.begin(), extra_start.end() - 1);
    for (const TransEntry& x : extra) grouped[fill[x.src]++] = x;
    extra.swap(grouped);
  }

  // Runs of rows of about equal work, the tasks of the row passes.
  const std::vector<int32_t> row_chunks = SplitByWork(
      S,
      Parallel::Chunks(static_cast<int64_t>(occ_start[S] + extra.size()) + 1,
                       1 << 14, parallel.threads()),
      [&](int32_t e) { return occ_start[e] + extra_start[e]; });
  const int64_t row_tasks = static_cast<int64_t>(row_chunks.size()) - 1;

  // The targets of row e, deduplicated through `mark` (stamped with e),
  // into (*row)[0, n); returns n.  Without a branch on whether a target is
  // new: each one is written at the end, which moves on only past new ones
  // (`row` only grows).
  auto row_targets = [&](int32_t e, std::vector<int32_t>* mark,
                         std::vector<int32_t>* row) -> size_t {
    size_t n = 0;
    int32_t* marks = mark->data();
    for (uint64_t k = occ_start[e]; k < occ_start[e + 1]; ++k) {
      IdSpan trg = corpus.trg(occ[k].pair);
      if (row->size() < n + static_cast<size_t>(trg.size)) {
        row->resize(std::max(2 * row->size(), n + static_cast<size_t>(trg.size)));
      }
      int32_t* out = row->data();
      for (int32_t j = 0; j < trg.size; ++j) {
        const int32_t f = trg[j];
        out[n] = f;
        n += marks[f] != e;
        marks[f] = e;
      }
    }
    for (uint64_t x = extra_start[e]; x < extra_start[e + 1]; ++x) {
      const int32_t f = extra[x].trg;
      if (marks[f] != e) {
        marks[f] = e;
        if (row->size() <= n) row->resize(2 * n + 1);
        (*row)[n++] = f;
      }
    }
    return n;
  };

  // The rows first (each task keeps its rows' sorted targets), so that a
  // corpus too large for this machine is refused before the big arrays are
  // touched.
  std::vector<uint64_t> row_ptr(static_cast<size_t>(S) + 1, 0);
  std::vector<std::vector<int32_t>> task_cols(static_cast<size_t>(row_tasks));
  parallel.For(row_tasks, [&](int64_t t) -> int64_t {
    std::vector<int32_t> mark(static_cast<size_t>(T), -1), row;
    std::vector<int32_t>& cols = task_cols[t];
    for (int32_t e = row_chunks[t]; e < row_chunks[t + 1]; ++e) {
      const size_t n = row_targets(e, &mark, &row);
      if (n * 16 > static_cast<size_t>(T)) {
        // A long row: its marks, read in target order, are the row sorted.
        for (int32_t f = 0; f < T; ++f) {
          if (mark[f] == e) cols.push_back(f);
        }
      } else {
        std::sort(row.begin(), row.begin() + n);
        cols.insert(cols.end(), row.begin(), row.begin() + n);
      }
      row_ptr[e + 1] = n;
    }
    return 0;
  }, log, nullptr);
  ticker.Tick(n);
  for (int32_t e = 0; e < S; ++e) row_ptr[e + 1] += row_ptr[e];
  const uint64_t nnz = row_ptr[S];
  const uint64_t total_cells = cell_offsets[n];
  if (nnz > 0xFFFFFFFFull) {
    throw std::length_error("translation table exceeds 2**32 entries");
  }
  const MemoryPlan default_plan;
  const size_t huge_from = (plan ? *plan : default_plan).huge_pages_from;
  const LayoutChoice choice = ChooseLayout(
      plan ? *plan : default_plan, corpus, S, nnz, total_cells,
      static_cast<int64_t>(occ.capacity() * sizeof(Occurrence) +
                           nnz * sizeof(int32_t)),
      parallel.threads());
  table->has_index_ = choice.index;
  table->lookup_cells_ = choice.lookup_cells;
  table->layout_note_ = choice.note;
  table->keep_aside_ = choice.fused;
  table->cols_.reserve(nnz);
  table->cells_.reserve(nnz);
  AdviseHugePages(table->cols_.data(), nnz * sizeof(int32_t), huge_from);
  AdviseHugePages(table->cells_.data(), nnz * sizeof(TransCell), huge_from);
  table->cols_.resize(nnz);
  uint32_t* index = nullptr;
  if (choice.index) {
    table->cell_index_.reserve(total_cells + kIndexPadding);
    AdviseHugePages(table->cell_index_.data(),
                    (total_cells + kIndexPadding) * sizeof(uint32_t),
                    huge_from);
    table->cell_index_.resize(total_cells + kIndexPadding);
    index = table->cell_index_.data();
    std::fill(index + total_cells, index + total_cells + kIndexPadding, 0u);
  }

  // Then, for every occurrence, its cells of the index (each occurrence
  // belongs to one row, so the tasks write apart).
  parallel.For(row_tasks, [&](int64_t t) -> int64_t {
    std::vector<uint32_t> where(static_cast<size_t>(T), 0);
    const int32_t* cols = task_cols[t].data();
    for (int32_t e = row_chunks[t]; e < row_chunks[t + 1]; ++e) {
      const uint64_t base = row_ptr[e], size = row_ptr[e + 1] - base;
      std::copy(cols, cols + size, table->cols_.data() + base);
      for (uint64_t k = 0; k < size; ++k) {
        where[cols[k]] = static_cast<uint32_t>(base + k);
      }
      cols += size;
      if (index == nullptr) continue;
      const uint64_t end = occ_start[e + 1];
      for (uint64_t k = occ_start[e]; k < end; ++k) {
        if (k + 6 < end) {
          // The coming occurrences' pairs are anywhere in the corpus.
          const Occurrence& o = occ[k + 6];
          IdSpan next = corpus.trg(o.pair);
          __builtin_prefetch(next.ids);
          __builtin_prefetch(index + cell_offsets[o.pair] +
                                 static_cast<uint64_t>(o.pos) * next.size,
                             1);
        }
        const uint32_t p = occ[k].pair;
        IdSpan trg = corpus.trg(p);
        uint32_t* dst = index + cell_offsets[p] +
                        static_cast<uint64_t>(occ[k].pos) * trg.size;
        for (int32_t j = 0; j < trg.size; ++j) dst[j] = where[trg[j]];
      }
    }
    std::vector<int32_t>().swap(task_cols[t]);
    return 0;
  }, log, nullptr);
  ticker.Tick(n);
  ticker.Flush();
  std::vector<Occurrence>().swap(occ);
  table->row_ptr_ = std::move(row_ptr);
  table->cells_.assign(nnz, TransCell{initial, 0.0});
  table->default_.assign(static_cast<size_t>(S), initial);
  if (choice.index) table->cell_offsets_ = std::move(cell_offsets);
  const bool reached_elsewhere = plan != nullptr && plan->layout == MemoryPlan::Layout::kNone;
  if (!choice.index && !reached_elsewhere) table->BuildRowMaps(corpus, choice.map_bytes);
  table->indexed_corpus_ = std::move(corpus_ptr);
  return table;
}

std::shared_ptr<TransTable> TransTable::Relayout(
    const TransTable& old, std::shared_ptr<const Corpus> corpus,
    const std::vector<TransEntry>& entries, const Parallel* parallel,
    const MemoryPlan* plan) {
  std::vector<TransEntry> extra(entries);
  // The old cells are entries of the new table too, unless the old table
  // was laid out for the same corpus (its cells are then the corpus's own).
  const bool same = corpus && old.IndexedFor(*corpus);
  if (!same) {
    extra.reserve(old.cols_.size() + entries.size());
    for (int32_t s = 0; s < old.S_; ++s) {
      for (uint64_t k = old.row_ptr_[s]; k < old.row_ptr_[s + 1]; ++k) {
        extra.push_back(TransEntry{s, old.cols_[k], old.cells_[k].p});
      }
    }
  }
  auto table = Build(old.S_, old.T_, std::move(corpus), std::move(extra), 0.0,
                     nullptr, parallel, plan);
  for (int32_t s = 0; s < old.S_; ++s) {
    table->default_[s] = old.default_[s];
    uint64_t k_old = old.row_ptr_[s];
    for (uint64_t k = table->row_ptr_[s]; k < table->row_ptr_[s + 1]; ++k) {
      while (k_old < old.row_ptr_[s + 1] && old.cols_[k_old] < table->cols_[k]) {
        ++k_old;
      }
      bool present = k_old < old.row_ptr_[s + 1] &&
                     old.cols_[k_old] == table->cols_[k];
      table->cells_[k].p = present ? old.cells_[k_old].p : old.default_[s];
    }
  }
  for (const TransEntry& x : entries) {
    table->cells_[table->Find(x.src, x.trg)].p = x.p;
  }
  return table;
}

std::shared_ptr<TransTable> TransTable::FromRows(
    int32_t S, int32_t T, std::vector<uint64_t> row_ptr,
    std::vector<int32_t> cols, double initial, std::string layout_note) {
  if (row_ptr.size() != static_cast<size_t>(S) + 1 ||
      row_ptr.back() != cols.size()) {
    throw std::invalid_argument("rows do not match their targets");
  }
  auto table = std::make_shared<TransTable>(S, T);
  table->row_ptr_ = std::move(row_ptr);
  table->cols_ = std::move(cols);
  table->cells_.assign(table->cols_.size(), TransCell{initial, 0.0});
  table->default_.assign(static_cast<size_t>(S), initial);
  table->layout_note_ = std::move(layout_note);
  return table;
}

void TransTable::AppendRow(
    int32_t s, double default_value,
    const std::vector<std::pair<int32_t, double>>& cells) {
  row_ptr_[s] = cols_.size();
  for (const auto& cell : cells) {
    cols_.push_back(cell.first);
    cells_.push_back(TransCell{cell.second, 0.0});
  }
  row_ptr_[s + 1] = cols_.size();
  default_[s] = default_value;
}

void TransTable::ZeroCounts(const Parallel* parallel) {
  ForRuns(static_cast<int64_t>(cells_.size()), parallel, [&](int64_t b, int64_t e) {
    for (int64_t k = b; k < e; ++k) cells_[k].c = 0.0;
  });
}

void TransTable::SaveCounts() {
  saved_counts_.resize(cells_.size());
  for (size_t k = 0; k < cells_.size(); ++k) saved_counts_[k] = cells_[k].c;
}

void TransTable::ForRows(const Parallel* parallel,
                         const std::function<void(int32_t, int32_t)>& rows) const {
  if (parallel == nullptr || parallel->threads() == 1) {
    rows(0, S_);
    return;
  }
  const std::vector<int32_t> starts = SplitByWork(
      S_, Parallel::Chunks(nnz() + S_, int64_t{1} << 16, parallel->threads(), 2),
      [&](int32_t s) { return row_ptr_[s] + static_cast<uint64_t>(s); });
  parallel->For(static_cast<int64_t>(starts.size()) - 1, [&](int64_t t) -> int64_t {
    rows(starts[t], starts[t + 1]);
    return 0;
  });
}

void TransTable::Normalize(bool save, const Parallel* parallel) {
  const bool keep = save && keep_aside_;
  if (keep) saved_counts_.resize(cells_.size());
  double* saved = keep ? saved_counts_.data() : nullptr;
  ForRows(parallel, [&](int32_t s0, int32_t s1) {
    for (int32_t s = s0; s < s1; ++s) {
      double total = 0.0;
      for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
        if (saved != nullptr) saved[k] = cells_[k].c;
        total += cells_[k].c;
      }
      if (!(total > 0.0)) continue;  // zero or NaN: the row stays as it is
      for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
        cells_[k].p = cells_[k].c / total;
      }
      default_[s] = 0.0;
    }
  });
}

double TransTable::RowTotal(int32_t s) const {
  double total = 0.0;
  for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) total += cells_[k].c;
  return total;
}

bool TransTable::NormalizeFloored(double floor, const Parallel* parallel,
                                  std::vector<double>* inverses) {
  if (inverses != nullptr) inverses->assign(static_cast<size_t>(S_), 0.0);
  std::atomic<bool> ok{true};
  ForRows(parallel, [&](int32_t s0, int32_t s1) {
    for (int32_t s = s0; s < s1; ++s) {
      const double total = RowTotal(s);
      if (inverses != nullptr) (*inverses)[s] = 1.0 / total;
      if (!(total > 0.0)) {
        if (row_ptr_[s + 1] > row_ptr_[s]) ok = false;
        for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
          cells_[k].p = std::max(cells_[k].p, floor);
        }
        continue;
      }
      const double inv = 1.0 / total;
      for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
        cells_[k].p = std::max(cells_[k].c * inv, floor);
      }
      default_[s] = 0.0;
    }
  });
  return ok;
}

bool TransTable::InverseRowTotals(std::vector<double>* inverses,
                                  const Parallel* parallel) const {
  inverses->assign(static_cast<size_t>(S_), 0.0);
  std::atomic<bool> ok{true};
  ForRows(parallel, [&](int32_t s0, int32_t s1) {
    for (int32_t s = s0; s < s1; ++s) {
      const double total = RowTotal(s);
      if (row_ptr_[s + 1] > row_ptr_[s] && !(total > 0.0)) ok = false;
      (*inverses)[s] = 1.0 / total;
    }
  });
  return ok;
}

void TransTable::CountsAsValues(const Parallel* parallel) {
  ForRows(parallel, [&](int32_t s0, int32_t s1) {
    for (uint64_t k = row_ptr_[s0]; k < row_ptr_[s1]; ++k) cells_[k].p = cells_[k].c;
  });
}

void TransTable::BuildRowMaps(const Corpus& corpus, int64_t bytes) {
  map_of_row_.assign(static_cast<size_t>(S_), -1);
  row_maps_.clear();
  const int64_t per_map = static_cast<int64_t>(T_) * 4;
  if (per_map <= 0 || bytes < per_map) return;
  std::vector<uint64_t> uses(static_cast<size_t>(S_), 0);
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const IdSpan src = corpus.src(p);
    const uint64_t m = static_cast<uint64_t>(corpus.trg(p).size);
    for (int32_t i = 0; i < src.size; ++i) uses[src[i]] += m;
  }
  std::vector<int32_t> order(static_cast<size_t>(S_));
  for (int32_t s = 0; s < S_; ++s) order[s] = s;
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t x, int32_t y) { return uses[x] > uses[y]; });
  // A map pays when its row is long enough that searching it costs more
  // than a few steps.
  int32_t maps = 0;
  for (int32_t s : order) {
    if (static_cast<int64_t>(maps + 1) * per_map > bytes) break;
    if (uses[s] == 0 || row_end(s) - row_begin(s) < 64) break;
    map_of_row_[s] = maps++;
  }
  row_maps_.assign(static_cast<size_t>(maps) * T_, 0);
  for (int32_t s = 0; s < S_; ++s) {
    if (map_of_row_[s] < 0) continue;
    uint32_t* map = row_maps_.data() + static_cast<size_t>(map_of_row_[s]) * T_;
    for (uint64_t k = row_begin(s); k < row_end(s); ++k) {
      map[cols_[k]] = static_cast<uint32_t>(k);
    }
  }
}

bool TransTable::AllDefaults() const {
  for (int32_t s = 0; s < S_; ++s) {
    for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
      if (!(cells_[k].p == default_[s])) return false;
    }
  }
  return true;
}

bool TransTable::ReleaseCellsIfUniform() {
  if (!AllDefaults()) return false;
  std::vector<int32_t>().swap(cols_);
  std::vector<TransCell>().swap(cells_);
  std::vector<double>().swap(saved_counts_);
  std::vector<uint32_t>().swap(row_maps_);
  std::vector<int32_t>().swap(map_of_row_);
  std::fill(row_ptr_.begin(), row_ptr_.end(), 0);
  ReleaseIndex();
  return true;
}

void TransTable::ReleaseIndex() {
  Index().swap(cell_index_);
  std::vector<uint64_t>().swap(cell_offsets_);
  has_index_ = false;
  if (lookup_cells_ <= 0) lookup_cells_ = int64_t{1} << 22;
}

void TransTable::RestoreCounts() {
  if (saved_counts_.size() != cells_.size()) return;
  for (size_t k = 0; k < cells_.size(); ++k) cells_[k].c = saved_counts_[k];
}

size_t TransTable::MemoryBytes() const {
  return row_ptr_.capacity() * sizeof(uint64_t) +
         cols_.capacity() * sizeof(int32_t) +
         cells_.capacity() * sizeof(TransCell) +
         default_.capacity() * sizeof(double) +
         cell_index_.capacity() * sizeof(uint32_t) +
         cell_offsets_.capacity() * sizeof(uint64_t) +
         saved_counts_.capacity() * sizeof(double) +
         row_maps_.capacity() * sizeof(uint32_t) +
         map_of_row_.capacity() * sizeof(int32_t);
}

PairCells::PairCells(const TransTable& table, const Corpus& corpus)
    : table_(table), corpus_(corpus),
      indexed_(table.IndexedFor(corpus) && table.has_cell_index()) {}

// How far ahead a gather asks for cells (at most TransTable::kIndexPadding):
// nearer than the sweeps' distance, since the HMM's work between two pairs'
// gathers lets the earlier requests land (48 against 96 and 256: 2-5 %
// less time on the Hansards 100K's default qaz-align run).
constexpr size_t kGatherAhead = 48;
static_assert(kGatherAhead <= TransTable::kIndexPadding);

void PairCells::Gather(int64_t p, std::vector<double>* out) const {
  IdSpan src = corpus_.src(p), trg = corpus_.trg(p);
  const size_t cells = static_cast<size_t>(src.size) * trg.size;
  out->resize(cells);
  if (indexed_) {
    const uint32_t* idx = table_.cell_index().data() + table_.cell_offsets()[p];
    const TransCell* tc = table_.cells();
    for (size_t k = 0; k < cells; ++k) {
      __builtin_prefetch(&tc[idx[k + kGatherAhead]]);
      (*out)[k] = tc[idx[k]].p;
    }
    return;
  }
  for (int32_t i = 0; i < src.size; ++i) {
    for (int32_t j = 0; j < trg.size; ++j) {
      (*out)[static_cast<size_t>(i) * trg.size + j] = table_.Get(src[i], trg[j]);
    }
  }
}

}  // namespace qaz
