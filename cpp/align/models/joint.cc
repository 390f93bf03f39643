#include "align/models/joint.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "common/float_format.h"

namespace qaz {

namespace {

constexpr int64_t kChunkPairs = 8;
constexpr int kStats = HmmParams::kJumps + HmmParams::kStarts;

// One direction's share of a chunk of pairs: what its posteriors leave for
// the counts.
struct ChunkSide {
  std::vector<uint64_t> offset;  // per pair of the chunk: its first count
  std::vector<double> counts;    // L x m per pair, NULL row first
  std::vector<double> entropy;   // per pair
  std::vector<double> stats;     // per pair: jump then start counts (HMM)
};

// A worker's buffers, handed from task to task.
struct ChunkWork {
  std::vector<double> t[2], post[2], inverses;
  HmmScratch scratch;
  HmmParams::Counts counts;
  ChunkSide sides[2];
};

void LayOut(const Corpus& corpus, int64_t b, int64_t e, ChunkSide* side,
            bool hmm) {
  side->offset.resize(static_cast<size_t>(e - b) + 1);
  uint64_t total = 0;
  for (int64_t p = b; p < e; ++p) {
    side->offset[p - b] = total;
    total += static_cast<uint64_t>(corpus.src(p).size) * corpus.trg(p).size;
  }
  side->offset[e - b] = total;
  side->counts.resize(total);
  side->entropy.resize(static_cast<size_t>(e - b));
  side->stats.resize(hmm ? static_cast<size_t>(e - b) * kStats : 0);
}

// Adds the counts of pairs [b, e) into the table's cells, pair after pair,
// each pair's cells in the order of its positions.
void AddPairs(TransTable* table, const Corpus& corpus, int64_t b, int64_t e,
              const ChunkSide& side) {
  TransCell* cells = table->cells();
  const bool indexed = table->has_cell_index() && table->IndexedFor(corpus);
  for (int64_t p = b; p < e; ++p) {
    const IdSpan src = corpus.src(p), trg = corpus.trg(p);
    const int32_t m = trg.size;
    const int32_t L = src.size;
    const double* c = side.counts.data() + side.offset[p - b];
    if (indexed) {
      const uint32_t* index = table->cell_index().data() + table->cell_offsets()[p];
      const size_t n = static_cast<size_t>(L) * m;
      for (size_t k = 0; k < n; ++k) {
        __builtin_prefetch(&cells[index[k + 32]], 1);
        cells[index[k]].c += c[k];
      }
      continue;
    }
    for (int32_t i = 0; i < L; ++i) {
      for (int32_t j = 0; j < m; ++j) {
        cells[table->Find(src[i], trg[j])].c += c[static_cast<size_t>(i) * m + j];
      }
    }
  }
}

}  // namespace

bool AgreementCells::Pair(const JointDirection& fwd, const JointDirection& rev) {
  const TransTable& f = *fwd.trans;
  const TransTable& r = *rev.trans;
  if (paired_ && SameTables(f, r)) return ok_;
  paired_ = true;
  ok_ = false;
  deferred_ = false;
  counts_kept_ = false;
  tables_[0] = &f;
  tables_[1] = &r;
  nnz_[0] = f.nnz();
  nnz_[1] = r.nnz();
  std::vector<uint32_t>().swap(rev_of_);
  // Each word's id on the other side, from the pairs' positions: source
  // position i >= 1 forward is target position i - 1 reverse, target
  // position j forward is source position j + 1 reverse.
  const Corpus& cf = *fwd.corpus;
  const Corpus& cr = *rev.corpus;
  std::vector<int32_t> src_map(static_cast<size_t>(f.S()), -1),
      trg_map(static_cast<size_t>(f.T()), -1);
  int32_t fwd_null = -1, rev_null = -1;
  auto same = [](std::vector<int32_t>* map, int32_t from, int32_t to, int32_t bound) {
    if (from < 0 || from >= static_cast<int32_t>(map->size()) || to < 0 || to >= bound) {
      return false;
    }
    int32_t& slot = (*map)[from];
    if (slot < 0) slot = to;
    return slot == to;
  };
  for (int64_t p = 0; p < cf.size(); ++p) {
    const IdSpan fs = cf.src(p), ft = cf.trg(p), rs = cr.src(p), rt = cr.trg(p);
    if (fs.size < 1 || rs.size != ft.size + 1 || rt.size != fs.size - 1) return false;
    if (fwd_null < 0) fwd_null = fs[0], rev_null = rs[0];
    if (fs[0] != fwd_null || rs[0] != rev_null) return false;
    for (int32_t i = 1; i < fs.size; ++i) {
      if (!same(&src_map, fs[i], rt[i - 1], r.T())) return false;
    }
    for (int32_t j = 0; j < ft.size; ++j) {
      if (!same(&trg_map, ft[j], rs[j + 1], r.S())) return false;
    }
  }
  std::vector<int32_t> by_rev_trg(static_cast<size_t>(r.T()), -1);
  for (int32_t e = 0; e < f.S(); ++e) {
    if (src_map[e] < 0) {
      if (e != fwd_null && f.row_end(e) > f.row_begin(e)) return false;
      continue;
    }
    if (by_rev_trg[src_map[e]] >= 0) return false;
    by_rev_trg[src_map[e]] = e;
  }
  // Walking the forward rows in the order of their words' reverse ids fills
  // each reverse row in its order.
  rev_of_.assign(static_cast<size_t>(f.nnz()), kNone);
  std::vector<uint64_t> cursor(static_cast<size_t>(r.S()));
  for (int32_t s = 0; s < r.S(); ++s) cursor[s] = r.row_begin(s);
  const int32_t* fcols = f.cols();
  const int32_t* rcols = r.cols();
  for (int32_t word = 0; word < r.T(); ++word) {
    const int32_t e = by_rev_trg[word];
    if (e < 0) continue;
    for (uint64_t k = f.row_begin(e); k < f.row_end(e); ++k) {
      const int32_t row = trg_map[fcols[k]];
      const bool fits = row >= 0 && row != rev_null && cursor[row] < r.row_end(row);
      const uint64_t at = fits ? cursor[row]++ : 0;
      if (!fits || rcols[at] != word) {
        std::vector<uint32_t>().swap(rev_of_);
        return false;
      }
      rev_of_[k] = static_cast<uint32_t>(at);
    }
  }
  for (int32_t s = 0; s < r.S(); ++s) {
    if (s != rev_null && cursor[s] != r.row_end(s)) {
      std::vector<uint32_t>().swap(rev_of_);
      return false;
    }
  }
  // The reverse NULL row's cell of every reverse target word.
  null_cell_.assign(static_cast<size_t>(r.T()), kNone);
  if (rev_null >= 0) {
    for (uint64_t k = r.row_begin(rev_null); k < r.row_end(rev_null); ++k) {
      null_cell_[rcols[k]] = static_cast<uint32_t>(k);
    }
  }
  for (int64_t p = 0; p < cr.size(); ++p) {
    const IdSpan rt = cr.trg(p);
    for (int32_t i = 0; i < rt.size; ++i) {
      if (null_cell_[rt[i]] == kNone) {
        std::vector<uint32_t>().swap(rev_of_);
        return false;
      }
    }
  }
  ok_ = true;
  return true;
}

bool AgreementCells::SameTables(const TransTable& fwd, const TransTable& rev) const {
  return tables_[0] == &fwd && tables_[1] == &rev && nnz_[0] == fwd.nnz() &&
         nnz_[1] == rev.nnz();
}

bool AgreementCells::Reaches(const TransTable& fwd, const Corpus& fwd_corpus,
                             const TransTable& rev) const {
  return paired_ && ok_ && SameTables(fwd, rev) && fwd.has_cell_index() &&
         fwd.IndexedFor(fwd_corpus);
}

void AgreementCells::NullRow(const TransTable& rev, const Corpus& rev_corpus, int64_t p,
                             double* out) const {
  const IdSpan rtrg = rev_corpus.trg(p);
  const TransCell* rc = rev.cells();
  for (int32_t k = 0; k < rtrg.size; ++k) out[k] = rc[null_cell_[rtrg[k]]].p;
}

void AgreementCells::GatherReverse(const TransTable& fwd, const Corpus& fwd_corpus,
                                   const TransTable& rev, const Corpus& rev_corpus,
                                   int64_t p, std::vector<double>* out) const {
  const int32_t L = fwd_corpus.src(p).size, m = fwd_corpus.trg(p).size, mr = L - 1;
  out->resize(static_cast<size_t>(m + 1) * mr);
  const TransCell* rc = rev.cells();
  double* o = out->data();
  NullRow(rev, rev_corpus, p, o);
  const uint32_t* idx = fwd.cell_index().data() + fwd.cell_offsets()[p];
  const TransCell* fc = fwd.cells();
  if (counts_kept_) {
    // The reverse values are the forward counts over the reverse rows'
    // totals, as the last M-step worked them out.
    const IdSpan rsrc = rev_corpus.src(p);
    for (int32_t i = 1; i < L; ++i) {
      const uint32_t* row = idx + static_cast<size_t>(i) * m;
      for (int32_t j = 0; j < m; ++j) {
        o[static_cast<size_t>(j + 1) * mr + (i - 1)] =
            std::max(fc[row[j]].c * inverses_[1][rsrc[j + 1]], kFloor);
      }
    }
    return;
  }
  for (int32_t i = 1; i < L; ++i) {
    const uint32_t* row = idx + static_cast<size_t>(i) * m;
    for (int32_t j = 0; j < m; ++j) {
      o[static_cast<size_t>(j + 1) * mr + (i - 1)] = rc[rev_of_[row[j]]].p;
    }
  }
}

void AgreementCells::AddNullCounts(const JointDirection& rev, int64_t p,
                                   const double* counts) const {
  TransCell* rc = rev.trans->cells();
  const IdSpan rtrg = rev.corpus->trg(p);
  for (int32_t j = 0; j < rtrg.size; ++j) rc[null_cell_[rtrg[j]]].c += counts[j];
}

void AgreementCells::CopyCounts(const JointDirection& fwd, const JointDirection& rev,
                                const Parallel& parallel) const {
  const TransCell* f = fwd.trans->cells();
  TransCell* r = rev.trans->cells();
  // Every reverse word pair is one forward cell's, so the threads write apart.
  ForRuns(static_cast<int64_t>(rev_of_.size()), &parallel, [&](int64_t b, int64_t e) {
    for (int64_t k = b; k < e; ++k) {
      const uint32_t at = rev_of_[k];
      if (at != kNone) r[at].c = f[k].c;
    }
  });
}

void AgreementCells::Maximize(const JointDirection& fwd, const JointDirection& rev,
                              const Parallel& parallel) {
  TransTable& f = *fwd.trans;
  TransTable& r = *rev.trans;
  const bool all_rows = r.NormalizeFloored(kFloor, &parallel, &inverses_[1]);
  deferred_ = all_rows && Reaches(f, *fwd.corpus, r) &&
              f.InverseRowTotals(&inverses_[0], &parallel);
  counts_kept_ = deferred_;
  if (deferred_) {
    f.CountsAsValues(&parallel);
  } else {
    f.NormalizeFloored(kFloor, &parallel);
  }
}

void AgreementCells::Materialize(const JointDirection& fwd, const Parallel& parallel) {
  if (!deferred_) return;
  fwd.trans->NormalizeFloored(kFloor, &parallel);
  deferred_ = false;
}

namespace {

// Pair values from counts: row i of the forward L x m counts becomes
// max(count * row_inverse[i], floor) and, for i >= 1, column i - 1 of the
// reverse rows 1..m max(count * col_inverse[j], floor), as the M-step
// (TransTable::NormalizeFloored) would have left them.  Built twice; the
// products are exact roundings either way, so both clones give the same bits.
__attribute__((target_clones("avx2", "default")))
void ScaleCounts(double* c, int32_t L, int32_t m, const double* row_inverse,
                 const double* col_inverse, double* tr, double* tmp) {
  const int32_t mr = L - 1;
  const double floor = AgreementCells::kFloor;
  for (int32_t i = 0; i < L; ++i) {
    double* row = c + static_cast<size_t>(i) * m;
    if (i > 0) {
      for (int32_t j = 0; j < m; ++j) tmp[j] = std::max(row[j] * col_inverse[j], floor);
      double* col = tr + mr + (i - 1);  // row j + 1, column i - 1
      for (int32_t j = 0; j < m; ++j) col[static_cast<size_t>(j) * mr] = tmp[j];
    }
    const double inverse = row_inverse[i];
    for (int32_t j = 0; j < m; ++j) row[j] = std::max(row[j] * inverse, floor);
  }
}

}  // namespace

void AgreementCells::GatherBoth(const JointDirection& fwd, const JointDirection& rev,
                                int64_t p, std::vector<double>* tf,
                                std::vector<double>* tr,
                                std::vector<double>* scratch) const {
  const IdSpan src = fwd.corpus->src(p), rsrc = rev.corpus->src(p);
  const int32_t L = src.size, m = fwd.corpus->trg(p).size, mr = L - 1;
  tr->resize(static_cast<size_t>(m + 1) * mr);
  // The forward cells hold the counts; the reverse NULL row its values.
  PairCells(*fwd.trans, *fwd.corpus).Gather(p, tf);
  double* out = tr->data();
  NullRow(*rev.trans, *rev.corpus, p, out);
  scratch->resize(static_cast<size_t>(L) + 2 * static_cast<size_t>(m));
  double* row_inverse = scratch->data();
  double* col_inverse = row_inverse + L;
  for (int32_t i = 0; i < L; ++i) row_inverse[i] = inverses_[0][src[i]];
  for (int32_t j = 0; j < m; ++j) col_inverse[j] = inverses_[1][rsrc[j + 1]];
  ScaleCounts(tf->data(), L, m, row_inverse, col_inverse, out, col_inverse + m);
}

Schedule ParseSchedule(std::string_view text) {
  Schedule out;
  size_t pos = 0;
  while (true) {
    const size_t comma = text.find(',', pos);
    const std::string_view part =
        text.substr(pos, comma == std::string_view::npos ? text.npos : comma - pos);
    const size_t colon = part.find(':');
    auto bad = [&]() {
      return std::invalid_argument("bad schedule step '" + std::string(part) +
                                   "' (expected MODEL:ITERATIONS with MODEL 1 or hmm, e.g. 1:5,hmm:5)");
    };
    if (colon == std::string_view::npos) throw bad();
    const std::string_view name = part.substr(0, colon);
    int64_t n = 0;
    if (!ParseInt(part.substr(colon + 1), &n) || n < 0 || n > 1000000) throw bad();
    ScheduleStep step;
    if (name == "1") {
      step.model = ModelType::kModel1;
    } else if (name == "hmm") {
      step.model = ModelType::kHmm;
    } else {
      throw bad();
    }
    step.iterations = static_cast<int32_t>(n);
    out.push_back(step);
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return out;
}

std::string FormatSchedule(const Schedule& schedule) {
  std::string out;
  for (const ScheduleStep& s : schedule) {
    if (!out.empty()) out += ",";
    out += std::string(ModelName(s.model)) + ":" + std::to_string(s.iterations);
  }
  return out;
}

double PairLinkPosteriors(const HmmParams* hmm, const double* t, int32_t L,
                          int32_t m, double* post, HmmParams::Counts* counts,
                          HmmScratch* scratch) {
  if (hmm != nullptr) return HmmPosteriors(*hmm, t, L, m, post, counts, scratch);
  // Row by row, so the loops run along memory; each column still sums its
  // rows in order.
  std::vector<double>& sum = scratch->s;
  std::vector<double>& inv = scratch->u;
  sum.assign(static_cast<size_t>(m), 0.0);
  inv.resize(static_cast<size_t>(m));
  for (int32_t i = 0; i < L; ++i) {
    const double* row = t + static_cast<size_t>(i) * m;
    for (int32_t j = 0; j < m; ++j) sum[j] += row[j];
  }
  LogOfProduct ll;
  for (int32_t j = 0; j < m; ++j) {
    ll.Add(sum[j] / L);
    inv[j] = sum[j] > 0.0 ? 1.0 / sum[j] : 0.0;
  }
  for (int32_t i = 0; i < L; ++i) {
    const double* row = t + static_cast<size_t>(i) * m;
    double* out = post + static_cast<size_t>(i) * m;
    for (int32_t j = 0; j < m; ++j) out[j] = row[j] * inv[j];
  }
  return ll.Log();
}

JointTotals JointExpect(JointDirection* fwd, JointDirection* rev, bool hmm,
                        bool agreement, const Parallel& parallel,
                        Reporter& log, AgreementCells* keep) {
  JointDirection* dirs[2] = {fwd, rev};
  const int ndirs = rev != nullptr ? 2 : 1;
  const bool agree = agreement && ndirs == 2;
  const Corpus& corpus = *fwd->corpus;
  const int64_t n = corpus.size();
  if (rev != nullptr && rev->corpus->size() != n) {
    throw std::invalid_argument("the two directions hold different pair counts");
  }
  JointTotals totals;
  // A deferred M-step (AgreementCells::Maximize) left the forward table
  // with counts: its cells give both directions' values.
  if (keep != nullptr && !agree) keep->Materialize(*fwd, parallel);
  if (keep != nullptr) keep->ForgetCounts();  // zeroed below
  // In agreement the word pairs' counts are summed once, on the forward
  // side, and copied to the reverse table after the walk.
  std::unique_ptr<AgreementCells> own;
  AgreementCells* pairing = nullptr;
  if (agree) {
    if (keep == nullptr) own = std::make_unique<AgreementCells>();
    pairing = keep != nullptr ? keep : own.get();
    if (!pairing->Pair(*fwd, *rev)) pairing = nullptr;
  }
  const bool deferred = pairing != nullptr && pairing == keep && keep->deferred();
  // A reverse table without a cell index of its own is read through the
  // forward one.
  const bool reverse_through_forward =
      pairing != nullptr && !rev->trans->has_cell_index() &&
      pairing->Reaches(*fwd->trans, *fwd->corpus, *rev->trans);
  bool uniform[2] = {false, false};
  for (int d = 0; d < ndirs; ++d) {
    uniform[d] = !deferred && dirs[d]->trans->AllDefaults();
    dirs[d]->trans->ZeroCounts(&parallel);
  }
  // A chunk's posteriors are worked out on any thread; its counts go into
  // the tables, and its entropies and jump counts into the totals, in chunk
  // order (Turns), by the thread that has its cells in its caches.  Every
  // sum is thus taken pair after pair whatever the thread count.
  Turns turns;
  std::mutex pool_mu;
  std::vector<std::unique_ptr<ChunkWork>> pool;
  ProgressTicker ticker(log, "processing", n, 4096);
  const int64_t chunks = (n + kChunkPairs - 1) / kChunkPairs;
  parallel.For(chunks, [&](int64_t c) -> int64_t {
    std::unique_ptr<ChunkWork> w;
    {
      std::lock_guard<std::mutex> lock(pool_mu);
      if (!pool.empty()) {
        w = std::move(pool.back());
        pool.pop_back();
      }
    }
    if (!w) w = std::make_unique<ChunkWork>();
    struct GiveBack {
      std::mutex& mu;
      std::vector<std::unique_ptr<ChunkWork>>& pool;
      std::unique_ptr<ChunkWork>& w;
      ~GiveBack() {
        std::lock_guard<std::mutex> lock(mu);
        pool.push_back(std::move(w));
      }
    } give_back{pool_mu, pool, w};
    const int64_t cb = c * kChunkPairs, ce = std::min(n, cb + kChunkPairs);
    try {
      for (int d = 0; d < ndirs; ++d) LayOut(*dirs[d]->corpus, cb, ce, &w->sides[d], hmm);
      const PairCells fwd_cells(*dirs[0]->trans, *dirs[0]->corpus);
      std::unique_ptr<PairCells> rev_cells;
      if (ndirs == 2) rev_cells = std::make_unique<PairCells>(*dirs[1]->trans, *dirs[1]->corpus);
      const PairCells* cells[2] = {&fwd_cells, rev_cells.get()};
      for (int64_t p = cb; p < ce; ++p) {
        int32_t L[2], m[2];
        if (deferred) keep->GatherBoth(*fwd, *rev, p, &w->t[0], &w->t[1], &w->inverses);
        for (int d = 0; d < ndirs; ++d) {
          const Corpus& cd = *dirs[d]->corpus;
          L[d] = cd.src(p).size;
          m[d] = cd.trg(p).size;
          std::vector<double>& t = w->t[d];
          if (deferred) {
            // GatherBoth has both.
          } else if (uniform[d]) {
            // A table never trained: each row's default, no cell read.
            const IdSpan src = cd.src(p);
            t.resize(static_cast<size_t>(L[d]) * m[d]);
            for (int32_t i = 0; i < L[d]; ++i) {
              std::fill_n(t.begin() + static_cast<size_t>(i) * m[d], m[d],
                          dirs[d]->trans->row_default(src[i]));
            }
          } else if (d == 1 && reverse_through_forward) {
            pairing->GatherReverse(*fwd->trans, *fwd->corpus, *rev->trans, *rev->corpus, p, &t);
          } else {
            cells[d]->Gather(p, &t);
          }
          w->post[d].resize(static_cast<size_t>(L[d]) * m[d]);
          if (hmm) w->counts.Clear();
          const double ll = PairLinkPosteriors(
              hmm ? dirs[d]->hmm.get() : nullptr, t.data(), L[d], m[d],
              w->post[d].data(), hmm ? &w->counts : nullptr, &w->scratch);
          ChunkSide& side = w->sides[d];
          side.entropy[p - cb] = m[d] > 0 ? -ll / m[d] : 0.0;
          if (hmm) {
            double* st = side.stats.data() + (p - cb) * kStats;
            std::copy(w->counts.jump.begin(), w->counts.jump.end(), st);
            std::copy(w->counts.start.begin(), w->counts.start.end(),
                      st + HmmParams::kJumps);
          }
        }
        for (int d = 0; d < ndirs; ++d) {
          double* out = w->sides[d].counts.data() + w->sides[d].offset[p - cb];
          const size_t count = static_cast<size_t>(L[d]) * m[d];
          if (!agree) {
            std::copy(w->post[d].begin(), w->post[d].begin() + count, out);
            continue;
          }
          // Row i >= 1, column j of this direction is column i - 1,
          // row j + 1 of the other.
          const int o = 1 - d;
          const double* mine = w->post[d].data();
          const double* other = w->post[o].data();
          const int32_t mo = m[o];
          std::copy(mine, mine + m[d], out);  // NULL row: its own
          // With the pairing the reverse word pairs take the forward counts.
          if (d == 1 && pairing != nullptr) continue;
          for (int32_t i = 1; i < L[d]; ++i) {
            for (int32_t j = 0; j < m[d]; ++j) {
              out[i * m[d] + j] =
                  mine[i * m[d] + j] * other[(j + 1) * mo + (i - 1)];
            }
          }
        }
      }
      if (!turns.Wait(c)) return 0;  // an earlier chunk failed
      for (int d = 0; d < ndirs; ++d) {
        const ChunkSide& side = w->sides[d];
        if (pairing == nullptr) {
          AddPairs(dirs[d]->trans, *dirs[d]->corpus, cb, ce, side);
        } else if (d == 0) {
          AddPairs(dirs[0]->trans, *dirs[0]->corpus, cb, ce, side);
        } else {
          // Its NULL row.
          for (int64_t p = cb; p < ce; ++p) {
            pairing->AddNullCounts(*rev, p, side.counts.data() + side.offset[p - cb]);
          }
        }
        for (int64_t p = cb; p < ce; ++p) totals.entropy[d] += side.entropy[p - cb];
        if (!hmm) continue;
        for (int64_t p = cb; p < ce; ++p) {
          const double* st = side.stats.data() + (p - cb) * kStats;
          for (int q = 0; q < HmmParams::kJumps; ++q) totals.counts[d].jump[q] += st[q];
          for (int q = 0; q < HmmParams::kStarts; ++q) {
            totals.counts[d].start[q] += st[HmmParams::kJumps + q];
          }
        }
      }
      turns.Pass(c);
    } catch (...) {
      turns.Abandon();
      throw;
    }
    return ce - cb;
  }, log, &ticker);
  ticker.Flush();
  if (pairing != nullptr) pairing->CopyCounts(*fwd, *rev, parallel);
  return totals;
}

void RunSchedule(JointDirection* fwd, JointDirection* rev, int64_t pairs,
                 const Schedule& schedule, const JointOptions& options,
                 const JointWalker& walk, const Parallel& parallel,
                 Reporter& log, AgreementCells* pairing) {
  JointDirection* dirs[2] = {fwd, rev};
  const int ndirs = rev != nullptr ? 2 : 1;
  const bool agree = options.agreement && ndirs == 2;
  for (const ScheduleStep& step : schedule) {
    if (step.model != ModelType::kModel1 && step.model != ModelType::kHmm) {
      throw std::invalid_argument(std::string("a joint schedule takes Model 1 and the HMM, not ") +
                                  ModelName(step.model));
    }
  }
  for (const ScheduleStep& step : schedule) {
    const bool hmm = step.model == ModelType::kHmm;
    log.Info("----");
    log.Info("start training " + ModelTitle(step.model) +
             (ndirs == 1 ? "" : agree ? ", both directions in agreement"
                                      : ", both directions independently"));
    if (hmm) {
      for (int d = 0; d < ndirs; ++d) {
        if (!dirs[d]->hmm) {
          dirs[d]->hmm = std::make_shared<HmmParams>();
          dirs[d]->hmm->p0 = options.p0;
          dirs[d]->hmm->Refresh();
        }
      }
    }
    for (int32_t k = 0; k < step.iterations; ++k) {
      log.Info("--");
      log.Info("step: " + std::to_string(k + 1) + " / " +
               std::to_string(step.iterations));
      log.Info(agree ? "computing expected counts of both directions in agreement"
                     : "computing expected counts");
      const JointTotals totals =
          walk(hmm, hmm ? dirs[0]->hmm.get() : nullptr,
               hmm && ndirs == 2 ? dirs[1]->hmm.get() : nullptr);
      std::string line = "entropy: ";
      for (int d = 0; d < ndirs; ++d) {
        if (ndirs == 2) line += d == 0 ? "forward " : ", reverse ";
        line += FormatRepr(Narrow(pairs > 0 ? totals.entropy[d] / static_cast<double>(pairs) : 0.0));
      }
      log.Info(line);
      log.Info(hmm ? "estimating word translation and jump distributions"
                   : "estimating word translation distribution");
      if (pairing != nullptr && agree) {
        pairing->Maximize(*fwd, *rev, parallel);
      } else {
        for (int d = 0; d < ndirs; ++d) {
          dirs[d]->trans->NormalizeFloored(AgreementCells::kFloor, &parallel);
        }
      }
      for (int d = 0; hmm && d < ndirs; ++d) dirs[d]->hmm->Maximize(totals.counts[d]);
    }
  }
  if (pairing != nullptr) pairing->Materialize(*fwd, parallel);
}

void TrainJoint(JointDirection* fwd, JointDirection* rev,
                const Schedule& schedule, const JointOptions& options,
                const Parallel& parallel, Reporter& log, AgreementCells* keep) {
  AgreementCells own;
  AgreementCells* pairing = keep != nullptr ? keep : &own;
  RunSchedule(fwd, rev, fwd->corpus->size(), schedule, options,
              [&](bool hmm, const HmmParams*, const HmmParams*) {
                return JointExpect(fwd, rev, hmm, options.agreement, parallel,
                                   log, pairing);
              },
              parallel, log, pairing);
}

}  // namespace qaz
