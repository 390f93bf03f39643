#include "align/trainer.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "align/models/factory.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "testing/harness.h"
#include "testing/random_corpus.h"

namespace {

// One pair "a" / "x" with t(x | NULL) = 1 and t(x | a) = 10: a table that is
// not a distribution, so the first M-step raises the entropy and the loop
// stops after one step.
qaz::Model Contrived(std::shared_ptr<const qaz::Corpus>* corpus_out) {
  auto corpus = std::make_shared<qaz::Corpus>();
  int32_t src[2] = {0, 1}, trg[1] = {0};
  corpus->AddPair(src, 2, trg, 1);
  qaz::Model model;
  model.type = qaz::ModelType::kModel1;
  model.trans = qaz::TransTable::Build(2, 1, corpus, {}, 1.0);
  model.trans->cells()[model.trans->Find(1, 0)].p = 10.0;
  *corpus_out = corpus;
  return model;
}

}  // namespace

QAZ_TEST(LoopStopsWhenTheEntropyRisesAndKeepsTheLastCounts) {
  std::shared_ptr<const qaz::Corpus> corpus;
  qaz::Model model = Contrived(&corpus);
  qaz::testing::RecordingReporter log;
  qaz::SweepScratch scratch;
  int steps = 0;
  qaz::RunEmLoop(qaz::ModelType::kModel1, 3, &model, *corpus, qaz::Parallel(2),
                 &scratch, log, log, [&] { ++steps; });
  QAZ_EXPECT_EQ(steps, 1);
  // The walk after step 1 also collected the next E-step's counts (0.5 and
  // 0.5); the loop stopped, so the counts are those of step 1.
  QAZ_EXPECT(std::fabs(model.trans->Count(0, 0) - 1.0 / 11.0) < 1e-15);
  QAZ_EXPECT(std::fabs(model.trans->Count(1, 0) - 10.0 / 11.0) < 1e-15);
  const std::vector<std::string> expected = {
      "I: ----",
      "I: start training IBM Model 1",
      "I: calculating entropy",
      "I: initial entropy: " + qaz::FormatRepr(qaz::Narrow(-std::log(5.5))),
      "I: --",
      "I: step: 1 / 3",
      "I: computing expected co-occurrence counts of source word and target word",
      "I: estimating word translation distribution",
      "I: calculating entropy",
      "I: entropy: 0.0",  // the corpus total starts at +0.0
  };
  QAZ_EXPECT(log.lines == expected);
}

QAZ_TEST(LoopRunsToItsLimitWithCountsOfTheLastStep) {
  auto corpus = std::make_shared<qaz::Corpus>();
  int32_t s1[2] = {0, 1}, t1[1] = {0}, s2[3] = {0, 1, 2}, t2[2] = {0, 1};
  corpus->AddPair(s1, 2, t1, 1);
  corpus->AddPair(s2, 3, t2, 2);
  auto run = [&](int32_t limit, int threads) {
    qaz::Model model;
    model.type = qaz::ModelType::kModel1;
    model.trans = qaz::TransTable::Build(3, 2, corpus, {}, 0.5);
    qaz::testing::RecordingReporter log;
    qaz::SweepScratch scratch;
    qaz::RunEmLoop(qaz::ModelType::kModel1, limit, &model, *corpus,
                   qaz::Parallel(threads), &scratch, log, log, [] {});
    return model;
  };
  // Stepping by hand: E, M, E, M.
  qaz::Model hand;
  hand.type = qaz::ModelType::kModel1;
  hand.trans = qaz::TransTable::Build(3, 2, corpus, {}, 0.5);
  qaz::SweepScratch scratch;
  qaz::NullReporter quiet;
  for (int k = 0; k < 2; ++k) {
    qaz::ExpectStep(qaz::ModelType::kModel1, &hand, *corpus, qaz::Parallel(1),
                    &scratch, quiet);
    qaz::MaximizeStep(qaz::ModelType::kModel1, &hand, quiet);
  }
  for (int threads : {1, 3}) {
    qaz::Model looped = run(2, threads);
    bool same = true;
    for (int64_t k = 0; k < hand.trans->nnz(); ++k) {
      same = same && looped.trans->cells()[k].c == hand.trans->cells()[k].c &&
             looped.trans->cells()[k].p == hand.trans->cells()[k].p;
    }
    QAZ_EXPECT(same);
  }
}

QAZ_TEST(LoopOnAnEmptyCorpusIsADivisionByZero) {
  auto corpus = std::make_shared<qaz::Corpus>();
  qaz::Model model;
  model.type = qaz::ModelType::kModel1;
  model.trans = qaz::TransTable::Build(1, 1, corpus, {}, 1.0);
  qaz::NullReporter quiet;
  qaz::SweepScratch scratch;
  QAZ_EXPECT_THROW(qaz::RunEmLoop(qaz::ModelType::kModel1, 2, &model, *corpus,
                                  qaz::Parallel(1), &scratch, quiet, quiet,
                                  [] {}),
                   qaz::ZeroDivisionError);
}

QAZ_TEST(InitLogsTheDenseSizesAndTheAllocation) {
  qaz::Vocab vocab;
  vocab.src.StrToId("__NULL__");
  vocab.src.StrToId("a");
  vocab.trg.StrToId("x");
  vocab.max_len_src = 2;
  vocab.max_len_trg = 1;
  auto corpus = std::make_shared<qaz::Corpus>();
  int32_t src[2] = {0, 1}, trg[1] = {0};
  corpus->AddPair(src, 2, trg, 1);
  qaz::testing::RecordingReporter log;
  auto t = qaz::InitTransTable(vocab, corpus, qaz::Parallel(1), log);
  auto a = qaz::InitAlignTable(vocab, *corpus, log);
  QAZ_EXPECT_EQ(t->nnz(), 2);
  QAZ_EXPECT_EQ(a->blocks().size(), 1u);
  QAZ_EXPECT_EQ(log.lines.size(), 7u);
  QAZ_EXPECT(log.lines[3].rfind("I: cell layout: an index of 2 corpus cells", 0) == 0);
  QAZ_EXPECT_EQ(log.lines[1], "I: word translation distribution matrix size: 2 [src words] x 1 [trg words] x 8 [bytes] = 16 [bytes]");
  QAZ_EXPECT_EQ(log.lines[5], "I: word alignment distribution matrix size: 1 [src len] x 1 [trg len] x 1 [trg index] x 2 [src index] x 8 [bytes] = 16 [bytes]");
}

namespace {

// Model 1 then Model 2 training on a random corpus, as the training command
// runs it; with `keep`, the last Model 2 walk is kept for the files.
qaz::Model TrainBoth(const std::shared_ptr<const qaz::Corpus>& corpus,
                     int32_t limit, int threads, bool keep) {
  const int32_t S = 12, T = 9;
  qaz::Model model;
  model.type = qaz::ModelType::kModel1;
  model.trans = qaz::TransTable::Build(S, T, corpus, {}, 1.0 / T);
  model.align = qaz::AlignTable::Build(qaz::testing::Longest(*corpus, true),
                                       qaz::testing::Longest(*corpus, false),
                                       *corpus);
  model.keep_final_walk = keep;
  qaz::NullReporter quiet;
  qaz::SweepScratch scratch;
  const qaz::Parallel parallel(threads);
  qaz::RunEmLoop(qaz::ModelType::kModel1, limit, &model, *corpus, parallel,
                 &scratch, quiet, quiet, [] {});
  model.type = qaz::ModelType::kModel2;
  qaz::RunEmLoop(qaz::ModelType::kModel2, limit, &model, *corpus, parallel,
                 &scratch, quiet, quiet, [] {});
  return model;
}

// The score and decoded-alignment files of `model` on `corpus`.
std::string Files(const qaz::Model& model, const qaz::Corpus& corpus,
                  int threads) {
  const std::string s = qaz::testing::TempPath("kept.scores");
  const std::string d = qaz::testing::TempPath("kept.decoded");
  qaz::NullReporter quiet;
  model.WritePairOutputs({{"decoded", d}, {"scores", s}}, corpus,
                         qaz::Parallel(threads), quiet);
  return qaz::testing::ReadFile(s) + "|" + qaz::testing::ReadFile(d);
}

// The same two files formed pair by pair from gathered values, as the
// scorer of another corpus forms them.
std::string ReferenceFiles(const qaz::Model& model, const qaz::Corpus& corpus) {
  std::string scores, decoded;
  qaz::PairCells cells(*model.trans, corpus);
  std::vector<double> t;
  std::vector<int32_t> best;
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    cells.Gather(p, &t);
    scores += qaz::FormatRepr(model.PairEntropy(t.data(), L, m, true)) + "\n";
    qaz::ModelOf(qaz::ModelType::kModel2).Viterbi(t.data(), model.align.get(), L, m, &best);
    for (int32_t j = 0; j < m; ++j) {
      if (j > 0) decoded += " ";
      decoded += std::to_string(j + 1) + "-" + std::to_string(best[j]);
    }
    decoded += "\n";
  }
  return scores + "|" + decoded;
}

}  // namespace

QAZ_TEST(KeptFinalWalkWritesTheFilesOfAFreshWalk) {
  auto corpus = qaz::testing::RandomCorpus(400, 12, 9, 9, 17);
  for (int32_t limit : {0, 1, 3}) {
    qaz::Model plain = TrainBoth(corpus, limit, 1, false);
    QAZ_EXPECT(plain.final_walk == nullptr);
    const std::string expected = Files(plain, *corpus, 1);
    QAZ_EXPECT(expected == ReferenceFiles(plain, *corpus));
    for (int threads : {1, 2, 3}) {
      qaz::Model kept = TrainBoth(corpus, limit, threads, true);
      QAZ_EXPECT(kept.final_walk != nullptr);
      QAZ_EXPECT_EQ(kept.final_walk->stamp, kept.TablesStamp());
      QAZ_EXPECT(Files(kept, *corpus, threads) == expected);
      // Another corpus object with the same pairs is served too.
      auto copy = std::make_shared<const qaz::Corpus>(*corpus);
      QAZ_EXPECT(Files(kept, *copy, 2) == expected);
    }
  }
}

QAZ_TEST(KeptFinalWalkIsIgnoredOnceTheTablesOrCorpusChange) {
  auto corpus = qaz::testing::RandomCorpus(300, 12, 9, 9, 5);
  qaz::Model kept = TrainBoth(corpus, 2, 2, true);
  const std::string before = Files(kept, *corpus, 1);
  // A translation value changed after training: the files follow the table.
  kept.trans->cells()[3].p *= 0.5;
  qaz::Model fresh = TrainBoth(corpus, 2, 2, false);
  fresh.trans->cells()[3].p *= 0.5;
  const std::string changed = Files(fresh, *corpus, 1);
  QAZ_EXPECT(changed != before);
  QAZ_EXPECT(Files(kept, *corpus, 1) == changed);
  kept.trans->cells()[3].p *= 2.0;
  QAZ_EXPECT(Files(kept, *corpus, 1) == before);
  // An alignment value, likewise.
  const qaz::AlignTable::Block& b = kept.align->blocks()[0];
  const double old = kept.align->values(b)[0];
  kept.align->values(b)[0] = old * 0.25 + 0.5;
  const uint64_t stamp = kept.TablesStamp();
  QAZ_EXPECT(stamp != kept.final_walk->stamp);
  kept.align->values(b)[0] = old;
  QAZ_EXPECT_EQ(kept.TablesStamp(), kept.final_walk->stamp);
  // Another corpus: its own walk.
  auto other = qaz::testing::RandomCorpus(50, 12, 9, 9, 6);
  qaz::Model walked = TrainBoth(corpus, 2, 2, false);
  QAZ_EXPECT(Files(kept, *other, 1) == Files(walked, *other, 1));
}

namespace {

// A Model 2 with uniform tables for `corpus` (S = 12, T = 9).
qaz::Model UniformModel2(const std::shared_ptr<const qaz::Corpus>& corpus) {
  qaz::Model model;
  model.type = qaz::ModelType::kModel2;
  model.trans = qaz::TransTable::Build(12, 9, corpus, {}, 1.0 / 9);
  model.align = qaz::AlignTable::Build(qaz::testing::Longest(*corpus, true),
                                       qaz::testing::Longest(*corpus, false),
                                       *corpus);
  return model;
}

bool SameTables(const qaz::Model& a, const qaz::Model& b) {
  for (int64_t k = 0; k < a.trans->nnz(); ++k) {
    if (a.trans->cells()[k].p != b.trans->cells()[k].p ||
        a.trans->cells()[k].c != b.trans->cells()[k].c) {
      return false;
    }
  }
  return a.TablesStamp() == b.TablesStamp();
}

}  // namespace

QAZ_TEST(ScheduleRunsItsStepsAsTheLoopsInTurn) {
  // The training command's schedule is the Model 1 loop then the Model 2
  // loop, each with its early stop and its log lines, on one model; the
  // walker form (corpus elsewhere) gives the same.
  auto corpus = qaz::testing::RandomCorpus(200, 12, 9, 8, 23);
  const qaz::Schedule schedule = qaz::EmSchedule(3);
  QAZ_EXPECT(schedule.size() == 2 && schedule[0].model == qaz::ModelType::kModel1 &&
             schedule[1].model == qaz::ModelType::kModel2 &&
             schedule[0].iterations == 3 && schedule[1].iterations == 3);
  const qaz::Parallel parallel(2);
  qaz::Model loops = UniformModel2(corpus);
  qaz::testing::RecordingReporter loop_log;
  qaz::SweepScratch scratch;
  int loop_steps = 0;
  for (qaz::ModelType kind : {qaz::ModelType::kModel1, qaz::ModelType::kModel2}) {
    qaz::RunEmLoop(kind, 3, &loops, *corpus, parallel, &scratch, loop_log,
                   loop_log, [&] { ++loop_steps; });
  }
  qaz::Model scheduled = UniformModel2(corpus);
  qaz::testing::RecordingReporter log;
  qaz::SweepScratch scratch2;
  int steps = 0;
  qaz::RunEmSchedule(schedule, &scheduled, *corpus, parallel, &scratch2, log,
                     log, [&] { ++steps; });
  QAZ_EXPECT(SameTables(loops, scheduled));
  QAZ_EXPECT(log.lines == loop_log.lines);
  QAZ_EXPECT_EQ(steps, loop_steps);
  // Over a walker that is told each step's model.
  qaz::Model walked = UniformModel2(corpus);
  qaz::testing::RecordingReporter walk_log;
  qaz::SweepScratch scratch3;
  std::vector<qaz::ModelType> seen;
  qaz::RunEmSchedule(
      schedule, &walked, corpus->size(),
      [&](bool entropy, bool expect, qaz::ModelType step) {
        if (seen.empty() || seen.back() != step) seen.push_back(step);
        qaz::SweepRequest request;
        request.entropy = entropy;
        request.entropy_model = qaz::ModelType::kModel2;
        request.expect = expect;
        request.expect_model = step;
        return qaz::Sweep(walked.trans.get(), walked.align.get(), *corpus,
                          request, parallel, &scratch3, walk_log);
      },
      walk_log, walk_log, [] {});
  QAZ_EXPECT(seen == (std::vector<qaz::ModelType>{qaz::ModelType::kModel1,
                                                  qaz::ModelType::kModel2}));
  QAZ_EXPECT(SameTables(loops, walked));
  QAZ_EXPECT(walk_log.lines == loop_log.lines);
}

QAZ_TEST(ScheduleRefusesAStepWithoutAWalkBeforeRunning) {
  auto corpus = qaz::testing::RandomCorpus(50, 12, 9, 6, 3);
  qaz::Model model = UniformModel2(corpus);
  const uint64_t before = model.TablesStamp();
  qaz::testing::RecordingReporter log;
  qaz::SweepScratch scratch;
  const qaz::Schedule schedule = {{qaz::ModelType::kModel1, 2},
                                  {qaz::ModelType::kHmm, 2}};
  QAZ_EXPECT_THROW(qaz::RunEmSchedule(schedule, &model, *corpus,
                                      qaz::Parallel(1), &scratch, log, log,
                                      [] {}),
                   std::invalid_argument);
  QAZ_EXPECT(log.lines.empty());
  QAZ_EXPECT_EQ(model.TablesStamp(), before);
}

QAZ_TEST(ScheduleHookGivesEachStepItsReporterAndModelChanges) {
  // Each step logs to the reporter its hook gives; a change the hook makes
  // before a step (keeping the last walk) holds for that step only as the
  // separate loops with the change made between them.
  auto corpus = qaz::testing::RandomCorpus(200, 12, 9, 8, 29);
  const qaz::Parallel parallel(2);
  qaz::Model loops = UniformModel2(corpus);
  qaz::testing::RecordingReporter core1, lex1, pos1;
  qaz::SweepScratch scratch;
  std::vector<qaz::ModelType> loop_steps;
  qaz::RunEmLoop(qaz::ModelType::kModel1, 3, &loops, *corpus, parallel,
                 &scratch, core1, lex1,
                 [&] { loop_steps.push_back(qaz::ModelType::kModel1); });
  loops.keep_final_walk = true;
  qaz::RunEmLoop(qaz::ModelType::kModel2, 3, &loops, *corpus, parallel,
                 &scratch, core1, pos1,
                 [&] { loop_steps.push_back(qaz::ModelType::kModel2); });

  qaz::Model scheduled = UniformModel2(corpus);
  qaz::testing::RecordingReporter core2, lex2, pos2;
  qaz::SweepScratch scratch2;
  std::vector<qaz::ModelType> started, steps;
  qaz::RunEmSchedule(
      qaz::EmSchedule(3), &scheduled, *corpus, parallel, &scratch2, core2,
      [&](const qaz::ScheduleStep& step) -> qaz::Reporter& {
        started.push_back(step.model);
        QAZ_EXPECT(!scheduled.keep_final_walk);
        if (step.model == qaz::ModelType::kModel2) {
          scheduled.keep_final_walk = true;
          return pos2;
        }
        return lex2;
      },
      [&](qaz::ModelType kind) { steps.push_back(kind); });
  QAZ_EXPECT(started == (std::vector<qaz::ModelType>{qaz::ModelType::kModel1,
                                                     qaz::ModelType::kModel2}));
  QAZ_EXPECT(steps == loop_steps);
  QAZ_EXPECT(!lex2.lines.empty() && !pos2.lines.empty());
  QAZ_EXPECT(lex2.lines == lex1.lines);
  QAZ_EXPECT(pos2.lines == pos1.lines);
  QAZ_EXPECT(core2.lines == core1.lines);
  QAZ_EXPECT(SameTables(loops, scheduled));
  QAZ_EXPECT(loops.final_walk != nullptr && scheduled.final_walk != nullptr);
  QAZ_EXPECT_EQ(scheduled.final_walk->stamp, scheduled.TablesStamp());
}
