// qaz._aligner: the engine's bidirectional word aligner (cpp/align/aligner.h)
// behind the qaz-align command and qaz.aligner.Aligner.
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

std::unique_ptr<qaz::Aligner> MakeAligner(int32_t iterations, bool character,
                                          int threads, int64_t memory_limit,
                                          bool both_directions,
                                          bool concurrent) {
  if (iterations < 0) throw py::value_error("iterations must not be negative");
  if (threads < 0) throw py::value_error("threads must be at least 1");
  qaz::AlignerOptions options;
  options.iterations = iterations;
  options.character_based = character;
  options.threads = threads;
  options.memory_limit = memory_limit;
  options.both_directions = both_directions;
  options.concurrent = concurrent;
  return std::make_unique<qaz::Aligner>(options);
}

void TrainFilesShim(qaz::Aligner& a, const py::object& src, const py::object& trg) {
  const std::string s = qaz_py::PathArg(src), t = qaz_py::PathArg(trg);
  Reporter log;
  py::gil_scoped_release release;
  a.TrainFiles(s, t, log);
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
                    const std::string& method, double threshold) {
  const qaz::LinkMethod m = qaz::ParseLinkMethod(method, threshold);
  Reporter log;
  py::gil_scoped_release release;
  a.WriteLinks({links, forward, reverse}, m, log);
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

}  // namespace

PYBIND11_MODULE(_aligner, m) {
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

  py::class_<qaz::Aligner>(m, "Engine")
      .def(py::init(&MakeAligner), py::arg("iterations") = 5,
           py::arg("character") = false, py::arg("threads") = 0,
           py::arg("memory_limit") = 0, py::arg("both_directions") = true,
           py::arg("concurrent") = true,
           "An untrained aligner.  threads 0: every CPU this process may run "
           "on; memory_limit in bytes, 0 for none.")
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
      .def("write_links", &WriteLinksShim, py::arg("links"), py::arg("forward"),
           py::arg("reverse"), py::arg("method"), py::arg("threshold"),
           "Write Pharaoh link files of the training corpus ('' skips a file, "
           "'-' is standard output).")
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
}
