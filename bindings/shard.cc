// qaz._shard: the native side of training and scoring a corpus split into
// shards (qaz.distributed).
//
// Shard: what one worker holds for its line range — its pairs, its own
// vocabulary (as loaded) or the whole corpus's ids (once remapped), and the
// tables laid out for its pairs.  Driver: the whole corpus's vocabulary and
// tables, held by an empos.Model2Trainer so that the files are written by
// the trainer's own writers, and the EM loop whose walks the shards do.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "align/shard.h"
#include "align/trainer.h"
#include "align/writers.h"
#include "align_objects.h"
#include "common/errors.h"
#include "py_support.h"

namespace py = pybind11;
using namespace qaz_py;

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Ids = py::array_t<int32_t, py::array::c_style | py::array::forcecast>;

template <typename T>
py::array_t<T> ToArray(const std::vector<T>& values) {
  py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

template <typename T, typename A>
std::vector<T> FromArray(const A& arr) {
  return std::vector<T>(arr.data(), arr.data() + arr.size());
}

std::vector<std::pair<int32_t, int32_t>> ShapesOf(py::handle value) {
  Ids arr = Ids::ensure(value);
  if (!arr || (arr.size() > 0 && (arr.ndim() != 2 || arr.shape(1) != 2))) {
    throw py::value_error("shapes must be an (n, 2) array");
  }
  std::vector<std::pair<int32_t, int32_t>> out;
  for (py::ssize_t k = 0; k + 1 < arr.size(); k += 2) {
    out.emplace_back(arr.data()[k], arr.data()[k + 1]);
  }
  return out;
}

struct Shard {
  std::shared_ptr<qaz::Vocab> vocab;  // the shard's own words, as loaded
  std::shared_ptr<const qaz::Corpus> corpus;
  std::vector<std::string> warnings;
  std::shared_ptr<qaz::TransTable> trans;
  std::shared_ptr<qaz::AlignTable> align;
  std::vector<uint32_t> cell_map;
  std::vector<uint64_t> block_offsets;
  std::shared_ptr<qaz::SweepScratch> scratch;
  int threads = 1;

  size_t MemoryBytes() const {
    size_t n = corpus ? corpus->MemoryBytes() : 0;
    if (trans) n += trans->MemoryBytes();
    if (align) n += align->MemoryBytes();
    return n + cell_map.size() * 4 + block_offsets.size() * 8;
  }

  void CheckTables() const {
    if (!trans || !align) throw py::value_error("the shard has no tables yet");
  }
};

std::shared_ptr<Shard> Load(const std::string& src, const std::string& trg,
                            int64_t src_offset, int64_t trg_offset,
                            int64_t first_line, int64_t count,
                            bool character_based, int threads) {
  auto shard = std::make_shared<Shard>();
  shard->vocab = std::make_shared<qaz::Vocab>();
  shard->threads = threads;
  qaz::CollectingReporter log;  // the driver logs the warnings in shard order
  {
    py::gil_scoped_release release;
    shard->corpus = std::make_shared<const qaz::Corpus>(qaz::LoadCorpusLines(
        shard->vocab.get(), src, trg, src_offset, trg_offset, first_line,
        count, character_based, log));
  }
  shard->warnings = log.warnings;
  return shard;
}

py::tuple Words(const Shard& s) {
  if (!s.vocab) throw py::value_error("the shard holds no words of its own");
  auto words = [](const qaz::StringEnumerator& e) {
    py::list out(e.size());
    for (int32_t k = 0; k < e.size(); ++k) out[k] = py::str(e.IdToStr(k));
    return out;
  };
  return py::make_tuple(words(s.vocab->src), words(s.vocab->trg),
                        s.vocab->max_len_src, s.vocab->max_len_trg,
                        py::cast(s.warnings), s.corpus->size());
}

// The shard's pairs in the ids of the whole corpus.
std::shared_ptr<Shard> Remap(const Shard& s, const Ids& src_map,
                             const Ids& trg_map) {
  auto out = std::make_shared<Shard>();
  out->threads = s.threads;
  auto corpus = std::make_shared<qaz::Corpus>();
  const int32_t* sm = src_map.data();
  const int32_t* tm = trg_map.data();
  const int64_t ns = src_map.size(), nt = trg_map.size();
  std::vector<int32_t> src, trg;
  for (int64_t p = 0; p < s.corpus->size(); ++p) {
    const qaz::IdSpan a = s.corpus->src(p), b = s.corpus->trg(p);
    src.resize(a.size);
    trg.resize(b.size);
    for (int32_t k = 0; k < a.size; ++k) {
      if (a[k] >= ns) throw py::index_error("source id outside the map");
      src[k] = sm[a[k]];
    }
    for (int32_t k = 0; k < b.size; ++k) {
      if (b[k] >= nt) throw py::index_error("target id outside the map");
      trg[k] = tm[b[k]];
    }
    corpus->AddPair(src.data(), a.size, trg.data(), b.size);
  }
  out->corpus = std::move(corpus);
  return out;
}

// The tables laid out for the shard's pairs (S x T of the whole corpus).
std::shared_ptr<Shard> Index(const Shard& s, int32_t S, int32_t T, int32_t A,
                             int32_t B) {
  auto out = std::make_shared<Shard>();
  out->threads = s.threads;
  out->corpus = s.corpus;
  out->scratch = std::make_shared<qaz::SweepScratch>();
  py::gil_scoped_release release;
  const qaz::Parallel parallel(s.threads);
  qaz::MemoryPlan plan;
  plan.layout = qaz::MemoryPlan::Layout::kIndex;
  out->trans = qaz::TransTable::Build(S, T, out->corpus, {}, 0.0, nullptr,
                                      &parallel, &plan);
  out->align = qaz::AlignTable::Build(A, B, *out->corpus);
  return out;
}

py::tuple Layout(const Shard& s) {
  s.CheckTables();
  const auto shapes = qaz::BlockShapes(*s.align);
  py::array_t<int32_t> arr({static_cast<py::ssize_t>(shapes.size()),
                            static_cast<py::ssize_t>(2)});
  for (size_t k = 0; k < shapes.size(); ++k) {
    arr.mutable_data()[2 * k] = shapes[k].first;
    arr.mutable_data()[2 * k + 1] = shapes[k].second;
  }
  return py::make_tuple(ToArray(qaz::CellKeys(*s.trans)), arr,
                        s.corpus->Cells(), s.MemoryBytes());
}

void TakeValues(Shard& s, const Doubles& p, const Doubles& a) {
  s.CheckTables();
  for (uint32_t k : s.cell_map) {
    if (k >= static_cast<uint64_t>(p.size())) {
      throw py::index_error("the values do not cover the shard's cells");
    }
  }
  qaz::TakeValues(p.data(), s.cell_map, a.data(), s.block_offsets,
                  s.trans.get(), s.align.get());
}

py::tuple SweepShard(Shard& s, const Doubles& p, const Doubles& a,
                     bool entropy, bool expect, bool expect_model2,
                     bool entropy_model2) {
  TakeValues(s, p, a);
  qaz::SweepRequest request;
  request.entropy = entropy;
  request.entropy_model =
      entropy_model2 ? qaz::ModelKind::kModel2 : qaz::ModelKind::kModel1;
  request.expect = expect;
  request.expect_model =
      expect_model2 ? qaz::ModelKind::kModel2 : qaz::ModelKind::kModel1;
  double total;
  {
    py::gil_scoped_release release;
    qaz::NullReporter quiet;
    total = qaz::Sweep(s.trans.get(), s.align.get(), *s.corpus, request,
                       qaz::Parallel(s.threads), s.scratch.get(), quiet);
  }
  py::object counts = py::none(), align_counts = py::none();
  if (expect) {
    py::array_t<double> c(static_cast<py::ssize_t>(s.trans->nnz()));
    const qaz::TransCell* cells = s.trans->cells();
    for (int64_t k = 0; k < s.trans->nnz(); ++k) c.mutable_data()[k] = cells[k].c;
    counts = c;
    if (expect_model2) {
      py::array_t<double> ac(
          static_cast<py::ssize_t>(qaz::AlignCells(*s.align)));
      double* out = ac.mutable_data();
      for (const auto& b : s.align->blocks()) {
        const size_t n = static_cast<size_t>(b.J) * (b.I + 1);
        std::copy(s.align->counts(b), s.align->counts(b) + n, out);
        out += n;
      }
      align_counts = ac;
    }
  }
  return py::make_tuple(total, counts, align_counts);
}

std::optional<std::string> OptPath(py::handle value) {
  if (value.is_none()) return std::nullopt;
  return PathArg(value);
}

void WriteTrained(Shard& s, const Doubles& p, const Doubles& a, bool model2,
                  py::handle scores_path, py::handle decoded_path) {
  TakeValues(s, p, a);
  const auto scores = OptPath(scores_path), decoded = OptPath(decoded_path);
  qaz::Model model;
  model.type = model2 ? qaz::ModelType::kModel2 : qaz::ModelType::kModel1;
  model.trans = s.trans;
  model.align = s.align;
  py::gil_scoped_release release;
  qaz::NullReporter quiet;
  model.WriteScoresAndAlignments(scores ? &*scores : nullptr,
                                 decoded ? &*decoded : nullptr, *s.corpus,
                                 qaz::Parallel(s.threads), quiet);
}

// Scores a loaded shard with stored tables as the scoring driver does the
// whole corpus: the table file's words entered, every entry the file lacks
// 1/T where T counts the target words of the whole corpus and the file.
py::tuple ScoreStored(Shard& s, const std::string& trans_path,
                      py::handle align_path, int32_t T, py::handle scores_path,
                      py::handle decoded_path) {
  if (!s.vocab) throw py::value_error("the shard holds no words of its own");
  const auto align_file = OptPath(align_path);
  const auto scores = OptPath(scores_path), decoded = OptPath(decoded_path);
  py::gil_scoped_release release;
  qaz::NullReporter quiet;
  const qaz::Parallel parallel(s.threads);
  qaz::Model model;
  model.type = qaz::ModelType::kModel2;
  model.vocab = s.vocab;
  // Read once: the file may be a pipe.
  const std::vector<qaz::TransEntry> entries =
      qaz::ReadTransFile(trans_path, s.vocab.get(), quiet);
  if (s.vocab->trg.size() > T) {
    throw std::invalid_argument("the shard has more target words than the whole corpus");
  }
  model.trans = qaz::TransTable::Build(s.vocab->src.size(), T, s.corpus, {},
                                       1.0 / static_cast<double>(T), nullptr,
                                       &parallel, &model.memory);
  model.align = qaz::AlignTable::Build(s.vocab->max_len_src,
                                       s.vocab->max_len_trg, *s.corpus);
  const int64_t nnz = model.trans->nnz();
  const size_t trans_bytes = model.trans->MemoryBytes();
  const size_t align_bytes = model.align->MemoryBytes();
  const size_t shapes = model.align->blocks().size();
  model.LoadTransEntries(entries, parallel);
  if (align_file) model.LoadAlignFile(*align_file, quiet);
  model.WriteScoresAndAlignments(scores ? &*scores : nullptr,
                                 decoded ? &*decoded : nullptr, *s.corpus,
                                 parallel, quiet);
  py::gil_scoped_acquire acquire;
  return py::make_tuple(nnz, trans_bytes, align_bytes, shapes);
}

// ---------------------------------------------------------------- driver

class Driver {
 public:
  Driver(py::object trainer, py::list src_words, py::list trg_words,
         int32_t max_src, int32_t max_trg, py::list shard_keys,
         py::list shard_shapes, int64_t shard_count)
      : trainer_(std::move(trainer)) {
    TrainerObj& t = trainer_.cast<TrainerObj&>();
    VocabObj& v = t.Model().Vocab();
    for (py::handle w : src_words) v.vocab.src.StrToId(w.cast<std::string>());
    for (py::handle w : trg_words) v.vocab.trg.StrToId(w.cast<std::string>());
    v.vocab.max_len_src = max_src;
    v.vocab.max_len_trg = max_trg;
    PyReporter core(kCore);
    qaz::ReportVocab(v.vocab, core);

    const int32_t S = v.vocab.src.size(), T = v.vocab.trg.size();
    std::vector<std::vector<uint64_t>> keys;
    for (py::handle k : shard_keys) {
      keys.push_back(FromArray<uint64_t>(
          py::array_t<uint64_t, py::array::c_style | py::array::forcecast>::ensure(k)));
    }
    std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes;
    for (py::handle sh : shard_shapes) shapes.push_back(ShapesOf(sh));
    shapes_ = shapes;
    qaz::Model& m = t.Engine();
    LogInfo(kLex, "initializing word translation probabilities as uniform "
                  "distribution");
    {
      py::gil_scoped_release release;
      qaz::CellUnion u = qaz::UnionCells(S, keys);
      maps_ = std::move(u.maps);
      m.trans = qaz::TransTable::FromRows(
          S, T, std::move(u.row_ptr), std::move(u.cols),
          1.0 / static_cast<double>(T),
          "cell layout: " + std::to_string(shard_count) +
              " shards, each indexed on its worker");
    }
    LogInfo(kLex, "word translation distribution matrix size: " +
                      std::to_string(S) + " [src words] x " +
                      std::to_string(T) + " [trg words] x 8 [bytes] = " +
                      Thousands(static_cast<long long>(S) * T * 8) +
                      " [bytes]");
    LogInfo(kLex, "allocated: " +
                      Thousands(static_cast<long long>(m.trans->MemoryBytes())) +
                      " [bytes] for " + Thousands(m.trans->nnz()) +
                      " co-occurring word pairs");
    LogInfo(kLex, m.trans->layout_note());

    const int64_t A = max_src, B = max_trg;
    LogInfo(kPos, "initializing index alignment probabilities as uniform "
                  "distribution");
    m.align = qaz::UnionShapes(max_src, max_trg, shapes, &offsets_);
    LogInfo(kPos, "word alignment distribution matrix size: " +
                      std::to_string(A - 1) + " [src len] x " +
                      std::to_string(B) + " [trg len] x " + std::to_string(B) +
                      " [trg index] x " + std::to_string(A) +
                      " [src index] x 8 [bytes] = " +
                      Thousands((A - 1) * B * B * A * 8) + " [bytes]");
    LogInfo(kPos, "allocated: " +
                      Thousands(static_cast<long long>(m.align->MemoryBytes())) +
                      " [bytes] for " + Thousands(m.align->blocks().size()) +
                      " sentence shapes");
  }

  py::array_t<uint32_t> CellMap(size_t s) const { return ToArray(maps_.at(s)); }
  py::array_t<uint64_t> BlockOffsets(size_t s) const {
    return ToArray(offsets_.at(s));
  }

  // The current values of the whole tables: translation cells, alignment
  // blocks (in block order).
  py::tuple Values() const {
    const qaz::Model& m = Engine();
    py::array_t<double> p(static_cast<py::ssize_t>(m.trans->nnz()));
    const qaz::TransCell* cells = m.trans->cells();
    for (int64_t k = 0; k < m.trans->nnz(); ++k) p.mutable_data()[k] = cells[k].p;
    py::array_t<double> a(static_cast<py::ssize_t>(qaz::AlignCells(*m.align)));
    double* out = a.mutable_data();
    for (const auto& b : m.align->blocks()) {
      const size_t n = static_cast<size_t>(b.J) * (b.I + 1);
      std::copy(m.align->values(b), m.align->values(b) + n, out);
      out += n;
    }
    return py::make_tuple(p, a);
  }

  // The EM loop of Model `kind` over `pairs` pairs; `walk(entropy, expect)`
  // returns the shards' results (entropy total, counts, alignment counts)
  // in shard order.
  void Run(int kind, int32_t limit, int64_t pairs, py::object walk) {
    TrainerObj& t = trainer_.cast<TrainerObj&>();
    qaz::Model& m = t.Engine();
    const qaz::ModelKind k =
        kind == 2 ? qaz::ModelKind::kModel2 : qaz::ModelKind::kModel1;
    PyReporter core_log(kCore), model_log(kind == 2 ? kPos : kLex);
    const qaz::Walker walker = [&](bool entropy, bool expect) -> double {
      py::gil_scoped_acquire acquire;
      py::list results = walk(entropy, expect);
      return Reduce(results, expect, k == qaz::ModelKind::kModel2);
    };
    py::gil_scoped_release release;
    qaz::RunEmLoop(k, limit, &m, pairs, walker, core_log, model_log, [&] {
      py::gil_scoped_acquire acquire;
      t.cooc = CountState{};
      t.cooc.kind = CountState::kNative;
      t.cooc.trans = m.trans;
      if (k == qaz::ModelKind::kModel2) {
        t.align = CountState{};
        t.align.kind = CountState::kNative;
        t.align.align = m.align;
      }
    });
  }

 private:
  qaz::Model& Engine() const { return trainer_.cast<TrainerObj&>().Engine(); }

  // Sums the shards' results in shard order: the entropy totals, and the
  // counts into the whole tables (which then hold the E-step's counts).
  double Reduce(py::list results, bool expect, bool model2) {
    if (results.size() != maps_.size()) {
      throw py::value_error("expected one result per shard");
    }
    qaz::Model& m = Engine();
    if (expect) {
      m.trans->ZeroCounts();
      if (model2) m.align->ZeroCounts();
    }
    double total = 0.0;
    for (size_t s = 0; s < maps_.size(); ++s) {
      py::tuple r = results[s].cast<py::tuple>();
      total += r[0].cast<double>();
      if (!expect) continue;
      Doubles c = Doubles::ensure(r[1]);
      if (!c || static_cast<size_t>(c.size()) != maps_[s].size()) {
        throw py::value_error("a shard's counts do not match its cells");
      }
      qaz::AddCounts(c.data(), maps_[s], m.trans.get());
      if (model2) {
        Doubles ac = Doubles::ensure(r[2]);
        if (!ac) throw py::value_error("a shard sent no alignment counts");
        qaz::AddAlignCounts(ac.data(), shapes_[s], offsets_[s], m.align.get());
      }
    }
    return total;
  }

  py::object trainer_;
  std::vector<std::vector<uint32_t>> maps_;
  std::vector<std::vector<uint64_t>> offsets_;
  std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes_;
};

}  // namespace

PYBIND11_MODULE(_shard, m) {
  m.doc() = "Native side of sharded training and scoring (qaz.distributed).";
  // The trainer classes are emcore's and empos's.
  py::module_::import(kPos);
  RegisterErrorTranslators();

  py::class_<Shard, std::shared_ptr<Shard>>(m, "Shard")
      .def_property_readonly("memory_bytes", &Shard::MemoryBytes)
      .def_property_readonly("pairs", [](const Shard& s) {
        return s.corpus ? s.corpus->size() : 0;
      })
      .def("words", &Words)
      .def("remap", &Remap, py::arg("src_map"), py::arg("trg_map"))
      .def("index", &Index, py::arg("S"), py::arg("T"), py::arg("A"),
           py::arg("B"))
      .def("layout", &Layout)
      .def("attach",
           [](Shard& s, py::handle cell_map, py::handle block_offsets) {
             s.CheckTables();
             s.cell_map = FromArray<uint32_t>(
                 py::array_t<uint32_t, py::array::c_style | py::array::forcecast>::ensure(cell_map));
             s.block_offsets = FromArray<uint64_t>(
                 py::array_t<uint64_t, py::array::c_style | py::array::forcecast>::ensure(block_offsets));
             if (s.cell_map.size() != static_cast<size_t>(s.trans->nnz()) ||
                 s.block_offsets.size() != s.align->blocks().size()) {
               throw py::value_error("the maps do not match the shard's tables");
             }
           })
      .def("sweep", &SweepShard, py::arg("p"), py::arg("a"), py::arg("entropy"),
           py::arg("expect"), py::arg("expect_model2"), py::arg("entropy_model2"))
      .def("write_trained", &WriteTrained, py::arg("p"), py::arg("a"),
           py::arg("model2"), py::arg("scores_path"), py::arg("decoded_path"))
      .def("score_stored", &ScoreStored, py::arg("trans_path"),
           py::arg("align_path"), py::arg("T"), py::arg("scores_path"),
           py::arg("decoded_path"));
  m.def("load", &Load, py::arg("src_path"), py::arg("trg_path"),
        py::arg("src_offset"), py::arg("trg_offset"), py::arg("first_line"),
        py::arg("count"), py::arg("character_based"), py::arg("threads"));

  py::class_<Driver>(m, "Driver")
      .def(py::init<py::object, py::list, py::list, int32_t, int32_t, py::list,
                    py::list, int64_t>(),
           py::arg("trainer"), py::arg("src_words"), py::arg("trg_words"),
           py::arg("max_src"), py::arg("max_trg"), py::arg("shard_keys"),
           py::arg("shard_shapes"), py::arg("shard_count"))
      .def("cell_map", &Driver::CellMap)
      .def("block_offsets", &Driver::BlockOffsets)
      .def("values", &Driver::Values)
      .def("run", &Driver::Run, py::arg("kind"), py::arg("limit"),
           py::arg("pairs"), py::arg("walk"));
}
