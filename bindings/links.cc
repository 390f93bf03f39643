// qaz._links: word links of aligned sentences (symmetrisation, alignment
// error rate counts, link files) over the engine in cpp/align/links.h.
//
// A sentence's links cross the boundary as a list of (i, j) tuples, a test
// set as a list of such lists.  Posterior matrices cross as 2-D float64
// arrays, not copied.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "align/links.h"
#include "common/errors.h"
#include "py_support.h"
#include "link_lists.h"

namespace py = pybind11;

namespace {

using Sentences = std::vector<qaz::Links>;

std::string FsPath(const py::object& path) {
  return py::module_::import("os").attr("fspath")(path).cast<std::string>();
}

// One link from a Python pair of integers.
qaz::Link ToLink(const py::handle& item, const char* what, size_t sentence,
                 size_t k) {
  auto fail = [&]() {
    throw py::value_error(std::string(what) + " sentence " +
                          std::to_string(sentence) + ", link " +
                          std::to_string(k) +
                          ": expected a pair (i, j) of non-negative 32-bit "
                          "integers, got " +
                          py::repr(item).cast<std::string>());
  };
  if (!py::isinstance<py::sequence>(item) || py::isinstance<py::str>(item)) {
    fail();
  }
  py::sequence pair = py::reinterpret_borrow<py::sequence>(item);
  if (py::len(pair) != 2) fail();
  int64_t v[2];
  for (int n = 0; n < 2; ++n) {
    py::object x = pair[n];
    if (!py::isinstance<py::int_>(x) &&
        !py::hasattr(x, "__index__")) {
      fail();
    }
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(x.ptr(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || value < 0 ||
        value > std::numeric_limits<int32_t>::max()) {
      fail();
    }
    v[n] = value;
  }
  return qaz::Link{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1])};
}

// A test set from a sequence of sequences of pairs (1-based sentence
// numbers in errors).
Sentences ToSentences(const py::handle& obj, const char* what) {
  if (!py::isinstance<py::sequence>(obj) || py::isinstance<py::str>(obj)) {
    throw py::type_error(std::string(what) +
                         " must be a list of link lists, one per sentence");
  }
  py::sequence seq = py::reinterpret_borrow<py::sequence>(obj);
  Sentences out(py::len(seq));
  for (size_t s = 0; s < out.size(); ++s) {
    py::object sentence = seq[s];
    if (!py::isinstance<py::sequence>(sentence) ||
        py::isinstance<py::str>(sentence)) {
      throw py::type_error(std::string(what) + " sentence " +
                           std::to_string(s + 1) +
                           ": expected a list of (i, j) pairs, got " +
                           py::repr(sentence).cast<std::string>());
    }
    py::sequence links = py::reinterpret_borrow<py::sequence>(sentence);
    const size_t n = py::len(links);
    out[s].reserve(n);
    for (size_t k = 0; k < n; ++k) {
      out[s].push_back(ToLink(links[k], what, s + 1, k + 1));
    }
  }
  return out;
}

void CheckSameCount(const Sentences& a, const char* a_name,
                    const Sentences& b, const char* b_name) {
  if (a.size() != b.size()) {
    throw py::value_error(std::string(a_name) + " has " +
                          std::to_string(a.size()) + " sentences but " +
                          b_name + " has " + std::to_string(b.size()));
  }
}

py::list SymmetrizeShim(const py::object& forward, const py::object& reverse,
                        const std::string& method) {
  const qaz::Symmetrization m = qaz::ParseSymmetrization(method);
  Sentences f = ToSentences(forward, "forward");
  Sentences r = ToSentences(reverse, "reverse");
  CheckSameCount(f, "forward", r, "reverse");
  Sentences out(f.size());
  {
    py::gil_scoped_release release;
    for (size_t s = 0; s < f.size(); ++s) out[s] = qaz::Symmetrize(f[s], r[s], m);
  }
  return qaz_py::LinkLists(out);
}

using Matrix = py::array_t<double, py::array::c_style | py::array::forcecast>;

py::list PosteriorShim(const py::sequence& forward, const py::sequence& reverse,
                       double threshold) {
  const size_t n = py::len(forward);
  if (py::len(reverse) != n) {
    throw py::value_error("forward has " + std::to_string(n) +
                          " sentences but reverse has " +
                          std::to_string(py::len(reverse)));
  }
  std::vector<Matrix> f, r;
  f.reserve(n);
  r.reserve(n);
  for (size_t s = 0; s < n; ++s) {
    f.push_back(Matrix::ensure(forward[s]));
    r.push_back(Matrix::ensure(reverse[s]));
    if (!f.back() || !r.back()) throw py::error_already_set();
    const std::string where = "sentence " + std::to_string(s + 1) + ": ";
    if (f.back().ndim() != 2 || r.back().ndim() != 2) {
      throw py::value_error(where + "posteriors must be 2-D arrays (I x J)");
    }
    if (f.back().shape(0) != r.back().shape(0) ||
        f.back().shape(1) != r.back().shape(1)) {
      throw py::value_error(
          where + "forward posterior has shape (" +
          std::to_string(f.back().shape(0)) + ", " +
          std::to_string(f.back().shape(1)) + ") but reverse (" +
          std::to_string(r.back().shape(0)) + ", " +
          std::to_string(r.back().shape(1)) + ")");
    }
  }
  Sentences out(n);
  {
    py::gil_scoped_release release;
    for (size_t s = 0; s < n; ++s) {
      out[s] = qaz::PosteriorLinks(f[s].data(), r[s].data(), f[s].shape(0),
                                   f[s].shape(1), threshold);
    }
  }
  return qaz_py::LinkLists(out);
}

py::dict AerCountsShim(const py::object& sure, const py::object& possible,
                       const py::object& hyp) {
  Sentences s = ToSentences(sure, "sure");
  Sentences p = ToSentences(possible, "possible");
  Sentences a = ToSentences(hyp, "hypothesis");
  CheckSameCount(s, "sure", p, "possible");
  CheckSameCount(a, "hypothesis", s, "sure");
  qaz::AerCounts c;
  for (size_t k = 0; k < s.size(); ++k) c.Add(s[k], p[k], a[k]);
  py::dict out;
  out["hypothesis"] = c.hypothesis;
  out["sure"] = c.sure;
  out["hypothesis_and_sure"] = c.hypothesis_and_sure;
  out["hypothesis_and_possible"] = c.hypothesis_and_possible;
  out["precision"] = c.Precision();
  out["recall"] = c.Recall();
  out["f1"] = c.F1();
  out["aer"] = c.Aer();
  return out;
}

py::tuple GoldToPython(const qaz::GoldLinks& gold) {
  return py::make_tuple(qaz_py::LinkLists(gold.sure), qaz_py::LinkLists(gold.possible));
}

py::list ReadLinksShim(const py::object& path, int64_t limit) {
  const std::string p = FsPath(path);
  Sentences out;
  {
    py::gil_scoped_release release;
    out = qaz::ReadLinkFile(p, limit);
  }
  return qaz_py::LinkLists(out);
}

py::list ReadDecodedShim(const py::object& path, int64_t limit) {
  const std::string p = FsPath(path);
  Sentences out;
  {
    py::gil_scoped_release release;
    out = qaz::ReadDecodedFile(p, limit);
  }
  return qaz_py::LinkLists(out);
}

py::tuple ReadGoldShim(const py::object& path, bool swap, bool naacl) {
  const std::string p = FsPath(path);
  qaz::GoldLinks gold;
  {
    py::gil_scoped_release release;
    gold = naacl ? qaz::ReadNaaclFile(p, swap) : qaz::ReadGoldLinkFile(p, swap);
  }
  return GoldToPython(gold);
}

py::tuple ReadGoldCountedShim(const py::object& path, bool naacl, bool swap,
                              int64_t limit) {
  const std::string p = FsPath(path);
  qaz::GoldLinks gold;
  {
    py::gil_scoped_release release;
    gold = naacl ? qaz::ReadNaaclFile(p, swap, limit)
                 : qaz::ReadGoldLinkFile(p, swap, limit);
  }
  return py::make_tuple(qaz_py::LinkLists(gold.sure),
                        qaz_py::LinkLists(gold.possible), gold.sentences);
}

py::tuple ReadGoldLinksShim(const py::object& path, bool swap) {
  return ReadGoldShim(path, swap, false);
}

py::tuple ReadNaaclShim(const py::object& path, bool swap) {
  return ReadGoldShim(path, swap, true);
}

py::list FormatLinksShim(const py::object& sentences) {
  Sentences s = ToSentences(sentences, "links");
  py::list out(s.size());
  for (size_t k = 0; k < s.size(); ++k) {
    qaz::Normalize(&s[k]);
    out[k] = py::str(qaz::FormatLinks(s[k]));
  }
  return out;
}

py::list TransposeShim(const py::object& sentences) {
  Sentences s = ToSentences(sentences, "links");
  for (qaz::Links& links : s) links = qaz::Transpose(links);
  return qaz_py::LinkLists(s);
}

}  // namespace

PYBIND11_MODULE(_links, m) {
  m.doc() =
      "Word links of aligned sentence pairs: symmetrisation, alignment error "
      "rate counts and link files.  Links are (i, j) tuples of 0-based "
      "source and target positions, one list per sentence.";

  qaz_py::RegisterErrorTranslators();

  m.def("symmetrize", &SymmetrizeShim, py::arg("forward"), py::arg("reverse"),
        py::arg("method") = "grow-diag-final-and",
        "Combine forward and reverse links (both source-target), sentence by "
        "sentence.  method: intersect, union, grow-diag, grow-diag-final, "
        "grow-diag-final-and.");
  m.def("symmetrize_posterior", &PosteriorShim, py::arg("forward"),
        py::arg("reverse"), py::arg("threshold"),
        "Links (i, j) whose mean of the forward and reverse posteriors "
        "(I x J arrays, one pair per sentence) reaches threshold in (0, 1].");
  m.def("aer_counts", &AerCountsShim, py::arg("sure"), py::arg("possible"),
        py::arg("hypothesis"),
        "Link counts summed over the sentences (hypothesis |A|, sure |S|, "
        "hypothesis_and_sure, hypothesis_and_possible; P is taken to include "
        "S) and the precision, recall, f1 and aer they give.");
  m.def("read_links", &ReadLinksShim, py::arg("path"), py::arg("limit") = -1,
        "Links of a Pharaoh file ('i-j' tokens), one list per line; at most "
        "`limit` lines when limit >= 0.");
  m.def("read_decoded", &ReadDecodedShim, py::arg("path"),
        py::arg("limit") = -1,
        "0-based links of a decoded-alignment file ('j-i', 1-based, 0 for "
        "NULL; NULL links dropped); at most `limit` lines when limit >= 0.");
  m.def("read_gold_links", &ReadGoldLinksShim, py::arg("path"),
        py::arg("swap") = false,
        "(sure, possible) of a Pharaoh gold file ('i-j' sure, 'i?j' or 'ipj' "
        "possible); possible includes sure; swap gives (j, i).");
  m.def("read_naacl", &ReadNaaclShim, py::arg("path"), py::arg("swap") = false,
        "(sure, possible) of a NAACL-2003 gold file ('sentence position "
        "position [S|P] [confidence]', 1-based), one list per sentence up to "
        "the highest sentence number; swap takes the second position as i.");
  m.def("read_gold", &ReadGoldCountedShim, py::arg("path"), py::arg("naacl"),
        py::arg("swap") = false, py::arg("limit") = -1,
        "(sure, possible, sentences) of a gold file, NAACL-2003 when naacl, "
        "else Pharaoh: the links of the first `limit` sentences when limit "
        ">= 0 (all otherwise) and the number of sentences of the whole "
        "file.");
  m.def("format_links", &FormatLinksShim, py::arg("sentences"),
        "Pharaoh lines ('0-0 1-2', sorted, no line feed), one per sentence.");
  m.def("transpose", &TransposeShim, py::arg("sentences"),
        "Every link (i, j) turned into (j, i), each sentence sorted again.");
}
