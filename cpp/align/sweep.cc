#include "align/sweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

#include "align/models/factory.h"
#include "common/errors.h"

namespace qaz {

namespace {

// How far ahead in the cell index the gathers prefetch table cells (the
// index is padded so that reading ahead stays inside it).
constexpr int kAhead = TransTable::kIndexPadding;
constexpr int64_t kMinPairsPerTask = 64;
// How far ahead along its cells a thread's counts of a batch bring the
// next cells in (the batch's ids are padded by kAhead).
constexpr int kCountsAhead = 16;
static_assert(kCountsAhead <= kAhead, "the counts read ahead within the padding");
// Pairs of a batch of the lock-step walk.
constexpr int64_t kPairsPerBatch = 16;


// Per-pair first alignment cell and shape, rebuilt when the alignment table
// changed.
void PrepareBlocks(const AlignTable& align, const Corpus& corpus,
                   SweepScratch* s) {
  const int64_t n = corpus.size();
  if (s->block_table == &align && s->block_count == align.blocks().size() &&
      static_cast<int64_t>(s->block.size()) == n) {
    return;
  }
  s->block.assign(static_cast<size_t>(n), -1);
  s->shape.assign(static_cast<size_t>(n), 0);
  s->shape_work.assign(align.blocks().size() + 1, 0);
  for (int64_t p = 0; p < n; ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    uint32_t id = 0;  // 0: pairs without a block
    if (HasShape(L, m)) {
      align.CheckShape(L, m);
      const AlignTable::Block* b = align.Find(L - 1, m);
      if (b != nullptr) {
        s->block[p] = static_cast<int64_t>(b->offset);
        id = static_cast<uint32_t>(b - align.blocks().data()) + 1;
      }
    }
    s->shape[p] = id;
    s->shape_work[id] += static_cast<uint64_t>(L) * m + 1;
  }
  s->block_table = &align;
  s->block_count = align.blocks().size();
  s->shape_owner_threads = 0;
}

// Splits items of the given work among `threads` owners, the largest first
// to the least loaded (ties to the lowest owner): a fixed assignment for a
// given thread count.
void AssignOwners(const std::vector<uint64_t>& work, int threads,
                  std::vector<uint16_t>* owner) {
  std::vector<uint32_t> order(work.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<uint32_t>(k);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t x, uint32_t y) { return work[x] > work[y]; });
  std::vector<uint64_t> load(static_cast<size_t>(threads), 0);
  owner->assign(work.size(), 0);
  for (uint32_t k : order) {
    int best = 0;
    for (int t = 1; t < threads; ++t) {
      if (load[t] < load[best]) best = t;
    }
    (*owner)[k] = static_cast<uint16_t>(best);
    load[best] += work[k];
  }
}


void PrepareRowOwners(const TransTable& table, const Corpus& corpus,
                      int threads, SweepScratch* s) {
  if (s->row_owner_threads == threads &&
      s->row_owner.size() == static_cast<size_t>(table.S())) {
    return;
  }
  const int32_t S = table.S();
  std::vector<uint64_t> work(static_cast<size_t>(S), 0);
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const IdSpan src = corpus.src(p);
    const uint64_t m = static_cast<uint64_t>(corpus.trg(p).size) + 1;
    for (int32_t i = 0; i < src.size; ++i) work[src[i]] += m;
  }
  AssignOwners(work, threads, &s->row_owner);
  s->row_owner_threads = threads;
}

}  // namespace

namespace {

struct Buffers {
  std::vector<double> sum, h, post, logs;
  std::vector<double> uniform;  // L values 1/L (Walk::AlignRow)
};

// Where a pair's t values are read: its cells through the cell index (and
// the cells kAhead entries on are prefetched), or rows copied out before.
struct FromCells {
  const TransCell* cells;
  const uint32_t* idx;  // the pair's index entries, i-major
  int32_t m;
  void Prefetch(int32_t i, int32_t j) const {
    __builtin_prefetch(&cells[idx[static_cast<size_t>(i) * m + j + kAhead]]);
  }
  double operator()(int32_t i, int32_t j) const {
    return cells[idx[static_cast<size_t>(i) * m + j]].p;
  }
};

struct FromRows {
  const double* const* at;  // at[i][j]
  void Prefetch(int32_t, int32_t) const {}
  double operator()(int32_t i, int32_t j) const { return at[i][j]; }
};

// Runs body(width, j0) over a pair's m target positions, four columns at a
// time and then one: body handles columns j0 .. j0 + width - 1, each
// column's sum adding its source positions in order, the columns' chains of
// additions side by side.
template <typename Body>
inline void ByColumns(int32_t m, Body&& body) {
  int32_t j = 0;
  for (; j + 4 <= m; j += 4) body(std::integral_constant<int, 4>(), j);
  for (; j < m; ++j) body(std::integral_constant<int, 1>(), j);
}

// Runs the column sums of one pair, W columns at a time: the sums of
// kernel A into `a_out` (and, when kPost, each link's weight into
// post[j * L + i]), those of kernel B into `b_out` when B is a model, and,
// when kBest, each column's first source position of the largest A weight
// into best (when not null).  Each sum adds its source positions in order.
template <typename A, typename B, bool kPost, bool kBest, typename Values>
inline void Columns(const Values& tv, const double* a, size_t a_stride,
                    int32_t L, int32_t m, double* a_out, double* b_out,
                    double* post, int32_t* best) {
  ByColumns(m, [&](auto width, int32_t j0) {
    constexpr int W = decltype(width)::value;
    const double* aj[W];
    double* pj[W];
    double sa[W], sb[W], top[W];
    int32_t arg[W];
    for (int q = 0; q < W; ++q) {
      aj[q] = a + (j0 + q) * a_stride;
      if constexpr (kPost) pj[q] = post + static_cast<size_t>(j0 + q) * L;
      sa[q] = sb[q] = 0.0;
      top[q] = -std::numeric_limits<double>::infinity();
      arg[q] = 0;
    }
    for (int32_t i = 0; i < L; ++i) {
      for (int q = 0; q < W; ++q) {
        const double t = tv(i, j0 + q);
        const double v = A::Link(t, aj[q][i]);
        if constexpr (kPost) pj[q][i] = v;
        sa[q] += v;
        if constexpr (B::kActive) sb[q] += B::Link(t, aj[q][i]);
        if constexpr (kBest) {
          if (v > top[q]) {
            top[q] = v;
            arg[q] = i;
          }
        }
      }
    }
    for (int q = 0; q < W; ++q) {
      a_out[j0 + q] = sa[q];
      if constexpr (B::kActive) b_out[j0 + q] = sb[q];
      if constexpr (kBest) {
        if (best != nullptr) best[j0 + q] = arg[q];
      }
    }
  });
}

// A walk of the E-step of kernel E and the entropy of kernel H, either of
// them NoModel when not asked for.
template <typename E, typename H>
struct Walk {
  static constexpr bool kExpect = E::kActive;
  static constexpr bool kEntropy = H::kActive;
  // Pairs are read column by column, from their values copied out, when a
  // kernel reads the alignment table (so that its values and counts are
  // read in their own order); else source position outer, target position
  // inner, from the cells (prefetching ahead).
  static constexpr bool kColumns = E::kAlign || H::kAlign;
  // The entropy's column sums are the E-step's.
  static constexpr bool kSameSums = std::is_same_v<E, H>;
  // The E-step collects alignment counts.
  static constexpr bool kAlignCounts = E::kAlign;
  using Expect = E;

  const TransTable& table;
  AlignTable* align;
  const Corpus& corpus;
  SweepScratch& s;
  // The alignment values are all their shape's 1/L (a Model 2 trainer's
  // Model 1 iterations and first Model 2 walk): not read from the table.
  bool uniform_align;
  PairOutcome* outcome;  // the request's
  // The cells at hand: pair p's cells from index + offsets[p - first]; its
  // column factors from s.inv at corpus.trg_offset(p) - inv_base.
  const uint32_t* index = nullptr;
  const uint64_t* offsets = nullptr;
  int64_t first = 0;
  uint64_t inv_base = 0;

  // Whether the E-step counts pair p: a kernel with an alignment table
  // counts only the pairs with a shape.
  bool Counts(int64_t p) const {
    return kExpect && (!E::kAlign || s.block[p] >= 0);
  }

  // Phase 1 for pair p.  The pair's cells are read source position outer,
  // target position inner (the index's order); each column sum adds its
  // source positions in order.
  void Pair(int64_t p, Buffers& buf) {
    PairWith(p, FromCells{table.cells(), index + offsets[p - first],
                          corpus.trg(p).size},
             buf);
  }
  // The same with pair p's t values taken from at[i][j] (LockStep's
  // buffers).
  void PairFrom(int64_t p, const double* const* at, Buffers& buf) {
    PairWith(p, FromRows{at}, buf);
  }

  // The alignment values pair p reads, column j at the result + j *
  // *stride: its block, or `row` filled with 1/L (stride 0) when the table
  // is still uniform or the pair has no block.
  const double* AlignRow(int64_t p, size_t* stride,
                         std::vector<double>* row) const {
    const int32_t L = corpus.src(p).size;
    if (s.block[p] >= 0 && !uniform_align) {
      *stride = static_cast<size_t>(L);
      const AlignTable& values = *align;
      return values.values_at(static_cast<uint64_t>(s.block[p]));
    }
    row->assign(static_cast<size_t>(L), 1.0 / static_cast<double>(L));
    *stride = 0;
    return row->data();
  }

  template <typename Values>
  void PairWith(int64_t p, const Values& tv, Buffers& buf) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const bool count = Counts(p);
    std::vector<double>& sum = buf.sum;  // the E-step's column sums
    std::vector<double>& h = buf.h;      // the entropy's, where they differ
    const bool own_h = kColumns && kEntropy && !(count && kSameSums);
    if constexpr (kColumns) {
      size_t a_stride = 0;
      const double* a = AlignRow(p, &a_stride, &buf.uniform);
      if (own_h) h.resize(static_cast<size_t>(m));
      if (count) {
        sum.resize(static_cast<size_t>(m));
        double* post = nullptr;
        if constexpr (E::kAlign) {
          buf.post.resize(static_cast<size_t>(L) * m);
          post = buf.post.data();
        }
        if (own_h) {
          Columns<E, H, E::kAlign, false>(tv, a, a_stride, L, m, sum.data(),
                                          h.data(), post, nullptr);
        } else {
          Columns<E, NoModel, E::kAlign, false>(tv, a, a_stride, L, m,
                                                sum.data(), nullptr, post,
                                                nullptr);
        }
      } else if (own_h) {
        // The entropy alone (with each column's best source position when
        // asked: the first of the largest weights, as the decoder takes it).
        int32_t* best = !kExpect && outcome != nullptr
                            ? outcome->best.data() + corpus.trg_offset(p)
                            : nullptr;
        Columns<H, NoModel, false, !kExpect>(tv, a, a_stride, L, m, h.data(),
                                             nullptr, nullptr, best);
      }
    } else {
      // Kernels without a table: one set of sums of the weights of t alone.
      static_assert(!kExpect || !kEntropy || kSameSums,
                    "two kernels without a table share their sums");
      using R = std::conditional_t<kExpect, E, H>;
      sum.assign(static_cast<size_t>(m), 0.0);
      for (int32_t i = 0; i < L; ++i) {
        for (int32_t j = 0; j < m; ++j) {
          tv.Prefetch(i, j);
          sum[j] += R::Link(tv(i, j), 1.0);
        }
      }
    }
    if constexpr (kEntropy) {
      const double* hs = own_h ? h.data() : sum.data();
      buf.logs.resize(static_cast<size_t>(m));
      for (int32_t j = 0; j < m; ++j) buf.logs[j] = H::LogColumn(hs[j], L);
      s.entropy[p] = -PairwiseSum(buf.logs.data(), m) / static_cast<double>(m);
    }
    if constexpr (kExpect) {
      // A column whose sum is 0, and every column of a pair the E-step does
      // not count, contributes nothing.
      double* inv = s.inv.data() + (corpus.trg_offset(p) - inv_base);
      for (int32_t j = 0; j < m; ++j) {
        inv[j] = count && sum[j] > 0.0 ? 1.0 / sum[j] : -1.0;
      }
      if constexpr (E::kAlign) {
        if (count) {
          E::AddAlignCounts(align->counts_at(static_cast<uint64_t>(s.block[p])),
                            buf.post.data(), inv, L, m);
        }
      }
    }
  }

  // Phase 1 of a walk without counts: pairs read column by column from
  // their values copied out first, else Pair.
  void EntropyPair(int64_t p, Buffers& buf, std::vector<double>* rows,
                   std::vector<const double*>* at) {
    if constexpr (kColumns) {
      GatherRows(p, rows, at);
      PairFrom(p, at->data(), buf);
    } else {
      Pair(p, buf);
    }
  }

  // Copies pair p's t values out of the table (i-major, prefetching ahead)
  // and points at[i] at row i.
  void GatherRows(int64_t p, std::vector<double>* rows,
                  std::vector<const double*>* at) const {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const FromCells tv{table.cells(), index + offsets[p - first], m};
    rows->resize(static_cast<size_t>(L) * m);
    at->resize(static_cast<size_t>(L));
    double* out = rows->data();
    for (int32_t i = 0; i < L; ++i) {
      (*at)[i] = out;
      for (int32_t j = 0; j < m; ++j) {
        tv.Prefetch(i, j);
        *out++ = tv(i, j);
      }
    }
  }

  // Starts loading the alignment block of pair p (its values, and its counts
  // when the walk collects them), which lies anywhere in the table.
  void PrefetchBlock(int64_t p) const {
    if constexpr (!kColumns) {
      return;
    } else {
      if (s.block[p] < 0) return;
      const size_t bytes = static_cast<size_t>(corpus.src(p).size) *
                           static_cast<size_t>(corpus.trg(p).size) * sizeof(double);
      const AlignTable& values = *align;
      const char* v = uniform_align
                          ? nullptr
                          : reinterpret_cast<const char*>(
                                values.values_at(static_cast<uint64_t>(s.block[p])));
      const char* c = E::kAlign
                          ? reinterpret_cast<const char*>(
                                align->counts_at(static_cast<uint64_t>(s.block[p])))
                          : nullptr;
      for (size_t k = 0; k < bytes; k += 64) {
        if (v != nullptr) __builtin_prefetch(v + k);
        if (c != nullptr) __builtin_prefetch(c + k, 1);
      }
    }
  }

  // What the counts of pair p read: its source ids, target length, cells
  // and column factors.
  struct PairView {
    IdSpan src;
    int32_t m;
    const uint32_t* idx;
    const double* inv;
  };
  PairView View(int64_t p) const {
    return PairView{corpus.src(p), corpus.trg(p).size,
                    index + offsets[p - first],
                    s.inv.data() + (corpus.trg_offset(p) - inv_base)};
  }

  // The counts of pair p right after its sums (one thread): all its rows,
  // source positions in order, each one's target positions in order.  A
  // kernel with an alignment table finds its links' weights in `post`,
  // column by column ([j][i]), as PairWith left them; for the others the
  // weight is that of t alone.
  void Scatter(int64_t p, TransCell* cells, const double* post) const {
    if (!Counts(p)) return;
    const PairView v = View(p);
    const int32_t m = v.m, L = v.src.size;
    for (int32_t i = 0; i < L; ++i) {
      const uint32_t* row = v.idx + static_cast<size_t>(i) * m;
      if constexpr (E::kAlign) {
        // c(e_i, f_j) += p(i, j)
        for (int32_t j = 0; j < m; ++j) {
          if (v.inv[j] < 0.0) continue;
          cells[row[j]].c += post[static_cast<size_t>(j) * L + i] * v.inv[j];
        }
      } else {
        // c(e_i, f_j) += t(f_j|e_i) / sum_i' t(f_j|e_i')
        for (int32_t j = 0; j < m; ++j) {
          if (v.inv[j] < 0.0) continue;
          TransCell& cell = cells[row[j]];
          cell.c += E::Link(cell.p, 1.0) * v.inv[j];
        }
      }
    }
  }
};

// Looks up the cells of pairs [first, last) into scratch->run_index, taking
// pairs while their cells stay within `budget` (at least one pair); returns
// last.
int64_t LookUpCells(const TransTable& table, const Corpus& corpus,
                    int64_t first, int64_t budget, const Parallel& parallel,
                    SweepScratch* s) {
  const int64_t n = corpus.size();
  int64_t last = first;
  uint64_t cells = 0;
  s->run_offsets.clear();
  while (last < n) {
    const uint64_t c = static_cast<uint64_t>(corpus.src(last).size) *
                       static_cast<uint64_t>(corpus.trg(last).size);
    if (last > first && cells + c > static_cast<uint64_t>(budget)) break;
    s->run_offsets.push_back(cells);
    cells += c;
    ++last;
  }
  s->run_index.resize(cells + TransTable::kIndexPadding);
  std::fill(s->run_index.end() - TransTable::kIndexPadding, s->run_index.end(), 0u);
  // The run's source occurrences grouped by source id, so that each row is
  // read once for all its occurrences.
  const int32_t S = table.S();
  std::vector<uint64_t>& start = s->lookup_start;
  std::vector<TransTable::Occurrence>& occ = s->lookup_occ;
  GroupOccurrences(corpus, first, last, S, &start, &occ);
  // Tasks of rows of about equal work: a row without a direct map costs its
  // length (its targets are spread into a map of the task's) and every row
  // its occurrences' cells.
  std::vector<uint64_t> cumulative(static_cast<size_t>(S) + 1, 0);
  for (int32_t e = 0; e < S; ++e) {
    uint64_t w = 0;
    for (uint64_t k = start[e]; k < start[e + 1]; ++k) {
      w += static_cast<uint64_t>(corpus.trg(first + occ[k].pair).size);
    }
    if (w > 0 && table.row_map(e) == nullptr) w += table.row_end(e) - table.row_begin(e);
    cumulative[e + 1] = cumulative[e] + w;
  }
  const std::vector<int32_t> row_chunks = SplitByWork(
      S,
      Parallel::Chunks(static_cast<int64_t>(cumulative[S]) + 1, 1 << 16,
                       parallel.threads(), 4),
      [&](int32_t e) { return cumulative[e]; });
  const int64_t row_tasks = static_cast<int64_t>(row_chunks.size()) - 1;
  const int32_t* cols = table.cols();
  const int32_t T = table.T();
  if (s->lookup_maps.size() < static_cast<size_t>(row_tasks)) {
    s->lookup_maps.resize(static_cast<size_t>(row_tasks));
  }
  parallel.For(row_tasks, [&](int64_t t) -> int64_t {
    // where[f]: the cell of (e, f) for the row e at hand; entries of other
    // rows are never read, since every target of a pair is in its rows.
    std::vector<uint32_t>& where = s->lookup_maps[t];
    for (int32_t e = row_chunks[t]; e < row_chunks[t + 1]; ++e) {
      if (start[e] == start[e + 1]) continue;
      const uint32_t* map = table.row_map(e);
      if (map == nullptr) {
        if (where.empty()) where.resize(static_cast<size_t>(T));
        const uint64_t b = table.row_begin(e), end = table.row_end(e);
        for (uint64_t k = b; k < end; ++k) where[cols[k]] = static_cast<uint32_t>(k);
        map = where.data();
      }
      for (uint64_t k = start[e]; k < start[e + 1]; ++k) {
        const int64_t p = first + occ[k].pair;
        const IdSpan trg = corpus.trg(p);
        uint32_t* row = s->run_index.data() + s->run_offsets[occ[k].pair] +
                        static_cast<size_t>(occ[k].pos) * trg.size;
        for (int32_t j = 0; j < trg.size; ++j) row[j] = map[trg[j]];
      }
    }
    return 0;
  });
  return last;
}

// A barrier for the threads of one lock-step walk: spins briefly, then
// yields; once any thread gives up (an error, an interrupt), every wait
// throws Abandoned instead of waiting for it.
class StepBarrier {
 public:
  struct Abandoned {};
  explicit StepBarrier(int n) : n_(n) {}
  void Wait() {
    const int generation = generation_.load(std::memory_order_acquire);
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) == n_ - 1) {
      arrived_.store(0, std::memory_order_relaxed);
      generation_.fetch_add(1, std::memory_order_release);
      return;
    }
    for (int spins = 0;
         generation_.load(std::memory_order_acquire) == generation; ++spins) {
      if (abandoned_.load(std::memory_order_relaxed)) throw Abandoned{};
      if (spins < 4096) {
        __builtin_ia32_pause();
      } else {
        std::this_thread::yield();
      }
    }
  }
  void Abandon() { abandoned_.store(true, std::memory_order_relaxed); }

 private:
  const int n_;
  std::atomic<int> arrived_{0};
  std::atomic<int> generation_{0};
  std::atomic<bool> abandoned_{false};
};

// The E-step (with or without the entropy) of pairs [first, last) on
// `workers` threads in lock step, a batch of pairs at a time:
//   gather: each thread copies t of the cells of the source words it owns
//           (row_owner) into a buffer of its own;
//   sums:   each pair's column sums, entropy, column factors and
//           alignment counts (of a model with an alignment table), from the
//           buffers in source-position order, by one thread (with alignment
//           counts the owner of the pair's shape);
//   counts: each thread adds the counts of the source words it owns, pair
//           by pair, source position outer, target position inner.
// One barrier a batch: after it, a thread adds the previous batch's counts
// (whose sums every thread made before the barrier) and makes the sums of
// this one; each thread's buffers alternate between two batches, so that
// the others read the one of this batch while it fills the next.
// Every value is the one thread's, in the same order; the cells of a source
// word are only ever touched by its owner.  Each of the `workers` tasks is
// one thread's whole part (workers <= parallel.threads(), so every task
// gets a thread of its own and the barriers are met).
template <typename W>
void LockStep(W& walk, int64_t first, int64_t last, int workers,
              Reporter& reporter, ProgressTicker* ticker,
              const Parallel& parallel) {
  const SweepScratch& sc = walk.s;
  const Corpus& corpus = walk.corpus;
  TransCell* cells = const_cast<TransCell*>(walk.table.cells());
  // An E-step with alignment counts: each pair's sums by the owner of its
  // shape (so that every alignment count is summed by one thread).
  constexpr bool align_counts = W::kAlignCounts;
  const uint16_t* row_owner = sc.row_owner.data();
  StepBarrier barrier(workers);
  // buffers[slot * workers + thread]: each thread's t values of the batch
  // of that slot.
  std::vector<const double*> buffers(2 * static_cast<size_t>(workers), nullptr);
  std::vector<std::exception_ptr> errors(static_cast<size_t>(workers));
  parallel.For(workers, [&](int64_t w) -> int64_t {
    const int me = static_cast<int>(w);
    struct Batch {
      int64_t first = 0, last = 0;
      std::vector<uint32_t> ids;  // the owned rows' cells, side by side
      std::vector<double> own;    // their t values
    };
    Batch batches[2];
    std::vector<const double*> at;  // per source position of a pair
    std::vector<uint64_t> offset(static_cast<size_t>(workers));
    std::vector<double> align_row;  // a uniform table's values (AlignRow)
    Buffers buf;
    int64_t done = 0;

    // Gather: the owned rows' cell numbers side by side, then their t
    // values (prefetching a fixed distance ahead along them).
    auto gather = [&](Batch& batch, int slot) {
      std::vector<uint32_t>& ids = batch.ids;
      ids.clear();
      for (int64_t p = batch.first; p < batch.last; ++p) {
        const IdSpan src = corpus.src(p);
        const int32_t m = corpus.trg(p).size;
        const uint32_t* idx = walk.index + walk.offsets[p - walk.first];
        for (int32_t i = 0; i < src.size; ++i) {
          if (row_owner[src[i]] != me) continue;
          const uint32_t* row = idx + static_cast<size_t>(i) * m;
          ids.insert(ids.end(), row, row + m);
        }
      }
      // The alignment blocks of the pairs this thread sums next, meanwhile.
      if (align_counts) {
        for (int64_t p = batch.first; p < batch.last; ++p) {
          if (sc.shape_owner[sc.shape[p]] == me) walk.PrefetchBlock(p);
        }
      }
      const size_t size = ids.size();
      ids.resize(size + kAhead, 0u);
      if (batch.own.size() < size) batch.own.resize(size);
      const uint32_t* id = ids.data();
      double* t = batch.own.data();
      for (size_t k = 0; k < size; ++k) {
        __builtin_prefetch(&cells[id[k + kAhead]]);
        t[k] = cells[id[k]].p;
      }
      buffers[static_cast<size_t>(slot) * workers + me] = batch.own.data();
    };

    // Sums.  Each thread finds where every owner's rows of the batch start
    // by counting the rows before them.
    auto sums = [&](const Batch& batch, int slot) {
      const int64_t b = batch.first, e = batch.last;
      const double* const* owners = buffers.data() + static_cast<size_t>(slot) * workers;
      std::fill(offset.begin(), offset.end(), 0);
      for (int64_t p = b; p < e; ++p) {
        const IdSpan src = corpus.src(p);
        const int32_t m = corpus.trg(p).size;
        const bool mine =
            align_counts ? sc.shape_owner[sc.shape[p]] == me
                   : ChunkBegin(e - b, workers, me) <= p - b &&
                         p - b < ChunkBegin(e - b, workers, me + 1);
        if (mine) {
          at.resize(static_cast<size_t>(src.size));
          for (int32_t i = 0; i < src.size; ++i) {
            const int o = row_owner[src[i]];
            at[i] = owners[o] + offset[o];
            offset[o] += static_cast<uint64_t>(m);
          }
          walk.PairFrom(p, at.data(), buf);
          ++done;
        } else {
          for (int32_t i = 0; i < src.size; ++i) {
            offset[row_owner[src[i]]] += static_cast<uint64_t>(m);
          }
        }
      }
    };

    // Counts.
    auto counts = [&](const Batch& batch) {
      const uint32_t* id = batch.ids.data();
      const double* t = batch.own.data();
      for (int64_t p = batch.first; p < batch.last; ++p) {
        const IdSpan src = corpus.src(p);
        const int32_t m = corpus.trg(p).size;
        const double* inv = sc.inv.data() + (corpus.trg_offset(p) - walk.inv_base);
        const int32_t L = src.size;
        // A kernel with an alignment table counts only pairs with a shape.
        const bool collect = walk.Counts(p);
        size_t stride = 0;
        const double* a =
            align_counts && collect ? walk.AlignRow(p, &stride, &align_row) : nullptr;
        for (int32_t i = 0; i < L; ++i) {
          if (row_owner[src[i]] != me) continue;
          // c(e_i, f_j) += Link(t(f_j | e_i), a(i | j)) / column sum
          if constexpr (!align_counts) {
            for (int32_t j = 0; j < m; ++j) {
              __builtin_prefetch(&cells[id[j + kCountsAhead]], 1);
              if (inv[j] < 0.0) continue;
              cells[id[j]].c += W::Expect::Link(t[j], 1.0) * inv[j];
            }
          } else if (a != nullptr) {
            const double* ai = a + i;
            for (int32_t j = 0; j < m; ++j) {
              __builtin_prefetch(&cells[id[j + kCountsAhead]], 1);
              if (inv[j] < 0.0) continue;
              cells[id[j]].c += W::Expect::Link(t[j], ai[j * stride]) * inv[j];
            }
          }
          id += m;
          t += m;
        }
      }
    };

    try {
      int slot = 0;
      bool pending = false;  // batches[slot ^ 1] awaits its counts
      for (int64_t b = first; b < last; b += kPairsPerBatch, slot ^= 1) {
        Batch& batch = batches[slot];
        batch.first = b;
        batch.last = std::min(last, b + kPairsPerBatch);
        gather(batch, slot);
        barrier.Wait();
        if (pending) counts(batches[slot ^ 1]);
        sums(batch, slot);
        pending = true;
        Parallel::Checkpoint(done);
        done = 0;
      }
      if (pending) {
        barrier.Wait();
        counts(batches[slot ^ 1]);
      }
    } catch (const StepBarrier::Abandoned&) {
    } catch (...) {
      errors[me] = std::current_exception();
      barrier.Abandon();
    }
    return done;
  }, reporter, ticker);
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
}

// The pairs [first, last): on one thread, each pair's counts right after
// its sums; an E-step on several threads in lock step (`workers` of them);
// an entropy alone split into chunks of pairs.
template <typename W>
void RunPhases(W& walk, int64_t first, int64_t last, int workers,
               const Parallel& parallel, Reporter& reporter,
               ProgressTicker* ticker) {
  const int threads = parallel.threads();
  TransCell* cells = const_cast<TransCell*>(walk.table.cells());
  constexpr bool expect = W::kExpect;
  if (threads == 1 || (expect && workers == 1)) {
    // One thread: each pair's counts right after its sums, while its cells
    // are in cache.  The same additions in the same order as LockStep's.
    parallel.For(1, [&](int64_t) -> int64_t {
      Buffers buf;
      std::vector<double> rows;
      std::vector<const double*> at;
      int64_t done = 0;
      for (int64_t p = first; p < last; ++p) {
        if (++done == 1024) {
          Parallel::Checkpoint(done);
          done = 0;
        }
        if (p + 1 < last) walk.PrefetchBlock(p + 1);
        if constexpr (!expect) {
          walk.EntropyPair(p, buf, &rows, &at);
        } else if constexpr (W::kColumns) {
          walk.GatherRows(p, &rows, &at);
          walk.PairFrom(p, at.data(), buf);
          walk.Scatter(p, cells, buf.post.data());
        } else {
          walk.Pair(p, buf);
          walk.Scatter(p, cells, buf.post.data());
        }
      }
      return done;
    }, reporter, ticker);
    return;
  }
  if constexpr (expect) {
    LockStep(walk, first, last, workers, reporter, ticker, parallel);
    return;
  }
  // An entropy alone: each pair's results are its own, any split gives the
  // same.
  const int64_t count = last - first;
  const int64_t tasks = Parallel::Chunks(count, kMinPairsPerTask, threads, 4);
  parallel.For(tasks, [&](int64_t t) -> int64_t {
    Buffers buf;
    std::vector<double> rows;
    std::vector<const double*> at;
    const int64_t from = first + ChunkBegin(count, tasks, t);
    const int64_t to = first + ChunkBegin(count, tasks, t + 1);
    for (int64_t p = from; p < to; ++p) {
      if (p + 1 < to) walk.PrefetchBlock(p + 1);
      walk.EntropyPair(p, buf, &rows, &at);
    }
    return to - from;
  }, reporter, ticker);
}

}  // namespace

void PrepareAlignBlocks(AlignTable* align, const Corpus& corpus) {
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    if (!HasShape(L, m)) continue;
    align->CheckShape(L, m);
    if (align->Find(L - 1, m) == nullptr) align->Add(L - 1, m);
  }
}

namespace {

// The walk of the E-step of kernel E and the entropy of kernel H.
template <typename E, typename H>
double SweepWith(TransTable* table, AlignTable* align, const Corpus& corpus,
                 const SweepRequest& request, const Parallel& parallel,
                 SweepScratch* scratch, Reporter& reporter) {
  using WalkEH = Walk<E, H>;
  if (WalkEH::kColumns && align == nullptr) {
    throw std::logic_error(std::string("Model ") +
                           ModelName(E::kAlign ? E::kType : H::kType) +
                           " needs an alignment table");
  }
  if (E::kAlign) PrepareAlignBlocks(align, corpus);
  if (WalkEH::kColumns) PrepareBlocks(*align, corpus, scratch);
  scratch->entropy.resize(static_cast<size_t>(corpus.size()));
  if (E::kActive) table->ZeroCounts(&parallel);
  if (E::kAlign) align->ZeroCounts(&parallel);

  if (request.outcome != nullptr) {
    if (!H::kAlign || E::kActive) {
      throw std::logic_error("pair outcomes come of a Model 2 entropy walk alone");
    }
    request.outcome->best.resize(corpus.trg_offset(corpus.size()));
  }
  WalkEH walk{*table, align, corpus, *scratch,
              WalkEH::kColumns && align->uniform(), request.outcome};
  const int64_t n = corpus.size();
  ProgressTicker ticker(reporter, request.expect ? "processing" : "progress",
                        n, 2048);
  // The lock-step E-step's threads spin at its barriers: no more of them
  // than there are CPUs (any number gives the same results).
  const int workers = std::min(parallel.threads(), AvailableCpus());
  if (E::kAlign && scratch->shape_owner_threads != workers) {
    AssignOwners(scratch->shape_work, workers, &scratch->shape_owner);
    scratch->shape_owner_threads = workers;
  }
  if (E::kActive) PrepareRowOwners(*table, corpus, workers, scratch);

  // The pairs in runs whose cells are at hand: the whole corpus through the
  // table's index, or runs of pairs whose cells are looked up first.
  const bool indexed = table->has_cell_index();
  const int64_t budget = indexed ? 0 : std::max<int64_t>(table->lookup_cells(), 1);
  for (int64_t first = 0; first < n;) {
    int64_t last = n;
    if (indexed) {
      walk.index = table->cell_index().data();
      walk.offsets = table->cell_offsets().data();
    } else {
      last = LookUpCells(*table, corpus, first, budget, parallel, scratch);
      walk.index = scratch->run_index.data();
      walk.offsets = scratch->run_offsets.data();
    }
    walk.first = first;
    walk.inv_base = corpus.trg_offset(first);
    scratch->inv.resize(corpus.trg_offset(last) - corpus.trg_offset(first));
    RunPhases(walk, first, last, workers, parallel, reporter, &ticker);
    first = last;
  }
  ticker.Flush();
  double total = 0.0;
  if (H::kActive) {
    for (int64_t p = 0; p < n; ++p) total += scratch->entropy[p];
  }
  if (request.outcome != nullptr) {
    request.outcome->entropy.assign(scratch->entropy.begin(),
                                    scratch->entropy.begin() + n);
  }
  return total;
}

template <typename E>
double SweepExpecting(TransTable* table, AlignTable* align,
                      const Corpus& corpus, const SweepRequest& request,
                      const Parallel& parallel, SweepScratch* scratch,
                      Reporter& reporter) {
  if (!request.entropy) {
    return SweepWith<E, NoModel>(table, align, corpus, request, parallel,
                                 scratch, reporter);
  }
  return WithKernel(request.entropy_model, [&](auto h) {
    return SweepWith<E, decltype(h)>(table, align, corpus, request, parallel,
                                     scratch, reporter);
  });
}

}  // namespace

double Sweep(TransTable* table, AlignTable* align, const Corpus& corpus,
             const SweepRequest& request, const Parallel& parallel,
             SweepScratch* scratch, Reporter& reporter) {
  if (!table->IndexedFor(corpus)) {
    throw std::logic_error("translation table is not laid out for the corpus");
  }
  if (!request.expect) {
    return SweepExpecting<NoModel>(table, align, corpus, request, parallel,
                                   scratch, reporter);
  }
  return WithKernel(request.expect_model, [&](auto e) {
    return SweepExpecting<decltype(e)>(table, align, corpus, request, parallel,
                                       scratch, reporter);
  });
}

}  // namespace qaz
