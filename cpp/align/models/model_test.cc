#include "align/models/model.h"

#include <cmath>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "align/model.h"
#include "align/models/factory.h"
#include "align/sweep.h"
#include "align/trainer.h"
#include "align/writers.h"
#include "common/float_format.h"
#include "testing/harness.h"
#include "testing/random_corpus.h"

namespace {

using qaz::ModelOf;
using qaz::ModelType;

bool Near(double a, double b, double rel = 1e-14) {
  return std::fabs(a - b) <= rel * std::max(std::fabs(a), std::fabs(b));
}

// One pair of L = 3 source positions (NULL first) and m = 3 target words:
// t[i * m + j]; the third column's links tie at i = 1 and 2, and its
// alignment values are equal there too.
const double kT[9] = {0.10, 0.20, 0.05,   //
                      0.60, 0.10, 0.30,   //
                      0.30, 0.70, 0.30};
// a(i | j) for the shape (I = 2, J = 3), [j][i]: the first column favours
// the NULL word strongly enough to win against t.
const double kA[9] = {0.80, 0.10, 0.10,   //
                      0.20, 0.50, 0.30,   //
                      0.20, 0.40, 0.40};

std::shared_ptr<qaz::AlignTable> TinyTable() {
  auto align = std::make_shared<qaz::AlignTable>(3, 3);
  const qaz::AlignTable::Block b = align->Add(2, 3);
  for (int k = 0; k < 9; ++k) align->values(b)[k] = kA[k];
  return align;
}

}  // namespace

QAZ_TEST(ModelsOnOnePairFollowTheirFormulas) {
  const auto align = TinyTable();
  const qaz::AlignmentModel& m1 = ModelOf(ModelType::kModel1);
  const qaz::AlignmentModel& m2 = ModelOf(ModelType::kModel2);
  // The formulas written out: Model 1 weighs a link by t, Model 2 by t * a.
  double h1 = 0.0, h2 = 0.0;
  std::vector<double> post1(9), post2(9);
  for (int j = 0; j < 3; ++j) {
    double s1 = 0.0, s2 = 0.0;
    for (int i = 0; i < 3; ++i) {
      s1 += kT[i * 3 + j];
      s2 += kT[i * 3 + j] * kA[j * 3 + i];
    }
    h1 -= std::log(s1 / 3.0);
    h2 -= std::log(s2);
    for (int i = 0; i < 3; ++i) {
      post1[i * 3 + j] = kT[i * 3 + j] / s1;
      post2[i * 3 + j] = kT[i * 3 + j] * kA[j * 3 + i] / s2;
    }
  }
  QAZ_EXPECT(Near(m1.PairEntropy(kT, align.get(), 3, 3, false), h1));
  QAZ_EXPECT(Near(m1.PairEntropy(kT, align.get(), 3, 3, true), h1 / 3));
  QAZ_EXPECT(Near(m2.PairEntropy(kT, align.get(), 3, 3, false), h2));
  std::vector<double> post;
  m1.Posteriors(kT, align.get(), 3, 3, &post);
  for (int k = 0; k < 9; ++k) QAZ_EXPECT(Near(post[k], post1[k]));
  m2.Posteriors(kT, align.get(), 3, 3, &post);
  for (int k = 0; k < 9; ++k) QAZ_EXPECT(Near(post[k], post2[k]));
  // Viterbi: the largest weight, ties to the lowest source position.
  std::vector<int32_t> best;
  m1.Viterbi(kT, align.get(), 3, 3, &best);
  QAZ_EXPECT(best == (std::vector<int32_t>{1, 2, 1}));
  m2.Viterbi(kT, align.get(), 3, 3, &best);
  QAZ_EXPECT(best == (std::vector<int32_t>{0, 2, 1}));
}

QAZ_TEST(Model2ReadsOneOverLWhereItsTableLacksTheShape) {
  // Without the pair's shape (or without a table) Model 2 is Model 1 with
  // its uniform alignment: the same posteriors and entropy, and a column
  // whose links all weigh 0 gets posteriors of 0.
  const double t[6] = {0.2, 0.0, 0.5, 0.0, 0.3, 0.0};  // L = 3, m = 2
  qaz::AlignTable other(4, 4);
  other.Add(3, 2);
  const qaz::AlignmentModel& m1 = ModelOf(ModelType::kModel1);
  const qaz::AlignmentModel& m2 = ModelOf(ModelType::kModel2);
  std::vector<double> p1, p2, p3;
  m1.Posteriors(t, nullptr, 3, 2, &p1);
  m2.Posteriors(t, &other, 3, 2, &p2);
  m2.Posteriors(t, nullptr, 3, 2, &p3);
  for (int k = 0; k < 6; ++k) {
    QAZ_EXPECT(Near(p1[k], p2[k]));
    QAZ_EXPECT_EQ(p2[k], p3[k]);
  }
  QAZ_EXPECT_EQ(p2[1] + p2[3] + p2[5], 0.0);
  const double t2[4] = {0.2, 0.4, 0.5, 0.1};  // L = 2, m = 2
  QAZ_EXPECT(Near(m1.PairEntropy(t2, nullptr, 2, 2, true),
                  m2.PairEntropy(t2, &other, 2, 2, true), 1e-12));
  // A shape beyond the table's dense dimensions is an index error.
  qaz::AlignTable small(2, 1);
  QAZ_EXPECT_THROW(m2.PairEntropy(t2, &small, 2, 2, true), std::out_of_range);
}

QAZ_TEST(ModelsAndKernelsByType) {
  QAZ_EXPECT(ModelOf(ModelType::kModel1).type() == ModelType::kModel1);
  QAZ_EXPECT(ModelOf(ModelType::kModel2).type() == ModelType::kModel2);
  QAZ_EXPECT(!ModelOf(ModelType::kModel1).has_align_table());
  QAZ_EXPECT(ModelOf(ModelType::kModel2).has_align_table());
  QAZ_EXPECT_THROW(ModelOf(ModelType::kAbstract), std::invalid_argument);
  QAZ_EXPECT_THROW(ModelOf(ModelType::kHmm), std::invalid_argument);
  QAZ_EXPECT_EQ(std::string(qaz::ModelName(ModelType::kModel1)), "1");
  QAZ_EXPECT_EQ(std::string(qaz::ModelName(ModelType::kModel2)), "2");
  QAZ_EXPECT_EQ(std::string(qaz::ModelName(ModelType::kHmm)), "hmm");
  auto kind = [](auto k) { return decltype(k)::kType; };
  QAZ_EXPECT(qaz::WithKernel(ModelType::kModel1, kind) == ModelType::kModel1);
  QAZ_EXPECT(qaz::WithKernel(ModelType::kModel2, kind) == ModelType::kModel2);
  QAZ_EXPECT_THROW(qaz::WithKernel(ModelType::kHmm, kind), std::invalid_argument);
  // An E-step of a model without a walk is refused before it walks.
  auto corpus = qaz::testing::RandomCorpus(10, 5, 4, 3, 1);
  auto table = qaz::TransTable::Build(5, 4, corpus, {}, 0.25);
  qaz::SweepRequest request;
  request.expect = true;
  request.expect_model = ModelType::kHmm;
  qaz::SweepScratch scratch;
  qaz::NullReporter quiet;
  QAZ_EXPECT_THROW(qaz::Sweep(table.get(), nullptr, *corpus, request,
                              qaz::Parallel(1), &scratch, quiet),
                   std::invalid_argument);
}

QAZ_TEST(WalksGiveEachPairWhatItsModelGivesIt) {
  // The walk's kernels and the one-pair functions are one formula: a walk's
  // pair entropies and best links are those of the model on the pair's
  // gathered values, bit for bit, and its expected counts the sums of the
  // pairs' posteriors, on one thread and on several.
  auto corpus = qaz::testing::RandomCorpus(300, 14, 11, 7, 5);
  const int32_t S = 14, T = 11;
  for (int threads : {1, 3}) {
    const qaz::Parallel parallel(threads);
    qaz::NullReporter quiet;
    auto table = qaz::TransTable::Build(S, T, corpus, {}, 1.0 / T);
    auto align = qaz::AlignTable::Build(qaz::testing::Longest(*corpus, true),
                                        qaz::testing::Longest(*corpus, false),
                                        *corpus);
    qaz::SweepScratch scratch;
    qaz::SweepRequest e;
    e.expect = true;
    for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
      e.expect_model = kind;
      qaz::Sweep(table.get(), align.get(), *corpus, e, parallel, &scratch, quiet);
      table->Normalize();
      if (kind == ModelType::kModel2) align->Normalize();
    }
    for (ModelType kind : {ModelType::kModel1, ModelType::kModel2}) {
      const qaz::AlignmentModel& model = ModelOf(kind);
      qaz::SweepRequest h;
      h.entropy = true;
      h.entropy_model = kind;
      qaz::PairOutcome outcome;
      if (kind == ModelType::kModel2) h.outcome = &outcome;
      // The E-step of the same model beside it, for its counts.
      h.expect = kind == ModelType::kModel1;
      h.expect_model = kind;
      qaz::Sweep(table.get(), align.get(), *corpus, h, parallel, &scratch, quiet);
      if (kind == ModelType::kModel2) {
        qaz::SweepRequest counts;
        counts.expect = true;
        counts.expect_model = kind;
        qaz::Sweep(table.get(), align.get(), *corpus, counts, parallel,
                   &scratch, quiet);
      }
      qaz::PairCells cells(*table, *corpus);
      std::vector<double> t, post, expected(static_cast<size_t>(table->nnz()), 0.0);
      std::vector<int32_t> best;
      bool same_entropy = true, same_links = true;
      for (int64_t p = 0; p < corpus->size(); ++p) {
        const qaz::IdSpan src = corpus->src(p), trg = corpus->trg(p);
        const int32_t L = src.size, m = trg.size;
        cells.Gather(p, &t);
        const double hp = model.PairEntropy(t.data(), align.get(), L, m, true);
        if (kind == ModelType::kModel2) {
          same_entropy = same_entropy && outcome.entropy[p] == hp;
          model.Viterbi(t.data(), align.get(), L, m, &best);
          for (int32_t j = 0; j < m; ++j) {
            same_links = same_links && outcome.best[corpus->trg_offset(p) + j] == best[j];
          }
          // Pairs without a shape collect nothing in a Model 2 E-step.
          if (!qaz::HasShape(L, m)) continue;
        }
        model.Posteriors(t.data(), align.get(), L, m, &post);
        for (int32_t i = 0; i < L; ++i) {
          for (int32_t j = 0; j < m; ++j) {
            expected[table->Find(src[i], trg[j])] += post[i * m + j];
          }
        }
      }
      QAZ_EXPECT(same_entropy);
      QAZ_EXPECT(same_links);
      bool counts_match = true;
      for (int64_t k = 0; k < table->nnz(); ++k) {
        counts_match = counts_match && Near(table->cells()[k].c, expected[k], 1e-12);
      }
      QAZ_EXPECT(counts_match);
    }
  }
}

QAZ_TEST(TablesAModelWritesReadBack) {
  std::vector<std::string> src = {"le chat", "le chien noir", "chat noir"};
  std::vector<std::string> trg = {"the cat", "the black dog", "black cat"};
  auto vocab = std::make_shared<qaz::Vocab>();
  qaz::NullReporter quiet;
  auto corpus = std::make_shared<const qaz::Corpus>(
      qaz::CorpusFromLines(vocab.get(), src, trg, false, quiet));
  const qaz::Parallel parallel(1);
  qaz::Model model;
  model.type = ModelType::kModel2;
  model.vocab = vocab;
  model.trans = qaz::InitTransTable(*vocab, corpus, parallel, quiet);
  model.align = qaz::InitAlignTable(*vocab, *corpus, quiet);
  qaz::SweepScratch scratch;
  qaz::RunEmSchedule(qaz::EmSchedule(2), &model, *corpus, parallel, &scratch,
                     quiet, quiet, [] {});
  qaz::WriteOptions options;
  options.threshold = 0.0;
  const std::string t_path = qaz::testing::TempPath("m.t");
  const std::string a_path = qaz::testing::TempPath("m.a");
  ModelOf(ModelType::kModel2)
      .WriteTables(model, t_path, &a_path, options, "0.0", parallel, quiet);
  const qaz::Model back = ModelOf(ModelType::kModel2)
                              .ReadTables(t_path, &a_path, parallel, quiet);
  QAZ_EXPECT(back.type == ModelType::kModel2);
  // Every translation value comes back under the same pair of words (the
  // file holds 32-bit narrowings of the values).
  bool same_t = true;
  for (int32_t e = 0; e < vocab->src.size(); ++e) {
    for (int32_t f = 0; f < vocab->trg.size(); ++f) {
      const int64_t k = model.trans->Find(e, f);
      if (k < 0) continue;
      const int32_t e2 = back.vocab->src.Find(vocab->src.IdToStr(e));
      const int32_t f2 = back.vocab->trg.Find(vocab->trg.IdToStr(f));
      const int64_t k2 = e2 >= 0 && f2 >= 0 ? back.trans->Find(e2, f2) : -1;
      same_t = same_t && k2 >= 0 &&
               back.trans->cells()[k2].p ==
                   qaz::Narrow(model.trans->cells()[k].p);
    }
  }
  QAZ_EXPECT(same_t);
  bool same_a = true;
  for (const qaz::AlignTable::Block& b : model.align->blocks()) {
    const qaz::AlignTable::Block* b2 = back.align->Find(b.I, b.J);
    same_a = same_a && b2 != nullptr;
    if (b2 == nullptr) continue;
    for (int32_t k = 0; k < (b.I + 1) * b.J; ++k) {
      same_a = same_a && back.align->values(*b2)[k] ==
                             qaz::Narrow(model.align->values(b)[k]);
    }
  }
  QAZ_EXPECT(same_a);
  // Model 1 has no alignment table to write or read.
  const std::string t1 = qaz::testing::TempPath("m1.t");
  const std::string a1 = qaz::testing::TempPath("m1.a");
  ModelOf(ModelType::kModel1)
      .WriteTables(model, t1, &a1, options, "0.0", parallel, quiet);
  QAZ_EXPECT(!std::ifstream(a1).good());
  QAZ_EXPECT_EQ(qaz::testing::ReadFile(t1), qaz::testing::ReadFile(t_path));
  const qaz::Model one =
      ModelOf(ModelType::kModel1).ReadTables(t1, &a_path, parallel, quiet);
  QAZ_EXPECT(one.type == ModelType::kModel1 && one.align->blocks().empty());
}
