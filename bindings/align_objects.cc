#include "align_objects.h"

#include <Python.h>

#include <cmath>
#include <functional>
#include <limits>

#include "align/em.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "py_support.h"

namespace qaz_py {

namespace {

// Dense forms larger than this are refused instead of exhausting memory.
constexpr double kMaxDenseBytes = 4.0 * (1ull << 30);

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

// Dense [S, T] array of a translation table (probabilities or counts).
py::array_t<double> DenseTrans(const qaz::TransTable& table, bool counts) {
  const double elements = static_cast<double>(table.S()) * table.T();
  if (elements * 8.0 > kMaxDenseBytes) {
    throw std::length_error("the dense form of a " + std::to_string(table.S()) +
                            " x " + std::to_string(table.T()) +
                            " translation table would take " +
                            Thousands(static_cast<long long>(elements * 8)) +
                            " bytes");
  }
  py::array_t<double> out({table.S(), table.T()});
  auto view = out.mutable_unchecked<2>();
  for (int32_t s = 0; s < table.S(); ++s) {
    const double d = counts ? 0.0 : table.row_default(s);
    for (int32_t t = 0; t < table.T(); ++t) view(s, t) = d;
    for (uint64_t k = table.row_begin(s); k < table.row_end(s); ++k) {
      const qaz::TransCell& cell = table.cells()[k];
      view(s, table.cols()[k]) = counts ? cell.c : cell.p;
    }
  }
  return out;
}

// Dense [A-1, B, B, A] array of an alignment table.
py::array_t<double> DenseAlign(const qaz::AlignTable& align, bool counts) {
  const int64_t A = align.A(), B = align.B();
  const double elements = static_cast<double>(A - 1) * B * B * A;
  if (elements * 8.0 > kMaxDenseBytes) {
    throw std::length_error("the dense form of the alignment table would take " +
                            Thousands(static_cast<long long>(elements * 8)) +
                            " bytes");
  }
  py::array_t<double> out({A - 1, B, B, A});
  auto view = out.mutable_unchecked<4>();
  for (int64_t u = 0; u < A - 1; ++u) {
    const double uniform = counts ? 0.0 : 1.0 / static_cast<double>(u + 2);
    for (int64_t v = 0; v < B; ++v) {
      for (int64_t j = 0; j < B; ++j) {
        for (int64_t i = 0; i < A; ++i) view(u, v, j, i) = uniform;
      }
    }
  }
  for (const qaz::AlignTable::Block& b : align.blocks()) {
    if (b.I + 1 > A || b.J > B) continue;
    const int32_t L = b.I + 1;
    const double* vals = counts ? align.counts(b) : align.values(b);
    for (int32_t j = 0; j < b.J; ++j) {
      for (int64_t i = 0; i < A; ++i) {
        view(b.I - 1, b.J - 1, j, i) =
            i < L ? vals[j * L + i] : (counts ? 0.0 : align.padding(b)[j]);
      }
    }
  }
  return out;
}

// A translation table holding exactly the values of a dense [S, T] array:
// each row's most frequent value becomes its default.
std::shared_ptr<qaz::TransTable> TransFromDense(py::handle value) {
  py::array_t<double, py::array::c_style | py::array::forcecast> arr =
      py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(
          value);
  if (!arr || arr.ndim() != 2) {
    throw py::value_error("trans_dist must be a 2-D array");
  }
  const int32_t S = static_cast<int32_t>(arr.shape(0));
  const int32_t T = static_cast<int32_t>(arr.shape(1));
  auto table = std::make_shared<qaz::TransTable>(S, T);
  auto view = arr.unchecked<2>();
  std::vector<double> sorted;
  std::vector<std::pair<int32_t, double>> cells;
  for (int32_t s = 0; s < S; ++s) {
    sorted.assign(view.data(s, 0), view.data(s, 0) + T);
    std::sort(sorted.begin(), sorted.end());
    double mode = T > 0 ? sorted[0] : 0.0;
    int64_t best = 0;
    for (int32_t k = 0; k < T;) {
      int32_t e = k;
      while (e < T && sorted[e] == sorted[k]) ++e;
      if (e - k > best) {
        best = e - k;
        mode = sorted[k];
      }
      k = e == k ? k + 1 : e;
    }
    cells.clear();
    for (int32_t t = 0; t < T; ++t) {
      double v = view(s, t);
      if (!(v == mode)) cells.emplace_back(t, v);
    }
    table->AppendRow(s, mode, cells);
  }
  return table;
}

std::shared_ptr<qaz::AlignTable> AlignFromDense(py::handle value) {
  py::array_t<double, py::array::c_style | py::array::forcecast> arr =
      py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(
          value);
  if (!arr || arr.ndim() != 4) {
    throw py::value_error("align_dist must be a 4-D array");
  }
  const int32_t A = static_cast<int32_t>(arr.shape(3));
  const int32_t B = static_cast<int32_t>(arr.shape(1));
  auto table = std::make_shared<qaz::AlignTable>(A, B);
  auto view = arr.unchecked<4>();
  for (int32_t u = 0; u < arr.shape(0); ++u) {
    const double uniform = 1.0 / static_cast<double>(u + 2);
    for (int32_t v = 0; v < B; ++v) {
      bool all_uniform = true;
      for (int32_t j = 0; j < arr.shape(2) && all_uniform; ++j) {
        for (int32_t i = 0; i < A && all_uniform; ++i) {
          all_uniform = view(u, v, j, i) == uniform;
        }
      }
      if (all_uniform) continue;
      const int32_t L = u + 2;
      for (int32_t j = v + 1; j < arr.shape(2); ++j) {
        for (int32_t i = 0; i < A; ++i) {
          if (view(u, v, j, i) != uniform) {
            throw py::value_error(
                "align_dist holds values in rows past the target length "
                "(source length " + std::to_string(u + 1) +
                ", target length " + std::to_string(v + 1) +
                "), which no sentence uses and the table does not keep");
          }
        }
      }
      const qaz::AlignTable::Block b = table->Add(u + 1, v + 1);
      for (int32_t j = 0; j <= v && j < arr.shape(2); ++j) {
        for (int32_t i = 0; i < L && i < A; ++i) {
          table->values(b)[j * L + i] = view(u, v, j, i);
        }
        table->padding(b)[j] = L < A ? view(u, v, j, L) : uniform;
      }
    }
  }
  return table;
}

// Count column of the trainer files.
class TrainerCounts : public qaz::CountSource {
 public:
  TrainerCounts(const CountState& cooc, const CountState& align,
                const qaz::TransTable* written)
      : cooc_(cooc), align_(align), written_(written) {}

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
        return ToDouble(cooc_.array[py::make_tuple(s, t)]);
    }
    return 0.0;
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
        return ToDouble(align_.array[py::make_tuple(u, v, j, i)]);
    }
    return 0.0;
  }

 private:
  const CountState& cooc_;
  const CountState& align_;
  const qaz::TransTable* written_;
};

// Gathers the t values of pairs on first use, so that an abstract model
// fails before it looks at its tables.
class Gatherer {
 public:
  Gatherer(const ModelObj& model, const qaz::Corpus& corpus)
      : model_(model), corpus_(corpus) {}
  const double* Get(int64_t p) {
    if (!cells_) cells_.emplace(model_.Trans(), corpus_);
    cells_->Gather(p, &buf_);
    return buf_.data();
  }
  const qaz::Corpus& corpus() const { return corpus_; }

 private:
  const ModelObj& model_;
  const qaz::Corpus& corpus_;
  std::optional<qaz::PairCells> cells_;
  std::vector<double> buf_;
};

}  // namespace

// ---------------------------------------------------------------- Vocab

py::object VocabObj::LoadSentPairs(py::handle src_path, py::handle trg_path,
                                   bool character_based) {
  LogInfo(kCore, "loading files: " + py::str(src_path).cast<std::string>() +
                     " " + py::str(trg_path).cast<std::string>());
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

void ModelObj::Init() { vocab = py::type::of<VocabObj>()(); }

VocabObj& ModelObj::Vocab() const {
  if (vocab.is_none()) {
    throw py::type_error("the model has no vocabulary");
  }
  return vocab.cast<VocabObj&>();
}

const qaz::TransTable& ModelObj::Trans() const {
  if (!trans) throw py::type_error("'NoneType' object is not subscriptable");
  return *trans;
}

const qaz::AlignTable& ModelObj::Align() const {
  if (!align) throw py::type_error("'NoneType' object is not subscriptable");
  return *align;
}

double ModelObj::PairEntropy(const double*, int32_t, int32_t, bool) const {
  throw qaz::NotImplementedError();
}

double Model1Obj::PairEntropy(const double* t, int32_t L, int32_t m,
                              bool average) const {
  return qaz::Model1PairEntropy(t, L, m, average);
}

bool Model1Obj::SweepEntropy(const qaz::Corpus& corpus,
                             qaz::Reporter& reporter, double* total) const {
  if (!trans || !trans->IndexedFor(corpus)) return false;
  *total = qaz::Model1CorpusEntropy(*trans, corpus, reporter);
  return true;
}

bool Model2Obj::SweepEntropy(const qaz::Corpus& corpus,
                             qaz::Reporter& reporter, double* total) const {
  if (!trans || !trans->IndexedFor(corpus)) return false;
  *total = qaz::Model2CorpusEntropy(*trans, Align(), corpus, reporter);
  return true;
}

double Model2Obj::PairEntropy(const double* t, int32_t L, int32_t m,
                              bool average) const {
  return qaz::Model2PairEntropy(t, Align(), L, m, average);
}

namespace {

// Entropy of pair p: the abstract check comes before any table lookup.
double EntropyOf(const ModelObj& model, Gatherer& g, int64_t p, bool average) {
  const int32_t L = g.corpus().src(p).size, m = g.corpus().trg(p).size;
  static const double kNothing = 0.0;
  if (model.Abstract()) return model.PairEntropy(&kNothing, L, m, average);
  return model.PairEntropy(g.Get(p), L, m, average);
}

}  // namespace

double ModelObj::CalcPairEntropy(py::handle src_ids, py::handle trg_ids,
                                 bool average) const {
  std::vector<int32_t> src, trg;
  ReadIds(src_ids, &src);
  ReadIds(trg_ids, &trg);
  qaz::Corpus one;
  one.AddPair(src.data(), static_cast<int32_t>(src.size()), trg.data(),
              static_cast<int32_t>(trg.size()));
  Gatherer g(*this, one);
  return EntropyOf(*this, g, 0, average);
}

double ModelObj::CalcEntropy(py::handle sent_pairs) const {
  LogInfo(kCore, "calculating entropy");
  auto corpus = CorpusOf(sent_pairs);
  PyReporter reporter(kCore);
  // The total is kept in double precision; the mean is narrowed to 32-bit
  // float, the precision of the logged values and of the early-stop test.
  double total = 0.0;
  if (!SweepEntropy(*corpus, reporter, &total)) {
    qaz::ProgressTicker ticker(reporter, "progress", corpus->size(), 4096);
    Gatherer g(*this, *corpus);
    for (int64_t p = 0; p < corpus->size(); ++p) {
      total += EntropyOf(*this, g, p, true);
      ticker.Tick();
    }
    ticker.Flush();
  }
  if (corpus->size() == 0) {
    PyErr_SetString(PyExc_ZeroDivisionError, "float division");
    throw py::error_already_set();
  }
  return qaz::Narrow(total / static_cast<double>(corpus->size()));
}

void ModelObj::CalcAndSaveScores(const std::string& path,
                                 py::handle sent_pairs) const {
  LogInfo(kCore, "calculating and storing alignment scores into file: " + path);
  qaz::OutputFile out(path);
  auto corpus = CorpusOf(sent_pairs);
  PyReporter reporter(kCore);
  qaz::ProgressTicker ticker(reporter, "progress", corpus->size(), 4096);
  Gatherer g(*this, *corpus);
  for (int64_t p = 0; p < corpus->size(); ++p) {
    qaz::AppendRepr(EntropyOf(*this, g, p, true), &out.buffer());
    out.buffer().push_back('\n');
    out.MaybeFlush();
    ticker.Tick();
  }
  ticker.Flush();
  out.Close();
}

void ModelObj::DecodeAndSaveAlign(const std::string& path,
                                  py::handle sent_pairs) const {
  LogInfo(kCore, "decoding and storing alignment into file: " + path);
  qaz::OutputFile out(path);
  auto corpus = CorpusOf(sent_pairs);
  PyReporter reporter(kCore);
  qaz::ProgressTicker ticker(reporter, "progress", corpus->size(), 4096);
  Gatherer g(*this, *corpus);
  std::vector<int32_t> best;
  for (int64_t p = 0; p < corpus->size(); ++p) {
    const int32_t L = corpus->src(p).size, m = corpus->trg(p).size;
    const double* t = g.Get(p);
    qaz::DecodePair(t, Align(), L, m, &best);
    std::string& buf = out.buffer();
    for (int32_t j = 0; j < m; ++j) {
      if (j > 0) buf.push_back(' ');
      buf += std::to_string(j + 1);
      buf.push_back('-');
      buf += std::to_string(best[j]);
    }
    buf.push_back('\n');
    out.MaybeFlush();
    ticker.Tick();
  }
  ticker.Flush();
  out.Close();
}

namespace {

void WriteTrans(const ModelObj& model, const std::string& path,
                py::handle threshold, py::handle nbest,
                const qaz::CountSource* counts, bool trainer_variant) {
  qaz::WriteOptions options;
  options.threshold = ToDouble(threshold);
  options.nbest = NbestArg(nbest);
  options.counts = counts;
  options.trainer_variant = trainer_variant;
  qaz::OutputFile out(path);
  LogInfo(kCore, "storing translation probabilities into file (threshold=" +
                     py::str(threshold).cast<std::string>() + "): " + path);
  const qaz::TransTable& table = model.Trans();
  const qaz::Vocab& vocab = model.Vocab().vocab;
  PyReporter reporter(kCore);
  qaz::WriteTransTable(&out, table, vocab, options, reporter);
  if (vocab.src.size() > table.S()) {
    throw std::out_of_range("index " + std::to_string(table.S()) +
                            " is out of bounds for axis 0 with size " +
                            std::to_string(table.S()));
  }
}

void WriteAlign(const ModelObj& model, const std::string& path,
                py::handle threshold, const qaz::CountSource* counts,
                bool trainer_variant) {
  const qaz::AlignTable& align = model.Align();
  qaz::WriteOptions options;
  options.threshold = ToDouble(threshold);
  options.counts = counts;
  options.trainer_variant = trainer_variant;
  qaz::OutputFile out(path);
  LogInfo(kCore, "storing alignment probabilities into file: " + path);
  PyReporter reporter(kCore);
  qaz::WriteAlignTable(&out, align, options, reporter);
}

}  // namespace

void ModelObj::SaveTransDist(const std::string& path, py::handle threshold,
                             py::handle nbest) const {
  WriteTrans(*this, path, threshold, nbest, nullptr, false);
}

void ModelObj::SaveAlignDist(const std::string& path,
                             py::handle threshold) const {
  WriteAlign(*this, path, threshold, nullptr, false);
}

void ModelObj::LoadTransDist(const std::string& path) {
  const qaz::TransTable& old = Trans();
  PyReporter reporter(kCore);
  std::vector<qaz::TransEntry> entries =
      qaz::ReadTransFile(path, &Vocab().vocab, reporter);
  trans = qaz::TransTable::Relayout(old, old.indexed_corpus_ptr(), entries);
}

void ModelObj::LoadAlignDist(const std::string& path) {
  if (!align) Align();
  PyReporter reporter(kCore);
  for (const qaz::AlignEntry& e : qaz::ReadAlignFile(path, reporter)) {
    // Rows past the target length and padding cells past the source length
    // name no cell that a sentence can use.
    if (e.j > e.J || e.i > e.I) continue;
    const qaz::AlignTable::Block b = align->Add(e.I, e.J);
    align->values(b)[(e.j - 1) * (e.I + 1) + e.i] = e.p;
  }
}

py::tuple ModelObj::GetState() const {
  py::object a = align ? py::object(DenseAlign(*align, false)) : py::none();
  py::object t = trans ? py::object(DenseTrans(*trans, false)) : py::none();
  return py::make_tuple(a, t, vocab);
}

void ModelObj::SetState(py::handle state_arg) {
  if (!PyTuple_Check(state_arg.ptr())) ThrowExpected("tuple", state_arg);
  py::tuple state = py::reinterpret_borrow<py::tuple>(state_arg);
  py::object a = state[0];
  if (!a.is_none() && !IsArray(a)) ThrowExpected("numpy.ndarray", a);
  align = a.is_none() ? nullptr : AlignFromDense(a);
  py::object t = state[1];
  if (!t.is_none() && !IsArray(t)) ThrowExpected("numpy.ndarray", t);
  trans = t.is_none() ? nullptr : TransFromDense(t);
  py::object v = state[2];
  if (!v.is_none() && !py::isinstance<VocabObj>(v)) {
    ThrowExpected("qaz.smt.align.emcore.Vocab", v);
  }
  vocab = v;
  ApplyDict(py::cast(this), state, 3);
}

// ---------------------------------------------------------------- Trainer

void TrainerObj::Construct(py::object conf, py::dict others) {
  DebugPrint(kCore, py::str("base trainer __init__"));
  Init();
  py::object config =
      py::module_::import("qaz.common.config").attr("Config")(conf);
  config.attr("update")(**others);
  py::list keys;
  keys.append("src_path");
  keys.append("trg_path");
  if (config.attr("has")(keys).cast<bool>()) {
    py::object data = config.attr("data");
    py::object src = data.attr("src_path");
    if (!src.is_none() && !PyUnicode_Check(src.ptr())) ThrowExpected("str", src);
    src_path = src;
    py::object trg = data.attr("trg_path");
    if (!trg.is_none() && !PyUnicode_Check(trg.ptr())) ThrowExpected("str", trg);
    trg_path = trg;
  }
  character_based =
      py::bool_(config.attr("get")("character", false)).cast<bool>();
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

qaz::TransTable& TrainerObj::TransForCorpus(
    const std::shared_ptr<const qaz::Corpus>& corpus) {
  ModelObj& m = Model();
  m.Trans();
  if (m.trans->indexed_corpus() != corpus.get()) {
    m.trans = qaz::TransTable::Relayout(*m.trans, corpus, {});
  }
  return *m.trans;
}

void TrainerObj::SaveTransDist(const std::string& path, py::handle threshold,
                               py::handle nbest) {
  const ModelObj& m = Model();
  TrainerCounts counts(cooc, align, m.trans.get());
  WriteTrans(m, path, threshold, nbest, &counts, true);
}

void TrainerObj::SaveAlignDist(const std::string& path, py::handle threshold) {
  const ModelObj& m = Model();
  TrainerCounts counts(cooc, align, m.trans.get());
  WriteAlign(m, path, threshold, &counts, true);
}

void TrainerObj::Setup() {
  if (!sent_pairs.is_none()) return;
  LogInfo(kCore, "----");
  LogInfo(kCore, "setting up to train/score IBM Models");
  VocabObj& v = Model().Vocab();
  sent_pairs = v.LoadSentPairs(src_path, trg_path, character_based);
  LogInfo(kCore, "source vocabulary size: " + Thousands(v.vocab.src.size()));
  LogInfo(kCore, "target vocabulary size: " + Thousands(v.vocab.trg.size()));
  LogInfo(kCore, "max source length: " + Thousands(v.vocab.max_len_src));
  LogInfo(kCore, "max target length: " + Thousands(v.vocab.max_len_trg));
}

void TrainerObj::TrainStep() {
  const ModelObj& m = Model();
  if (!m.trans) throw py::type_error("object of type 'NoneType' has no len()");
  if (m.trans->S() == 0) {
    Setup();
    return;
  }
  ExpectStep();
  MaximizeStep();
}

namespace {

void EmLoop(TrainerObj* trainer, int32_t iteration_limit, const char* module,
            const char* model_name, const std::function<void()>& step) {
  trainer->Setup();
  LogInfo(module, "----");
  LogInfo(module, std::string("start training IBM Model ") + model_name);
  double previous = trainer->Model().CalcEntropy(trainer->sent_pairs);
  LogInfo(module, "initial entropy: " + qaz::FormatRepr(previous));
  for (int32_t k = 0; k < iteration_limit; ++k) {
    LogInfo(module, "--");
    LogInfo(module, "step: " + std::to_string(k + 1) + " / " +
                        std::to_string(iteration_limit));
    step();
    double current = trainer->Model().CalcEntropy(trainer->sent_pairs);
    LogInfo(module, "entropy: " + qaz::FormatRepr(current));
    if (current >= previous) break;
    previous = current;
  }
}

}  // namespace

// ---------------------------------------------------------------- Model 1

void Model1TrainerObj::Init() {
  DebugPrint(kLex, py::str("trainer 1 init"));
  model = py::type::of<Model1Obj>()();
  DebugPrint(kLex, model);
}

void Model1TrainerObj::InitTransDist() {
  ModelObj& m = Model();
  const qaz::Vocab& v = m.Vocab().vocab;
  const int32_t S = v.src.size(), T = v.trg.size();
  LogInfo(kLex, "initializing word translation probabilities as uniform "
                "distribution");
  std::shared_ptr<const qaz::Corpus> corpus =
      sent_pairs.is_none() ? nullptr : Corpus();
  PyReporter reporter(kLex);
  auto table = qaz::TransTable::Build(S, T, corpus, {},
                                      1.0 / static_cast<double>(T), &reporter);
  LogInfo(kLex, "word translation distribution matrix size: " +
                    std::to_string(S) + " [src words] x " + std::to_string(T) +
                    " [trg words] x 8 [bytes] = " +
                    Thousands(static_cast<long long>(S) * T * 8) + " [bytes]");
  LogInfo(kLex, "allocated: " +
                    Thousands(static_cast<long long>(table->MemoryBytes())) +
                    " [bytes] for " + Thousands(table->nnz()) +
                    " co-occurring word pairs");
  m.trans = table;
}

void Model1TrainerObj::ExpectStep() {
  cooc = CountState{};
  LogInfo(kLex, "computing expected co-occurrence counts of source word and "
                "target word");
  auto corpus = Corpus();
  qaz::TransTable& table = TransForCorpus(corpus);
  PyReporter reporter(kLex);
  qaz::Model1ExpectStep(&table, *corpus, reporter);
  cooc.kind = CountState::kNative;
  cooc.trans = Model().trans;
}

namespace {

qaz::TransTable& NativeCounts(ModelObj& m, const CountState& cooc) {
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
  NativeCounts(Model(), cooc).Normalize();
}

void Model1TrainerObj::Setup() {
  TrainerObj::Setup();
  if (!Model().trans) InitTransDist();
}

void Model1TrainerObj::Train(int32_t iteration_limit) {
  EmLoop(this, iteration_limit, kLex, "1",
         [this] { this->Model1TrainerObj::TrainStep(); });
}

void Model1TrainerObj::TrainStep() {
  if (!Model().trans) {
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
  ModelObj& m = Model();
  const qaz::Vocab& v = m.Vocab().vocab;
  const int64_t A = v.max_len_src, B = v.max_len_trg;
  LogInfo(kPos, "initializing index alignment probabilities as uniform "
                "distribution");
  std::shared_ptr<const qaz::Corpus> corpus =
      sent_pairs.is_none() ? std::make_shared<const qaz::Corpus>() : Corpus();
  std::shared_ptr<qaz::AlignTable> table;
  {
    PyReporter reporter(kPos);
    qaz::ProgressTicker ticker(reporter, "initializing",
                               std::max<int64_t>(A - 1, 0) * B, 1);
    table = qaz::AlignTable::Build(static_cast<int32_t>(A),
                                   static_cast<int32_t>(B), *corpus);
    ticker.Tick(std::max<int64_t>(A - 1, 0) * B);
    ticker.Flush();
  }
  LogInfo(kPos, "word alignment distribution matrix size: " +
                    std::to_string(A - 1) + " [src len] x " +
                    std::to_string(B) + " [trg len] x " + std::to_string(B) +
                    " [trg index] x " + std::to_string(A) +
                    " [src index] x 8 [bytes] = " +
                    Thousands((A - 1) * B * B * A * 8) + " [bytes]");
  LogInfo(kPos, "allocated: " +
                    Thousands(static_cast<long long>(table->MemoryBytes())) +
                    " [bytes] for " + Thousands(table->blocks().size()) +
                    " sentence shapes");
  m.align = table;
}

void Model2TrainerObj::ExpectStep() {
  cooc = CountState{};
  align = CountState{};
  ModelObj& m = Model();
  m.Trans();
  m.Align();
  LogInfo(kPos, "computing:");
  LogInfo(kPos, "* expected co-occurrence counts of source word and target "
                "word");
  LogInfo(kPos, "* expected alignment counts of source index and target index");
  auto corpus = Corpus();
  qaz::TransTable& table = TransForCorpus(corpus);
  PyReporter reporter(kPos);
  qaz::Model2ExpectStep(&table, m.align.get(), *corpus, reporter);
  cooc.kind = CountState::kNative;
  cooc.trans = m.trans;
  align.kind = CountState::kNative;
  align.align = m.align;
}

void Model2TrainerObj::MaximizeStep() {
  LogInfo(kPos, "estimating word translation distribution");
  ModelObj& m = Model();
  NativeCounts(m, cooc).Normalize();
  if (align.kind != CountState::kNative || align.align != m.align) {
    throw py::value_error(
        "the expected counts do not belong to this alignment table");
  }
  m.align->Normalize();
}

void Model2TrainerObj::Setup() {
  Model1TrainerObj::Setup();
  if (!Model().align) InitAlignDist();
}

void Model2TrainerObj::Train(int32_t iteration_limit) {
  EmLoop(this, iteration_limit, kPos, "2",
         [this] { this->Model2TrainerObj::TrainStep(); });
}

void Model2TrainerObj::TrainStep() {
  if (!Model().trans) {
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
        return is_align ? py::object(DenseAlign(*c.align, true))
                        : py::object(DenseTrans(*c.trans, true));
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
  ApplyDict(py::cast(this), state, 7);
}

void CheckChecksum(py::handle checksum, const long accepted[3],
                   const char* fields) {
  long long value = PyLong_AsLongLong(checksum.ptr());
  if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    PyErr_SetString(PyExc_OverflowError,
                    "value too large to convert to int32_t");
    throw py::error_already_set();
  }
  for (int k = 0; k < 3; ++k) {
    if (value == accepted[k]) return;
  }
  py::object error = py::module_::import("pickle").attr("PickleError");
  char buf[512];
  std::snprintf(buf, sizeof(buf),
                "Incompatible checksums (0x%llx vs (0x%lx, 0x%lx, 0x%lx) = (%s))",
                static_cast<unsigned long long>(value) & 0xffffffffull,
                accepted[0], accepted[1], accepted[2], fields);
  if (value < 0) {
    std::snprintf(buf, sizeof(buf),
                  "Incompatible checksums (-0x%llx vs (0x%lx, 0x%lx, 0x%lx) = "
                  "(%s))",
                  static_cast<unsigned long long>(-value), accepted[0],
                  accepted[1], accepted[2], fields);
  }
  PyErr_SetString(error.ptr(), buf);
  throw py::error_already_set();
}

void CheckStateArg(py::handle state) {
  if (!state.is_none() && !PyTuple_Check(state.ptr())) {
    throw py::type_error("Argument 'state' has incorrect type (expected "
                         "tuple, got " +
                         TypeName(state) + ")");
  }
}

py::tuple Reduce(py::handle self, py::object restore, long checksum,
                 py::tuple state, bool any_reference_set) {
  py::object cls = py::reinterpret_borrow<py::object>(py::type::handle_of(self));
  py::object dict = py::getattr(self, "__dict__", py::none());
  if (!dict.is_none()) {
    py::list items(state);
    items.append(dict);
    state = py::tuple(items);
  }
  if (!dict.is_none() || any_reference_set) {
    return py::make_tuple(restore,
                          py::make_tuple(cls, checksum, py::none()), state);
  }
  return py::make_tuple(restore, py::make_tuple(cls, checksum, state));
}

void ApplyDict(py::handle self, py::tuple state, size_t index) {
  if (state.size() <= index) return;
  py::object extra = state[index];
  if (!PyObject_IsTrue(extra.ptr())) return;
  py::object dict = py::getattr(self, "__dict__", py::none());
  if (dict.is_none()) {
    throw py::attribute_error("'" + TypeName(self) +
                              "' object has no attribute '__dict__'");
  }
  dict.attr("update")(extra);
}

py::object RawNew(py::handle cls) {
  py::tuple mro = cls.attr("__mro__");
  for (py::handle base : mro) {
    py::dict own = base.attr("__dict__").cast<py::dict>();
    if (!own.contains("_raw_new_")) continue;
    py::object obj = cls.attr("__new__")(cls);
    base.attr("__init__")(obj, RawTag{});
    return obj;
  }
  throw py::type_error(py::str(cls).cast<std::string>() +
                       " is not a trainer class");
}

}  // namespace qaz_py
