#include "align/sweep.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "align/models/factory.h"
#include "testing/harness.h"
#include "testing/random_corpus.h"

namespace {

using qaz::ModelType;

std::shared_ptr<const qaz::Corpus> Pairs(
    const std::vector<std::pair<std::vector<int32_t>, std::vector<int32_t>>>& pairs) {
  auto c = std::make_shared<qaz::Corpus>();
  for (const auto& p : pairs) {
    c->AddPair(p.first.data(), static_cast<int32_t>(p.first.size()),
               p.second.data(), static_cast<int32_t>(p.second.size()));
  }
  return c;
}

using qaz::testing::RandomCorpus;

using qaz::testing::Longest;

struct Run {
  std::vector<double> trans_counts, align_counts, trans_p;
  double entropy;
};

// Two EM iterations of `kind` from the uniform start, then a fused walk.
Run Train(std::shared_ptr<const qaz::Corpus> corpus, int32_t S, int32_t T,
          ModelType kind, int threads, const qaz::MemoryPlan& plan = {}) {
  qaz::NullReporter quiet;
  qaz::Parallel parallel(threads);
  auto table = qaz::TransTable::Build(S, T, corpus, {}, 1.0 / T, nullptr,
                                      &parallel, &plan);
  auto align = qaz::AlignTable::Build(Longest(*corpus, true),
                                      Longest(*corpus, false), *corpus);
  qaz::SweepScratch scratch;
  qaz::SweepRequest e;
  e.expect = true;
  e.expect_model = kind;
  for (int k = 0; k < 2; ++k) {
    qaz::Sweep(table.get(), align.get(), *corpus, e, parallel, &scratch, quiet);
    table->Normalize();
    if (kind == ModelType::kModel2) align->Normalize();
  }
  qaz::SweepRequest both = e;
  both.entropy = true;
  both.entropy_model = kind;
  Run run;
  run.entropy = qaz::Sweep(table.get(), align.get(), *corpus, both, parallel,
                           &scratch, quiet);
  for (int64_t k = 0; k < table->nnz(); ++k) {
    run.trans_counts.push_back(table->cells()[k].c);
    run.trans_p.push_back(table->cells()[k].p);
  }
  for (const auto& b : align->blocks()) {
    const double* c = align->counts(b);
    run.align_counts.insert(run.align_counts.end(), c, c + b.J * (b.I + 1));
  }
  return run;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

// Source lines "a" and "a b", target lines "x" and "x y": after one Model 1
// iteration the rows of NULL and a are [5/7, 2/7], the row of b [1/2, 1/2].
QAZ_TEST(Model1WorkedExample) {
  auto corpus = Pairs({{{0, 1}, {0}}, {{0, 1, 2}, {0, 1}}});
  auto table = qaz::TransTable::Build(3, 2, corpus, {}, 0.5);
  qaz::SweepScratch scratch;
  qaz::SweepRequest e;
  e.expect = true;
  qaz::NullReporter quiet;
  qaz::Sweep(table.get(), nullptr, *corpus, e, qaz::Parallel(2), &scratch, quiet);
  QAZ_EXPECT(std::fabs(table->Count(0, 0) - 5.0 / 6) < 1e-15);
  QAZ_EXPECT(std::fabs(table->Count(2, 1) - 1.0 / 3) < 1e-15);
  table->Normalize();
  QAZ_EXPECT(std::fabs(table->Get(1, 0) - 5.0 / 7) < 1e-15);
  QAZ_EXPECT(std::fabs(table->Get(2, 1) - 0.5) < 1e-15);
  // The pair (NULL a, x) then has entropy -ln(5/7).
  double t[2] = {table->Get(0, 0), table->Get(1, 0)};
  QAZ_EXPECT(std::fabs(qaz::ModelOf(ModelType::kModel1).PairEntropy(t, nullptr, 2, 1, true) -
                       0.3364722366212129) < 1e-15);
}

// One pair "x" / "y": one Model 2 iteration gives a(. | 0, 1, 1) = [0.5, 0.5]
// and counts 0.5 each.
QAZ_TEST(Model2WorkedExample) {
  auto corpus = Pairs({{{0, 1}, {0}}});
  auto table = qaz::TransTable::Build(2, 1, corpus, {}, 1.0);
  auto align = qaz::AlignTable::Build(2, 1, *corpus);
  qaz::SweepScratch scratch;
  qaz::SweepRequest e;
  e.expect = true;
  e.expect_model = ModelType::kModel2;
  qaz::NullReporter quiet;
  qaz::Sweep(table.get(), align.get(), *corpus, e, qaz::Parallel(1), &scratch,
             quiet);
  const qaz::AlignTable::Block* b = align->Find(1, 1);
  QAZ_EXPECT(b != nullptr && align->counts(*b)[0] == 0.5 &&
             align->counts(*b)[1] == 0.5);
  align->Normalize();
  table->Normalize();
  QAZ_EXPECT(align->Get(0, 0, 0, 1) == 0.5 && table->Get(1, 0) == 1.0);
}

QAZ_TEST(SweepResultsDoNotDependOnThreads) {
  auto corpus = RandomCorpus(3000, 60, 50, 12, 7);
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
    Run one = Train(corpus, 60, 50, kind, 1);
    for (int threads : {2, 3, 8}) {
      Run other = Train(corpus, 60, 50, kind, threads);
      QAZ_EXPECT(SameBits(one.trans_counts, other.trans_counts));
      QAZ_EXPECT(SameBits(one.trans_p, other.trans_p));
      QAZ_EXPECT(SameBits(one.align_counts, other.align_counts));
      QAZ_EXPECT(std::memcmp(&one.entropy, &other.entropy, sizeof(double)) == 0);
    }
  }
}

QAZ_TEST(LookupLayoutEqualsTheIndex) {
  // Rows long enough for direct maps, and short ones searched.
  auto corpus = RandomCorpus(2000, 300, 200, 15, 5);
  qaz::MemoryPlan lookup;
  lookup.layout = qaz::MemoryPlan::Layout::kLookup;
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
    Run index = Train(corpus, 300, 200, kind, 2);
    for (int64_t run_cells : {0, 1, 777}) {
      lookup.lookup_cells = run_cells;
      Run other = Train(corpus, 300, 200, kind, 3, lookup);
      QAZ_EXPECT(SameBits(index.trans_counts, other.trans_counts));
      QAZ_EXPECT(SameBits(index.trans_p, other.trans_p));
      QAZ_EXPECT(SameBits(index.align_counts, other.align_counts));
      QAZ_EXPECT(std::memcmp(&index.entropy, &other.entropy, sizeof(double)) == 0);
    }
  }
  auto table = qaz::TransTable::Build(300, 200, corpus, {}, 0.005, nullptr,
                                      nullptr, &lookup);
  QAZ_EXPECT(!table->has_cell_index());
  QAZ_EXPECT(table->row_map(0) != nullptr);  // NULL co-occurs with every word
  QAZ_EXPECT(table->layout_note().find("no cell index") != std::string::npos);
}

QAZ_TEST(FusedWalkEqualsSeparateWalks) {
  auto corpus = RandomCorpus(500, 30, 25, 9, 3);
  qaz::NullReporter quiet;
  // Uneven values, so that the order of every sum matters.
  auto uneven = [](qaz::TransTable* t, qaz::AlignTable* al) {
    for (int64_t k = 0; k < t->nnz(); ++k) t->cells()[k].p = 0.01 + 0.001 * (k % 37);
    for (const qaz::AlignTable::Block& b : al->blocks()) {
      const int64_t n = static_cast<int64_t>(b.J) * (b.I + 1);
      for (int64_t k = 0; k < n; ++k) al->values(b)[k] = 0.02 + 0.003 * ((k * 7) % 11);
    }
  };
  for (int threads : {1, 2}) {
  const qaz::Parallel parallel(threads);
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
    for (ModelType entropy : {ModelType::kModel1, ModelType::kModel2}) {
      auto a = qaz::TransTable::Build(30, 25, corpus, {}, 0.04);
      auto b = qaz::TransTable::Build(30, 25, corpus, {}, 0.04);
      auto al_a = qaz::AlignTable::Build(Longest(*corpus, true), Longest(*corpus, false), *corpus);
      auto al_b = qaz::AlignTable::Build(Longest(*corpus, true), Longest(*corpus, false), *corpus);
      uneven(a.get(), al_a.get());
      uneven(b.get(), al_b.get());
      qaz::SweepScratch sa, sb;
      qaz::SweepRequest fused;
      fused.expect = fused.entropy = true;
      fused.expect_model = kind;
      fused.entropy_model = entropy;
      const double h = qaz::Sweep(a.get(), al_a.get(), *corpus, fused, parallel, &sa, quiet);
      qaz::SweepRequest only_e = fused, only_h = fused;
      only_e.entropy = false;
      only_h.expect = false;
      const double h2 = qaz::Sweep(b.get(), al_b.get(), *corpus, only_h, parallel, &sb, quiet);
      qaz::Sweep(b.get(), al_b.get(), *corpus, only_e, parallel, &sb, quiet);
      QAZ_EXPECT(h == h2);
      bool same = true;
      for (int64_t k = 0; k < a->nnz(); ++k) same = same && a->cells()[k].c == b->cells()[k].c;
      for (const qaz::AlignTable::Block& blk : al_a->blocks()) {
        const int64_t n = static_cast<int64_t>(blk.J) * (blk.I + 1);
        const qaz::AlignTable::Block* other = al_b->Find(blk.I, blk.J);
        for (int64_t k = 0; k < n; ++k) {
          same = same && al_a->counts(blk)[k] == al_b->counts(*other)[k];
        }
      }
      QAZ_EXPECT(same);
    }
  }
  }
}

QAZ_TEST(UniformAlignTableGivesTheBitsOfItsValues) {
  // Walks over an alignment table still at its uniform start use 1/L
  // without reading the table: the same bits as reading those values.
  auto corpus = RandomCorpus(400, 25, 20, 9, 5);
  qaz::NullReporter quiet;
  auto fresh = qaz::AlignTable::Build(Longest(*corpus, true), Longest(*corpus, false), *corpus);
  QAZ_EXPECT(fresh->uniform());
  fresh->Add(40, 3);
  QAZ_EXPECT(fresh->uniform());
  fresh->Normalize();
  QAZ_EXPECT(!fresh->uniform());
  for (int threads : {1, 2, 3}) {
    const qaz::Parallel parallel(threads);
    for (int kind = 0; kind < 3; ++kind) {
      qaz::SweepRequest request;
      request.entropy = true;
      request.entropy_model = ModelType::kModel2;
      request.expect = kind < 2;
      request.expect_model = kind == 0 ? ModelType::kModel1 : ModelType::kModel2;
      Run runs[2];
      for (int read : {0, 1}) {
        auto table = qaz::TransTable::Build(25, 20, corpus, {}, 0.05);
        for (int64_t k = 0; k < table->nnz(); ++k) table->cells()[k].p = 0.01 + 0.001 * (k % 37);
        auto align = qaz::AlignTable::Build(Longest(*corpus, true), Longest(*corpus, false), *corpus);
        if (read == 1) align->values(align->blocks().front());  // the flag goes
        QAZ_EXPECT(align->uniform() == (read == 0));
        qaz::SweepScratch scratch;
        runs[read].entropy = qaz::Sweep(table.get(), align.get(), *corpus, request,
                                        parallel, &scratch, quiet);
        for (int64_t k = 0; k < table->nnz(); ++k) runs[read].trans_counts.push_back(table->cells()[k].c);
        for (const qaz::AlignTable::Block& b : align->blocks()) {
          const int64_t n = static_cast<int64_t>(b.J) * (b.I + 1);
          runs[read].align_counts.insert(runs[read].align_counts.end(), align->counts(b),
                                         align->counts(b) + n);
        }
      }
      QAZ_EXPECT(std::memcmp(&runs[0].entropy, &runs[1].entropy, sizeof(double)) == 0);
      QAZ_EXPECT(SameBits(runs[0].trans_counts, runs[1].trans_counts));
      QAZ_EXPECT(SameBits(runs[0].align_counts, runs[1].align_counts));
    }
  }
}

QAZ_TEST(EntropySweepEqualsThePairEntropies) {
  auto corpus = RandomCorpus(200, 20, 20, 8, 11);
  auto table = qaz::TransTable::Build(20, 20, corpus, {}, 0.05);
  // Uneven values, so that the order of the sums matters.
  for (int64_t k = 0; k < table->nnz(); ++k) table->cells()[k].p = 0.01 + 0.001 * (k % 37);
  auto align = qaz::AlignTable::Build(Longest(*corpus, true), Longest(*corpus, false), *corpus);
  qaz::SweepScratch scratch;
  qaz::SweepRequest h;
  h.entropy = true;
  qaz::NullReporter quiet;
  qaz::PairCells cells(*table, *corpus);
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
    h.entropy_model = kind;
    const double total = qaz::Sweep(table.get(), align.get(), *corpus, h,
                                    qaz::Parallel(3), &scratch, quiet);
    double expected = 0.0;
    std::vector<double> t;
    for (int64_t p = 0; p < corpus->size(); ++p) {
      cells.Gather(p, &t);
      const int32_t L = corpus->src(p).size, m = corpus->trg(p).size;
      expected += qaz::ModelOf(kind).PairEntropy(t.data(), align.get(), L, m, true);
    }
    QAZ_EXPECT_EQ(total, expected);
  }
}

QAZ_TEST(SweepNeedsTheIndexedCorpus) {
  auto corpus = Pairs({{{0, 1}, {0}}});
  auto other = Pairs({{{0, 1}, {0, 0}}});
  auto table = qaz::TransTable::Build(2, 1, corpus, {}, 1.0);
  qaz::SweepScratch scratch;
  qaz::SweepRequest e;
  e.expect = true;
  qaz::NullReporter quiet;
  QAZ_EXPECT_THROW(qaz::Sweep(table.get(), nullptr, *other, e, qaz::Parallel(1),
                              &scratch, quiet),
                   std::logic_error);
}

namespace {

// The uniform tables of `corpus`: the S x T translation table with its cell
// index, and the alignment table of its shapes.
struct Tables {
  std::shared_ptr<qaz::TransTable> trans;
  std::shared_ptr<qaz::AlignTable> align;
};

Tables Uniform(const std::shared_ptr<const qaz::Corpus>& corpus, int32_t S,
               int32_t T, const qaz::Parallel& parallel) {
  return Tables{qaz::TransTable::Build(S, T, corpus, {}, 1.0 / T, nullptr,
                                       &parallel),
                qaz::AlignTable::Build(Longest(*corpus, true),
                                       Longest(*corpus, false), *corpus)};
}

qaz::SweepRequest ExpectStep(ModelType kind) {
  qaz::SweepRequest e;
  e.expect = true;
  e.expect_model = kind;
  return e;
}

struct Interrupted {};

// A reporter whose first poll throws, as Ctrl-C does through the bindings.
class InterruptingReporter : public qaz::NullReporter {
 public:
  void Poll() override {
    ++polls;
    throw Interrupted{};
  }
  int polls = 0;
};

}  // namespace

QAZ_TEST(InterruptStopsEveryThreadOfAnEStep) {
  // Long enough for the caller to poll in mid-walk; the other threads wait
  // at a barrier for it and must give up rather than hang.
  auto corpus = RandomCorpus(60000, 400, 300, 30, 11);
  for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
    qaz::Parallel parallel(2);
    Tables t = Uniform(corpus, 400, 300, parallel);
    qaz::SweepScratch scratch;
    const qaz::SweepRequest e = ExpectStep(kind);
    InterruptingReporter stop;
    QAZ_EXPECT_THROW(qaz::Sweep(t.trans.get(), t.align.get(), *corpus, e,
                                parallel, &scratch, stop),
                     Interrupted);
    QAZ_EXPECT(stop.polls >= 1);
    // The same table and scratch serve a full walk afterwards, with the
    // counts of a walk that was never interrupted.
    qaz::NullReporter quiet;
    qaz::Sweep(t.trans.get(), t.align.get(), *corpus, e, parallel, &scratch, quiet);
    Tables fresh = Uniform(corpus, 400, 300, parallel);
    qaz::SweepScratch fresh_scratch;
    qaz::Sweep(fresh.trans.get(), fresh.align.get(), *corpus, e,
               qaz::Parallel(1), &fresh_scratch, quiet);
    bool same = true;
    for (int64_t k = 0; k < t.trans->nnz(); ++k) {
      same = same && t.trans->cells()[k].c == fresh.trans->cells()[k].c;
    }
    QAZ_EXPECT(same);
  }
}

QAZ_TEST(MStepAndZeroingSplitOverThreadsGiveTheSameBits) {
  // Tables large enough for several runs of rows and blocks, with counts
  // from a real E-step plus rows left at zero.
  auto corpus = RandomCorpus(20000, 3000, 2500, 40, 23);
  auto run = [&](const qaz::Parallel* parallel) {
    qaz::Parallel one(1);
    Tables t = Uniform(corpus, 3000, 2500, one);
    auto& table = t.trans;
    auto& align = t.align;
    qaz::SweepScratch scratch;
    qaz::NullReporter quiet;
    qaz::Sweep(table.get(), align.get(), *corpus, ExpectStep(ModelType::kModel2),
               one, &scratch, quiet);
    table->Normalize(true, parallel);
    align->Normalize(true, parallel);
    Run out;
    for (int64_t k = 0; k < table->nnz(); ++k) out.trans_p.push_back(table->cells()[k].p);
    for (const auto& b : align->blocks()) {
      const double* v = align->values(b);
      out.align_counts.insert(out.align_counts.end(), v, v + b.J * (b.I + 1));
      const double* pad = align->padding(b);
      out.align_counts.insert(out.align_counts.end(), pad, pad + b.J);
    }
    // The counts kept aside come back; zeroing leaves nothing behind.
    table->ZeroCounts(parallel);
    align->ZeroCounts(parallel);
    double left = 0.0;
    for (int64_t k = 0; k < table->nnz(); ++k) left += std::fabs(table->cells()[k].c);
    for (const auto& b : align->blocks()) {
      const double* c = align->counts(b);
      for (int64_t k = 0; k < b.J * (b.I + 1); ++k) left += std::fabs(c[k]);
    }
    out.entropy = left;
    table->RestoreCounts();
    align->RestoreCounts();
    for (int64_t k = 0; k < table->nnz(); ++k) out.trans_counts.push_back(table->cells()[k].c);
    for (const auto& b : align->blocks()) {
      const double* c = align->counts(b);
      out.trans_counts.insert(out.trans_counts.end(), c, c + b.J * (b.I + 1));
    }
    return out;
  };
  const Run plain = run(nullptr);
  QAZ_EXPECT(plain.trans_p.size() > (1u << 17));
  QAZ_EXPECT_EQ(plain.entropy, 0.0);
  for (int threads : {2, 3}) {
    qaz::Parallel parallel(threads);
    const Run split = run(&parallel);
    QAZ_EXPECT(SameBits(plain.trans_p, split.trans_p));
    QAZ_EXPECT(SameBits(plain.align_counts, split.align_counts));
    QAZ_EXPECT(SameBits(plain.trans_counts, split.trans_counts));
    QAZ_EXPECT_EQ(split.entropy, 0.0);
  }
}
