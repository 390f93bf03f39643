#include "align/sweep.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "align/em.h"
#include "common/errors.h"

namespace qaz {

namespace {

// How far ahead in the cell index the gathers prefetch table cells (the
// index is padded so that reading ahead stays inside it).
constexpr int kAhead = TransTable::kIndexPadding;
constexpr int64_t kMinPairsPerTask = 64;
// Pairs of a run walked in two phases by several threads.
constexpr int64_t kPairsPerRun = 16384;


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

void PrepareCorpus(const Corpus& corpus, SweepScratch* s) {
  const int64_t n = corpus.size();
  if (static_cast<int64_t>(s->trg_start.size()) != n + 1) {
    s->trg_start.assign(static_cast<size_t>(n) + 1, 0);
    for (int64_t p = 0; p < n; ++p) {
      s->trg_start[p + 1] = s->trg_start[p] + corpus.trg(p).size;
    }
  }
  s->entropy.resize(static_cast<size_t>(n));
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
  std::vector<double> sum, h, post, logs, top;
};

struct Walk {
  const TransTable& table;
  AlignTable* align;
  const Corpus& corpus;
  const SweepRequest& request;
  SweepScratch& s;
  bool model2_expect;
  bool model2_entropy;
  bool need_blocks;
  PairOutcome* outcome;  // request.outcome
  // The cells at hand: pair p's cells from index + offsets[p - first]; its
  // column factors from s.inv at trg_start[p] - inv_base.
  const uint32_t* index = nullptr;
  const uint64_t* offsets = nullptr;
  int64_t first = 0;
  uint64_t inv_base = 0;

  // Phase 1 for pair p.  The pair's cells are read source position outer,
  // target position inner (the index's order); each column sum adds its
  // source positions in order.
  void Pair(int64_t p, Buffers& buf) {
    const TransCell* cells = table.cells();
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const uint32_t* idx = index + offsets[p - first];
    double* inv = s.inv.data() + (s.trg_start[p] - inv_base);
    const double* a = nullptr;
    double* ac = nullptr;
    if (need_blocks && s.block[p] >= 0) {
      a = align->values_at(static_cast<uint64_t>(s.block[p]));
      if (model2_expect) ac = align->counts_at(static_cast<uint64_t>(s.block[p]));
    }
    const double uniform = 1.0 / static_cast<double>(L);
    const double len = static_cast<double>(L);
    const size_t cells_n = static_cast<size_t>(L) * m;
    std::vector<double>& sum = buf.sum;  // the E-step's column sums
    std::vector<double>& h = buf.h;      // the entropy's, where they differ
    sum.assign(static_cast<size_t>(m), 0.0);
    const bool expect = request.expect;
    const bool post2 = model2_expect && a != nullptr;
    const bool own_h = request.entropy && (post2 ? !model2_entropy : model2_entropy);
    if (own_h) h.assign(static_cast<size_t>(m), 0.0);
    if (post2) {
      buf.post.resize(cells_n);
      double* post = buf.post.data();
      for (int32_t i = 0; i < L; ++i) {
        const uint32_t* row = idx + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          __builtin_prefetch(&cells[row[j + kAhead]]);
          const double v = cells[row[j]].p * a[j * L + i];
          post[i * m + j] = v;
          sum[j] += v;
        }
      }
      if (own_h) {
        // A Model 1 entropy beside a Model 2 E-step: the plain t sums.
        for (int32_t i = 0; i < L; ++i) {
          const uint32_t* row = idx + static_cast<size_t>(i) * m;
          for (int32_t j = 0; j < m; ++j) h[j] += cells[row[j]].p;
        }
      }
    } else if (outcome != nullptr) {
      // A Model 2 entropy alone, with each column's best source position
      // (a * t as the decoder forms it, the first of equals kept).
      int32_t* best = outcome->best.data() + s.trg_start[p];
      std::fill(best, best + m, 0);
      buf.top.assign(static_cast<size_t>(m),
                     -std::numeric_limits<double>::infinity());
      double* top = buf.top.data();
      for (int32_t i = 0; i < L; ++i) {
        const uint32_t* row = idx + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          __builtin_prefetch(&cells[row[j + kAhead]]);
          const double v = (a != nullptr ? a[j * L + i] : uniform) * cells[row[j]].p;
          h[j] += v;
          if (v > top[j]) {
            top[j] = v;
            best[j] = i;
          }
        }
      }
    } else if (own_h && !expect) {
      for (int32_t i = 0; i < L; ++i) {
        const uint32_t* row = idx + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          __builtin_prefetch(&cells[row[j + kAhead]]);
          h[j] += (a != nullptr ? a[j * L + i] : uniform) * cells[row[j]].p;
        }
      }
    } else if (own_h) {
      for (int32_t i = 0; i < L; ++i) {
        const uint32_t* row = idx + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          __builtin_prefetch(&cells[row[j + kAhead]]);
          const double t = cells[row[j]].p;
          sum[j] += t;
          h[j] += (a != nullptr ? a[j * L + i] : uniform) * t;
        }
      }
    } else {
      for (int32_t i = 0; i < L; ++i) {
        const uint32_t* row = idx + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          __builtin_prefetch(&cells[row[j + kAhead]]);
          sum[j] += cells[row[j]].p;
        }
      }
    }
    if (request.entropy) {
      buf.logs.resize(static_cast<size_t>(m));
      for (int32_t j = 0; j < m; ++j) {
        if (model2_entropy) {
          buf.logs[j] = std::log(own_h ? h[j] : sum[j]);
        } else {
          buf.logs[j] = std::log((own_h ? h[j] : sum[j]) / len);
        }
      }
      s.entropy[p] = -PairwiseSum(buf.logs.data(), m) / static_cast<double>(m);
    }
    if (!expect) return;
    // Model 2 E-step: pairs without a shape collect nothing.  A column whose
    // sum is 0 contributes nothing.
    const bool collect = !model2_expect || a != nullptr;
    for (int32_t j = 0; j < m; ++j) {
      inv[j] = collect && sum[j] > 0.0 ? 1.0 / sum[j] : -1.0;
    }
    if (ac != nullptr) {
      // c(i | j, I, J) += p(i, j), one addition to each count, so in the
      // block's order.
      const double* post = buf.post.data();
      for (int32_t j = 0; j < m; ++j) {
        if (inv[j] < 0.0) continue;
        double* acj = ac + static_cast<size_t>(j) * L;
        for (int32_t i = 0; i < L; ++i) acj[i] += post[i * m + j] * inv[j];
      }
    }
  }

  // Starts loading the alignment block of pair p (its values, and its counts
  // when the walk collects them), which lies anywhere in the table.
  void PrefetchBlock(int64_t p) const {
    if (!need_blocks || s.block[p] < 0) return;
    const size_t bytes = static_cast<size_t>(corpus.src(p).size) *
                         static_cast<size_t>(corpus.trg(p).size) * sizeof(double);
    const char* v = reinterpret_cast<const char*>(
        align->values_at(static_cast<uint64_t>(s.block[p])));
    const char* c = model2_expect
                        ? reinterpret_cast<const char*>(
                              align->counts_at(static_cast<uint64_t>(s.block[p])))
                        : nullptr;
    for (size_t k = 0; k < bytes; k += 64) {
      __builtin_prefetch(v + k);
      if (c != nullptr) __builtin_prefetch(c + k, 1);
    }
  }

  // What phase 2 reads of pair p: its source ids, target length, cells,
  // column factors and (Model 2 E-step) alignment block.
  struct PairView {
    IdSpan src;
    int32_t m;
    const uint32_t* idx;
    const double* inv;
    const double* a;
  };
  PairView View(int64_t p) const {
    return PairView{
        corpus.src(p), corpus.trg(p).size, index + offsets[p - first],
        s.inv.data() + (s.trg_start[p] - inv_base),
        model2_expect ? align->values_at(static_cast<uint64_t>(s.block[p]))
                      : nullptr};
  }

  // Phase 2 for pair p right after its phase 1 (one thread): the counts of
  // all its rows, source positions in order, each one's target positions in
  // order.  For Model 2, `post` holds the pair's t * a as Pair left them in
  // its buffers.
  void Scatter(int64_t p, TransCell* cells, const double* post) const {
    if (model2_expect && s.block[p] < 0) return;
    const PairView v = View(p);
    const int32_t m = v.m;
    for (int32_t i = 0; i < v.src.size; ++i) {
      const uint32_t* row = v.idx + static_cast<size_t>(i) * m;
      if (model2_expect) {
        // c(e_i, f_j) += p(i, j)
        const double* pi = post + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          if (v.inv[j] < 0.0) continue;
          cells[row[j]].c += pi[j] * v.inv[j];
        }
      } else {
        // c(e_i, f_j) += t(f_j|e_i) / sum_i' t(f_j|e_i')
        for (int32_t j = 0; j < m; ++j) {
          if (v.inv[j] < 0.0) continue;
          TransCell& cell = cells[row[j]];
          cell.c += cell.p * v.inv[j];
        }
      }
    }
  }

  // Phase 2 of pairs [b, e) for the rows `owner` holds: of each pair's
  // additions in Scatter, those of these rows, in the same order.  The rows
  // are listed first, so that the cells can be prefetched a fixed distance
  // ahead across rows and pairs (the rows of other owners lie between).
  void ScatterOwned(int64_t b, int64_t e, int owner, TransCell* cells) const {
    struct Row {
      const uint32_t* idx;
      const double* inv;
      const double* a;  // a[j * L] is a(i | j), or nullptr for Model 1
      int32_t m, L;
    };
    std::vector<Row> rows;
    const uint16_t* row_owner = s.row_owner.data();
    for (int64_t p = b; p < e; ++p) {
      if (model2_expect && s.block[p] < 0) continue;
      const PairView v = View(p);
      for (int32_t i = 0; i < v.src.size; ++i) {
        if (row_owner[v.src[i]] != owner) continue;
        rows.push_back(Row{v.idx + static_cast<size_t>(i) * v.m, v.inv,
                           v.a != nullptr ? v.a + i : nullptr, v.m, v.src.size});
      }
    }
    // The prefetch cursor: row pk, position pj, kAhead cells ahead.
    size_t pk = 0;
    int32_t pj = 0;
    auto prefetch_next = [&]() {
      if (pk >= rows.size()) return;
      __builtin_prefetch(&cells[rows[pk].idx[pj]], 1);
      if (++pj == rows[pk].m) {
        pj = 0;
        ++pk;
      }
    };
    for (int k = 0; k < kAhead; ++k) prefetch_next();
    for (const Row& r : rows) {
      const int32_t m = r.m;
      if (r.a != nullptr) {
        for (int32_t j = 0; j < m; ++j) {
          prefetch_next();
          if (r.inv[j] < 0.0) continue;
          TransCell& cell = cells[r.idx[j]];
          cell.c += (cell.p * r.a[static_cast<size_t>(j) * r.L]) * r.inv[j];
        }
      } else {
        for (int32_t j = 0; j < m; ++j) {
          prefetch_next();
          if (r.inv[j] < 0.0) continue;
          TransCell& cell = cells[r.idx[j]];
          cell.c += cell.p * r.inv[j];
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

void RunPhases(Walk& walk, int64_t first, int64_t last, bool model2_expect,
               const Parallel& parallel, Reporter& reporter,
               ProgressTicker* ticker) {
  const SweepScratch& scratch = walk.s;
  const int threads = parallel.threads();
  TransCell* cells = const_cast<TransCell*>(walk.table.cells());
  const bool expect = walk.request.expect;
  if (threads == 1) {
    // One thread: each pair's counts right after its sums, while its cells
    // are in cache.  The same additions in the same order as below.
    parallel.For(1, [&](int64_t) -> int64_t {
      Buffers buf;
      int64_t done = 0;
      for (int64_t p = first; p < last; ++p) {
        if (++done == 1024) {
          Parallel::Checkpoint(done);
          done = 0;
        }
        if (p + 1 < last) walk.PrefetchBlock(p + 1);
        walk.Pair(p, buf);
        if (expect) walk.Scatter(p, cells, buf.post.data());
      }
      return done;
    }, reporter, ticker);
    return;
  }
  // Several threads: runs of pairs, each in two phases, so that the second
  // finds the run's cells still in the shared cache.
  for (int64_t b = first; b < last; b += kPairsPerRun) {
    const int64_t e = std::min(last, b + kPairsPerRun);
    // Phase 1.  With Model 2 counts every shape has one owner, which takes
    // the pairs of its shapes in corpus order; otherwise each pair's
    // results are its own and any split gives the same.
    if (model2_expect) {
      parallel.For(threads, [&](int64_t t) -> int64_t {
        Buffers buf;
        const uint16_t* owner = scratch.shape_owner.data();
        const uint32_t* shape = scratch.shape.data();
        int64_t done = 0;
        int64_t p = b;
        while (p < e && owner[shape[p]] != t) ++p;
        while (p < e) {
          int64_t next = p + 1;
          while (next < e && owner[shape[next]] != t) ++next;
          if (next < e) walk.PrefetchBlock(next);
          walk.Pair(p, buf);
          ++done;
          p = next;
        }
        return done;
      }, reporter, ticker);
    } else {
      const int64_t count = e - b;
      const int64_t tasks = Parallel::Chunks(count, kMinPairsPerTask, threads, 4);
      parallel.For(tasks, [&](int64_t t) -> int64_t {
        Buffers buf;
        const int64_t from = b + ChunkBegin(count, tasks, t);
        const int64_t to = b + ChunkBegin(count, tasks, t + 1);
        for (int64_t p = from; p < to; ++p) walk.Pair(p, buf);
        return to - from;
      }, reporter, ticker);
    }
    // Phase 2: every row has one owning thread.
    if (expect) {
      parallel.For(threads, [&](int64_t t) -> int64_t {
        walk.ScatterOwned(b, e, static_cast<int>(t), cells);
        return 0;
      }, reporter, nullptr);
    }
  }
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

double Sweep(TransTable* table, AlignTable* align, const Corpus& corpus,
             const SweepRequest& request, const Parallel& parallel,
             SweepScratch* scratch, Reporter& reporter) {
  if (!table->IndexedFor(corpus)) {
    throw std::logic_error("translation table is not laid out for the corpus");
  }
  const bool model2_expect =
      request.expect && request.expect_model == ModelKind::kModel2;
  const bool model2_entropy =
      request.entropy && request.entropy_model == ModelKind::kModel2;
  if ((model2_expect || model2_entropy) && align == nullptr) {
    throw std::logic_error("Model 2 needs an alignment table");
  }
  if (model2_expect) PrepareAlignBlocks(align, corpus);
  const bool need_blocks = model2_expect || model2_entropy;
  if (need_blocks) PrepareBlocks(*align, corpus, scratch);
  PrepareCorpus(corpus, scratch);
  if (request.expect) table->ZeroCounts();
  if (model2_expect) align->ZeroCounts();

  if (request.outcome != nullptr) {
    if (!model2_entropy || request.expect) {
      throw std::logic_error("pair outcomes come of a Model 2 entropy walk alone");
    }
    request.outcome->best.resize(scratch->trg_start[corpus.size()]);
  }
  Walk walk{*table, align, corpus, request, *scratch,
            model2_expect, model2_entropy, need_blocks, request.outcome};
  const int64_t n = corpus.size();
  ProgressTicker ticker(reporter, request.expect ? "processing" : "progress",
                        n, 2048);
  const int threads = parallel.threads();
  if (model2_expect && scratch->shape_owner_threads != threads) {
    AssignOwners(scratch->shape_work, threads, &scratch->shape_owner);
    scratch->shape_owner_threads = threads;
  }
  if (request.expect) PrepareRowOwners(*table, corpus, threads, scratch);

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
    walk.inv_base = scratch->trg_start[first];
    scratch->inv.resize(scratch->trg_start[last] - scratch->trg_start[first]);
    RunPhases(walk, first, last, model2_expect, parallel, reporter, &ticker);
    first = last;
  }
  ticker.Flush();
  double total = 0.0;
  if (request.entropy) {
    for (int64_t p = 0; p < n; ++p) total += scratch->entropy[p];
  }
  if (request.outcome != nullptr) {
    request.outcome->entropy.assign(scratch->entropy.begin(),
                                    scratch->entropy.begin() + n);
  }
  return total;
}

}  // namespace qaz
