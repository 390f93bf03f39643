#include "align/models/joint.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "testing/harness.h"
#include "testing/random_corpus.h"

namespace {

// The pairs of `c` with their sides exchanged: source id k + 1 for target
// id k (0 is the NULL word), target id k - 1 for source id k.
std::shared_ptr<const qaz::Corpus> Swapped(const qaz::Corpus& c) {
  auto out = std::make_shared<qaz::Corpus>();
  std::vector<int32_t> src, trg;
  for (int64_t p = 0; p < c.size(); ++p) {
    const qaz::IdSpan s = c.src(p), t = c.trg(p);
    src.assign(1, 0);
    for (int32_t j = 0; j < t.size; ++j) src.push_back(t[j] + 1);
    trg.clear();
    for (int32_t i = 1; i < s.size; ++i) trg.push_back(s[i] - 1);
    out->AddPair(src.data(), static_cast<int32_t>(src.size()), trg.data(),
                 static_cast<int32_t>(trg.size()));
  }
  return out;
}

struct Pair2 {
  Pair2(std::shared_ptr<const qaz::Corpus> c, int32_t S, int32_t T)
      : fwd_corpus(std::move(c)), rev_corpus(Swapped(*fwd_corpus)) {
    fwd = qaz::TransTable::Build(S, T, fwd_corpus, {}, 1.0 / T);
    rev = qaz::TransTable::Build(T + 1, S - 1, rev_corpus, {}, 1.0 / (S - 1));
  }
  void Train(const std::string& schedule, bool agreement, int threads,
             bool both = true, qaz::AgreementCells* keep = nullptr) {
    f = qaz::JointDirection{fwd_corpus.get(), fwd.get(), nullptr};
    r = qaz::JointDirection{rev_corpus.get(), rev.get(), nullptr};
    qaz::JointOptions options;
    options.agreement = agreement;
    qaz::testing::RecordingReporter log;
    qaz::TrainJoint(&f, both ? &r : nullptr, qaz::ParseSchedule(schedule),
                    options, qaz::Parallel(threads), log, keep);
    lines = log.lines;
  }
  std::vector<double> Values(const qaz::TransTable& t) const {
    std::vector<double> v;
    for (int64_t k = 0; k < t.nnz(); ++k) v.push_back(t.cells()[k].p);
    return v;
  }
  std::shared_ptr<const qaz::Corpus> fwd_corpus, rev_corpus;
  std::shared_ptr<qaz::TransTable> fwd, rev;
  qaz::JointDirection f, r;
  std::vector<std::string> lines;
};

}  // namespace

QAZ_TEST(JointAgreementCountsTheProductOfBothPosteriors) {
  // From uniform tables every Model 1 posterior is 1/L: a real cell of the
  // forward model counts 1/L_f * 1/L_r, its NULL cells 1/L_f.
  auto c = std::make_shared<qaz::Corpus>();
  const int32_t s1[] = {0, 1, 2}, t1[] = {0, 1, 1};
  const int32_t s2[] = {0, 2}, t2[] = {1, 2};
  c->AddPair(s1, 3, t1, 3);
  c->AddPair(s2, 2, t2, 2);
  Pair2 run(c, 3, 3);
  run.Train("1:1", true, 1);
  std::vector<double> want(9, 0.0);  // [src][trg]
  for (int64_t p = 0; p < c->size(); ++p) {
    const qaz::IdSpan s = c->src(p), t = c->trg(p);
    const double lf = s.size, lr = t.size + 1;
    for (int32_t i = 0; i < s.size; ++i) {
      for (int32_t j = 0; j < t.size; ++j) {
        want[s[i] * 3 + t[j]] += i == 0 ? 1.0 / lf : 1.0 / (lf * lr);
      }
    }
  }
  for (int32_t e = 0; e < 3; ++e) {
    for (int32_t f = 0; f < 3; ++f) {
      QAZ_EXPECT(std::fabs(run.fwd->Count(e, f) - want[e * 3 + f]) < 1e-12);
    }
  }
  // Reverse: every real cell of pair 1 counts 1/4 * 1/3, of pair 2 1/3 * 1/2.
  QAZ_EXPECT(std::fabs(run.rev->Count(2, 1) - (2.0 / 12 + 1.0 / 6)) < 1e-12);
  QAZ_EXPECT(std::fabs(run.rev->Count(0, 0) - 1.0 / 4) < 1e-12);
  // Independent training counts each direction's own posteriors.
  Pair2 apart(c, 3, 3);
  apart.Train("1:1", false, 1);
  QAZ_EXPECT(std::fabs(apart.fwd->Count(1, 1) - 2.0 / 3) < 1e-12);
}

QAZ_TEST(JointTrainingIsTheSameOnAnyThreadCount) {
  // Long sentences too, so the HMM's far jumps take part.
  auto corpus = qaz::testing::RandomCorpus(300, 40, 30, 45, 17);
  std::vector<double> fwd, rev, jumps;
  for (int threads : {1, 2, 3}) {
    Pair2 run(corpus, 40, 30);
    run.Train("1:2,hmm:2", true, threads);
    if (threads == 1) {
      fwd = run.Values(*run.fwd);
      rev = run.Values(*run.rev);
      jumps = run.f.hmm->jump;
      QAZ_EXPECT(run.r.hmm != nullptr);
      continue;
    }
    QAZ_EXPECT(run.Values(*run.fwd) == fwd);
    QAZ_EXPECT(run.Values(*run.rev) == rev);
    QAZ_EXPECT(run.f.hmm->jump == jumps);
  }
  // An HMM step moves the jump weights off their uniform start.
  Pair2 run(corpus, 40, 30);
  run.Train("1:1,hmm:1", false, 2);
  QAZ_EXPECT(run.f.hmm->jump != std::vector<double>(qaz::HmmParams::kJumps, 1.0));
}

QAZ_TEST(JointAgreementSumsEachWordPairOnceOnEitherLayout) {
  // Repeated words, so a word pair's cell takes several counts in a pair.
  auto corpus = qaz::testing::RandomCorpus(200, 8, 7, 14, 23);
  Pair2 run(corpus, 8, 7);
  run.Train("1:1,hmm:1", true, 2);  // values apart from the uniform start
  qaz::testing::RecordingReporter log;
  qaz::AgreementCells keep;
  qaz::JointExpect(&run.f, &run.r, true, true, qaz::Parallel(2), log, &keep);
  // The reverse word pair (f, e) holds, bit for bit, the forward (e, f).
  int64_t checked = 0;
  for (int32_t e = 1; e < 8; ++e) {
    for (int32_t f = 0; f < 7; ++f) {
      if (run.fwd->Find(e, f) < 0) continue;
      QAZ_EXPECT(run.rev->Count(f + 1, e - 1) == run.fwd->Count(e, f));
      ++checked;
    }
  }
  QAZ_EXPECT(checked > 20);
  // Training through looked-up cells gives the same bits as through the
  // cell index.
  qaz::MemoryPlan lookup;
  lookup.layout = qaz::MemoryPlan::Layout::kLookup;
  Pair2 indexed(corpus, 8, 7), looked_up(corpus, 8, 7);
  looked_up.fwd = qaz::TransTable::Build(8, 7, looked_up.fwd_corpus, {}, 1.0 / 7,
                                         nullptr, nullptr, &lookup);
  looked_up.rev = qaz::TransTable::Build(8, 7, looked_up.rev_corpus, {}, 1.0 / 7,
                                         nullptr, nullptr, &lookup);
  QAZ_EXPECT(!looked_up.fwd->has_cell_index() && indexed.fwd->has_cell_index());
  indexed.rev = qaz::TransTable::Build(8, 7, indexed.rev_corpus, {}, 1.0 / 7);
  indexed.Train("1:2,hmm:2", true, 2);
  looked_up.Train("1:2,hmm:2", true, 2);
  QAZ_EXPECT(indexed.Values(*indexed.fwd) == looked_up.Values(*looked_up.fwd));
  QAZ_EXPECT(indexed.Values(*indexed.rev) == looked_up.Values(*looked_up.rev));
  QAZ_EXPECT(indexed.f.hmm->jump == looked_up.f.hmm->jump);
  // Tables with a word pair the corpora lack are not paired; their counts
  // are then each direction's own sums.
  auto extra = qaz::TransTable::Build(9, 7, run.rev_corpus, {{8, 0, 0.5}}, 1.0 / 7);
  qaz::JointDirection other{run.rev_corpus.get(), extra.get(), nullptr};
  qaz::AgreementCells fresh;
  QAZ_EXPECT(!fresh.Pair(run.f, other));
  QAZ_EXPECT(keep.Pair(run.f, run.r));
}

QAZ_TEST(JointDeferredMStepsGiveTheUsualValues) {
  // TrainJoint leaves the forward M-steps for the next E-step, which reads
  // both directions' values off the forward counts; the schedule without
  // the pairing normalises both tables each time.  Same bits.
  auto corpus = qaz::testing::RandomCorpus(300, 40, 30, 45, 29);
  Pair2 deferred(corpus, 40, 30), usual(corpus, 40, 30);
  deferred.Train("1:2,hmm:2", true, 2);
  usual.f = qaz::JointDirection{usual.fwd_corpus.get(), usual.fwd.get(), nullptr};
  usual.r = qaz::JointDirection{usual.rev_corpus.get(), usual.rev.get(), nullptr};
  qaz::testing::RecordingReporter log;
  const qaz::Parallel two(2);
  qaz::RunSchedule(
      &usual.f, &usual.r, corpus->size(), qaz::ParseSchedule("1:2,hmm:2"),
      qaz::JointOptions{}, [&](bool hmm, const qaz::HmmParams*, const qaz::HmmParams*) {
        return qaz::JointExpect(&usual.f, &usual.r, hmm, true, two, log);
      },
      two, log);
  QAZ_EXPECT(deferred.Values(*deferred.fwd) == usual.Values(*usual.fwd));
  QAZ_EXPECT(deferred.Values(*deferred.rev) == usual.Values(*usual.rev));
  QAZ_EXPECT(deferred.f.hmm->jump == usual.f.hmm->jump);
  QAZ_EXPECT(deferred.r.hmm->start == usual.r.hmm->start);
  QAZ_EXPECT(deferred.lines == log.lines);

  // A row with cells but no count would keep its values under Normalize:
  // the M-step is then not deferred, and the row keeps them.
  qaz::AgreementCells keep;
  qaz::JointExpect(&usual.f, &usual.r, false, true, two, log, &keep);
  keep.Maximize(usual.f, usual.r, two);
  QAZ_EXPECT(keep.deferred());
  keep.Materialize(usual.f, two);
  QAZ_EXPECT(!keep.deferred());
  QAZ_EXPECT(usual.fwd->cells()[0].p <= 1.0);
  qaz::JointExpect(&usual.f, &usual.r, false, true, two, log, &keep);
  const int32_t e = corpus->src(0)[1];
  const std::vector<double> before = usual.Values(*usual.fwd);
  for (uint64_t k = usual.fwd->row_begin(e); k < usual.fwd->row_end(e); ++k) {
    usual.fwd->cells()[k].c = 0.0;
  }
  keep.Maximize(usual.f, usual.r, two);
  QAZ_EXPECT(!keep.deferred());
  for (uint64_t k = usual.fwd->row_begin(e); k < usual.fwd->row_end(e); ++k) {
    QAZ_EXPECT(usual.fwd->cells()[k].p == before[k]);
  }
}

QAZ_TEST(JointReverseTableWithoutIndexReadsThroughTheForwardOne) {
  auto corpus = qaz::testing::RandomCorpus(300, 40, 30, 45, 31);
  Pair2 indexed(corpus, 40, 30), through(corpus, 40, 30);
  qaz::MemoryPlan none;
  none.layout = qaz::MemoryPlan::Layout::kNone;
  through.rev = qaz::TransTable::Build(31, 39, through.rev_corpus, {}, 1.0 / 39,
                                       nullptr, nullptr, &none);
  QAZ_EXPECT(!through.rev->has_cell_index());
  qaz::AgreementCells keep;
  indexed.Train("1:2,hmm:2", true, 2);
  through.Train("1:2,hmm:2", true, 2, true, &keep);
  QAZ_EXPECT(through.Values(*through.fwd) == indexed.Values(*indexed.fwd));
  QAZ_EXPECT(through.Values(*through.rev) == indexed.Values(*indexed.rev));
  QAZ_EXPECT(through.r.hmm->jump == indexed.r.hmm->jump);
  // Each pair's reverse values, from the forward counts after the last
  // M-step, then (the counts forgotten) through the pairing of the cells:
  // those the reverse table's own index gives.
  QAZ_EXPECT(keep.Reaches(*through.fwd, *through.fwd_corpus, *through.rev));
  const qaz::PairCells cells(*indexed.rev, *indexed.rev_corpus);
  std::vector<double> want, got;
  for (bool forget : {false, true}) {
    if (forget) keep.ForgetCounts();
    for (int64_t p = 0; p < corpus->size(); ++p) {
      cells.Gather(p, &want);
      keep.GatherReverse(*through.fwd, *through.fwd_corpus, *through.rev,
                         *through.rev_corpus, p, &got);
      QAZ_EXPECT(got == want);
    }
  }
}

QAZ_TEST(JointIndependentDirectionsDoNotTouchEachOther) {
  auto corpus = qaz::testing::RandomCorpus(120, 20, 15, 12, 5);
  Pair2 both(corpus, 20, 15), alone(corpus, 20, 15);
  both.Train("1:2,hmm:2", false, 2);
  alone.Train("1:2,hmm:2", false, 2, false);
  QAZ_EXPECT(both.Values(*both.fwd) == alone.Values(*alone.fwd));
  QAZ_EXPECT(both.f.hmm->jump == alone.f.hmm->jump);
  QAZ_EXPECT(alone.r.hmm == nullptr);
}

QAZ_TEST(JointScheduleParsesAndRejects) {
  const qaz::Schedule s = qaz::ParseSchedule("1:5,hmm:3");
  QAZ_EXPECT(s.size() == 2 && s[0].model == qaz::ModelType::kModel1 &&
             s[1].iterations == 3);
  QAZ_EXPECT_EQ(qaz::FormatSchedule(s), "1:5,hmm:3");
  for (const char* bad : {"", "2:5", "hmm", "hmm:-1", "1:5,", "1:x"}) {
    QAZ_EXPECT_THROW(qaz::ParseSchedule(bad), std::invalid_argument);
  }
}

QAZ_TEST(JointScheduleRefusesModel2BeforeRunning) {
  // Model 2 has no joint kernel: a schedule naming it is refused before
  // any step runs (instead of being trained as Model 1).
  auto corpus = qaz::testing::RandomCorpus(30, 6, 5, 4, 2);
  auto table = qaz::TransTable::Build(6, 5, corpus, {}, 0.2);
  qaz::JointDirection f{corpus.get(), table.get(), nullptr};
  qaz::testing::RecordingReporter log;
  const qaz::Schedule schedule = {{qaz::ModelType::kModel1, 1},
                                  {qaz::ModelType::kModel2, 1}};
  QAZ_EXPECT_THROW(qaz::TrainJoint(&f, nullptr, schedule, qaz::JointOptions{},
                                   qaz::Parallel(1), log),
                   std::invalid_argument);
  QAZ_EXPECT(log.lines.empty());
  QAZ_EXPECT_EQ(table->cells()[0].p, 0.2);
}
