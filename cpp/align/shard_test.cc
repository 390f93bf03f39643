#include "align/shard.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "align/shard_run.h"
#include "align/trainer.h"
#include "testing/harness.h"
#include "testing/random_corpus.h"

namespace {

using qaz::ModelType;
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
qaz::SweepRequest TrainingWalk(ModelType kind) {
  qaz::SweepRequest request;
  request.expect = request.entropy = true;
  request.expect_model = kind;
  request.entropy_model = ModelType::kModel2;
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
                 int32_t T, ModelType kind) {
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
    if (kind == ModelType::kModel2) align->Normalize();
  }
  return Capture(*trans, *align, h);
}

// The same on `corpus` split at `cuts` (ascending pair numbers), each walk
// a sweep of every shard and a reduction in shard order.
State TrainSharded(const qaz::Corpus& corpus, const std::vector<int64_t>& cuts,
                   int32_t S, int32_t T, ModelType kind) {
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
    h.push_back(whole.Reduce(parts, true, kind == ModelType::kModel2));
    whole.trans()->Normalize();
    if (kind == ModelType::kModel2) whole.align()->Normalize();
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
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
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

// ------------------------------------------- sharded runs of Models 1 and 2

namespace {

using qaz::testing::RecordingReporter;

// A corpus of `pairs` lines of random words in two scratch files; `starts`
// gets the byte offsets of each line's start in both files.
struct CorpusFiles {
  std::string src, trg;
  std::vector<int64_t> src_starts, trg_starts;
};

CorpusFiles WriteCorpus(int pairs, uint32_t seed) {
  CorpusFiles f;
  std::string src, trg;
  uint32_t x = seed;
  const auto next = [&x](uint32_t n) {
    x = x * 1664525u + 1013904223u;
    return (x >> 8) % n;
  };
  const auto line = [&](std::string* text, std::vector<int64_t>* starts,
                        const char* prefix, uint32_t words) {
    starts->push_back(static_cast<int64_t>(text->size()));
    const uint32_t n = 1 + next(6);
    for (uint32_t k = 0; k < n; ++k) {
      if (k > 0) *text += ' ';
      *text += prefix + std::to_string(next(words));
    }
    *text += '\n';
  };
  for (int p = 0; p < pairs; ++p) {
    line(&src, &f.src_starts, "s", 25);
    line(&trg, &f.trg_starts, "t", 20);
  }
  f.src = qaz::testing::WriteTemp("shard_run.src", src);
  f.trg = qaz::testing::WriteTemp("shard_run.trg", trg);
  return f;
}

// The words of the shards in shard order, and each shard's map onto them
// (as the driver merges them).
void Merge(const std::vector<const qaz::StringEnumerator*>& sides,
           std::vector<std::string>* words,
           std::vector<std::vector<int32_t>>* maps) {
  std::map<std::string, int32_t> index;
  for (const qaz::StringEnumerator* e : sides) {
    std::vector<int32_t> m;
    for (int32_t k = 0; k < e->size(); ++k) {
      const std::string w(e->IdToStr(k));
      const auto it = index.emplace(w, static_cast<int32_t>(words->size()));
      if (it.second) words->push_back(w);
      m.push_back(it.first->second);
    }
    maps->push_back(std::move(m));
  }
}

// A training run of Model 1 then Model 2 (`iterations` each) on the corpus
// split at `cuts` (pair numbers), every step of the shards and the driver
// as a cluster run takes them.
struct ShardedRun {
  qaz::Vocab vocab;
  qaz::Model model;
  std::vector<std::shared_ptr<qaz::ModelShard>> shards;
  std::unique_ptr<qaz::ShardedTraining> training;
  RecordingReporter core, lex, pos, loop;  // set-up lines by module; loops
  std::vector<double> last_p, last_a;      // the values of the last walk

  ShardedRun(const CorpusFiles& f, const std::vector<int64_t>& cuts,
             int32_t iterations) {
    model.type = qaz::ModelType::kModel2;  // the trainer's model
    const int64_t pairs = static_cast<int64_t>(f.src_starts.size());
    int64_t first = 0;
    std::vector<const qaz::StringEnumerator*> src_sides, trg_sides;
    int32_t A = 0, B = 0;
    for (size_t s = 0; s <= cuts.size(); ++s) {
      const int64_t end = s < cuts.size() ? cuts[s] : pairs;
      shards.push_back(qaz::ModelShard::Load(f.src, f.trg, f.src_starts[first],
                                             f.trg_starts[first], first,
                                             end - first, false, 2));
      src_sides.push_back(&shards.back()->vocab().src);
      trg_sides.push_back(&shards.back()->vocab().trg);
      A = std::max(A, shards.back()->vocab().max_len_src);
      B = std::max(B, shards.back()->vocab().max_len_trg);
      first = end;
    }
    std::vector<std::string> src_words, trg_words;
    std::vector<std::vector<int32_t>> src_maps, trg_maps;
    Merge(src_sides, &src_words, &src_maps);
    Merge(trg_sides, &trg_words, &trg_maps);
    const int32_t S = static_cast<int32_t>(src_words.size());
    const int32_t T = static_cast<int32_t>(trg_words.size());
    std::vector<std::vector<uint64_t>> keys;
    std::vector<Shapes> shapes;
    for (size_t s = 0; s < shards.size(); ++s) {
      shards[s] = shards[s]->Remap(src_maps[s], trg_maps[s])->Index(S, T, A, B);
      keys.push_back(shards[s]->tables().Keys());
      shapes.push_back(shards[s]->tables().Shapes());
    }
    training = std::make_unique<qaz::ShardedTraining>(
        &vocab, &model, src_words, trg_words, A, B, keys, shapes, core, lex,
        pos);
    for (size_t s = 0; s < shards.size(); ++s) {
      shards[s]->Attach(training->tables().cell_map(s),
                        training->tables().block_offsets(s));
    }
    {
      std::vector<std::vector<double>> counts(shards.size()), align_counts(shards.size());
      const auto walk = [&](bool entropy, bool expect, ModelType kind) {
        last_p = training->tables().TransValues();
        last_a = training->tables().AlignValues();
        qaz::SweepRequest request;
        request.entropy = entropy;
        request.entropy_model = ModelType::kModel2;
        request.expect = expect;
        request.expect_model = kind;
        std::vector<qaz::ShardedTables::Part> parts(shards.size());
        for (size_t s = 0; s < shards.size(); ++s) {
          parts[s].total = shards[s]->Sweep(last_p.data(), last_p.size(),
                                            last_a.data(), last_a.size(),
                                            request, &counts[s], &align_counts[s]);
          parts[s] = {parts[s].total, counts[s].data(), counts[s].size(),
                      align_counts[s].data(), align_counts[s].size()};
        }
        return parts;
      };
      // Model 1 then Model 2, as the training command's schedule.
      training->RunSchedule(
          qaz::EmSchedule(iterations), pairs, walk, loop,
          [&](const qaz::ScheduleStep&) -> qaz::Reporter& { return loop; },
          [](ModelType) {});
    }
  }

  // The score and decoded-alignment files of every shard under the last
  // walk's values, concatenated in shard order.
  std::pair<std::string, std::string> Outputs() {
    std::string scores, decoded;
    for (size_t s = 0; s < shards.size(); ++s) {
      const std::string sp = qaz::testing::TempPath("scores" + std::to_string(s));
      const std::string dp = qaz::testing::TempPath("decoded" + std::to_string(s));
      shards[s]->WriteTrained(last_p.data(), last_p.size(), last_a.data(),
                              last_a.size(), true, &sp, &dp);
      scores += qaz::testing::ReadFile(sp);
      decoded += qaz::testing::ReadFile(dp);
    }
    return {scores, decoded};
  }
};

}  // namespace

QAZ_TEST(ShardedTrainingIsTheTrainingCommandsRun) {
  const CorpusFiles f = WriteCorpus(300, 5);
  // The run of one machine, as the training command sets it up.
  qaz::Vocab vocab;
  RecordingReporter setup, loop;
  qaz::NullReporter quiet;
  auto corpus = std::make_shared<const qaz::Corpus>(
      qaz::LoadCorpus(&vocab, f.src, f.trg, false, quiet));
  const qaz::Parallel parallel(2);
  qaz::Model model;
  model.type = qaz::ModelType::kModel2;
  qaz::ReportVocab(vocab, setup);
  model.trans = qaz::InitTransTable(vocab, corpus, parallel, setup);
  model.align = qaz::InitAlignTable(vocab, *corpus, setup);
  qaz::SweepScratch scratch;
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
    qaz::RunEmLoop(kind, 4, &model, *corpus, parallel, &scratch, loop, loop, [] {});
  }

  ShardedRun one(f, {}, 4);
  // The same words, the same set-up lines (but the layout's and the bytes
  // it takes) from the same modules: the vocabulary's, the translation
  // table's, the alignment table's; the same loops and the same tables bit
  // for bit.
  QAZ_EXPECT(one.vocab.src.size() == vocab.src.size() &&
             one.vocab.trg.size() == vocab.trg.size());
  bool same_words = true;
  for (int32_t k = 0; k < vocab.trg.size(); ++k) {
    same_words = same_words && one.vocab.trg.IdToStr(k) == vocab.trg.IdToStr(k);
  }
  QAZ_EXPECT(same_words);
  QAZ_EXPECT_EQ(one.core.lines.size(), size_t{4});
  QAZ_EXPECT_EQ(one.lex.lines.size(), size_t{4});
  QAZ_EXPECT_EQ(one.pos.lines.size(), size_t{3});
  std::vector<std::string> lines = one.core.lines;
  lines.insert(lines.end(), one.lex.lines.begin(), one.lex.lines.end());
  lines.insert(lines.end(), one.pos.lines.begin(), one.pos.lines.end());
  QAZ_EXPECT_EQ(lines.size(), setup.lines.size());
  for (size_t k = 0; k < std::min(setup.lines.size(), lines.size()); ++k) {
    if (setup.lines[k].rfind("I: cell layout", 0) == 0) {
      QAZ_EXPECT_EQ(lines[k], "I: cell layout: 1 shards, each indexed on its worker");
    } else if (setup.lines[k].rfind("I: allocated: ", 0) == 0) {
      const std::string& got = lines[k];
      const std::string& want = setup.lines[k];
      QAZ_EXPECT(got.rfind("I: allocated: ", 0) == 0 &&
                 got.substr(got.find(" for ")) == want.substr(want.find(" for ")));
    } else {
      QAZ_EXPECT_EQ(lines[k], setup.lines[k]);
    }
  }
  QAZ_EXPECT(one.loop.lines == loop.lines);
  QAZ_EXPECT(SameBits(Capture(*one.model.trans, *one.model.align, {}),
                      Capture(*model.trans, *model.align, {})));

  // Three shards: the loops log alike (entropies within reassociation may
  // differ in their last digits, so only the line count) and every pair's
  // outputs are those of one shard under the same values.
  ShardedRun three(f, {100, 101}, 4);
  QAZ_EXPECT_EQ(three.loop.lines.size(), loop.lines.size());
  QAZ_EXPECT(CloseTo(Capture(*three.model.trans, *three.model.align, {}),
                     Capture(*model.trans, *model.align, {})));
  one.last_p = three.last_p;
  one.last_a = three.last_a;
  const auto split = three.Outputs();
  QAZ_EXPECT(!split.first.empty() && !split.second.empty());
  QAZ_EXPECT(split == one.Outputs());
}

QAZ_TEST(ModelShardRefusesStepsOutOfOrderAndShortValues) {
  const CorpusFiles f = WriteCorpus(40, 11);
  auto loaded = qaz::ModelShard::Load(f.src, f.trg, f.src_starts[10],
                                      f.trg_starts[10], 10, 20, false, 1);
  QAZ_EXPECT_EQ(loaded->pairs(), int64_t{20});
  QAZ_EXPECT_THROW(loaded->tables(), std::invalid_argument);
  const qaz::Vocab& v = loaded->vocab();
  std::vector<int32_t> src_map(v.src.size()), trg_map(v.trg.size());
  for (size_t k = 0; k < src_map.size(); ++k) src_map[k] = static_cast<int32_t>(k);
  for (size_t k = 0; k < trg_map.size(); ++k) trg_map[k] = static_cast<int32_t>(k);
  QAZ_EXPECT_THROW(loaded->Remap(src_map, {}), std::out_of_range);
  auto remapped = loaded->Remap(src_map, trg_map);
  QAZ_EXPECT_THROW(remapped->vocab(), std::invalid_argument);
  auto indexed = remapped->Index(v.src.size(), v.trg.size(), v.max_len_src, v.max_len_trg);
  qaz::ShardedTables whole(v.src.size(), v.trg.size(), v.max_len_src, v.max_len_trg,
                           {indexed->tables().Keys()}, {indexed->tables().Shapes()});
  std::vector<double> p = whole.TransValues(), a = whole.AlignValues();
  std::vector<double> counts, align_counts;
  qaz::SweepRequest request;
  request.entropy = true;
  QAZ_EXPECT_THROW(indexed->Sweep(p.data(), p.size(), a.data(), a.size(), request,
                                  &counts, &align_counts),
                   std::logic_error);
  QAZ_EXPECT_THROW(indexed->Attach({}, whole.block_offsets(0)), std::invalid_argument);
  indexed->Attach(whole.cell_map(0), whole.block_offsets(0));
  QAZ_EXPECT(indexed->MemoryBytes() > loaded->MemoryBytes());
  // A transfer that stops short of the last block, or of the cells, is
  // refused before any walk or output.
  const std::string scores = qaz::testing::TempPath("short.scores");
  QAZ_EXPECT_THROW(indexed->WriteTrained(p.data(), p.size(), a.data(), a.size() - 1,
                                         true, &scores, nullptr),
                   std::out_of_range);
  QAZ_EXPECT_THROW(indexed->Sweep(p.data(), p.size() - 1, a.data(), a.size(), request,
                                  &counts, &align_counts),
                   std::out_of_range);
  const double h = indexed->Sweep(p.data(), p.size(), a.data(), a.size(), request,
                                  &counts, &align_counts);
  QAZ_EXPECT(h > 0.0 && counts.empty());
}
