// The objects of the alignment modules: vocabulary, corpus view, models and
// trainers, shared by qaz.smt.align.emcore (Vocab, Model, Trainer), emlex
// (Model1, Model1Trainer) and empos (Model2, Model2Trainer).
//
// Each class's virtual functions are its table of operations, in slot order.
// A subclass replaces entries and adds none.  Calls that must reach one
// class's own version whatever the object (Model1Trainer::Train calls
// Model1Trainer::TrainStep, which calls Model1Trainer's E- and M-steps) are
// written as qualified calls.
//
// Ownership: a trainer holds its model, a model its Vocab, both as
// interpreter references; the tables and the corpus are engine objects held
// by shared pointers.
#ifndef QAZ_BINDINGS_ALIGN_OBJECTS_H_
#define QAZ_BINDINGS_ALIGN_OBJECTS_H_

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/model.h"
#include "align/sweep.h"
#include "align/trans_table.h"
#include "align/writers.h"
#include "pickle_support.h"

namespace qaz_py {

namespace py = pybind11;

inline constexpr const char* kCore = "qaz.smt.align.emcore";
inline constexpr const char* kLex = "qaz.smt.align.emlex";
inline constexpr const char* kPos = "qaz.smt.align.empos";

// The entries of a translation-table file, its words entered into a
// vocabulary: read once, before the table is laid out, and set after.
struct TransEntriesObj {
  std::vector<qaz::TransEntry> entries;
};

class VocabObj {
 public:
  VocabObj() { Init(); }
  void Init() { vocab.Init(); }
  // Loads a corpus (entering its tokens) and returns its pairs.
  py::object LoadSentPairs(py::handle src_path, py::handle trg_path,
                           bool character_based);
  // Its log line.
  static void LogLoading(py::handle src_path, py::handle trg_path);
  py::tuple IdsPairToStrPair(py::handle src_ids, py::handle trg_ids,
                             bool character_based) const;

  qaz::Vocab vocab;
};

// The id-encoded corpus, as scripts see it: a sequence of (source ids,
// target ids) pairs.
class SentPairsObj {
 public:
  explicit SentPairsObj(std::shared_ptr<const qaz::Corpus> c)
      : corpus(std::move(c)) {}
  py::tuple Pair(int64_t p) const;
  py::list ToList() const;

  std::shared_ptr<const qaz::Corpus> corpus;
};

// The native corpus behind `sent_pairs`: a SentPairs object as it is, a
// list of pairs converted (with the interpreter's unpacking errors).
std::shared_ptr<const qaz::Corpus> CorpusOf(py::handle sent_pairs);

// The model classes: the engine model (its type set by the class) and the
// vocabulary as the interpreter object scripts see.
class ModelObj {
 public:
  ModelObj() = default;
  explicit ModelObj(qaz::ModelType type) { engine.type = type; }
  virtual ~ModelObj() = default;

  void Init();
  double CalcEntropy(py::handle sent_pairs) const;
  // Either path may be None: one walk writes what is asked for.
  void ScoreAndDecode(py::handle scores_path, py::handle decoded_path,
                      py::handle sent_pairs) const;
  void SaveAlignDist(const std::string& path, py::handle threshold) const;
  void SaveTransDist(const std::string& path, py::handle threshold,
                     py::handle nbest) const;
  // One pair given as two id lists (scripts, tests).
  double CalcPairEntropy(py::handle src_ids, py::handle trg_ids,
                         bool average) const;

  VocabObj& Vocab() const;  // TypeError when none
  void SetVocab(py::object v);

  // Scoring: a translation file (read and set, or its entries read before
  // setup and set after) and the alignment file.
  void LoadTransDist(const std::string& path);
  void LoadTransEntries(const TransEntriesObj& entries);
  void LoadAlignDist(const std::string& path);

  // Pickled state: (align_dist, trans_dist, vocab) as dense arrays.
  py::tuple GetState() const;
  void SetState(py::handle state);

  py::object vocab = py::none();
  qaz::Model engine;
  int threads = 0;  // 0: every CPU the process may use
};

class Model1Obj : public ModelObj {
 public:
  Model1Obj() : ModelObj(qaz::ModelType::kModel1) {}
};

class Model2Obj : public Model1Obj {
 public:
  Model2Obj() { engine.type = qaz::ModelType::kModel2; }
};

// Expected counts as the trainer holds them: not collected yet, collected
// by the engine (beside the probabilities of `trans`/`align`), or restored
// from a pickled state as an array.
struct CountState {
  enum Kind { kNone, kNative, kArray } kind = kNone;
  std::shared_ptr<qaz::TransTable> trans;
  std::shared_ptr<qaz::AlignTable> align;
  py::object array = py::none();
};

class TrainerObj {
 public:
  virtual ~TrainerObj() = default;

  // Constructor steps shared by every trainer class.
  void Construct(py::object conf, py::dict others);

  virtual void Init();               // 0
  virtual void InitTransDist();      // 1
  virtual void InitAlignDist();      // 2
  virtual void ExpectStep();         // 3
  virtual void MaximizeStep();       // 4
  virtual void SaveAlignDist(const std::string& path, py::handle threshold);
  virtual void SaveTransDist(const std::string& path, py::handle threshold,
                             py::handle nbest);
  virtual void Setup();              // 7
  // Setup with the pairs of the trainer's own files, already loaded by its
  // model's vocabulary: the same log lines, without reading them again.
  void SetupWith(py::handle pairs);
  virtual void Train(int32_t iteration_limit);  // 8
  virtual void TrainStep();          // 9

  ModelObj& Model() const;  // AttributeError-like TypeError when none
  qaz::Model& Engine() const { return Model().engine; }
  // The corpus of `sent_pairs` (converted once when it is a list).
  std::shared_ptr<const qaz::Corpus> Corpus();

  py::tuple GetState() const;
  void SetState(py::handle state);

  py::object model = py::none();
  py::object src_path = py::none();
  py::object trg_path = py::none();
  py::object sent_pairs = py::none();
  py::object loaded_pairs = py::none();  // for Setup, from SetupWith
  bool character_based = false;
  int threads = 0;   // 0: every CPU the process may use
  qaz::MemoryPlan memory;
  CountState cooc;   // count_cooc_src2trg
  CountState align;  // count_align_trg2src

 protected:
  // The translation table laid out for the corpus.
  qaz::TransTable& TransForCorpus(const std::shared_ptr<const qaz::Corpus>& c);
  // The E-step of `kind` and the EM loop of `kind` on the engine.
  void RunExpectStep(qaz::ModelType kind, const char* module);
  void RunTrain(qaz::ModelType kind, int32_t limit, const char* module);
  // The count states after an E-step of `kind` ran.
  void MarkCounts(qaz::ModelType kind);
  qaz::SweepScratch scratch_;

 private:
  py::object converted_from_ = py::none();
  std::shared_ptr<const qaz::Corpus> converted_;
};

class Model1TrainerObj : public TrainerObj {
 public:
  void Init() override;
  void InitTransDist() override;
  void ExpectStep() override;
  void MaximizeStep() override;
  void Setup() override;
  void Train(int32_t iteration_limit) override;
  void TrainStep() override;
};

class Model2TrainerObj : public Model1TrainerObj {
 public:
  void Init() override;
  void InitAlignDist() override;
  void ExpectStep() override;
  void MaximizeStep() override;
  void Setup() override;
  void Train(int32_t iteration_limit) override;
  void TrainStep() override;
  // The training command's schedule in one call: the Model 1 loop then the
  // Model 2 loop, `iterations` each, as Model1Trainer._train then _train;
  // with `keep_final_walk`, the Model 2 loop keeps its last walk.
  void TrainSchedule(int32_t iterations, bool keep_final_walk);
};

// The memory plan of the configuration keys memory_limit (bytes, or a size
// text such as "320M") and cell_layout ("auto", "index", "lookup[:CELLS]").
qaz::MemoryPlan MemoryPlanOf(py::handle limit, py::handle layout);

// Field names and checksums of the pickled states.
inline constexpr const char* kTrainerFields =
    "character_based, count_align_trg2src, count_cooc_src2trg, model, "
    "sent_pairs, src_path, trg_path";
inline constexpr const char* kModelFields = "align_dist, trans_dist, vocab";
inline const pickling::Layout kTrainerLayout{{0x83f4426, 0x81f0996, 0x099432f},
                                            kTrainerFields};
inline const pickling::Layout kModelLayout{{0xfb35628, 0x73c4b42, 0x7d370c5},
                                          kModelFields};

// Creates `cls` (a trainer class) without running its constructor: its
// nearest native class makes the native part.
py::object RawNew(py::handle cls);

// Binding helpers for the three modules.
void BindVocabAndModel(py::module_& m);
void BindTrainer(py::module_& m);
void BindModel1(py::module_& m);
void BindModel2(py::module_& m);

}  // namespace qaz_py

#endif  // QAZ_BINDINGS_ALIGN_OBJECTS_H_
