#include "align/models/joint.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/float_format.h"

namespace qaz {

namespace {

constexpr double kTransFloor = 1e-10;
constexpr int64_t kBatchPairs = 4096;
constexpr int64_t kChunkPairs = 64;
constexpr int kStats = HmmParams::kJumps + HmmParams::kStarts;

// What the first walk of a batch leaves for the second, per direction.
struct BatchSide {
  std::vector<uint64_t> offset;  // per pair of the batch: its first count
  std::vector<double> counts;    // L x m per pair, NULL row first
  std::vector<double> entropy;   // per pair
  std::vector<double> stats;     // per pair: jump then start counts (HMM)
};

void LayOut(const Corpus& corpus, int64_t b, int64_t e, BatchSide* side,
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
  side->stats.assign(hmm ? static_cast<size_t>(e - b) * kStats : 0, 0.0);
}

// Adds the counts of pairs [b, e) whose source word at a position falls to
// task `task` of `tasks` into the table's cells.
void AddRows(TransTable* table, const Corpus& corpus, int64_t b, int64_t e,
             const BatchSide& side, int task, int tasks) {
  TransCell* cells = table->cells();
  const bool indexed = table->has_cell_index() && table->IndexedFor(corpus);
  for (int64_t p = b; p < e; ++p) {
    const IdSpan src = corpus.src(p), trg = corpus.trg(p);
    const int32_t m = trg.size;
    const double* c = side.counts.data() + side.offset[p - b];
    const uint32_t* index =
        indexed ? table->cell_index().data() + table->cell_offsets()[p] : nullptr;
    if (index != nullptr && tasks == 1) {
      // Every row is this task's: the pair's cells in index order, read
      // ahead across pairs (the index is padded past its end).
      const size_t n = static_cast<size_t>(src.size) * m;
      for (size_t k = 0; k < n; ++k) {
        __builtin_prefetch(&cells[index[k + 48]], 1);
        cells[index[k]].c += c[k];
      }
      continue;
    }
    for (int32_t i = 0; i < src.size; ++i) {
      if (src[i] % tasks != task) continue;
      if (index != nullptr) {
        // The cells are all over the table: ask for them ahead.
        const uint32_t* row = index + static_cast<size_t>(i) * m;
        const double* ci = c + static_cast<size_t>(i) * m;
        for (int32_t j = 0; j < m; ++j) {
          if (j + 8 < m) __builtin_prefetch(&cells[row[j + 8]], 1);
          cells[row[j]].c += ci[j];
        }
        continue;
      }
      for (int32_t j = 0; j < m; ++j) {
        cells[table->Find(src[i], trg[j])].c += c[static_cast<size_t>(i) * m + j];
      }
    }
  }
}

void FloorValues(TransTable* table) {
  TransCell* cells = table->cells();
  for (int64_t k = 0; k < table->nnz(); ++k) {
    cells[k].p = std::max(cells[k].p, kTransFloor);
  }
}

}  // namespace

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
  double ll = 0.0;
  for (int32_t j = 0; j < m; ++j) {
    double sum = 0.0;
    for (int32_t i = 0; i < L; ++i) sum += t[i * m + j];
    ll += std::log(sum / L);
    const double inv = sum > 0.0 ? 1.0 / sum : 0.0;
    for (int32_t i = 0; i < L; ++i) post[i * m + j] = t[i * m + j] * inv;
  }
  return ll;
}

JointTotals JointExpect(JointDirection* fwd, JointDirection* rev, bool hmm,
                        bool agreement, const Parallel& parallel,
                        Reporter& log) {
  JointDirection* dirs[2] = {fwd, rev};
  const int ndirs = rev != nullptr ? 2 : 1;
  const bool agree = agreement && ndirs == 2;
  const Corpus& corpus = *fwd->corpus;
  const int64_t n = corpus.size();
  if (rev != nullptr && rev->corpus->size() != n) {
    throw std::invalid_argument("the two directions hold different pair counts");
  }
  const int tasks = parallel.threads();
  BatchSide sides[2];
  JointTotals totals;
  for (int d = 0; d < ndirs; ++d) dirs[d]->trans->ZeroCounts(&parallel);
  ProgressTicker ticker(log, "processing", n, 4096);
  for (int64_t b = 0; b < n; b += kBatchPairs) {
    const int64_t e = std::min(n, b + kBatchPairs);
    for (int d = 0; d < ndirs; ++d) LayOut(*dirs[d]->corpus, b, e, &sides[d], hmm);
    const int64_t chunks = (e - b + kChunkPairs - 1) / kChunkPairs;
    parallel.For(chunks, [&](int64_t c) -> int64_t {
      const int64_t cb = b + c * kChunkPairs, ce = std::min(e, cb + kChunkPairs);
      std::vector<double> t, post[2];
      HmmScratch scratch;
      HmmParams::Counts counts;
      const PairCells fwd_cells(*dirs[0]->trans, *dirs[0]->corpus);
      std::unique_ptr<PairCells> rev_cells;
      if (ndirs == 2) rev_cells = std::make_unique<PairCells>(*dirs[1]->trans, *dirs[1]->corpus);
      const PairCells* cells[2] = {&fwd_cells, rev_cells.get()};
      for (int64_t p = cb; p < ce; ++p) {
        int32_t L[2], m[2];
        for (int d = 0; d < ndirs; ++d) {
          const Corpus& cd = *dirs[d]->corpus;
          L[d] = cd.src(p).size;
          m[d] = cd.trg(p).size;
          cells[d]->Gather(p, &t);
          post[d].resize(static_cast<size_t>(L[d]) * m[d]);
          if (hmm) counts.Clear();
          const double ll = PairLinkPosteriors(
              hmm ? dirs[d]->hmm.get() : nullptr, t.data(), L[d], m[d],
              post[d].data(), hmm ? &counts : nullptr, &scratch);
          BatchSide& side = sides[d];
          side.entropy[p - b] = m[d] > 0 ? -ll / m[d] : 0.0;
          if (hmm) {
            double* st = side.stats.data() + (p - b) * kStats;
            std::copy(counts.jump.begin(), counts.jump.end(), st);
            std::copy(counts.start.begin(), counts.start.end(),
                      st + HmmParams::kJumps);
          }
        }
        for (int d = 0; d < ndirs; ++d) {
          double* out = sides[d].counts.data() + sides[d].offset[p - b];
          const size_t cells = static_cast<size_t>(L[d]) * m[d];
          if (!agree) {
            std::copy(post[d].begin(), post[d].begin() + cells, out);
            continue;
          }
          // Row i >= 1, column j of this direction is column i - 1,
          // row j + 1 of the other.
          const int o = 1 - d;
          const double* mine = post[d].data();
          const double* other = post[o].data();
          const int32_t mo = m[o];
          std::copy(mine, mine + m[d], out);  // NULL row: its own
          for (int32_t i = 1; i < L[d]; ++i) {
            for (int32_t j = 0; j < m[d]; ++j) {
              out[i * m[d] + j] =
                  mine[i * m[d] + j] * other[(j + 1) * mo + (i - 1)];
            }
          }
        }
      }
      return 0;
    }, log);
    // The counts, row by row; each (direction, task) pair by one thread.
    parallel.For(static_cast<int64_t>(ndirs) * tasks, [&](int64_t k) -> int64_t {
      const int d = static_cast<int>(k / tasks), task = static_cast<int>(k % tasks);
      AddRows(dirs[d]->trans, *dirs[d]->corpus, b, e, sides[d], task, tasks);
      return 0;
    });
    for (int d = 0; d < ndirs; ++d) {
      for (int64_t p = b; p < e; ++p) totals.entropy[d] += sides[d].entropy[p - b];
      if (!hmm) continue;
      for (int64_t p = b; p < e; ++p) {
        const double* st = sides[d].stats.data() + (p - b) * kStats;
        for (int q = 0; q < HmmParams::kJumps; ++q) totals.counts[d].jump[q] += st[q];
        for (int q = 0; q < HmmParams::kStarts; ++q) {
          totals.counts[d].start[q] += st[HmmParams::kJumps + q];
        }
      }
    }
    ticker.Tick(e - b);
  }
  ticker.Flush();
  return totals;
}

void RunSchedule(JointDirection* fwd, JointDirection* rev, int64_t pairs,
                 const Schedule& schedule, const JointOptions& options,
                 const JointWalker& walk, const Parallel& parallel,
                 Reporter& log) {
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
      for (int d = 0; d < ndirs; ++d) {
        dirs[d]->trans->Normalize(false, &parallel);
        FloorValues(dirs[d]->trans);
        if (hmm) dirs[d]->hmm->Maximize(totals.counts[d]);
      }
    }
  }
}

void TrainJoint(JointDirection* fwd, JointDirection* rev,
                const Schedule& schedule, const JointOptions& options,
                const Parallel& parallel, Reporter& log) {
  RunSchedule(fwd, rev, fwd->corpus->size(), schedule, options,
              [&](bool hmm, const HmmParams*, const HmmParams*) {
                return JointExpect(fwd, rev, hmm, options.agreement, parallel, log);
              },
              parallel, log);
}

}  // namespace qaz
