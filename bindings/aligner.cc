// qaz._aligner: the engine's bidirectional word aligner (cpp/align/aligner.h)
// behind the qaz-align command and qaz.aligner.Aligner, and its sharded
// form (Shard on the workers, ShardedDirection on the driver) behind
// qaz.distributed.align.
//
// Lines cross as lists of str (one conversion per line, none per token),
// links as lists of (i, j) tuples, scores and posteriors as float64 arrays
// that own the engine's buffers.  Engine work runs with the interpreter
// lock released; log lines and progress go to the "qaz.aligner" logger and
// qaz.common.progress, and Ctrl-C raises KeyboardInterrupt from the next
// progress step.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "align/aligner.h"
#include "py_support.h"
#include "link_lists.h"

namespace py = pybind11;

namespace {

constexpr const char* kLogger = "qaz.aligner";

// Log lines, polls and progress bars as the other modules have them, on the
// aligner's logger.
class Reporter : public qaz_py::PyReporter {
 public:
  Reporter() : qaz_py::PyReporter(kLogger) {}
};

// A sequence of str as lines; TypeError naming the argument and the item.
std::vector<std::string> Lines(const py::handle& value, const char* name) {
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) ||
      !PySequence_Check(value.ptr())) {
    throw py::type_error(std::string(name) +
                         " must be a sequence of str lines, got " +
                         qaz_py::TypeName(value));
  }
  py::sequence seq = py::reinterpret_borrow<py::sequence>(value);
  const size_t n = py::len(seq);
  std::vector<std::string> out;
  out.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    py::object item = seq[k];
    if (!PyUnicode_Check(item.ptr())) {
      throw py::type_error(std::string(name) + "[" + std::to_string(k) +
                           "] must be str, got " + qaz_py::TypeName(item));
    }
    out.push_back(item.cast<std::string>());
  }
  return out;
}

std::string Text(const py::handle& value, const char* name) {
  if (!PyUnicode_Check(value.ptr())) {
    throw py::type_error(std::string(name) + " must be str, got " +
                         qaz_py::TypeName(value));
  }
  return value.cast<std::string>();
}

// A float64 array owning `values`, shaped `shape`.
py::array_t<double> OwnedArray(std::vector<double> values,
                               std::vector<py::ssize_t> shape) {
  auto* held = new std::vector<double>(std::move(values));
  py::capsule owner(held, [](void* p) {
    delete static_cast<std::vector<double>*>(p);
  });
  return py::array_t<double>(shape, held->data(), owner);
}

qaz::Tokenization TokensOf(int flags) {
  if (flags < 0 || flags > 7) throw py::value_error("bad tokenisation flags");
  return qaz::Tokenization{(flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0};
}

std::unique_ptr<qaz::Aligner> MakeAligner(int32_t iterations, bool character,
                                          int threads, int64_t memory_limit,
                                          bool both_directions,
                                          bool concurrent,
                                          const std::string& schedule,
                                          bool agreement, double p0,
                                          bool posterior_product,
                                          bool whitespace_runs,
                                          bool lowercase) {
  if (iterations < 0) throw py::value_error("iterations must not be negative");
  if (threads < 0) throw py::value_error("threads must be at least 1");
  qaz::AlignerOptions options;
  options.iterations = iterations;
  options.character_based = character;
  options.threads = threads;
  options.memory_limit = memory_limit;
  options.both_directions = both_directions;
  options.concurrent = concurrent;
  if (!schedule.empty()) options.schedule = qaz::ParseSchedule(schedule);
  if (!(p0 >= 0.0 && p0 < 1.0)) throw py::value_error("p0 must lie in [0, 1)");
  options.agreement = agreement;
  options.p0 = p0;
  options.posterior_product = posterior_product;
  options.whitespace_runs = whitespace_runs;
  options.lowercase = lowercase;
  return std::make_unique<qaz::Aligner>(options);
}

void TrainFilesShim(qaz::Aligner& a, const py::object& src, const py::object& trg) {
  const std::string s = qaz_py::PathArg(src), t = qaz_py::PathArg(trg);
  Reporter log;
  py::gil_scoped_release release;
  a.TrainFiles(s, t, log);
}

void TrainJoinedShim(qaz::Aligner& a, const py::object& path) {
  const std::string p = qaz_py::PathArg(path);
  Reporter log;
  py::gil_scoped_release release;
  a.TrainJoined(p, log);
}

void TrainLinesShim(qaz::Aligner& a, const py::object& src, const py::object& trg) {
  const std::vector<std::string> s = Lines(src, "src_lines");
  const std::vector<std::string> t = Lines(trg, "trg_lines");
  Reporter log;
  py::gil_scoped_release release;
  a.TrainLines(s, t, log);
}

void TrainReverseShim(qaz::Aligner& a) {
  Reporter log;
  py::gil_scoped_release release;
  a.TrainReverse(log);
}

void LoadShim(qaz::Aligner& a, const py::object& trans, const py::object& align) {
  const std::string t = qaz_py::PathArg(trans);
  std::optional<std::string> al;
  if (!align.is_none()) al = qaz_py::PathArg(align);
  Reporter log;
  py::gil_scoped_release release;
  a.Load(t, al ? &*al : nullptr, log);
}

void SaveModelShim(const qaz::Aligner& a, const py::object& dir) {
  const std::string d = qaz_py::PathArg(dir);
  Reporter log;
  py::gil_scoped_release release;
  a.SaveModel(d, log);
}

void LoadModelShim(qaz::Aligner& a, const py::object& dir) {
  const std::string d = qaz_py::PathArg(dir);
  Reporter log;
  py::gil_scoped_release release;
  a.LoadModel(d, log);
}

// The engine's named outputs of the three path arguments ('' skips one)
// and of any other output kind passed by its name.
qaz::Aligner::Outputs OutputsArg(const std::string& links,
                                 const std::string& forward,
                                 const std::string& reverse,
                                 const py::kwargs& more) {
  qaz::Aligner::Outputs out = {
      {"links", links}, {"forward", forward}, {"reverse", reverse}};
  for (auto [name, path] : more) {
    out.push_back({name.cast<std::string>(), path.cast<std::string>()});
  }
  return out;
}

void WriteLinksOfShim(const qaz::Aligner& a, const py::object& src,
                      const py::object& trg, const std::string& links,
                      const std::string& forward, const std::string& reverse,
                      const std::string& method, double threshold,
                      const py::kwargs& more) {
  const std::string s = qaz_py::PathArg(src);
  const std::string t = trg.is_none() ? std::string() : qaz_py::PathArg(trg);
  const qaz::LinkMethod m = qaz::ParseLinkMethod(method, threshold);
  const qaz::Aligner::Outputs outputs = OutputsArg(links, forward, reverse, more);
  Reporter log;
  py::gil_scoped_release release;
  a.WriteLinksOf(s, t, outputs, m, log);
}

void SaveShim(const qaz::Aligner& a, const py::object& trans,
              const py::object& align, double threshold,
              std::optional<int64_t> nbest) {
  const std::string t = qaz_py::PathArg(trans);
  std::optional<std::string> al;
  if (!align.is_none()) al = qaz_py::PathArg(align);
  const std::string text = py::repr(py::float_(threshold)).cast<std::string>();
  Reporter log;
  py::gil_scoped_release release;
  a.Save(t, al ? &*al : nullptr, threshold, nbest, text, log);
}

void WriteLinksShim(const qaz::Aligner& a, const std::string& links,
                    const std::string& forward, const std::string& reverse,
                    const std::string& method, double threshold,
                    const py::kwargs& more) {
  const qaz::LinkMethod m = qaz::ParseLinkMethod(method, threshold);
  const qaz::Aligner::Outputs outputs = OutputsArg(links, forward, reverse, more);
  Reporter log;
  py::gil_scoped_release release;
  a.WriteLinks(outputs, m, log);
}

py::list AlignLinesShim(const qaz::Aligner& a, const py::object& src,
                        const py::object& trg, const std::string& method,
                        double threshold) {
  const qaz::LinkMethod m = qaz::ParseLinkMethod(method, threshold);
  const std::vector<std::string> s = Lines(src, "src_lines");
  const std::vector<std::string> t = Lines(trg, "trg_lines");
  Reporter log;
  std::vector<qaz::Links> out;
  {
    py::gil_scoped_release release;
    out = a.AlignLines(s, t, m, log);
  }
  return qaz_py::LinkLists(out);
}

py::array_t<double> ScoreLinesShim(const qaz::Aligner& a, const py::object& src,
                                   const py::object& trg) {
  const std::vector<std::string> s = Lines(src, "src_lines");
  const std::vector<std::string> t = Lines(trg, "trg_lines");
  Reporter log;
  std::vector<double> out;
  {
    py::gil_scoped_release release;
    out = a.ScoreLines(s, t, log);
  }
  const py::ssize_t n = static_cast<py::ssize_t>(out.size());
  return OwnedArray(std::move(out), {n});
}

py::array_t<double> PosteriorsShim(const qaz::Aligner& a, const py::object& src,
                                   const py::object& trg) {
  const std::string s = Text(src, "src"), t = Text(trg, "trg");
  Reporter log;
  std::vector<double> out;
  int64_t I = 0, J = 0;
  {
    py::gil_scoped_release release;
    out = a.Posteriors(s, t, &I, &J, log);
  }
  return OwnedArray(std::move(out), {static_cast<py::ssize_t>(I),
                                     static_cast<py::ssize_t>(J)});
}

double TranslationProbShim(const qaz::Aligner& a, const py::object& e,
                           const py::object& f) {
  return a.TranslationProb(Text(e, "src_word"), Text(f, "trg_word"));
}

// ---------------------------------------------------------------- shards

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

template <typename T>
std::vector<T> VectorArg(py::handle value) {
  auto arr = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!arr) throw py::type_error("expected an array of numbers");
  return std::vector<T>(arr.data(), arr.data() + arr.size());
}

template <typename T>
py::array_t<T> ArrayOf(const std::vector<T>& values) {
  py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

std::vector<std::pair<int32_t, int32_t>> ShapesArg(py::handle value) {
  const std::vector<int32_t> flat = VectorArg<int32_t>(value);
  if (flat.size() % 2 != 0) throw py::value_error("shapes must be an (n, 2) array");
  std::vector<std::pair<int32_t, int32_t>> out;
  for (size_t k = 0; k < flat.size(); k += 2) out.emplace_back(flat[k], flat[k + 1]);
  return out;
}

py::list Words(const qaz::StringEnumerator& e) {
  py::list out(e.size());
  for (int32_t k = 0; k < e.size(); ++k) out[k] = py::str(e.IdToStr(k));
  return out;
}

using ShardPtr = std::shared_ptr<qaz::AlignerShard>;

ShardPtr LoadShardShim(const py::object& src, const py::object& trg,
                       int64_t src_offset, int64_t trg_offset,
                       int64_t first_line, int64_t count, int tokens,
                       bool both_directions) {
  const std::string s = qaz_py::PathArg(src), t = qaz_py::PathArg(trg);
  py::gil_scoped_release release;
  return qaz::AlignerShard::Load(s, t, src_offset, trg_offset, first_line,
                                 count, TokensOf(tokens), both_directions);
}

// The HMM parameters sent as their file's text, or None.
std::shared_ptr<qaz::HmmParams> HmmArg(const py::object& text) {
  if (text.is_none()) return nullptr;
  return std::make_shared<qaz::HmmParams>(
      qaz::ParseHmmParams(text.cast<std::string>(), "HMM parameters"));
}

py::object HmmText(const std::shared_ptr<qaz::HmmParams>& h) {
  if (!h) return py::none();
  return py::str(qaz::FormatHmmParams(*h));
}

py::tuple CountsTuple(const qaz::HmmParams::Counts& c) {
  return py::make_tuple(ArrayOf(c.jump), ArrayOf(c.start));
}

// One scheduled E-step on the shard: (fwd entropy, rev entropy, fwd counts,
// rev counts or None, fwd HMM counts, rev HMM counts).
py::tuple ShardJointSweepShim(qaz::AlignerShard& shard, py::handle fwd_p,
                              py::handle rev_p, const py::object& fwd_hmm,
                              const py::object& rev_hmm, bool hmm,
                              bool agreement, int threads) {
  Doubles f = Doubles::ensure(fwd_p);
  if (!f) throw py::value_error("expected the forward values");
  // An array_t is never null: whether the reverse came is rev_p's to say.
  const bool both = !rev_p.is_none();
  Doubles r;
  if (both) {
    r = Doubles::ensure(rev_p);
    if (!r) throw py::value_error("expected the reverse values");
  }
  auto fh = HmmArg(fwd_hmm), rh = HmmArg(rev_hmm);
  std::vector<double> counts[2];
  qaz::JointTotals totals;
  {
    py::gil_scoped_release release;
    totals = shard.JointSweep(f.data(), static_cast<size_t>(f.size()),
                              both ? r.data() : nullptr,
                              both ? static_cast<size_t>(r.size()) : 0, fh, rh,
                              hmm, agreement, qaz::Parallel(threads), counts);
  }
  const py::ssize_t n0 = static_cast<py::ssize_t>(counts[0].size());
  const py::ssize_t n1 = static_cast<py::ssize_t>(counts[1].size());
  return py::make_tuple(totals.entropy[0], totals.entropy[1],
                        OwnedArray(std::move(counts[0]), {n0}),
                        both ? OwnedArray(std::move(counts[1]), {n1}) : py::object(py::none()),
                        CountsTuple(totals.counts[0]), CountsTuple(totals.counts[1]));
}

// A shard's lines of each kind asked for, as bytes in the order asked.
py::tuple LinkBytes(const std::vector<std::string>& lines) {
  py::tuple out(lines.size());
  for (size_t q = 0; q < lines.size(); ++q) out[q] = py::bytes(lines[q]);
  return out;
}

py::tuple ShardJointLinksShim(qaz::AlignerShard& shard, py::handle fwd_p,
                              py::handle rev_p, const py::object& fwd_hmm,
                              const py::object& rev_hmm,
                              const std::string& method, double threshold,
                              bool product,
                              const std::vector<std::string>& kinds,
                              int threads) {
  qaz::LinkMethod m = qaz::ParseLinkMethod(method, threshold);
  m.product = product;
  Doubles f = Doubles::ensure(fwd_p);
  if (!f) throw py::value_error("expected the forward values");
  shard.tables(0).TakeTransValues(f.data(), static_cast<size_t>(f.size()));
  if (!rev_p.is_none()) {
    Doubles r = Doubles::ensure(rev_p);
    if (!r) throw py::value_error("expected the reverse values");
    shard.tables(1).TakeTransValues(r.data(), static_cast<size_t>(r.size()));
  }
  auto fh = HmmArg(fwd_hmm), rh = HmmArg(rev_hmm);
  std::vector<std::string> out;
  {
    py::gil_scoped_release release;
    qaz::NullReporter quiet;
    out = shard.Lines(kinds, m, qaz::Parallel(threads), quiet, fh.get(),
                      rh.get());
  }
  return LinkBytes(out);
}

// (source words, target words, longest source, longest target) of
// direction d as loaded.
py::tuple ShardWordsShim(const qaz::AlignerShard& shard, int d) {
  const qaz::Vocab& v = shard.vocab(d);
  return py::make_tuple(Words(v.src), Words(v.trg), v.max_len_src,
                        v.max_len_trg);
}

// ids: one (src_map, trg_map, S, T, A, B) a direction.
ShardPtr IndexShardShim(const qaz::AlignerShard& shard, const py::list& ids,
                        int threads) {
  std::vector<qaz::ShardIds> all;
  for (py::handle item : ids) {
    py::tuple t = item.cast<py::tuple>();
    if (t.size() != 6) throw py::value_error("expected (src_map, trg_map, S, T, A, B)");
    qaz::ShardIds m;
    m.src_map = VectorArg<int32_t>(t[0]);
    m.trg_map = VectorArg<int32_t>(t[1]);
    m.S = t[2].cast<int32_t>();
    m.T = t[3].cast<int32_t>();
    m.A = t[4].cast<int32_t>();
    m.B = t[5].cast<int32_t>();
    all.push_back(std::move(m));
  }
  py::gil_scoped_release release;
  return shard.Index(all, qaz::Parallel(threads));
}

// (cell keys, shapes as an (n, 2) array) of direction d.
py::tuple ShardLayoutShim(const qaz::AlignerShard& shard, int d) {
  const qaz::ShardTables& t = shard.tables(d);
  const auto shapes = t.Shapes();
  py::array_t<int32_t> arr({static_cast<py::ssize_t>(shapes.size()),
                            static_cast<py::ssize_t>(2)});
  for (size_t k = 0; k < shapes.size(); ++k) {
    arr.mutable_data()[2 * k] = shapes[k].first;
    arr.mutable_data()[2 * k + 1] = shapes[k].second;
  }
  return py::make_tuple(ArrayOf(t.Keys()), arr);
}

void TakeValuesShim(qaz::ShardTables& t, py::handle p, py::handle a) {
  Doubles pv = Doubles::ensure(p), av = Doubles::ensure(a);
  if (!pv || !av) throw py::type_error("values must be arrays of float");
  t.TakeValues(pv.data(), static_cast<size_t>(pv.size()), av.data(),
               static_cast<size_t>(av.size()));
}

// (entropy total, counts or None, alignment counts or None).
py::tuple ShardSweepShim(qaz::AlignerShard& shard, int d, py::handle p,
                         py::handle a, bool entropy, bool expect,
                         bool expect_model2, int threads) {
  qaz::ShardTables& t = shard.tables(d);
  TakeValuesShim(t, p, a);
  qaz::SweepRequest request;
  request.entropy = entropy;
  // Both loops train one Model 2: its entropy is Model 2's.
  request.entropy_model = qaz::ModelType::kModel2;
  request.expect = expect;
  request.expect_model =
      expect_model2 ? qaz::ModelType::kModel2 : qaz::ModelType::kModel1;
  std::vector<double> counts, align_counts;
  double total;
  {
    py::gil_scoped_release release;
    total = t.Sweep(request, qaz::Parallel(threads), &counts, &align_counts);
  }
  py::object c = py::none(), ac = py::none();
  if (expect) {
    const py::ssize_t n = static_cast<py::ssize_t>(counts.size());
    c = OwnedArray(std::move(counts), {n});
    if (expect_model2) {
      const py::ssize_t na = static_cast<py::ssize_t>(align_counts.size());
      ac = OwnedArray(std::move(align_counts), {na});
    }
  }
  return py::make_tuple(total, c, ac);
}

// The link lines (bytes; empty for those not asked for) under the given
// tables of each direction (the reverse ones None when not needed).
py::tuple ShardLinksShim(qaz::AlignerShard& shard, py::handle fwd_p,
                         py::handle fwd_a, py::handle rev_p, py::handle rev_a,
                         const std::string& method, double threshold,
                         const std::vector<std::string>& kinds, int threads) {
  const qaz::LinkMethod m = qaz::ParseLinkMethod(method, threshold);
  TakeValuesShim(shard.tables(0), fwd_p, fwd_a);
  if (!rev_p.is_none()) TakeValuesShim(shard.tables(1), rev_p, rev_a);
  std::vector<std::string> out;
  {
    py::gil_scoped_release release;
    qaz::NullReporter quiet;
    out = shard.Lines(kinds, m, qaz::Parallel(threads), quiet);
  }
  return LinkBytes(out);
}

std::unique_ptr<qaz::ShardedDirection> MakeShardedDirection(
    const std::string& name, const py::list& src_words,
    const py::list& trg_words, int32_t max_src, int32_t max_trg,
    int64_t pairs, const py::list& keys, const py::list& shapes,
    bool scheduled) {
  qaz::Vocab vocab;
  for (py::handle w : src_words) vocab.src.StrToId(w.cast<std::string>());
  for (py::handle w : trg_words) vocab.trg.StrToId(w.cast<std::string>());
  vocab.max_len_src = max_src;
  vocab.max_len_trg = max_trg;
  std::vector<std::vector<uint64_t>> k;
  for (py::handle item : keys) k.push_back(VectorArg<uint64_t>(item));
  std::vector<std::vector<std::pair<int32_t, int32_t>>> sh;
  for (py::handle item : shapes) sh.push_back(ShapesArg(item));
  Reporter log;
  return std::make_unique<qaz::ShardedDirection>(name.c_str(), vocab, pairs, k,
                                                 std::move(sh), log, scheduled);
}

// walk(hmm, fwd values, rev values or None, fwd HMM text, rev HMM text)
// returns one joint_sweep result a shard, in shard order.
void TrainShardedJointShim(qaz::ShardedDirection& fwd, qaz::ShardedDirection* rev,
                           int64_t pairs, const std::string& schedule,
                           bool agreement, double p0, py::object walk) {
  qaz::JointOptions options;
  options.agreement = agreement;
  options.p0 = p0;
  const qaz::Schedule steps = qaz::ParseSchedule(schedule);
  Reporter log;
  qaz::ShardedDirection* dirs[2] = {&fwd, rev};
  const int ndirs = rev != nullptr ? 2 : 1;
  const qaz::JointWalker walker = [&](bool hmm, const qaz::HmmParams* fh,
                                      const qaz::HmmParams* rh) {
    py::gil_scoped_acquire acquire;
    py::object values[2] = {py::none(), py::none()};
    py::object texts[2] = {py::none(), py::none()};
    const qaz::HmmParams* params[2] = {fh, rh};
    for (int d = 0; d < ndirs; ++d) {
      std::vector<double> p = dirs[d]->tables().TransValues();
      const py::ssize_t n = static_cast<py::ssize_t>(p.size());
      values[d] = OwnedArray(std::move(p), {n});
      if (params[d] != nullptr) texts[d] = py::str(qaz::FormatHmmParams(*params[d]));
    }
    py::list results = walk(hmm, values[0], values[1], texts[0], texts[1]);
    qaz::JointTotals totals;
    for (int d = 0; d < ndirs; ++d) {
      std::vector<Doubles> held;
      std::vector<qaz::ShardedTables::Part> parts;
      for (py::handle item : results) {
        py::tuple t = item.cast<py::tuple>();
        if (t.size() != 6) throw py::value_error("a shard sent a malformed result");
        qaz::ShardedTables::Part part;
        part.total = t[d].cast<double>();
        held.push_back(Doubles::ensure(t[2 + d]));
        if (!held.back()) throw py::value_error("a shard sent no counts");
        part.counts = held.back().data();
        part.counts_size = static_cast<size_t>(held.back().size());
        parts.push_back(part);
        if (hmm) {
          py::tuple c = t[4 + d].cast<py::tuple>();
          Doubles jump = Doubles::ensure(c[0]), start = Doubles::ensure(c[1]);
          if (!jump || !start || jump.size() != qaz::HmmParams::kJumps ||
              start.size() != qaz::HmmParams::kStarts) {
            throw py::value_error("a shard sent malformed jump counts");
          }
          for (int q = 0; q < qaz::HmmParams::kJumps; ++q) totals.counts[d].jump[q] += jump.data()[q];
          for (int q = 0; q < qaz::HmmParams::kStarts; ++q) totals.counts[d].start[q] += start.data()[q];
        }
      }
      totals.entropy[d] = dirs[d]->tables().Reduce(parts, true, false);
    }
    return totals;
  };
  py::gil_scoped_release release;
  qaz::TrainShardedJoint(&fwd, rev, pairs, steps, options, walker, log);
}

// walk(entropy, expect, expect_model2) returns one (total, counts,
// alignment counts) a shard, in shard order.
void TrainShardedShim(qaz::ShardedDirection& d, int32_t iterations,
                      py::object walk) {
  Reporter log;
  const qaz::ShardedDirection::Walk walker = [&](bool entropy, bool expect,
                                                 qaz::ModelType kind) {
    py::gil_scoped_acquire acquire;
    const bool model2 = kind == qaz::ModelType::kModel2;
    py::list results = walk(entropy, expect, model2);
    std::vector<Doubles> held;
    std::vector<qaz::ShardedTables::Part> parts;
    for (py::handle r : results) {
      py::tuple t = r.cast<py::tuple>();
      qaz::ShardedTables::Part part;
      part.total = t[0].cast<double>();
      if (expect) {
        held.push_back(Doubles::ensure(t[1]));
        if (!held.back()) throw py::value_error("a shard sent no counts");
        part.counts = held.back().data();
        part.counts_size = static_cast<size_t>(held.back().size());
        if (model2) {
          held.push_back(Doubles::ensure(t[2]));
          if (!held.back()) throw py::value_error("a shard sent no alignment counts");
          part.align_counts = held.back().data();
          part.align_counts_size = static_cast<size_t>(held.back().size());
        }
      }
      parts.push_back(part);
    }
    return d.tables().Reduce(parts, expect, model2);
  };
  py::gil_scoped_release release;
  d.Train(iterations, walker, log);
}

}  // namespace

PYBIND11_MODULE(_aligner, m) {
  m.def(
      "output_kinds",
      [] {
        py::list out;
        for (const qaz::OutputKind& k : qaz::OutputKinds()) {
          out.append(py::make_tuple(std::string(k.name), std::string(k.what)));
        }
        return out;
      },
      "(name, what) of every per-pair output kind, in the order their files "
      "are logged and opened.");
  m.doc() =
      "Word alignment in both directions (IBM Model 2 started from Model 1), "
      "Viterbi links, link posteriors and their symmetrisation, on the "
      "engine's own tables.";
  qaz_py::RegisterErrorTranslators();

  m.def("available_cpus", &qaz::AvailableCpus,
        "The number of CPUs this process may run on.");
  m.def("check_link_method", [](const std::string& method, double threshold) {
    qaz::ParseLinkMethod(method, threshold);
  }, py::arg("method"), py::arg("threshold"),
        "ValueError unless method is none, posterior or a symmetrisation "
        "heuristic and threshold lies in (0, 1].");

  m.def("check_schedule", [](const std::string& schedule) {
    qaz::ParseSchedule(schedule);
  }, py::arg("schedule"),
        "ValueError unless schedule reads as MODEL:ITERATIONS steps (1:5,hmm:5).");

  py::class_<qaz::Aligner>(m, "Engine")
      .def(py::init(&MakeAligner), py::arg("iterations") = 5,
           py::arg("character") = false, py::arg("threads") = 0,
           py::arg("memory_limit") = 0, py::arg("both_directions") = true,
           py::arg("concurrent") = true, py::arg("schedule") = "",
           py::arg("agreement") = false, py::arg("p0") = 0.2,
           py::arg("posterior_product") = false,
           py::arg("whitespace_runs") = false, py::arg("lowercase") = false,
           "An untrained aligner.  threads 0: every CPU this process may run "
           "on; memory_limit in bytes, 0 for none; schedule '' for Model 1 "
           "then Model 2 as the training command, else steps such as "
           "'1:5,hmm:5' trained on both directions together (in agreement "
           "with `agreement`).")
      .def_property_readonly("schedule", [](const qaz::Aligner& a) {
        return qaz::FormatSchedule(a.options().schedule);
      })
      .def_property_readonly("model", [](const qaz::Aligner& a) {
        const qaz::Schedule& s = a.options().schedule;
        if (s.empty()) return "2";
        for (const qaz::ScheduleStep& step : s) {
          if (step.model == qaz::ModelType::kHmm) return "hmm";
        }
        return "1";
      })
      .def_property_readonly("whitespace_runs",
                             [](const qaz::Aligner& a) { return a.options().whitespace_runs; })
      .def_property_readonly("lowercase",
                             [](const qaz::Aligner& a) { return a.options().lowercase; })
      .def_property_readonly("posterior_product",
                             [](const qaz::Aligner& a) { return a.options().posterior_product; })
      .def_property_readonly("agreement",
                             [](const qaz::Aligner& a) { return a.options().agreement; })
      .def_property_readonly("iterations",
                             [](const qaz::Aligner& a) { return a.options().iterations; })
      .def_property_readonly("character", [](const qaz::Aligner& a) {
        return a.options().character_based;
      })
      .def_property_readonly("threads", [](const qaz::Aligner& a) {
        return qaz::Parallel(a.options().threads).threads();
      })
      .def_property_readonly("memory_limit", [](const qaz::Aligner& a) {
        return a.options().memory_limit;
      })
      .def_property_readonly("trained", &qaz::Aligner::trained)
      .def_property_readonly("has_reverse", &qaz::Aligner::has_reverse)
      .def_property_readonly("size", [](const qaz::Aligner& a) {
        return a.trained() ? a.size() : 0;
      }, "Sentence pairs of the training corpus (0 for a model read from files).")
      .def("train_files", &TrainFilesShim, py::arg("src_path"), py::arg("trg_path"),
           "Train on a corpus of two files (the reverse model too unless "
           "both_directions is false).")
      .def("train_joined", &TrainJoinedShim, py::arg("path"),
           "Train on a file of 'source ||| target' lines.")
      .def("train_lines", &TrainLinesShim, py::arg("src_lines"), py::arg("trg_lines"),
           "Train on a corpus of lines held in memory.")
      .def("train_reverse", &TrainReverseShim,
           "Train the reverse model on the training corpus unless it exists.")
      .def("load", &LoadShim, py::arg("trans_path"), py::arg("align_path") = py::none(),
           "Read a forward model from the distribution files of the training "
           "command, as the scoring command reads them.")
      .def("save", &SaveShim, py::arg("trans_path"), py::arg("align_path") = py::none(),
           py::arg("threshold") = 0.001, py::arg("nbest") = 100,
           "Write the forward model's distribution files (model variant).")
      .def("save_model", &SaveModelShim, py::arg("folder"),
           "Write both directions' tables and a manifest into a folder.")
      .def("load_model", &LoadModelShim, py::arg("folder"),
           "Read both directions from a folder save_model wrote.")
      .def("write_links_of", &WriteLinksOfShim, py::arg("src_path"),
           py::arg("trg_path"), py::arg("links"), py::arg("forward"),
           py::arg("reverse"), py::arg("method"), py::arg("threshold"),
           "Write Pharaoh link files of the pairs of two files under the "
           "held models; further output kinds as kind=path.")
      .def("write_links", &WriteLinksShim, py::arg("links"), py::arg("forward"),
           py::arg("reverse"), py::arg("method"), py::arg("threshold"),
           "Write Pharaoh link files of the training corpus ('' skips a file, "
           "'-' is standard output); further output kinds as kind=path.")
      .def("align_lines", &AlignLinesShim, py::arg("src_lines"), py::arg("trg_lines"),
           py::arg("method") = "none", py::arg("threshold") = 0.5,
           "Links (i, j) of every pair, by method: none (forward Viterbi), "
           "a symmetrisation heuristic or posterior.")
      .def("score_lines", &ScoreLinesShim, py::arg("src_lines"), py::arg("trg_lines"),
           "Per-word cross-entropy of every pair under the forward model.")
      .def("posteriors", &PosteriorsShim, py::arg("src"), py::arg("trg"),
           "Forward link posteriors of one pair's real words, shape (I, J).")
      .def("translation_prob", &TranslationProbShim, py::arg("src_word"),
           py::arg("trg_word"), "t(trg_word | src_word) as the model reads it.");

  py::class_<qaz::AlignerShard, ShardPtr>(m, "Shard",
      "A line range of a corpus held by a worker of a sharded alignment.")
      .def_property_readonly("pairs", &qaz::AlignerShard::size)
      .def_property_readonly("directions", &qaz::AlignerShard::directions)
      .def_property_readonly("warnings", &qaz::AlignerShard::warnings)
      .def_property_readonly("memory_bytes", &qaz::AlignerShard::MemoryBytes)
      .def("words", &ShardWordsShim, py::arg("direction"))
      .def("index", &IndexShardShim, py::arg("ids"), py::arg("threads"))
      .def("layout", &ShardLayoutShim, py::arg("direction"))
      .def("attach",
           [](ShardPtr shard, int d, py::handle cell_map, py::handle offsets) {
             shard->tables(d).Attach(VectorArg<uint32_t>(cell_map),
                                     VectorArg<uint64_t>(offsets));
             return shard;
           },
           py::arg("direction"), py::arg("cell_map"), py::arg("block_offsets"))
      .def("sweep", &ShardSweepShim, py::arg("direction"), py::arg("p"),
           py::arg("a"), py::arg("entropy"), py::arg("expect"),
           py::arg("expect_model2"), py::arg("threads"))
      .def("joint_sweep", &ShardJointSweepShim, py::arg("fwd_p"), py::arg("rev_p"),
           py::arg("fwd_hmm"), py::arg("rev_hmm"), py::arg("hmm"),
           py::arg("agreement"), py::arg("threads"))
      .def("joint_links", &ShardJointLinksShim, py::arg("fwd_p"), py::arg("rev_p"),
           py::arg("fwd_hmm"), py::arg("rev_hmm"), py::arg("method"),
           py::arg("threshold"), py::arg("product"), py::arg("kinds"),
           py::arg("threads"))
      .def("links", &ShardLinksShim, py::arg("fwd_p"), py::arg("fwd_a"),
           py::arg("rev_p"), py::arg("rev_a"), py::arg("method"),
           py::arg("threshold"), py::arg("kinds"), py::arg("threads"));
  m.def("load_shard", &LoadShardShim, py::arg("src_path"), py::arg("trg_path"),
        py::arg("src_offset"), py::arg("trg_offset"), py::arg("first_line"),
        py::arg("count"), py::arg("character"), py::arg("both_directions"),
        "Read a line range of a corpus into a Shard (character: the "
        "tokenisation flags, 1 characters, 2 white-space runs, 4 lower case).");
  m.def("train_sharded_joint", &TrainShardedJointShim, py::arg("forward"),
        py::arg("reverse"), py::arg("pairs"), py::arg("schedule"),
        py::arg("agreement"), py::arg("p0"), py::arg("walk"),
        "Train one or two ShardedDirections by a schedule of Model 1 and HMM "
        "steps, each E-step's shard results given by walk(hmm, fwd values, "
        "rev values, fwd HMM, rev HMM).");

  py::class_<qaz::ShardedDirection>(m, "ShardedDirection",
      "One direction's whole tables, trained by walks over shards.")
      .def(py::init(&MakeShardedDirection), py::arg("name"),
           py::arg("src_words"), py::arg("trg_words"), py::arg("max_src"),
           py::arg("max_trg"), py::arg("pairs"), py::arg("keys"),
           py::arg("shapes"), py::arg("scheduled") = false)
      .def_property_readonly("hmm", [](const qaz::ShardedDirection& d) {
        return HmmText(d.hmm);
      })
      .def("trans_values", [](const qaz::ShardedDirection& d) {
        std::vector<double> p = d.tables().TransValues();
        const py::ssize_t np = static_cast<py::ssize_t>(p.size());
        return OwnedArray(std::move(p), {np});
      })
      .def("cell_map", [](const qaz::ShardedDirection& d, size_t s) {
        return ArrayOf(d.tables().cell_map(s));
      }, py::arg("shard"))
      .def("block_offsets", [](const qaz::ShardedDirection& d, size_t s) {
        return ArrayOf(d.tables().block_offsets(s));
      }, py::arg("shard"))
      .def("values", [](const qaz::ShardedDirection& d) {
        std::vector<double> p = d.tables().TransValues();
        std::vector<double> a = d.tables().AlignValues();
        const py::ssize_t np = static_cast<py::ssize_t>(p.size());
        const py::ssize_t na = static_cast<py::ssize_t>(a.size());
        return py::make_tuple(OwnedArray(std::move(p), {np}),
                              OwnedArray(std::move(a), {na}));
      })
      .def("train", &TrainShardedShim, py::arg("iterations"), py::arg("walk"),
           "Both EM loops, each walk's sweeps done by walk(entropy, expect, "
           "expect_model2).");
}
