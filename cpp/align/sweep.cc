#include "align/sweep.h"

#include <cmath>
#include <stdexcept>

#include "align/em.h"
#include "common/errors.h"

namespace qaz {

namespace {

// How far ahead in the cell index the gathers prefetch table cells (the
// index is padded so that reading ahead stays inside it).
constexpr int kAhead = TransTable::kIndexPadding;
constexpr int64_t kMinPairsPerTask = 64;


// Per-pair first alignment cell and the pairs grouped by shape, rebuilt
// when the alignment table changed.
void PrepareBlocks(const AlignTable& align, const Corpus& corpus,
                   SweepScratch* s) {
  const int64_t n = corpus.size();
  if (s->block_table == &align && s->block_count == align.blocks().size() &&
      static_cast<int64_t>(s->block.size()) == n) {
    return;
  }
  s->block.assign(static_cast<size_t>(n), -1);
  std::vector<uint32_t> shape_of(static_cast<size_t>(n), 0);
  std::vector<uint64_t> start(align.blocks().size() + 2, 0);
  for (int64_t p = 0; p < n; ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    uint32_t id = 0;  // group 0: pairs without a block
    if (HasShape(L, m)) {
      align.CheckShape(L, m);
      const AlignTable::Block* b = align.Find(L - 1, m);
      if (b != nullptr) {
        s->block[p] = static_cast<int64_t>(b->offset);
        id = static_cast<uint32_t>(b - align.blocks().data()) + 1;
      }
    }
    shape_of[p] = id;
    ++start[id + 1];
  }
  for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
  s->by_shape.resize(static_cast<size_t>(n));
  std::vector<uint64_t> fill(start.begin(), start.end() - 1);
  for (int64_t p = 0; p < n; ++p) {
    s->by_shape[fill[shape_of[p]]++] = static_cast<uint32_t>(p);
  }
  s->shape_start = std::move(start);
  s->block_table = &align;
  s->block_count = align.blocks().size();
}

void PrepareCorpus(const TransTable& table, const Corpus& corpus,
                   SweepScratch* s) {
  const int64_t n = corpus.size();
  if (static_cast<int64_t>(s->trg_start.size()) != n + 1) {
    s->trg_start.assign(static_cast<size_t>(n) + 1, 0);
    for (int64_t p = 0; p < n; ++p) {
      s->trg_start[p + 1] = s->trg_start[p] + corpus.trg(p).size;
    }
  }
  s->inv.resize(s->trg_start[n]);
  s->entropy.resize(static_cast<size_t>(n));
  if (s->row_chunks.empty()) {
    // Phase 2 tasks: runs of rows of about equal work (cells visited).
    const int32_t S = table.S();
    const uint64_t* occ_start = table.occ_start().data();
    const TransTable::Occurrence* occ = table.occurrences().data();
    std::vector<uint64_t> work(static_cast<size_t>(S) + 1, 0);
    for (int32_t e = 0; e < S; ++e) {
      uint64_t w = 0;
      for (uint64_t k = occ_start[e]; k < occ_start[e + 1]; ++k) {
        w += static_cast<uint64_t>(corpus.trg(occ[k].pair).size) + 1;
      }
      work[e + 1] = work[e] + w;
    }
    const uint64_t total = work[S];
    const uint64_t tasks = 512;
    s->row_chunks.push_back(0);
    int32_t e = 0;
    for (uint64_t t = 1; t <= tasks && e < S; ++t) {
      const uint64_t goal = total * t / tasks;
      while (e < S && work[e + 1] <= goal) ++e;
      if (t == tasks) e = S;
      if (e > static_cast<int32_t>(s->row_chunks.back())) {
        s->row_chunks.push_back(static_cast<uint64_t>(e));
      }
    }
    if (s->row_chunks.back() != static_cast<uint64_t>(S)) {
      s->row_chunks.push_back(static_cast<uint64_t>(S));
    }
  }
}

struct Walk {
  const TransTable& table;
  AlignTable* align;
  const Corpus& corpus;
  const SweepRequest& request;
  SweepScratch& s;
  bool model2_expect;
  bool model2_entropy;
  bool need_blocks;

  // Phase 1 for pair p.
  void Pair(int64_t p, std::vector<double>& post, std::vector<double>& logs) {
    const TransCell* cells = table.cells();
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    const uint32_t* idx = table.cell_index().data() + table.cell_offsets()[p];
    double* inv = s.inv.data() + s.trg_start[p];
    const double* a = nullptr;
    double* ac = nullptr;
    if (need_blocks && s.block[p] >= 0) {
      a = align->values_at(static_cast<uint64_t>(s.block[p]));
      if (model2_expect) ac = align->counts_at(static_cast<uint64_t>(s.block[p]));
    }
    const double uniform = 1.0 / static_cast<double>(L);
    const double len = static_cast<double>(L);
    logs.resize(static_cast<size_t>(m));
    post.resize(static_cast<size_t>(L));
    const bool expect = request.expect;
    // Model 2 E-step: pairs without a shape collect nothing.
    const bool collect = expect && (!model2_expect || a != nullptr);
    for (int32_t j = 0; j < m; ++j, idx += L) {
      double sum = 0.0;    // the E-step's column sum
      double h_sum = 0.0;  // the entropy's, where it differs
      if (model2_expect && a != nullptr) {
        for (int32_t i = 0; i < L; ++i) {
          __builtin_prefetch(&cells[idx[i + kAhead]]);
          post[i] = cells[idx[i]].p * a[i];
          sum += post[i];
        }
        h_sum = sum;
        if (request.entropy && !model2_entropy) {
          // A Model 1 entropy beside a Model 2 E-step: the plain t sum.
          h_sum = 0.0;
          for (int32_t i = 0; i < L; ++i) h_sum += cells[idx[i]].p;
        }
      } else if (model2_entropy) {
        for (int32_t i = 0; i < L; ++i) {
          __builtin_prefetch(&cells[idx[i + kAhead]]);
          const double t = cells[idx[i]].p;
          sum += t;
          h_sum += (a != nullptr ? a[i] : uniform) * t;
        }
      } else {
        for (int32_t i = 0; i < L; ++i) {
          __builtin_prefetch(&cells[idx[i + kAhead]]);
          sum += cells[idx[i]].p;
        }
      }
      if (request.entropy) {
        if (model2_entropy) {
          logs[j] = std::log(h_sum);
        } else {
          logs[j] = std::log((model2_expect && a != nullptr ? h_sum : sum) / len);
        }
      }
      if (collect) {
        // A column whose sum is 0 contributes nothing.
        if (sum > 0.0) {
          inv[j] = 1.0 / sum;
          if (ac != nullptr) {
            // c(i | j, I, J) += p(i, j)
            for (int32_t i = 0; i < L; ++i) ac[i] += post[i] * inv[j];
          }
        } else {
          inv[j] = -1.0;
        }
      } else if (expect) {
        inv[j] = -1.0;
      }
      if (a != nullptr) a += L;
      if (ac != nullptr) ac += L;
    }
    if (request.entropy) {
      s.entropy[p] = -PairwiseSum(logs.data(), m) / static_cast<double>(m);
    }
  }

  // Phase 2 for rows [e0, e1).
  void Rows(int32_t e0, int32_t e1, TransCell* cells) {
    const uint64_t* occ_start = table.occ_start().data();
    const TransTable::Occurrence* occ = table.occurrences().data();
    const uint32_t* index = table.cell_index().data();
    const uint64_t* offsets = table.cell_offsets().data();
    for (int32_t e = e0; e < e1; ++e) {
      for (uint64_t k = occ_start[e]; k < occ_start[e + 1]; ++k) {
        const uint32_t p = occ[k].pair;
        const int32_t i = static_cast<int32_t>(occ[k].pos);
        const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
        const uint32_t* idx = index + offsets[p] + i;
        const double* inv = s.inv.data() + s.trg_start[p];
        if (model2_expect) {
          if (s.block[p] < 0) continue;
          const double* a = align->values_at(static_cast<uint64_t>(s.block[p])) + i;
          for (int32_t j = 0; j < m; ++j, idx += L, a += L) {
            if (inv[j] < 0.0) continue;
            TransCell& cell = cells[*idx];
            // c(e_i, f_j) += p(i, j)
            cell.c += (cell.p * *a) * inv[j];
          }
        } else {
          for (int32_t j = 0; j < m; ++j, idx += L) {
            if (inv[j] < 0.0) continue;
            TransCell& cell = cells[*idx];
            // c(e_i, f_j) += t(f_j|e_i) / sum_i' t(f_j|e_i')
            cell.c += cell.p * inv[j];
          }
        }
      }
    }
  }
};

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
  PrepareCorpus(*table, corpus, scratch);
  if (request.expect) table->ZeroCounts();
  if (model2_expect) align->ZeroCounts();

  Walk walk{*table, align, corpus, request, *scratch,
            model2_expect, model2_entropy, need_blocks};
  const int64_t n = corpus.size();
  ProgressTicker ticker(reporter, request.expect ? "processing" : "progress",
                        n, 2048);

  // Phase 1.  With Model 2 counts, one task is one shape group (in shape
  // order; its pairs in corpus order); otherwise a run of pairs.
  if (model2_expect) {
    const int64_t groups =
        static_cast<int64_t>(scratch->shape_start.size()) - 1;
    parallel.For(groups, [&](int64_t g) -> int64_t {
      std::vector<double> post, logs;
      const uint64_t b = scratch->shape_start[g], e = scratch->shape_start[g + 1];
      for (uint64_t k = b; k < e; ++k) walk.Pair(scratch->by_shape[k], post, logs);
      return static_cast<int64_t>(e - b);
    }, reporter, &ticker);
  } else {
    // Each pair's results are its own: any split gives the same.
    const int64_t tasks = Parallel::Chunks(n, kMinPairsPerTask,
                                           parallel.threads(), 16);
    parallel.For(tasks, [&](int64_t t) -> int64_t {
      std::vector<double> post, logs;
      const int64_t b = ChunkBegin(n, tasks, t), e = ChunkBegin(n, tasks, t + 1);
      for (int64_t p = b; p < e; ++p) walk.Pair(p, post, logs);
      return e - b;
    }, reporter, &ticker);
  }
  // Phase 2.
  if (request.expect) {
    TransCell* cells = table->cells();
    const int64_t tasks =
        static_cast<int64_t>(scratch->row_chunks.size()) - 1;
    parallel.For(tasks, [&](int64_t t) -> int64_t {
      walk.Rows(static_cast<int32_t>(scratch->row_chunks[t]),
                static_cast<int32_t>(scratch->row_chunks[t + 1]), cells);
      return 0;
    }, reporter, nullptr);
  }
  double total = 0.0;
  if (request.entropy) {
    for (int64_t p = 0; p < n; ++p) total += scratch->entropy[p];
  }
  return total;
}

}  // namespace qaz
