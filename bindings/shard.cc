// qaz._shard: training and scoring a corpus split into shards
// (qaz.distributed), over the engine's ModelShard (what a worker holds) and
// ShardedTraining (the driver's tables and EM loops, on the tables of an
// empos.Model2Trainer so that the files are written by the trainer's own
// writers).  Here: argument conversion, error mapping, logging and the
// Python walk of the shards.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "align/shard_run.h"
#include "align_objects.h"
#include "py_support.h"

namespace py = pybind11;
using namespace qaz_py;

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Ids = py::array_t<int32_t, py::array::c_style | py::array::forcecast>;
using Shard = qaz::ModelShard;
using ShardPtr = std::shared_ptr<Shard>;

template <typename T>
std::vector<T> VectorOf(py::handle value) {
  auto arr = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!arr) throw py::type_error("expected an array of integers");
  return std::vector<T>(arr.data(), arr.data() + arr.size());
}

// A 1-d array owning `values`.
template <typename T>
py::array_t<T> ArrayOf(std::vector<T> values) {
  auto* held = new std::vector<T>(std::move(values));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(held->size()), held->data(),
                        owner);
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

std::optional<std::string> OptPath(py::handle value) {
  if (value.is_none()) return std::nullopt;
  return PathArg(value);
}

const std::string* PtrOf(const std::optional<std::string>& path) {
  return path ? &*path : nullptr;
}

std::vector<std::string> Strings(const py::list& words) {
  std::vector<std::string> out;
  out.reserve(words.size());
  for (py::handle w : words) out.push_back(w.cast<std::string>());
  return out;
}

ShardPtr Load(const std::string& src, const std::string& trg,
              int64_t src_offset, int64_t trg_offset, int64_t first_line,
              int64_t count, bool character_based, int threads) {
  py::gil_scoped_release release;
  return Shard::Load(src, trg, src_offset, trg_offset, first_line, count,
                     character_based, threads);
}

py::tuple Words(const Shard& s) {
  const qaz::Vocab& v = s.vocab();
  auto words = [](const qaz::StringEnumerator& e) {
    py::list out(e.size());
    for (int32_t k = 0; k < e.size(); ++k) out[k] = py::str(e.IdToStr(k));
    return out;
  };
  return py::make_tuple(words(v.src), words(v.trg), v.max_len_src,
                        v.max_len_trg, py::cast(s.warnings()), s.pairs());
}

// (cell keys, shapes as an (n, 2) array, cells of the pairs, bytes held).
py::tuple Layout(const Shard& s) {
  const auto shapes = s.tables().Shapes();
  py::array_t<int32_t> arr({static_cast<py::ssize_t>(shapes.size()),
                            static_cast<py::ssize_t>(2)});
  for (size_t k = 0; k < shapes.size(); ++k) {
    arr.mutable_data()[2 * k] = shapes[k].first;
    arr.mutable_data()[2 * k + 1] = shapes[k].second;
  }
  return py::make_tuple(ArrayOf(s.tables().Keys()), arr, s.corpus().Cells(),
                        s.MemoryBytes());
}

// (entropy total, counts or None, alignment counts or None).
py::tuple SweepShard(Shard& s, const Doubles& p, const Doubles& a,
                     bool entropy, bool expect, bool expect_model2,
                     bool entropy_model2) {
  const auto kind = [](bool model2) {
    return model2 ? qaz::ModelType::kModel2 : qaz::ModelType::kModel1;
  };
  qaz::SweepRequest request;
  request.entropy = entropy;
  request.entropy_model = kind(entropy_model2);
  request.expect = expect;
  request.expect_model = kind(expect_model2);
  std::vector<double> counts, align_counts;
  double total;
  {
    py::gil_scoped_release release;
    total = s.Sweep(p.data(), static_cast<size_t>(p.size()), a.data(),
                    static_cast<size_t>(a.size()), request, &counts,
                    &align_counts);
  }
  py::object c = py::none(), ac = py::none();
  if (expect) c = ArrayOf(std::move(counts));
  if (expect && expect_model2) ac = ArrayOf(std::move(align_counts));
  return py::make_tuple(total, c, ac);
}

void WriteTrained(Shard& s, const Doubles& p, const Doubles& a, bool model2,
                  py::handle scores_path, py::handle decoded_path) {
  const auto scores = OptPath(scores_path), decoded = OptPath(decoded_path);
  py::gil_scoped_release release;
  s.WriteTrained(p.data(), static_cast<size_t>(p.size()), a.data(),
                 static_cast<size_t>(a.size()), model2, PtrOf(scores),
                 PtrOf(decoded));
}

// (translation entries, their bytes, alignment bytes, sentence shapes).
py::tuple ScoreStored(Shard& s, const std::string& trans_path,
                      py::handle align_path, int32_t T, py::handle scores_path,
                      py::handle decoded_path) {
  const auto align_file = OptPath(align_path);
  const auto scores = OptPath(scores_path), decoded = OptPath(decoded_path);
  Shard::StoredTables info;
  {
    py::gil_scoped_release release;
    info = s.ScoreStored(trans_path, PtrOf(align_file), T, PtrOf(scores),
                         PtrOf(decoded));
  }
  return py::make_tuple(info.cells, info.trans_bytes, info.align_bytes,
                        info.shapes);
}

// ---------------------------------------------------------------- driver

class Driver {
 public:
  Driver(py::object trainer, const py::list& src_words,
         const py::list& trg_words, int32_t max_src, int32_t max_trg,
         const py::list& shard_keys, const py::list& shard_shapes,
         int64_t shard_count)
      : trainer_(std::move(trainer)) {
    TrainerObj& t = trainer_.cast<TrainerObj&>();
    std::vector<std::vector<uint64_t>> keys;
    for (py::handle k : shard_keys) keys.push_back(VectorOf<uint64_t>(k));
    std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes;
    for (py::handle sh : shard_shapes) shapes.push_back(ShapesOf(sh));
    if (static_cast<int64_t>(keys.size()) != shard_count) {
      throw py::value_error("expected the cells of " +
                            std::to_string(shard_count) + " shards");
    }
    const std::vector<std::string> src = Strings(src_words),
                                   trg = Strings(trg_words);
    qaz::Vocab* vocab = &t.Model().Vocab().vocab;
    qaz::Model* model = &t.Engine();
    PyReporter core(kCore), lex(kLex), pos(kPos);
    py::gil_scoped_release release;
    training_ = std::make_unique<qaz::ShardedTraining>(
        vocab, model, src, trg, max_src, max_trg, keys, std::move(shapes),
        core, lex, pos);
  }

  py::array_t<uint32_t> CellMap(size_t s) const {
    return ArrayOf(training_->tables().cell_map(s));
  }
  py::array_t<uint64_t> BlockOffsets(size_t s) const {
    return ArrayOf(training_->tables().block_offsets(s));
  }

  // The current values of the whole tables: translation cells, alignment
  // values (in block order).
  py::tuple Values() const {
    return py::make_tuple(ArrayOf(training_->tables().TransValues()),
                          ArrayOf(training_->tables().AlignValues()));
  }

  // Model 1 then Model 2, `iterations` each at most (the engine's
  // schedule); `walk(entropy, expect, model2)` returns the shards' results
  // of a walk of the step's model (entropy total, counts, alignment counts)
  // in shard order.
  void RunSchedule(int32_t iterations, int64_t pairs, py::object walk) {
    PyReporter core_log(kCore), lex_log(kLex), pos_log(kPos);
    std::vector<Doubles> held;
    const qaz::ShardedTraining::StepShardWalk walker =
        [&](bool entropy, bool expect, qaz::ModelType step) {
          const bool model2 = step == qaz::ModelType::kModel2;
          py::gil_scoped_acquire acquire;
          return Parts(walk(entropy, expect, model2), expect, model2, &held);
        };
    py::gil_scoped_release release;
    training_->RunSchedule(
        qaz::EmSchedule(iterations), pairs, walker, core_log,
        [&](const qaz::ScheduleStep& step) -> qaz::Reporter& {
          return step.model == qaz::ModelType::kModel2
                     ? static_cast<qaz::Reporter&>(pos_log)
                     : static_cast<qaz::Reporter&>(lex_log);
        },
        [&](qaz::ModelType step) { TakeCounts(step == qaz::ModelType::kModel2); });
  }

 private:
  // The parts of one walk from the shards' results; `held` keeps their
  // arrays alive until the next walk.
  static std::vector<qaz::ShardedTables::Part> Parts(py::handle results,
                                                     bool expect, bool model2,
                                                     std::vector<Doubles>* held) {
    held->clear();
    std::vector<qaz::ShardedTables::Part> parts;
    for (py::handle r : results) {
      py::tuple item = r.cast<py::tuple>();
      qaz::ShardedTables::Part part;
      part.total = item[0].cast<double>();
      if (expect) {
        held->push_back(Doubles::ensure(item[1]));
        if (!held->back()) throw py::value_error("a shard sent no counts");
        part.counts = held->back().data();
        part.counts_size = static_cast<size_t>(held->back().size());
      }
      if (expect && model2) {
        held->push_back(Doubles::ensure(item[2]));
        if (!held->back()) throw py::value_error("a shard sent no alignment counts");
        part.align_counts = held->back().data();
        part.align_counts_size = static_cast<size_t>(held->back().size());
      }
      parts.push_back(part);
    }
    return parts;
  }

  // The counts of the E-step are the trainer's.
  void TakeCounts(bool model2) {
    py::gil_scoped_acquire acquire;
    TrainerObj& t = trainer_.cast<TrainerObj&>();
    qaz::Model& m = t.Engine();
    t.cooc = CountState{};
    t.cooc.kind = CountState::kNative;
    t.cooc.trans = m.trans;
    if (!model2) return;
    t.align = CountState{};
    t.align.kind = CountState::kNative;
    t.align.align = m.align;
  }

  py::object trainer_;
  std::unique_ptr<qaz::ShardedTraining> training_;
};

}  // namespace

PYBIND11_MODULE(_shard, m) {
  m.doc() = "Native side of sharded training and scoring (qaz.distributed).";
  // The trainer classes are emcore's and empos's.
  py::module_::import(kPos);
  RegisterErrorTranslators();

  py::class_<Shard, ShardPtr>(m, "Shard")
      .def_property_readonly("memory_bytes", &Shard::MemoryBytes)
      .def_property_readonly("pairs", &Shard::pairs)
      .def("words", &Words)
      .def(
          "remap",
          [](const Shard& s, const Ids& src_map, const Ids& trg_map) {
            return s.Remap(VectorOf<int32_t>(src_map), VectorOf<int32_t>(trg_map));
          },
          py::arg("src_map"), py::arg("trg_map"))
      .def(
          "index",
          [](const Shard& s, int32_t S, int32_t T, int32_t A, int32_t B) {
            py::gil_scoped_release release;
            return s.Index(S, T, A, B);
          },
          py::arg("S"), py::arg("T"), py::arg("A"), py::arg("B"))
      .def("layout", &Layout)
      .def("attach",
           [](Shard& s, py::handle cell_map, py::handle block_offsets) {
             s.Attach(VectorOf<uint32_t>(cell_map), VectorOf<uint64_t>(block_offsets));
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
      .def(py::init<py::object, const py::list&, const py::list&, int32_t,
                    int32_t, const py::list&, const py::list&, int64_t>(),
           py::arg("trainer"), py::arg("src_words"), py::arg("trg_words"),
           py::arg("max_src"), py::arg("max_trg"), py::arg("shard_keys"),
           py::arg("shard_shapes"), py::arg("shard_count"))
      .def("cell_map", &Driver::CellMap)
      .def("block_offsets", &Driver::BlockOffsets)
      .def("values", &Driver::Values)
      .def("run_schedule", &Driver::RunSchedule, py::arg("iterations"),
           py::arg("pairs"), py::arg("walk"));
}
