// Training: the set-up of the tables, the E- and M-steps with their log
// lines, and the EM loop with its early stop.
//
// The loop walks the corpus once per iteration: the walk that gives the
// entropy after an M-step also collects the next E-step's counts.  Those
// counts are speculative until the loop decides to go on; when it stops
// (the entropy did not fall, or an error or an interrupt ends the walk) the
// counts of the last E-step that ran are put back, so a written table never
// shows counts of an E-step that did not happen.
#ifndef QAZ_ALIGN_TRAINER_H_
#define QAZ_ALIGN_TRAINER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "align/corpus.h"
#include "align/model.h"
#include "align/models/model.h"
#include "align/sweep.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace qaz {

// The log lines of a loaded corpus ("source vocabulary size: ..." etc.).
void ReportVocab(const Vocab& vocab, Reporter& log);
// The first lines of a direction's set-up in the aligner ("----", "training
// the <name> model on N sentence pairs", then ReportVocab).
void ReportDirectionStart(const std::string& name, int64_t pairs,
                          const Vocab& vocab, Reporter& log);
// The line before the uniform translation table is laid out, and the one
// before the uniform alignment table is.
void LogTransStart(Reporter& log);
void LogAlignStart(Reporter& log);

// The uniform translation table of `corpus` (every entry 1/T) in the
// layout that fits `plan`; logs the matrix size, what was allocated and the
// layout.  A null corpus
// gives a table without rows.
std::shared_ptr<TransTable> InitTransTable(
    const Vocab& vocab, std::shared_ptr<const Corpus> corpus,
    const Parallel& parallel, Reporter& log, const MemoryPlan& plan = {});
// The log lines of a translation table's size and layout ("word translation
// distribution matrix size: ...", "allocated: ...", "cell layout: ...").
void ReportTransTable(const TransTable& table, Reporter& log);
// The log lines of an alignment table of dense dimensions A x B.
void ReportAlignTable(const AlignTable& table, int64_t A, int64_t B,
                      Reporter& log);
// The uniform alignment table of the shapes of `corpus`; logs its size.
std::shared_ptr<AlignTable> InitAlignTable(const Vocab& vocab,
                                           const Corpus& corpus,
                                           Reporter& log);

// The log lines of an E-step of `kind`.
void LogExpectStep(ModelType kind, Reporter& log);
// The E-step of `kind` (one walk) and the M-step (with its log line); the
// M-step keeps the counts aside (TransTable::Normalize).
void ExpectStep(ModelType kind, Model* model, const Corpus& corpus,
                const Parallel& parallel, SweepScratch* scratch,
                Reporter& log);
void MaximizeStep(ModelType kind, Model* model, Reporter& log,
                  const Parallel* parallel = nullptr);

// Runs up to `limit` iterations of `kind` on the model's tables (laid out
// for `corpus`), logging as the trainers do ("start training IBM Model N",
// entropies, steps); `model_log` carries the lines of the model's module,
// `core_log` those of the entropy.  `on_step` is called when an E-step
// counts as done (its counts are then the table's).  With
// model->keep_final_walk, a Model 2 loop keeps its last walk's pair
// entropies and best links in model->final_walk.
void RunEmLoop(ModelType kind, int32_t limit, Model* model,
               const Corpus& corpus, const Parallel& parallel,
               SweepScratch* scratch, Reporter& core_log, Reporter& model_log,
               const std::function<void()>& on_step);

// One walk over a corpus under the model's current tables: returns the sum
// over the pairs of the per-word entropies when `entropy` (0 otherwise) and
// leaves the E-step's expected counts in the tables when `expect`.
using Walker = std::function<double(bool entropy, bool expect)>;

// The same loop over a corpus of `pairs` pairs walked by `walker` (the
// corpus may live elsewhere, e.g. in shards on other machines).  Whether a
// walk gives the entropy and the next counts at once follows
// TransTable::keeps_counts_aside() of the model's table.
// `final_walker`, when given, makes the walk that is known to be the loop's
// last (an entropy alone, after the last iteration or with no iteration)
// instead of `walker`; `parallel`, when given, runs the M-steps.
void RunEmLoop(ModelType kind, int32_t limit, Model* model, int64_t pairs,
               const Walker& walker, Reporter& core_log, Reporter& model_log,
               const std::function<void()>& on_step,
               const Walker& final_walker = nullptr,
               const Parallel* parallel = nullptr);

// The training command's schedule: IBM Model 1 then IBM Model 2,
// `iterations` each (each step with its early stop), on one model.
Schedule EmSchedule(int32_t iterations);

// Runs a schedule of Models 1 and 2 on the model's tables, one RunEmLoop a
// step (its log lines, its early stop); std::invalid_argument for a step of
// another model, before anything runs.
void RunEmSchedule(const Schedule& schedule, Model* model,
                   const Corpus& corpus, const Parallel& parallel,
                   SweepScratch* scratch, Reporter& core_log,
                   Reporter& model_log, const std::function<void()>& on_step);
// The same with a hook before each step: `start_step` gets the step (it may
// still change the model, e.g. model->keep_final_walk) and gives the
// reporter of the step's model lines; `on_step(model of the step)` as above.
using StepStart = std::function<Reporter&(const ScheduleStep& step)>;
void RunEmSchedule(const Schedule& schedule, Model* model,
                   const Corpus& corpus, const Parallel& parallel,
                   SweepScratch* scratch, Reporter& core_log,
                   const StepStart& start_step,
                   const std::function<void(ModelType step)>& on_step);
// The same over a corpus walked elsewhere: walk(entropy, expect, step's
// model) as a Walker of that step.
using StepWalker =
    std::function<double(bool entropy, bool expect, ModelType step)>;
void RunEmSchedule(const Schedule& schedule, Model* model, int64_t pairs,
                   const StepWalker& walk, Reporter& core_log,
                   Reporter& model_log, const std::function<void()>& on_step);
// The same with the hook before each step and `on_step(model of the step)`.
void RunEmSchedule(const Schedule& schedule, Model* model, int64_t pairs,
                   const StepWalker& walk, Reporter& core_log,
                   const StepStart& start_step,
                   const std::function<void(ModelType step)>& on_step);

}  // namespace qaz

#endif  // QAZ_ALIGN_TRAINER_H_
