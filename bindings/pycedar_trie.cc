#include "pycedar_trie.h"

#include <memory>

#include "pickle_support.h"
#include "tables/rule_line.h"

namespace qaz_py {

std::string_view Utf8(py::handle s) {
  Py_ssize_t n = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s.ptr(), &n);
  if (p == nullptr) throw py::error_already_set();
  return {p, static_cast<size_t>(n)};
}

py::str MakeStr(std::string_view s) {
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr);
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(o);
}

py::object Call(py::handle fn, std::initializer_list<PyObject*> args) {
  PyObject* r = PyObject_Vectorcall(fn.ptr(), args.begin(), args.size(), nullptr);
  if (r == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(r);
}

void RequireValueStr(py::handle o) {
  if (o.is_none() || PyUnicode_Check(o.ptr())) return;
  throw py::type_error("Expected str, got " + pickling::TypeName(o));
}

namespace {

py::object NodeTrack(py::handle node) {
  static PyObject* name = PyUnicode_InternFromString("track");
  PyObject* r = PyObject_CallMethodNoArgs(node.ptr(), name);
  if (r == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(r);
}

// The two numbers of a node.track() result when both are plain integers.
bool TrackNumbers(py::handle t, Track* track) {
  if (!PyTuple_Check(t.ptr()) || PyTuple_GET_SIZE(t.ptr()) < 2) return false;
  PyObject* a = PyTuple_GET_ITEM(t.ptr(), 0);
  PyObject* b = PyTuple_GET_ITEM(t.ptr(), 1);
  if (!PyLong_CheckExact(a) || !PyLong_CheckExact(b)) return false;
  track->id = PyLong_AsUnsignedLongLong(a);
  track->length = PyLong_AsUnsignedLongLong(b);
  if (PyErr_Occurred()) {
    PyErr_Clear();
    return false;
  }
  return true;
}

py::object ToUnsigned(py::handle piece) {
  PyObject* v = PyLong_FromUnicodeObject(piece.ptr(), 10);
  if (v == nullptr) throw py::error_already_set();
  py::object num = py::reinterpret_steal<py::object>(v);
  const unsigned long long u = PyLong_AsUnsignedLongLong(num.ptr());
  if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw py::error_already_set();
  return py::int_(u);
}

}  // namespace

void AppendNodeTrack(std::string& out, py::handle node) {
  py::object t = NodeTrack(node);
  Track track;
  if (TrackNumbers(t, &track)) {
    qaz::tables::AppendTrack(track.id, track.length, &out);
    return;
  }
  if (PyTuple_Check(t.ptr()) && PyTuple_GET_SIZE(t.ptr()) >= 2) {
    t = py::make_tuple(py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(t.ptr(), 0)),
                       py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(t.ptr(), 1)));
  }
  for (char c : Utf8(py::str(t)))
    if (c != ' ') out += c;
}

Track ParseTrackFromPython(py::handle text) {
  py::object inner = text[py::slice(1, -1, 1)];
  py::list pieces = inner.attr("split")(",");
  if (py::len(pieces) < 2) throw py::index_error("list index out of range");
  py::object a = ToUnsigned(pieces[0]);
  py::object b = ToUnsigned(pieces[1]);
  return Track{PyLong_AsUnsignedLongLong(a.ptr()), PyLong_AsUnsignedLongLong(b.ptr())};
}

py::handle PycedarTrie::Update() {
  if (!update_) update_ = dict_.attr("update");
  return update_;
}

py::handle PycedarTrie::GetNode() {
  if (!get_node_) get_node_ = dict_.attr("get_node");
  return get_node_;
}

py::handle PycedarTrie::Suffix() {
  if (!suffix_) suffix_ = dict_.attr("trie").attr("suffix");
  return suffix_;
}

bool PycedarTrie::Insert(std::string_view key) {
  static PyObject* one = PyLong_FromLong(1);
  py::str text = MakeStr(key);
  if (!on_refused_) {
    Call(Update(), {text.ptr(), one});
    return true;
  }
  try {
    Call(Update(), {text.ptr(), one});
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_Exception)) throw;
    on_refused_(e, text);
    return false;
  }
  return true;
}

bool PycedarTrie::AppendTrack(std::string_view key, std::string* out) {
  py::object node = Call(GetNode(), {MakeStr(key).ptr()});
  if (node.is_none()) return false;
  AppendNodeTrack(*out, node);
  return true;
}

std::string PycedarTrie::Key(Track track) {
  py::handle suffix = Suffix();
  py::object key = Call(suffix, {py::int_(track.id).ptr(), py::int_(track.length).ptr()});
  RequireValueStr(key);
  return key.is_none() ? std::string() : std::string(Utf8(key));
}

Track PycedarTrie::ParseTrack(std::string_view text) {
  Suffix();  // a trie without one fails here, before the numbers are read
  return ParseTrackFromPython(MakeStr(text));
}

void PycedarTrie::ForEachKey(const std::function<void(std::string_view)>& f) {
  for (py::handle node : dict_.attr("nodes")()) {
    py::object key = node.attr("key")();
    f(Utf8(key));
  }
}

std::vector<Track> PycedarTrie::TracksOf(std::string_view key) {
  std::vector<Track> tracks;
  py::str text = MakeStr(key);
  py::object node = Call(GetNode(), {text.ptr()});
  if (node.is_none()) return tracks;
  Track t;
  if (TrackNumbers(NodeTrack(node), &t)) tracks.push_back(t);
  // The same node as nodes() names it, which may differ for keys that end in
  // the trie's tail: the first node under the key is the key's own.
  py::object under = py::iter(dict_.attr("root").attr("find_nodes")(text));
  PyObject* first = PyIter_Next(under.ptr());
  if (first == nullptr) {
    if (PyErr_Occurred()) throw py::error_already_set();
    return tracks;
  }
  py::object own = py::reinterpret_steal<py::object>(first);
  if (TrackNumbers(NodeTrack(own), &t) && t.length == key.size()) tracks.push_back(t);
  return tracks;
}

void PycedarTrie::ForEachKeyAndTracks(
    const std::function<void(std::string_view, const std::vector<Track>&)>& f) {
  // The tracks TracksOf() finds, in one walk: nodes() gives each key's own
  // node, get_node() the track it hands out.
  std::vector<Track> tracks;
  for (py::handle node : dict_.attr("nodes")()) {
    py::object key = node.attr("key")();
    const std::string_view text = Utf8(key);
    tracks.clear();
    py::object found = Call(GetNode(), {key.ptr()});
    Track t;
    if (!found.is_none() && TrackNumbers(NodeTrack(found), &t)) tracks.push_back(t);
    if (TrackNumbers(NodeTrack(node), &t) && t.length == text.size()) tracks.push_back(t);
    f(text, tracks);
  }
}

namespace {

struct KnownEntry {
  py::object dict;
  std::unique_ptr<qaz::tables::KnownTracks> known;
};

std::vector<KnownEntry>& KnownEntries() {
  static auto* entries = new std::vector<KnownEntry>();  // outlives finalisation
  return *entries;
}

}  // namespace

void ForgetDeadTries() {
  auto& entries = KnownEntries();
  for (size_t i = 0; i < entries.size();) {
    if (Py_REFCNT(entries[i].dict.ptr()) == 1) {
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

qaz::tables::KnownTracks& KnownTracksOf(py::handle dict) {
  ForgetDeadTries();
  for (KnownEntry& e : KnownEntries()) {
    if (e.dict.ptr() == dict.ptr()) return *e.known;
  }
  KnownEntries().push_back(KnownEntry{py::reinterpret_borrow<py::object>(dict),
                                      std::make_unique<qaz::tables::KnownTracks>()});
  return *KnownEntries().back().known;
}

}  // namespace qaz_py
