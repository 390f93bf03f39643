#include "align/trainer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "align/models/factory.h"
#include "common/errors.h"
#include "common/float_format.h"

namespace qaz {

void LogExpectStep(ModelType kind, Reporter& log) {
  ModelOf(kind).LogExpectStep(log);
}

namespace {

ModelType EntropyKind(const Model& model) {
  if (model.type == ModelType::kAbstract) throw NotImplementedError();
  return model.type;
}

// Whether the model of an E-step (or an entropy) reads the alignment table.
bool HasAlign(ModelType kind) { return ModelOf(kind).has_align_table(); }

// A walk whose counts may have to be taken back: saves the counts it
// overwrites and restores them unless Keep() is called.
class SpeculativeCounts {
 public:
  SpeculativeCounts(Model* model, bool align, bool active)
      : model_(model), align_(align), kept_(!active) {}
  ~SpeculativeCounts() {
    if (kept_) return;
    model_->trans->RestoreCounts();
    if (align_) model_->align->RestoreCounts();
  }
  void Keep() { kept_ = true; }

 private:
  Model* model_;
  bool align_;
  bool kept_;
};

}  // namespace

void ReportDirectionStart(const std::string& name, int64_t pairs,
                          const Vocab& vocab, Reporter& log) {
  log.Info("----");
  log.Info("training the " + name + " model on " + Thousands(pairs) +
           " sentence pairs");
  ReportVocab(vocab, log);
}

void LogTransStart(Reporter& log) {
  log.Info("initializing word translation probabilities as uniform "
           "distribution");
}

void LogAlignStart(Reporter& log) {
  log.Info("initializing index alignment probabilities as uniform "
           "distribution");
}

void ReportVocab(const Vocab& vocab, Reporter& log) {
  log.Info("source vocabulary size: " + Thousands(vocab.src.size()));
  log.Info("target vocabulary size: " + Thousands(vocab.trg.size()));
  log.Info("max source length: " + Thousands(vocab.max_len_src));
  log.Info("max target length: " + Thousands(vocab.max_len_trg));
}

std::shared_ptr<TransTable> InitTransTable(
    const Vocab& vocab, std::shared_ptr<const Corpus> corpus,
    const Parallel& parallel, Reporter& log, const MemoryPlan& plan) {
  const int32_t S = vocab.src.size(), T = vocab.trg.size();
  LogTransStart(log);
  auto table = TransTable::Build(S, T, std::move(corpus), {},
                                 1.0 / static_cast<double>(T), &log,
                                 &parallel, &plan);
  ReportTransTable(*table, log);
  return table;
}

void ReportTransTable(const TransTable& table, Reporter& log) {
  const int32_t S = table.S(), T = table.T();
  log.Info("word translation distribution matrix size: " + std::to_string(S) +
           " [src words] x " + std::to_string(T) +
           " [trg words] x 8 [bytes] = " +
           Thousands(static_cast<long long>(S) * T * 8) + " [bytes]");
  log.Info("allocated: " +
           Thousands(static_cast<long long>(table.MemoryBytes())) +
           " [bytes] for " + Thousands(table.nnz()) +
           " co-occurring word pairs");
  log.Info(table.layout_note());
}

void ReportAlignTable(const AlignTable& table, int64_t A, int64_t B,
                      Reporter& log) {
  log.Info("word alignment distribution matrix size: " + std::to_string(A - 1) +
           " [src len] x " + std::to_string(B) + " [trg len] x " +
           std::to_string(B) + " [trg index] x " + std::to_string(A) +
           " [src index] x 8 [bytes] = " + Thousands((A - 1) * B * B * A * 8) +
           " [bytes]");
  log.Info("allocated: " +
           Thousands(static_cast<long long>(table.MemoryBytes())) +
           " [bytes] for " + Thousands(table.blocks().size()) +
           " sentence shapes");
}

std::shared_ptr<AlignTable> InitAlignTable(const Vocab& vocab,
                                           const Corpus& corpus,
                                           Reporter& log) {
  const int64_t A = vocab.max_len_src, B = vocab.max_len_trg;
  LogAlignStart(log);
  std::shared_ptr<AlignTable> table;
  {
    const int64_t rows = std::max<int64_t>(A - 1, 0) * B;
    ProgressTicker ticker(log, "initializing", rows, 1);
    table = AlignTable::Build(static_cast<int32_t>(A), static_cast<int32_t>(B),
                              corpus);
    ticker.Tick(rows);
    ticker.Flush();
  }
  ReportAlignTable(*table, A, B, log);
  return table;
}

void ExpectStep(ModelType kind, Model* model, const Corpus& corpus,
                const Parallel& parallel, SweepScratch* scratch,
                Reporter& log) {
  model->Trans();
  if (HasAlign(kind)) model->Align();
  SweepRequest request;
  request.expect = true;
  request.expect_model = kind;
  Sweep(model->trans.get(), model->align.get(), corpus, request, parallel,
        scratch, log);
}

void MaximizeStep(ModelType kind, Model* model, Reporter& log,
                  const Parallel* parallel) {
  ModelOf(kind).Maximize(model->trans.get(), model->align.get(),
                         model->trans->keeps_counts_aside(), parallel, log);
}

void RunEmLoop(ModelType kind, int32_t limit, Model* model,
               const Corpus& corpus, const Parallel& parallel,
               SweepScratch* scratch, Reporter& core_log, Reporter& model_log,
               const std::function<void()>& on_step) {
  // One walk of the loop; `outcome`, when given, keeps the pair entropies
  // and best links of an entropy walk of Model 2 without an E-step.
  auto sweep = [&](bool entropy, bool expect, PairOutcome* outcome) {
    SweepRequest request;
    request.entropy = entropy;
    if (entropy) request.entropy_model = EntropyKind(*model);
    request.expect = expect;
    request.expect_model = kind;
    request.outcome = outcome;
    return Sweep(model->trans.get(), model->align.get(), corpus, request,
                 parallel, scratch, core_log);
  };
  const Walker local = [&](bool entropy, bool expect) {
    return sweep(entropy, expect, nullptr);
  };
  // The last walk of a Model 2 loop reads the tables the score and
  // decoded-alignment files are written from: it can keep their values.
  Walker final_walker;
  if (model->keep_final_walk && kind == ModelType::kModel2 &&
      EntropyKind(*model) == ModelType::kModel2 && model->trans &&
      model->RoomToKeepWalk(corpus)) {
    final_walker = [&](bool entropy, bool expect) {
      if (!entropy || expect) return sweep(entropy, expect, nullptr);
      auto kept = std::make_shared<KeptWalk>();
      const double total = sweep(true, false, &kept->outcome);
      kept->corpus = model->trans->indexed_corpus_ptr();
      kept->stamp = model->TablesStamp();
      model->final_walk = std::move(kept);
      return total;
    };
  }
  model->final_walk.reset();
  RunEmLoop(kind, limit, model, corpus.size(), local, core_log, model_log,
            on_step, final_walker, &parallel);
}

void RunEmLoop(ModelType kind, int32_t limit, Model* model, int64_t pairs,
               const Walker& walker, Reporter& core_log, Reporter& model_log,
               const std::function<void()>& on_step,
               const Walker& final_walker, const Parallel* parallel) {
  model_log.Info("----");
  model_log.Info("start training " + ModelTitle(kind));
  const bool model2 = HasAlign(kind);

  // One walk: the entropy of the current tables and, when asked, the counts
  // of the next E-step.
  auto walk = [&](bool expect, bool final) {
    core_log.Info("calculating entropy");
    if (pairs == 0) throw ZeroDivisionError("float division");
    const ModelType entropy_kind = EntropyKind(*model);
    model->Trans();
    if (HasAlign(entropy_kind) || model2) model->Align();
    const double total = final && !expect && final_walker
                             ? final_walker(true, expect)
                             : walker(true, expect);
    return Narrow(total / static_cast<double>(pairs));
  };

  // With the counts kept aside, a walk gives the entropy of the tables and
  // the next E-step's counts at once; otherwise each E-step walks alone.
  const bool fused = model->Trans().keeps_counts_aside();
  double previous;
  {
    // The first walk also makes the first E-step; until it is done the
    // counts it overwrites (an earlier loop's) are kept aside.
    const bool expect = fused && limit > 0;
    if (expect) {
      if (model2) model->Align();
      model->trans->SaveCounts();
      if (model2) model->align->SaveCounts();
    }
    SpeculativeCounts guard(model, model2, expect);
    previous = walk(expect, limit <= 0);
    guard.Keep();
  }
  model_log.Info("initial entropy: " + FormatRepr(previous));
  for (int32_t k = 0; k < limit; ++k) {
    model_log.Info("--");
    model_log.Info("step: " + std::to_string(k + 1) + " / " +
                   std::to_string(limit));
    LogExpectStep(kind, model_log);
    // With fused walks, the last walk collected the counts already.
    if (!fused) {
      model->Trans();
      if (model2) model->Align();
      walker(false, true);
    }
    on_step();
    MaximizeStep(kind, model, model_log, parallel);  // keeps the counts aside
    const bool last = k + 1 == limit;
    SpeculativeCounts guard(model, model2, fused && !last);
    const double current = walk(fused && !last, last);
    model_log.Info("entropy: " + FormatRepr(current));
    if (current >= previous) break;
    guard.Keep();
    previous = current;
  }
}

Schedule EmSchedule(int32_t iterations) {
  return {{ModelType::kModel1, iterations}, {ModelType::kModel2, iterations}};
}

namespace {

void CheckEmSchedule(const Schedule& schedule) {
  for (const ScheduleStep& step : schedule) {
    if (step.model != ModelType::kModel1 && step.model != ModelType::kModel2) {
      throw std::invalid_argument(
          std::string("an EM schedule takes Models 1 and 2, not ") +
          ModelName(step.model));
    }
  }
}

}  // namespace

void RunEmSchedule(const Schedule& schedule, Model* model,
                   const Corpus& corpus, const Parallel& parallel,
                   SweepScratch* scratch, Reporter& core_log,
                   Reporter& model_log, const std::function<void()>& on_step) {
  RunEmSchedule(
      schedule, model, corpus, parallel, scratch, core_log,
      [&](const ScheduleStep&) -> Reporter& { return model_log; },
      [&](ModelType) { on_step(); });
}

void RunEmSchedule(const Schedule& schedule, Model* model,
                   const Corpus& corpus, const Parallel& parallel,
                   SweepScratch* scratch, Reporter& core_log,
                   const StepStart& start_step,
                   const std::function<void(ModelType step)>& on_step) {
  CheckEmSchedule(schedule);
  for (const ScheduleStep& step : schedule) {
    Reporter& model_log = start_step(step);
    RunEmLoop(step.model, step.iterations, model, corpus, parallel, scratch,
              core_log, model_log, [&] { on_step(step.model); });
  }
}

void RunEmSchedule(const Schedule& schedule, Model* model, int64_t pairs,
                   const StepWalker& walk, Reporter& core_log,
                   Reporter& model_log, const std::function<void()>& on_step) {
  RunEmSchedule(
      schedule, model, pairs, walk, core_log,
      [&](const ScheduleStep&) -> Reporter& { return model_log; },
      [&](ModelType) { on_step(); });
}

void RunEmSchedule(const Schedule& schedule, Model* model, int64_t pairs,
                   const StepWalker& walk, Reporter& core_log,
                   const StepStart& start_step,
                   const std::function<void(ModelType step)>& on_step) {
  CheckEmSchedule(schedule);
  for (const ScheduleStep& step : schedule) {
    Reporter& model_log = start_step(step);
    const Walker walker = [&](bool entropy, bool expect) {
      return walk(entropy, expect, step.model);
    };
    RunEmLoop(step.model, step.iterations, model, pairs, walker, core_log,
              model_log, [&] { on_step(step.model); });
  }
}

}  // namespace qaz
