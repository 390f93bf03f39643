#include "align_objects.h"

#include <Python.h>

#include <cmath>
#include <functional>
#include <limits>

#include "align/dense.h"
#include "align/models/factory.h"
#include "align/trainer.h"
#include "common/memory.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "py_support.h"

namespace qaz_py {

namespace {

py::list IdList(qaz::IdSpan span) {
  py::list out(span.size);
  for (int32_t k = 0; k < span.size; ++k) {
    out[k] = py::int_(span[k]);
  }
  return out;
}

// Reads a Python id list into `ids` (list or none, else the interpreter's
// errors).
void ReadIds(py::handle value, std::vector<int32_t>* ids) {
  if (value.is_none()) {
    throw py::type_error("object of type 'NoneType' has no len()");
  }
  if (!PyList_Check(value.ptr())) ThrowExpected("list", value);
  ids->clear();
  for (py::handle item : value) {
    long long v = PyLong_AsLongLong(item.ptr());
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (v < std::numeric_limits<int32_t>::min() ||
        v > std::numeric_limits<int32_t>::max()) {
      throw py::index_error("id " + std::to_string(v) + " is out of bounds");
    }
    ids->push_back(static_cast<int32_t>(v));
  }
}

// Unpacks a sentence pair as `src, trg = pair` would.
std::pair<py::object, py::object> Unpack(py::handle pair) {
  py::object seq = py::reinterpret_steal<py::object>(
      PySequence_Fast(pair.ptr(), ""));
  if (!seq) {
    PyErr_Clear();
    throw py::type_error("cannot unpack non-iterable " + TypeName(pair) +
                         " object");
  }
  Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
  if (n < 2) {
    throw py::value_error("not enough values to unpack (expected 2, got " +
                          std::to_string(n) + ")");
  }
  if (n > 2) throw py::value_error("too many values to unpack (expected 2)");
  PyObject** items = PySequence_Fast_ITEMS(seq.ptr());
  return {py::reinterpret_borrow<py::object>(items[0]),
          py::reinterpret_borrow<py::object>(items[1])};
}

double ToDouble(py::handle value) {
  double v = PyFloat_AsDouble(value.ptr());
  if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
  return v;
}

std::optional<int64_t> NbestArg(py::handle value) {
  if (value.is_none()) return std::nullopt;
  if (!PyLong_Check(value.ptr())) {
    throw py::type_error("slice indices must be integers or None or have an "
                         "__index__ method");
  }
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow > 0) return std::numeric_limits<int64_t>::max();
  if (overflow < 0) return std::numeric_limits<int64_t>::min() / 2;
  return v;
}

bool IsArray(py::handle value) {
  return py::isinstance<py::array>(value);
}

py::array_t<double> DenseTransArray(const qaz::TransTable& table, bool counts) {
  qaz::CheckDenseSize(static_cast<double>(table.S()) * table.T(),
                      "a " + std::to_string(table.S()) + " x " +
                          std::to_string(table.T()) + " translation table");
  py::array_t<double> out({table.S(), table.T()});
  qaz::DenseTrans(table, counts, out.mutable_data());
  return out;
}

py::array_t<double> DenseAlignArray(const qaz::AlignTable& align, bool counts) {
  const int64_t A = align.A(), B = align.B();
  qaz::CheckDenseSize(static_cast<double>(A - 1) * B * B * A,
                      "the alignment table");
  py::array_t<double> out({A - 1, B, B, A});
  qaz::DenseAlign(align, counts, out.mutable_data());
  return out;
}

using DenseArray =
    py::array_t<double, py::array::c_style | py::array::forcecast>;

std::shared_ptr<qaz::TransTable> TransFromArray(py::handle value) {
  DenseArray arr = DenseArray::ensure(value);
  if (!arr || arr.ndim() != 2) {
    throw py::value_error("trans_dist must be a 2-D array");
  }
  return qaz::TransFromDense(arr.data(), static_cast<int32_t>(arr.shape(0)),
                             static_cast<int32_t>(arr.shape(1)));
}

std::shared_ptr<qaz::AlignTable> AlignFromArray(py::handle value) {
  DenseArray arr = DenseArray::ensure(value);
  if (!arr || arr.ndim() != 4) {
    throw py::value_error("align_dist must be a 4-D array");
  }
  return qaz::AlignFromDense(
      arr.data(), static_cast<int32_t>(arr.shape(0)),
      static_cast<int32_t>(arr.shape(1)), static_cast<int32_t>(arr.shape(2)),
      static_cast<int32_t>(arr.shape(3)));
}

// A restored count array as the writers read it: float64, C order, indexed
// with numpy's bounds checks (negative indices count from the end).
class ArrayCounts {
 public:
  ArrayCounts() = default;
  explicit ArrayCounts(py::handle value) : arr_(DenseArray::ensure(value)) {
    if (!arr_) throw py::error_already_set();
  }
  double At(std::initializer_list<int64_t> index) const {
    if (static_cast<size_t>(arr_.ndim()) != index.size()) {
      throw std::out_of_range("too many indices for array: array is " +
                              std::to_string(arr_.ndim()) +
                              "-dimensional, but " +
                              std::to_string(index.size()) + " were indexed");
    }
    int64_t flat = 0;
    int axis = 0;
    for (int64_t k : index) {
      const int64_t size = arr_.shape(axis);
      if (k < -size || k >= size) qaz::ThrowOutOfBounds(k, axis, size);
      flat = flat * size + (k < 0 ? k + size : k);
      ++axis;
    }
    return arr_.data()[flat];
  }

 private:
  DenseArray arr_;
};

// Count column of the trainer files; read from the writer threads, so it
// holds no interpreter objects of its own.
class TrainerCounts : public qaz::CountSource {
 public:
  TrainerCounts(const CountState& cooc, const CountState& align,
                const qaz::TransTable* written)
      : cooc_(cooc), align_(align), written_(written) {
    if (cooc.kind == CountState::kArray) cooc_array_ = ArrayCounts(cooc.array);
    if (align.kind == CountState::kArray) {
      align_array_ = ArrayCounts(align.array);
    }
  }

  double TransCount(int32_t s, int32_t t, int64_t cell) const override {
    switch (cooc_.kind) {
      case CountState::kNone:
        return 0.0;
      case CountState::kNative:
        if (cooc_.trans.get() == written_ && cell >= 0) {
          return written_->cells()[cell].c;
        }
        cooc_.trans->CheckRange(s, t);
        return cooc_.trans->Count(s, t);
      case CountState::kArray:
        return cooc_array_.At({s, t});
    }
    return 0.0;
  }

  const double* AlignBlockCounts(const qaz::AlignTable& written,
                                 const qaz::AlignTable::Block& b) const override {
    if (align_.kind != CountState::kNative || align_.align.get() != &written) {
      return nullptr;
    }
    return written.counts(b);
  }

  double AlignCount(int64_t u, int64_t v, int64_t j,
                    int64_t i) const override {
    switch (align_.kind) {
      case CountState::kNone:
        return 0.0;
      case CountState::kNative: {
        const qaz::AlignTable::Block* b = align_.align->Find(
            static_cast<int32_t>(u) + 1, static_cast<int32_t>(v) + 1);
        const int32_t L = static_cast<int32_t>(u) + 2;
        if (b == nullptr || j >= b->J || i >= L) return 0.0;
        return align_.align->counts(*b)[j * L + i];
      }
      case CountState::kArray:
        return align_array_.At({u, v, j, i});
    }
    return 0.0;
  }

 private:
  const CountState& cooc_;
  const CountState& align_;
  const qaz::TransTable* written_;
  ArrayCounts cooc_array_, align_array_;
};

}  // namespace

qaz::MemoryPlan MemoryPlanOf(py::handle limit, py::handle layout) {
  qaz::MemoryPlan plan;
  if (!limit.is_none()) {
    if (PyUnicode_Check(limit.ptr())) {
      std::string text = limit.cast<std::string>();
      std::optional<int64_t> bytes = qaz::ParseSize(text);
      if (!bytes) {
        throw py::value_error("memory_limit: not a size: '" + text +
                              "' (a positive number with K, M or G)");
      }
      plan.limit = *bytes;
    } else {
      long long v = PyLong_AsLongLong(limit.ptr());
      if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
      if (v <= 0) throw py::value_error("memory_limit must be positive");
      plan.limit = v;
    }
  }
  if (!layout.is_none()) {
    std::string text = py::str(layout).cast<std::string>();
    if (text == "auto") {
      plan.layout = qaz::MemoryPlan::Layout::kAuto;
    } else if (text == "index") {
      plan.layout = qaz::MemoryPlan::Layout::kIndex;
    } else if (text.rfind("lookup", 0) == 0) {
      plan.layout = qaz::MemoryPlan::Layout::kLookup;
      if (text.size() > 6) {
        if (text[6] != ':') throw py::value_error("cell_layout: '" + text + "'");
        plan.lookup_cells = std::stoll(text.substr(7));
      }
    } else {
      throw py::value_error("cell_layout must be auto, index or lookup[:CELLS], got '" + text + "'");
    }
  }
  return plan;
}

namespace {

qaz::WriteOptions Options(py::handle threshold, py::handle nbest,
                          const qaz::CountSource* counts, bool trainer) {
  qaz::WriteOptions options;
  options.threshold = ToDouble(threshold);
  options.nbest = NbestArg(nbest);
  options.counts = counts;
  options.trainer_variant = trainer;
  return options;
}

}  // namespace

// ---------------------------------------------------------------- Vocab

void VocabObj::LogLoading(py::handle src_path, py::handle trg_path) {
  LogInfo(kCore, "loading files: " + py::str(src_path).cast<std::string>() +
                     " " + py::str(trg_path).cast<std::string>());
}

py::object VocabObj::LoadSentPairs(py::handle src_path, py::handle trg_path,
                                   bool character_based) {
  LogLoading(src_path, trg_path);
  std::string src = PathArg(src_path), trg = PathArg(trg_path);
  PyReporter reporter(kCore);
  auto corpus = std::make_shared<const qaz::Corpus>(
      qaz::LoadCorpus(&vocab, src, trg, character_based, reporter));
  return py::cast(SentPairsObj(corpus));
}

py::tuple VocabObj::IdsPairToStrPair(py::handle src_ids, py::handle trg_ids,
                                     bool character_based) const {
  std::vector<int32_t> src, trg;
  ReadIds(src_ids, &src);
  ReadIds(trg_ids, &trg);
  const std::string sep = character_based ? "" : " ";
  std::string src_text, trg_text;
  for (size_t k = 1; k < src.size(); ++k) {
    if (k > 1) src_text += sep;
    src_text += vocab.src.IdToStr(src[k]);
  }
  for (size_t k = 0; k < trg.size(); ++k) {
    if (k > 0) trg_text += sep;
    trg_text += vocab.trg.IdToStr(trg[k]);
  }
  return py::make_tuple(src_text, trg_text);
}

py::tuple SentPairsObj::Pair(int64_t p) const {
  return py::make_tuple(IdList(corpus->src(p)), IdList(corpus->trg(p)));
}

py::list SentPairsObj::ToList() const {
  py::list out(corpus->size());
  for (int64_t p = 0; p < corpus->size(); ++p) out[p] = Pair(p);
  return out;
}

std::shared_ptr<const qaz::Corpus> CorpusOf(py::handle sent_pairs) {
  if (py::isinstance<SentPairsObj>(sent_pairs)) {
    return sent_pairs.cast<const SentPairsObj&>().corpus;
  }
  if (sent_pairs.is_none()) {
    throw py::type_error("'NoneType' object is not iterable");
  }
  if (!PyList_Check(sent_pairs.ptr()) && !PyTuple_Check(sent_pairs.ptr())) {
    ThrowExpected("list", sent_pairs);
  }
  auto corpus = std::make_shared<qaz::Corpus>();
  std::vector<int32_t> src, trg;
  for (py::handle pair : sent_pairs) {
    auto [s, t] = Unpack(pair);
    ReadIds(s, &src);
    ReadIds(t, &trg);
    corpus->AddPair(src.data(), static_cast<int32_t>(src.size()), trg.data(),
                    static_cast<int32_t>(trg.size()));
  }
  return corpus;
}

// ---------------------------------------------------------------- Model

void ModelObj::Init() { SetVocab(py::type::of<VocabObj>()()); }

void ModelObj::SetVocab(py::object v) {
  vocab = v;
  if (v.is_none()) {
    engine.vocab.reset();
  } else {
    // The interpreter object owns the vocabulary; this model holds it.
    engine.vocab = std::shared_ptr<qaz::Vocab>(std::shared_ptr<qaz::Vocab>(),
                                               &v.cast<VocabObj&>().vocab);
  }
}

VocabObj& ModelObj::Vocab() const {
  if (vocab.is_none()) {
    throw py::type_error("the model has no vocabulary");
  }
  return vocab.cast<VocabObj&>();
}

double ModelObj::CalcPairEntropy(py::handle src_ids, py::handle trg_ids,
                                 bool average) const {
  std::vector<int32_t> src, trg;
  ReadIds(src_ids, &src);
  ReadIds(trg_ids, &trg);
  const int32_t L = static_cast<int32_t>(src.size());
  const int32_t m = static_cast<int32_t>(trg.size());
  // The abstract check comes before any table lookup.
  if (engine.type == qaz::ModelType::kAbstract) throw qaz::NotImplementedError();
  qaz::Corpus one;
  one.AddPair(src.data(), L, trg.data(), m);
  std::vector<double> t;
  qaz::PairCells(engine.Trans(), one).Gather(0, &t);
  return engine.PairEntropy(t.data(), L, m, average);
}

double ModelObj::CalcEntropy(py::handle sent_pairs) const {
  LogInfo(kCore, "calculating entropy");
  auto corpus = CorpusOf(sent_pairs);
  PyReporter log(kCore);
  py::gil_scoped_release release;
  return engine.CorpusEntropy(*corpus, qaz::Parallel(threads), log);
}

void ModelObj::ScoreAndDecode(py::handle scores_path, py::handle decoded_path,
                              py::handle sent_pairs) const {
  qaz::OutputRequests asked;
  if (!scores_path.is_none()) asked.push_back({"scores", PathArg(scores_path)});
  if (!decoded_path.is_none()) {
    asked.push_back({"decoded", PathArg(decoded_path)});
  }
  auto corpus = CorpusOf(sent_pairs);
  PyReporter log(kCore);
  py::gil_scoped_release release;
  engine.WritePairOutputs(asked, *corpus, qaz::Parallel(threads), log);
}

void ModelObj::SaveTransDist(const std::string& path, py::handle threshold,
                             py::handle nbest) const {
  qaz::WriteOptions options = Options(threshold, nbest, nullptr, false);
  std::string text = py::str(threshold).cast<std::string>();
  PyReporter log(kCore);
  py::gil_scoped_release release;
  engine.WriteTransFile(path, options, text, qaz::Parallel(threads), log);
}

void ModelObj::SaveAlignDist(const std::string& path,
                             py::handle threshold) const {
  engine.Align();
  qaz::WriteOptions options = Options(threshold, py::none(), nullptr, false);
  PyReporter log(kCore);
  py::gil_scoped_release release;
  engine.WriteAlignFile(path, options, qaz::Parallel(threads), log);
}

void ModelObj::LoadTransDist(const std::string& path) {
  engine.Trans();
  Vocab();
  PyReporter log(kCore);
  py::gil_scoped_release release;
  engine.LoadTransFile(path, qaz::Parallel(threads), log);
}

void ModelObj::LoadTransEntries(const TransEntriesObj& entries) {
  engine.Trans();
  Vocab();
  py::gil_scoped_release release;
  engine.LoadTransEntries(entries.entries, qaz::Parallel(threads));
}

void ModelObj::LoadAlignDist(const std::string& path) {
  engine.Align();
  PyReporter log(kCore);
  py::gil_scoped_release release;
  engine.LoadAlignFile(path, log);
}

py::tuple ModelObj::GetState() const {
  py::object a = engine.align ? py::object(DenseAlignArray(*engine.align, false))
                              : py::none();
  py::object t = engine.trans ? py::object(DenseTransArray(*engine.trans, false))
                              : py::none();
  return py::make_tuple(a, t, vocab);
}

void ModelObj::SetState(py::handle state_arg) {
  if (!PyTuple_Check(state_arg.ptr())) ThrowExpected("tuple", state_arg);
  py::tuple state = py::reinterpret_borrow<py::tuple>(state_arg);
  py::object a = state[0];
  if (!a.is_none() && !IsArray(a)) ThrowExpected("numpy.ndarray", a);
  engine.align = a.is_none() ? nullptr : AlignFromArray(a);
  py::object t = state[1];
  if (!t.is_none() && !IsArray(t)) ThrowExpected("numpy.ndarray", t);
  engine.trans = t.is_none() ? nullptr : TransFromArray(t);
  py::object v = state[2];
  if (!v.is_none() && !py::isinstance<VocabObj>(v)) {
    ThrowExpected("qaz.smt.align.emcore.Vocab", v);
  }
  SetVocab(v);
  pickling::ApplyDict(py::cast(this), state, 3);
}

// ---------------------------------------------------------------- Trainer

namespace {

// The settings of a trainer's `conf` (a mapping, such as a
// qaz.common.config.Config, or None) with the keyword arguments on top, as
// a Config built from them holds them.
py::dict Settings(py::handle conf, const py::dict& others) {
  py::dict settings;
  if (!conf.is_none()) {
    if (!py::hasattr(conf, "keys")) {
      throw py::type_error("a configuration is built from a mapping, not " +
                           py::str(py::type::handle_of(conf).attr("__name__")).cast<std::string>());
    }
    for (py::handle key : conf.attr("keys")()) settings[key] = conf[key];
  }
  for (auto item : others) settings[item.first] = item.second;
  return settings;
}

}  // namespace

void TrainerObj::Construct(py::object conf, py::dict others) {
  DebugPrint(kCore, py::str("base trainer __init__"));
  Init();
  py::dict config = Settings(conf, others);
  if (config.contains("src_path") && config.contains("trg_path")) {
    py::object src = config["src_path"];
    if (!src.is_none() && !PyUnicode_Check(src.ptr())) ThrowExpected("str", src);
    src_path = src;
    py::object trg = config["trg_path"];
    if (!trg.is_none() && !PyUnicode_Check(trg.ptr())) ThrowExpected("str", trg);
    trg_path = trg;
  }
  auto get = [&config](const char* key) -> py::object {
    return config.contains(key) ? py::object(config[key]) : py::object(py::none());
  };
  py::object character = get("character");
  character_based = !character.is_none() && py::bool_(character).cast<bool>();
  py::object n = get("threads");
  threads = n.is_none() ? 0 : Int32Arg(n);
  if (threads < 0) throw py::value_error("threads must be at least 1");
  memory = MemoryPlanOf(get("memory_limit"), get("cell_layout"));
  if (!model.is_none()) {
    Model().threads = threads;
    Model().engine.memory = memory;
  }
}

void TrainerObj::Init() { throw qaz::NotImplementedError(); }
void TrainerObj::InitTransDist() { throw qaz::NotImplementedError(); }
void TrainerObj::InitAlignDist() { throw qaz::NotImplementedError(); }
void TrainerObj::ExpectStep() { throw qaz::NotImplementedError(); }
void TrainerObj::MaximizeStep() { throw qaz::NotImplementedError(); }
void TrainerObj::Train(int32_t) { throw qaz::NotImplementedError(); }

ModelObj& TrainerObj::Model() const {
  if (model.is_none()) {
    throw py::attribute_error("'NoneType' object has no attribute 'vocab'");
  }
  return model.cast<ModelObj&>();
}

std::shared_ptr<const qaz::Corpus> TrainerObj::Corpus() {
  if (py::isinstance<SentPairsObj>(sent_pairs)) return CorpusOf(sent_pairs);
  if (!converted_ || !converted_from_.is(sent_pairs)) {
    converted_ = CorpusOf(sent_pairs);
    converted_from_ = sent_pairs;
  }
  return converted_;
}

namespace {

qaz::TransTable& LaidOutFor(qaz::Model& m,
                            const std::shared_ptr<const qaz::Corpus>& corpus) {
  m.Trans();
  if (m.trans->indexed_corpus() != corpus.get()) {
    m.trans = qaz::TransTable::Relayout(*m.trans, corpus, {});
  }
  return *m.trans;
}

}  // namespace

qaz::TransTable& TrainerObj::TransForCorpus(
    const std::shared_ptr<const qaz::Corpus>& corpus) {
  return LaidOutFor(Engine(), corpus);
}

void TrainerObj::SaveTransDist(const std::string& path, py::handle threshold,
                               py::handle nbest) {
  const ModelObj& m = Model();
  TrainerCounts counts(cooc, align, m.engine.trans.get());
  qaz::WriteOptions options = Options(threshold, nbest, &counts, true);
  std::string text = py::str(threshold).cast<std::string>();
  PyReporter log(kCore);
  py::gil_scoped_release release;
  m.engine.WriteTransFile(path, options, text, qaz::Parallel(threads), log);
}

void TrainerObj::SaveAlignDist(const std::string& path, py::handle threshold) {
  const ModelObj& m = Model();
  m.engine.Align();
  TrainerCounts counts(cooc, align, m.engine.trans.get());
  qaz::WriteOptions options = Options(threshold, py::none(), &counts, true);
  PyReporter log(kCore);
  py::gil_scoped_release release;
  m.engine.WriteAlignFile(path, options, qaz::Parallel(threads), log);
}

void TrainerObj::Setup() {
  if (!sent_pairs.is_none()) return;
  LogInfo(kCore, "----");
  LogInfo(kCore, "setting up to train/score IBM Models");
  VocabObj& v = Model().Vocab();
  if (!loaded_pairs.is_none()) {
    VocabObj::LogLoading(src_path, trg_path);
    sent_pairs = loaded_pairs;
  } else {
    sent_pairs = v.LoadSentPairs(src_path, trg_path, character_based);
  }
  if (py::len(sent_pairs) == 0) {
    // Nothing to train or score: refused before any table is laid out.
    sent_pairs = py::none();
    throw py::value_error("no sentence pairs in " + py::str(src_path).cast<std::string>() +
                          " and " + py::str(trg_path).cast<std::string>());
  }
  PyReporter log(kCore);
  qaz::ReportVocab(v.vocab, log);
}

void TrainerObj::SetupWith(py::handle pairs) {
  if (!py::isinstance<SentPairsObj>(pairs)) {
    throw py::type_error("expected the pairs of a vocabulary's loaded corpus");
  }
  loaded_pairs = py::reinterpret_borrow<py::object>(pairs);
  try {
    Setup();
  } catch (...) {
    loaded_pairs = py::none();
    throw;
  }
  loaded_pairs = py::none();
}

void TrainerObj::TrainStep() {
  const qaz::Model& m = Engine();
  if (!m.trans) throw py::type_error("object of type 'NoneType' has no len()");
  if (m.trans->S() == 0) {
    Setup();
    return;
  }
  ExpectStep();
  MaximizeStep();
}

void TrainerObj::MarkCounts(qaz::ModelType kind) {
  qaz::Model& m = Engine();
  cooc = CountState{};
  cooc.kind = CountState::kNative;
  cooc.trans = m.trans;
  if (kind == qaz::ModelType::kModel2) {
    align = CountState{};
    align.kind = CountState::kNative;
    align.align = m.align;
  }
}

void TrainerObj::RunExpectStep(qaz::ModelType kind, const char* module) {
  cooc = CountState{};
  if (kind == qaz::ModelType::kModel2) {
    align = CountState{};
    Engine().Trans();
    Engine().Align();
  }
  PyReporter log(module);
  qaz::LogExpectStep(kind, log);
  auto corpus = Corpus();
  TransForCorpus(corpus);
  qaz::Model& m = Engine();
  {
    py::gil_scoped_release release;
    qaz::ExpectStep(kind, &m, *corpus, qaz::Parallel(threads), &scratch_, log);
  }
  MarkCounts(kind);
}

void TrainerObj::RunTrain(qaz::ModelType kind, int32_t limit,
                          const char* module) {
  Setup();
  auto corpus = Corpus();
  qaz::Model& m = Engine();
  if (m.trans && m.trans->S() > 0) TransForCorpus(corpus);
  PyReporter core_log(kCore), model_log(module);
  // The count states change as the E-steps count as done (also when the
  // loop is stopped by an error or an interrupt).
  py::gil_scoped_release release;
  qaz::RunEmLoop(kind, limit, &m, *corpus, qaz::Parallel(threads), &scratch_,
                 core_log, model_log, [&] {
                   py::gil_scoped_acquire acquire;
                   MarkCounts(kind);
                 });
}

// ---------------------------------------------------------------- Model 1

void Model1TrainerObj::Init() {
  DebugPrint(kLex, py::str("trainer 1 init"));
  model = py::type::of<Model1Obj>()();
  DebugPrint(kLex, model);
}

void Model1TrainerObj::InitTransDist() {
  qaz::Model& m = Engine();
  const qaz::Vocab& v = Model().Vocab().vocab;
  std::shared_ptr<const qaz::Corpus> corpus =
      sent_pairs.is_none() ? nullptr : Corpus();
  PyReporter log(kLex);
  py::gil_scoped_release release;
  m.trans = qaz::InitTransTable(v, corpus, qaz::Parallel(threads), log,
                                m.memory);
}

void Model1TrainerObj::ExpectStep() {
  RunExpectStep(qaz::ModelType::kModel1, kLex);
}

namespace {

qaz::TransTable& NativeCounts(qaz::Model& m, const CountState& cooc) {
  qaz::TransTable& table = const_cast<qaz::TransTable&>(m.Trans());
  if (cooc.kind == CountState::kNone) {
    throw py::type_error("no expected counts: run an E-step first");
  }
  if (cooc.kind != CountState::kNative || cooc.trans.get() != &table) {
    throw py::value_error(
        "the expected counts do not belong to this translation table");
  }
  return table;
}

}  // namespace

void Model1TrainerObj::MaximizeStep() {
  LogInfo(kLex, "estimating word translation distribution");
  NativeCounts(Engine(), cooc).Normalize(true);
}

void Model1TrainerObj::Setup() {
  TrainerObj::Setup();
  if (!Engine().trans) InitTransDist();
}

void Model1TrainerObj::Train(int32_t iteration_limit) {
  RunTrain(qaz::ModelType::kModel1, iteration_limit, kLex);
}

void Model1TrainerObj::TrainStep() {
  if (!Engine().trans) {
    Setup();
    return;
  }
  Model1TrainerObj::ExpectStep();
  Model1TrainerObj::MaximizeStep();
}

// ---------------------------------------------------------------- Model 2

void Model2TrainerObj::Init() {
  DebugPrint(kPos, py::str("model 2"));
  model = py::type::of<Model2Obj>()();
}

void Model2TrainerObj::InitAlignDist() {
  qaz::Model& m = Engine();
  const qaz::Vocab& v = Model().Vocab().vocab;
  std::shared_ptr<const qaz::Corpus> corpus =
      sent_pairs.is_none() ? std::make_shared<const qaz::Corpus>() : Corpus();
  PyReporter log(kPos);
  py::gil_scoped_release release;
  m.align = qaz::InitAlignTable(v, *corpus, log);
}

void Model2TrainerObj::ExpectStep() {
  RunExpectStep(qaz::ModelType::kModel2, kPos);
}

void Model2TrainerObj::MaximizeStep() {
  LogInfo(kPos, "estimating word translation distribution");
  qaz::Model& m = Engine();
  NativeCounts(m, cooc).Normalize(true);
  if (align.kind != CountState::kNative || align.align != m.align) {
    throw py::value_error(
        "the expected counts do not belong to this alignment table");
  }
  m.align->Normalize(m.trans->keeps_counts_aside());
}

void Model2TrainerObj::Setup() {
  Model1TrainerObj::Setup();
  if (!Engine().align) InitAlignDist();
}

void Model2TrainerObj::Train(int32_t iteration_limit) {
  RunTrain(qaz::ModelType::kModel2, iteration_limit, kPos);
}

void Model2TrainerObj::TrainSchedule(int32_t iterations,
                                     bool keep_final_walk) {
  Setup();
  auto corpus = Corpus();
  qaz::Model& m = Engine();
  if (m.trans && m.trans->S() > 0) TransForCorpus(corpus);
  PyReporter core_log(kCore), lex_log(kLex), pos_log(kPos);
  const qaz::Schedule schedule = qaz::EmSchedule(iterations);
  py::gil_scoped_release release;
  qaz::RunEmSchedule(
      schedule, &m, *corpus, qaz::Parallel(threads), &scratch_, core_log,
      [&](const qaz::ScheduleStep& step) -> qaz::Reporter& {
        if (step.model == qaz::ModelType::kModel1) return lex_log;
        // As before a loop of its own: the table laid out for the corpus.
        if (m.trans && m.trans->S() > 0) LaidOutFor(m, corpus);
        if (keep_final_walk) m.keep_final_walk = true;
        return pos_log;
      },
      [&](qaz::ModelType kind) {
        py::gil_scoped_acquire acquire;
        MarkCounts(kind);
      });
}

void Model2TrainerObj::TrainStep() {
  if (!Engine().trans) {
    Setup();
    return;
  }
  Model2TrainerObj::ExpectStep();
  Model2TrainerObj::MaximizeStep();
}

// ---------------------------------------------------------------- state

py::tuple TrainerObj::GetState() const {
  auto counts = [](const CountState& c, bool is_align) -> py::object {
    switch (c.kind) {
      case CountState::kNone:
        return py::none();
      case CountState::kArray:
        return c.array;
      case CountState::kNative:
        return is_align ? py::object(DenseAlignArray(*c.align, true))
                        : py::object(DenseTransArray(*c.trans, true));
    }
    return py::none();
  };
  py::object pairs = sent_pairs;
  if (py::isinstance<SentPairsObj>(pairs)) {
    pairs = pairs.cast<const SentPairsObj&>().ToList();
  }
  return py::make_tuple(py::bool_(character_based), counts(align, true),
                        counts(cooc, false), model, pairs, src_path, trg_path);
}

void TrainerObj::SetState(py::handle state_arg) {
  if (!PyTuple_Check(state_arg.ptr())) ThrowExpected("tuple", state_arg);
  py::tuple state = py::reinterpret_borrow<py::tuple>(state_arg);
  auto item = [&](size_t k) -> py::object {
    if (k >= state.size()) throw py::index_error("tuple index out of range");
    return state[k];
  };
  character_based = py::bool_(item(0)).cast<bool>();
  auto count = [&](py::object value, CountState* c) {
    if (!value.is_none() && !IsArray(value)) ThrowExpected("numpy.ndarray", value);
    *c = CountState{};
    if (!value.is_none()) {
      c->kind = CountState::kArray;
      c->array = value;
    }
  };
  count(item(1), &align);
  count(item(2), &cooc);
  py::object m = item(3);
  if (!m.is_none() && !py::isinstance<ModelObj>(m)) {
    ThrowExpected("qaz.smt.align.emcore.Model", m);
  }
  model = m;
  py::object pairs = item(4);
  if (!pairs.is_none() && !PyList_CheckExact(pairs.ptr())) {
    ThrowExpected("list", pairs);
  }
  sent_pairs = pairs;
  py::object src = item(5);
  if (!src.is_none() && !PyUnicode_Check(src.ptr())) ThrowExpected("str", src);
  src_path = src;
  py::object trg = item(6);
  if (!trg.is_none() && !PyUnicode_Check(trg.ptr())) ThrowExpected("str", trg);
  trg_path = trg;
  pickling::ApplyDict(py::cast(this), state, 7);
}

py::object RawNew(py::handle cls) {
  // The nearest native trainer class makes the native part.
  if (py::isinstance<py::type>(cls)) {
    PyObject* type = cls.ptr();
    auto derives = [&](py::handle base) {
      return PyObject_IsSubclass(type, base.ptr()) == 1;
    };
    if (derives(py::type::of<Model2TrainerObj>())) {
      return pickling::NewWithoutInit<Model2TrainerObj>(cls);
    }
    if (derives(py::type::of<Model1TrainerObj>())) {
      return pickling::NewWithoutInit<Model1TrainerObj>(cls);
    }
    if (derives(py::type::of<TrainerObj>())) {
      return pickling::NewWithoutInit<TrainerObj>(cls);
    }
  }
  throw py::type_error(py::str(cls).cast<std::string>() +
                       " is not a trainer class");
}

}  // namespace qaz_py

