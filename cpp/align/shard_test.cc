#include "align/shard.h"

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "testing/harness.h"
#include "testing/random_corpus.h"

namespace {

using qaz::ModelKind;
using Shapes = std::vector<std::pair<int32_t, int32_t>>;

uint64_t Key(int32_t s, int32_t t) {
  return static_cast<uint64_t>(s) << 32 | static_cast<uint32_t>(t);
}

using qaz::testing::RandomCorpus;

// Pairs [b, e) of `corpus`.
std::shared_ptr<const qaz::Corpus> Slice(const qaz::Corpus& corpus, int64_t b,
                                         int64_t e) {
  auto c = std::make_shared<qaz::Corpus>();
  for (int64_t p = b; p < e; ++p) {
    c->AddPair(corpus.src(p).ids, corpus.src(p).size, corpus.trg(p).ids,
               corpus.trg(p).size);
  }
  return c;
}

using qaz::testing::Longest;

// The walk of a training loop on one Model 2: an E-step of `kind` and the
// Model 2 entropy.
qaz::SweepRequest TrainingWalk(ModelKind kind) {
  qaz::SweepRequest request;
  request.expect = request.entropy = true;
  request.expect_model = kind;
  request.entropy_model = ModelKind::kModel2;
  return request;
}

// What a training run leaves: per (s, t) the count and value, per shape the
// alignment counts and values, and the last entropy total.
struct State {
  std::map<uint64_t, std::pair<double, double>> cells;
  std::map<std::pair<int32_t, int32_t>, std::vector<double>> counts, values;
  std::vector<double> entropies;
};

State Capture(const qaz::TransTable& trans, const qaz::AlignTable& align,
              std::vector<double> entropies) {
  State s;
  s.entropies = std::move(entropies);
  for (int32_t e = 0; e < trans.S(); ++e) {
    for (uint64_t k = trans.row_begin(e); k < trans.row_end(e); ++k) {
      s.cells[Key(e, trans.cols()[k])] = {trans.cells()[k].c, trans.cells()[k].p};
    }
  }
  for (const auto& b : align.blocks()) {
    const size_t n = static_cast<size_t>(b.J) * (b.I + 1);
    s.counts[{b.I, b.J}].assign(align.counts(b), align.counts(b) + n);
    s.values[{b.I, b.J}].assign(align.values(b), align.values(b) + n);
  }
  return s;
}

// Three walks of `kind` from the uniform start: each gives the entropy
// (Model 2) and the E-step's counts, then the M-step.
State TrainWhole(std::shared_ptr<const qaz::Corpus> corpus, int32_t S,
                 int32_t T, ModelKind kind) {
  qaz::NullReporter quiet;
  const qaz::Parallel parallel(2);
  auto trans = qaz::TransTable::Build(S, T, corpus, {}, 1.0 / T, nullptr, &parallel);
  auto align = qaz::AlignTable::Build(Longest(*corpus, true), Longest(*corpus, false), *corpus);
  qaz::SweepScratch scratch;
  const qaz::SweepRequest request = TrainingWalk(kind);
  std::vector<double> h;
  for (int k = 0; k < 3; ++k) {
    h.push_back(qaz::Sweep(trans.get(), align.get(), *corpus, request, parallel,
                           &scratch, quiet));
    trans->Normalize();
    if (kind == ModelKind::kModel2) align->Normalize();
  }
  return Capture(*trans, *align, h);
}

// The same on `corpus` split at `cuts` (ascending pair numbers), each walk
// a sweep of every shard and a reduction in shard order.
State TrainSharded(const qaz::Corpus& corpus, const std::vector<int64_t>& cuts,
                   int32_t S, int32_t T, ModelKind kind) {
  const qaz::Parallel parallel(2);
  const int32_t A = Longest(corpus, true), B = Longest(corpus, false);
  std::vector<std::unique_ptr<qaz::ShardTables>> shards;
  std::vector<std::vector<uint64_t>> keys;
  std::vector<Shapes> shapes;
  int64_t first = 0;
  for (size_t s = 0; s <= cuts.size(); ++s) {
    const int64_t end = s < cuts.size() ? cuts[s] : corpus.size();
    shards.push_back(std::make_unique<qaz::ShardTables>(Slice(corpus, first, end),
                                                        S, T, A, B, parallel));
    keys.push_back(shards.back()->Keys());
    shapes.push_back(shards.back()->Shapes());
    first = end;
  }
  qaz::ShardedTables whole(S, T, A, B, keys, shapes);
  for (size_t s = 0; s < shards.size(); ++s) {
    shards[s]->Attach(whole.cell_map(s), whole.block_offsets(s));
  }
  const qaz::SweepRequest request = TrainingWalk(kind);
  std::vector<double> h;
  for (int k = 0; k < 3; ++k) {
    const std::vector<double> p = whole.TransValues(), a = whole.AlignValues();
    std::vector<std::vector<double>> counts(shards.size()), align_counts(shards.size());
    std::vector<qaz::ShardedTables::Part> parts(shards.size());
    for (size_t s = 0; s < shards.size(); ++s) {
      shards[s]->TakeValues(p.data(), p.size(), a.data(), a.size());
      parts[s].total = shards[s]->Sweep(request, parallel, &counts[s], &align_counts[s]);
      parts[s].counts = counts[s].data();
      parts[s].counts_size = counts[s].size();
      parts[s].align_counts = align_counts[s].data();
      parts[s].align_counts_size = align_counts[s].size();
    }
    h.push_back(whole.Reduce(parts, true, kind == ModelKind::kModel2));
    whole.trans()->Normalize();
    if (kind == ModelKind::kModel2) whole.align()->Normalize();
  }
  return Capture(*whole.trans(), *whole.align(), h);
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool SameBits(const State& a, const State& b) {
  if (a.cells.size() != b.cells.size() || !SameBits(a.entropies, b.entropies)) return false;
  for (const auto& [key, cv] : a.cells) {
    auto it = b.cells.find(key);
    if (it == b.cells.end() ||
        std::memcmp(&cv, &it->second, sizeof(cv)) != 0) {
      return false;
    }
  }
  if (a.counts.size() != b.counts.size()) return false;
  for (const auto& [shape, c] : a.counts) {
    auto it = b.counts.find(shape);
    if (it == b.counts.end() || !SameBits(c, it->second) ||
        !SameBits(a.values.at(shape), b.values.at(shape))) {
      return false;
    }
  }
  return true;
}

bool Close(double x, double y) {
  return std::fabs(x - y) <= 1e-11 * std::max(std::fabs(x), std::fabs(y)) + 1e-300;
}

// Same cells and shapes, every number within reassociation, not all equal
// bit for bit when `differ` (the sums were really split).
bool CloseTo(const State& a, const State& b) {
  if (a.cells.size() != b.cells.size() || a.counts.size() != b.counts.size() ||
      a.entropies.size() != b.entropies.size()) {
    return false;
  }
  for (size_t k = 0; k < a.entropies.size(); ++k) {
    if (!Close(a.entropies[k], b.entropies[k])) return false;
  }
  for (const auto& [key, cv] : a.cells) {
    auto it = b.cells.find(key);
    if (it == b.cells.end() || !Close(cv.first, it->second.first) ||
        !Close(cv.second, it->second.second)) {
      return false;
    }
  }
  for (const auto& [shape, c] : a.counts) {
    auto it = b.counts.find(shape);
    if (it == b.counts.end()) return false;
    const std::vector<double>& v = a.values.at(shape);
    const std::vector<double>& w = b.values.at(shape);
    for (size_t k = 0; k < c.size(); ++k) {
      if (!Close(c[k], it->second[k]) || !Close(v[k], w[k])) return false;
    }
  }
  return true;
}

}  // namespace

QAZ_TEST(UnionOfCellsAndItsMaps) {
  // Shard 0: (0,1) (0,3) (2,0); shard 1: (0,1) (1,2) (2,0) (2,5).
  const std::vector<std::vector<uint64_t>> shards = {
      {Key(0, 1), Key(0, 3), Key(2, 0)},
      {Key(0, 1), Key(1, 2), Key(2, 0), Key(2, 5)}};
  const qaz::CellUnion u = qaz::UnionCells(4, shards);
  QAZ_EXPECT((u.row_ptr == std::vector<uint64_t>{0, 2, 3, 5, 5}));
  QAZ_EXPECT((u.cols == std::vector<int32_t>{1, 3, 2, 0, 5}));
  QAZ_EXPECT((u.maps[0] == std::vector<uint32_t>{0, 1, 3}));
  QAZ_EXPECT((u.maps[1] == std::vector<uint32_t>{0, 2, 3, 4}));
  // Every shard cell lands on the cell of its own (source, target).
  for (size_t s = 0; s < shards.size(); ++s) {
    for (size_t k = 0; k < shards[s].size(); ++k) {
      const uint32_t at = u.maps[s][k];
      const int32_t row = static_cast<int32_t>(shards[s][k] >> 32);
      QAZ_EXPECT(u.row_ptr[row] <= at && at < u.row_ptr[row + 1]);
      QAZ_EXPECT_EQ(u.cols[at], static_cast<int32_t>(shards[s][k] & 0xFFFFFFFFu));
    }
  }
  // The cells of a real table give back its rows.
  auto corpus = RandomCorpus(200, 20, 15, 6, 3);
  auto table = qaz::TransTable::Build(20, 15, corpus, {}, 0.1);
  const qaz::CellUnion one = qaz::UnionCells(20, {qaz::CellKeys(*table)});
  bool same_rows = true;
  for (int32_t s = 0; s < 20; ++s) {
    same_rows = same_rows && one.row_ptr[s] == table->row_begin(s);
  }
  QAZ_EXPECT(same_rows);
  QAZ_EXPECT(std::equal(one.cols.begin(), one.cols.end(), table->cols()));
  QAZ_EXPECT_THROW(qaz::UnionCells(2, {{Key(2, 0)}}), std::out_of_range);
}

QAZ_TEST(UnionOfShapesAndOffsets) {
  const std::vector<Shapes> shards = {{{1, 2}, {3, 1}}, {{1, 1}, {1, 2}, {2, 3}}, {}};
  std::vector<std::vector<uint64_t>> offsets;
  auto table = qaz::UnionShapes(4, 3, shards, &offsets);
  QAZ_EXPECT_EQ(table->A(), 4);
  QAZ_EXPECT_EQ(table->B(), 3);
  QAZ_EXPECT((qaz::BlockShapes(*table) == Shapes{{1, 1}, {1, 2}, {2, 3}, {3, 1}}));
  QAZ_EXPECT_EQ(offsets.size(), size_t{3});
  QAZ_EXPECT(offsets[2].empty());
  for (size_t s = 0; s < shards.size(); ++s) {
    for (size_t k = 0; k < shards[s].size(); ++k) {
      const auto* b = table->Find(shards[s][k].first, shards[s][k].second);
      QAZ_EXPECT(b != nullptr && b->offset == offsets[s][k]);
    }
  }
  // Blocks start uniform: 1/L in every cell.
  const auto* b = table->Find(2, 3);
  QAZ_EXPECT(b != nullptr && table->values(*b)[4] == 1.0 / 3);
  QAZ_EXPECT_EQ(qaz::AlignCells(*table), uint64_t{1 * 2 + 2 * 2 + 3 * 3 + 1 * 4});
  // A shape outside the dense dimensions is refused.
  QAZ_EXPECT_THROW(qaz::UnionShapes(2, 3, {{{2, 1}}}, &offsets), std::out_of_range);
}

QAZ_TEST(ValuesGoOutAndCountsComeBackByPosition) {
  auto corpus = RandomCorpus(120, 12, 10, 5, 9);
  const qaz::Parallel parallel(1);
  const int32_t A = Longest(*corpus, true), B = Longest(*corpus, false);
  qaz::ShardTables first(Slice(*corpus, 0, 50), 12, 10, A, B, parallel);
  qaz::ShardTables second(Slice(*corpus, 50, 120), 12, 10, A, B, parallel);
  qaz::ShardedTables whole(12, 10, A, B, {first.Keys(), second.Keys()},
                           {first.Shapes(), second.Shapes()});
  QAZ_EXPECT_THROW(first.TakeValues(nullptr, 0, nullptr, 0), std::logic_error);
  first.Attach(whole.cell_map(0), whole.block_offsets(0));
  second.Attach(whole.cell_map(1), whole.block_offsets(1));
  QAZ_EXPECT_THROW(first.Attach({}, {}), std::invalid_argument);

  // Distinct values for every whole cell and alignment value.
  qaz::TransTable& wt = *whole.trans();
  for (int64_t k = 0; k < wt.nnz(); ++k) wt.cells()[k].p = 1.0 + k;
  qaz::AlignTable& wa = *whole.align();
  double v = 0.5;
  for (const auto& b : wa.blocks()) {
    for (int32_t x = 0; x < b.J * (b.I + 1); ++x) wa.values(b)[x] = (v += 1.0);
  }
  const std::vector<double> p = whole.TransValues(), a = whole.AlignValues();
  QAZ_EXPECT_EQ(p.size(), static_cast<size_t>(wt.nnz()));
  QAZ_EXPECT_EQ(a.size(), static_cast<size_t>(qaz::AlignCells(wa)));
  QAZ_EXPECT_THROW(first.TakeValues(p.data(), p.size() / 2, a.data(), a.size()),
                   std::out_of_range);
  QAZ_EXPECT_THROW(first.TakeValues(p.data(), p.size(), a.data(), 1), std::out_of_range);
  bool values_match = true;
  for (qaz::ShardTables* shard : {&first, &second}) {
    shard->TakeValues(p.data(), p.size(), a.data(), a.size());
    const qaz::TransTable& t = shard->trans();
    for (int32_t s = 0; s < t.S(); ++s) {
      for (uint64_t k = t.row_begin(s); k < t.row_end(s); ++k) {
        values_match = values_match &&
                       t.cells()[k].p == wt.cells()[wt.Find(s, t.cols()[k])].p;
      }
    }
    for (const auto& b : shard->align().blocks()) {
      const auto* w = wa.Find(b.I, b.J);
      values_match = values_match && w != nullptr &&
                     std::equal(shard->align().values(b),
                                shard->align().values(b) + b.J * (b.I + 1),
                                wa.values(*w));
    }
  }
  QAZ_EXPECT(values_match);

  // Counts k + 1 (cells) and 100 + k (alignment) from each shard: the whole
  // table sums them per (source, target) and per shape cell.
  std::vector<std::vector<double>> counts(2), align_counts(2);
  std::map<uint64_t, double> want;
  std::map<std::pair<std::pair<int32_t, int32_t>, int32_t>, double> want_align;
  std::vector<qaz::ShardedTables::Part> parts(2);
  int s = 0;
  for (qaz::ShardTables* shard : {&first, &second}) {
    const std::vector<uint64_t> keys = shard->Keys();
    for (size_t k = 0; k < keys.size(); ++k) {
      counts[s].push_back(1.0 + k + 1000.0 * s);
      want[keys[k]] += counts[s].back();
    }
    for (const auto& sh : shard->Shapes()) {
      for (int32_t x = 0; x < sh.second * (sh.first + 1); ++x) {
        align_counts[s].push_back(100.0 + static_cast<double>(align_counts[s].size()));
        want_align[{sh, x}] += align_counts[s].back();
      }
    }
    parts[s] = {0.25 * (s + 1), counts[s].data(), counts[s].size(),
                align_counts[s].data(), align_counts[s].size()};
    ++s;
  }
  QAZ_EXPECT_EQ(whole.Reduce(parts, true, true), 0.75);
  bool sums_match = true;
  for (const auto& [key, c] : want) {
    const int64_t k = wt.Find(static_cast<int32_t>(key >> 32), static_cast<int32_t>(key & 0xFFFFFFFFu));
    sums_match = sums_match && k >= 0 && wt.cells()[k].c == c;
  }
  QAZ_EXPECT_EQ(want.size(), static_cast<size_t>(wt.nnz()));
  for (const auto& [where, c] : want_align) {
    const auto* b = wa.Find(where.first.first, where.first.second);
    sums_match = sums_match && b != nullptr && wa.counts(*b)[where.second] == c;
  }
  QAZ_EXPECT(sums_match);
  // An entropy-only walk leaves the counts; a part missing is refused.
  QAZ_EXPECT_EQ(whole.Reduce({{1.0}, {2.0}}, false, false), 3.0);
  QAZ_EXPECT(wt.cells()[0].c != 0.0);
  QAZ_EXPECT_THROW(whole.Reduce({parts[0]}, true, true), std::invalid_argument);
  parts[1].align_counts_size -= 1;
  QAZ_EXPECT_THROW(whole.Reduce(parts, true, true), std::invalid_argument);
}

QAZ_TEST(ShardedWalksEqualTheWholeCorpusSweeps) {
  auto corpus = RandomCorpus(900, 40, 30, 9, 17);
  for (ModelKind kind : {ModelKind::kModel1, ModelKind::kModel2}) {
    const State whole = TrainWhole(corpus, 40, 30, kind);
    // One shard: the same bits.
    QAZ_EXPECT(SameBits(TrainSharded(*corpus, {}, 40, 30, kind), whole));
    // Two shards (and three, unevenly): the same within reassociation, and
    // not by accident the same bits.
    for (const std::vector<int64_t>& cuts : {std::vector<int64_t>{450},
                                             std::vector<int64_t>{1, 600}}) {
      const State split = TrainSharded(*corpus, cuts, 40, 30, kind);
      QAZ_EXPECT(CloseTo(split, whole));
      QAZ_EXPECT(SameBits(TrainSharded(*corpus, cuts, 40, 30, kind), split));
    }
    QAZ_EXPECT(!SameBits(TrainSharded(*corpus, {450}, 40, 30, kind), whole));
  }
}

QAZ_TEST(RemapCorpusMapsBothSides) {
  auto corpus = std::make_shared<qaz::Corpus>();
  const int32_t s1[] = {0, 1, 2}, t1[] = {1, 0};
  corpus->AddPair(s1, 3, t1, 2);
  const qaz::Corpus out = qaz::RemapCorpus(*corpus, {0, 7, 3}, {5, 4});
  QAZ_EXPECT(out.src(0).size == 3 && out.src(0)[1] == 7 && out.src(0)[2] == 3);
  QAZ_EXPECT(out.trg(0).size == 2 && out.trg(0)[0] == 4 && out.trg(0)[1] == 5);
  QAZ_EXPECT_THROW(qaz::RemapCorpus(*corpus, {0, 1}, {5, 4}), std::out_of_range);
  QAZ_EXPECT_THROW(qaz::RemapCorpus(*corpus, {0, 1, 2}, {5}), std::out_of_range);
}
