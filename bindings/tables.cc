// qaz.smt.trans_models.tables: rule tables indexed by pycedar tries.
//
// A table keeps no rule text. Every distinct field of the file is a key of
// the field trie; a rule is the key of its track line (the "(id,length)"
// names of its fields' nodes, joined by " | ") in the record trie; the
// source, target and target-column indexes hold "key track | record track"
// pairs. Queries prefix-search an index and rebuild the rule lines from the
// tracks they find.
//
// Node ids of a pycedar trie move while keys are still being added, and the
// library's pickling compacts the trie in place, which moves the nodes of
// keys stored in its tail. Tracks are therefore taken only from complete
// tries, and each trie whose nodes are named by tracks (the field trie and
// the record trie) is compacted once as soon as it is complete, before any
// track of it is stored. Later compactions leave such a trie unchanged, so
// pickling a table neither breaks the table nor its restored copy.
//
// The overridable operations (format_src_key, line2tracks, tracks2line,
// find_src, find_trg, and _Table__find_key/find as reached by name) are
// looked up on the Python object; when the lookup finds the Table method
// itself the native code is called directly.

#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tables/rule_line.h"

namespace py = pybind11;
using namespace qaz::tables;

namespace {

// ---------------------------------------------------------------------------
// Small conversions around the C API.

[[noreturn]] void Raise(PyObject* type, const std::string& msg) {
  PyErr_SetString(type, msg.c_str());
  throw py::error_already_set();
}

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

std::string TypeName(py::handle o) { return Py_TYPE(o.ptr())->tp_name; }

std::string Repr(py::handle o) { return std::string(Utf8(py::repr(o))); }

bool IsStrOrNone(py::handle o) { return o.is_none() || PyUnicode_Check(o.ptr()); }

// The argument check of the documented signatures ("str key").
void RequireArgStr(py::handle o, const char* name) {
  if (IsStrOrNone(o)) return;
  Raise(PyExc_TypeError, std::string("Argument '") + name +
                             "' has incorrect type (expected str, got " + TypeName(o) + ")");
}

// The check applied to results of overrides and to restored text fields.
void RequireValueStr(py::handle o) {
  if (IsStrOrNone(o)) return;
  Raise(PyExc_TypeError, "Expected str, got " + TypeName(o));
}

[[noreturn]] void RaiseNoSplit() {
  Raise(PyExc_AttributeError, "'NoneType' object has no attribute 'split'");
}

py::object Call(py::handle fn, std::initializer_list<PyObject*> args) {
  PyObject* r = PyObject_Vectorcall(fn.ptr(), args.begin(), args.size(), nullptr);
  if (r == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(r);
}

bool Truth(py::handle o) {
  const int t = PyObject_IsTrue(o.ptr());
  if (t < 0) throw py::error_already_set();
  return t != 0;
}

// ---------------------------------------------------------------------------
// Module state, filled once at import and kept for the interpreter's life.

enum Op { kFormatSrcKey, kLine2Tracks, kTracks2Line, kFindKey, kFind, kNumOps };
const char* const kOpNames[kNumOps] = {"format_src_key", "line2tracks", "tracks2line",
                                       "_Table__find_key", "find"};

struct ModuleState {
  py::module_ module;
  py::object pycedar_dict;
  py::object progress;
  py::object one;
  py::object base_fn[kNumOps];
  py::object table_type;
};

ModuleState& State() {
  static auto* state = new ModuleState();  // never destroyed: outlives finalisation
  return *state;
}

py::object Logger() { return State().module.attr("logger"); }

py::object NewTrie() { return State().pycedar_dict(py::reinterpret_borrow<py::object>(
    reinterpret_cast<PyObject*>(&PyUnicode_Type))); }

// ---------------------------------------------------------------------------
// The table.

struct Table {
  py::object record_class = py::none();
  py::object table_path = py::none();
  py::object table_file = py::none();
  py::object key_type = py::none();
  py::object field_dict = py::none();
  py::object record_dict = py::none();
  py::object src_record_dict = py::none();
  py::object trg_record_dict = py::none();
  py::object trg_field_record_dicts = py::none();
  bool trg_key_enabled = false;

  template <typename F>
  void ForEachRef(F f) {
    f(record_class); f(table_path); f(table_file); f(key_type); f(field_dict);
    f(record_dict); f(src_record_dict); f(trg_record_dict); f(trg_field_record_dicts);
  }
};

Table& TableOf(py::handle self) { return py::cast<Table&>(self); }

// ---------------------------------------------------------------------------
// Tracks (module functions get_track_str and track2key).

// Appends the track text of `node` to `out`: the first two numbers of
// node.track(), printed as Python prints a 2-tuple, without blanks.
void AppendTrack(std::string& out, py::handle node) {
  static PyObject* name = PyUnicode_InternFromString("track");
  PyObject* r = PyObject_CallMethodNoArgs(node.ptr(), name);
  if (r == nullptr) throw py::error_already_set();
  py::object t = py::reinterpret_steal<py::object>(r);
  if (PyTuple_Check(t.ptr()) && PyTuple_GET_SIZE(t.ptr()) >= 2) {
    PyObject* a = PyTuple_GET_ITEM(t.ptr(), 0);
    PyObject* b = PyTuple_GET_ITEM(t.ptr(), 1);
    if (PyLong_CheckExact(a) && PyLong_CheckExact(b)) {
      int oa = 0, ob = 0;
      const long long va = PyLong_AsLongLongAndOverflow(a, &oa);
      const long long vb = PyLong_AsLongLongAndOverflow(b, &ob);
      if (oa == 0 && ob == 0 && !PyErr_Occurred()) {
        out += FormatTrack(va, vb);
        return;
      }
      PyErr_Clear();
    }
    t = py::make_tuple(py::reinterpret_borrow<py::object>(a),
                       py::reinterpret_borrow<py::object>(b));
  }
  for (char c : Utf8(py::str(t)))
    if (c != ' ') out += c;
}

py::str GetTrackStr(py::handle node) {
  std::string out;
  AppendTrack(out, node);
  return MakeStr(out);
}

py::object ToUnsigned(py::handle piece) {
  PyObject* v = PyLong_FromUnicodeObject(piece.ptr(), 10);
  if (v == nullptr) throw py::error_already_set();
  py::object num = py::reinterpret_steal<py::object>(v);
  const unsigned long long u = PyLong_AsUnsignedLongLong(num.ptr());
  if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw py::error_already_set();
  return py::int_(u);
}

// Key of the node named by `track` in the trie whose `suffix` is given.
py::object TrackToKey(py::handle suffix, py::handle track) {
  if (track.is_none()) Raise(PyExc_TypeError, "'NoneType' object is not subscriptable");
  if (!PyUnicode_Check(track.ptr()))
    Raise(PyExc_TypeError, "track must be str, not " + TypeName(track));
  uint64_t first = 0, second = 0;
  if (ParsePlainTrack(Utf8(track), &first, &second))
    return Call(suffix, {py::int_(first).ptr(), py::int_(second).ptr()});
  py::object inner = track[py::slice(1, -1, 1)];
  py::list pieces = inner.attr("split")(",");
  if (py::len(pieces) < 2) Raise(PyExc_IndexError, "list index out of range");
  py::object a = ToUnsigned(pieces[0]);
  py::object b = ToUnsigned(pieces[1]);
  return Call(suffix, {a.ptr(), b.ptr()});
}

py::object SuffixOf(py::handle trie_dict) { return trie_dict.attr("trie").attr("suffix"); }

py::object Track2Key(py::handle trie_dict, py::handle track) {
  if (track.is_none()) Raise(PyExc_TypeError, "'NoneType' object is not subscriptable");
  return TrackToKey(SuffixOf(trie_dict), track);
}

// ---------------------------------------------------------------------------
// Native versions of the overridable conversions.

py::object FormatSrcKeyNative(Table& t, py::handle src) {
  if (!PyUnicode_Check(t.key_type.ptr())) return py::none();
  const std::string_view kt = Utf8(t.key_type);
  bool hiero;
  if (kt == "src") return py::reinterpret_borrow<py::object>(src);
  if (kt == "src_hiero") hiero = true;
  else if (kt == "src_symbols") hiero = false;
  else return py::none();
  py::object symbols = t.record_class.attr("getSymbols")(src, py::arg("hiero") = hiero);
  return py::str(" ").attr("join")(symbols);
}

py::str Line2TracksNative(Table& t, py::handle line) {
  if (line.is_none()) RaiseNoSplit();
  const std::string_view text = Utf8(line);
  py::object get_node = t.field_dict.attr("get_node");
  std::string out;
  bool first = true;
  for (std::string_view piece : Split(text, kFieldSep)) {
    if (!first) out += kTrackSep;
    first = false;
    const std::string_view field = Strip(piece);
    if (field.empty()) continue;
    py::object node = Call(get_node, {MakeStr(field).ptr()});
    if (node.is_none()) out += kAbsentTrack;
    else AppendTrack(out, node);
  }
  return MakeStr(out);
}

py::str Tracks2LineNative(Table& t, py::handle tracks) {
  if (tracks.is_none()) RaiseNoSplit();
  const std::string_view text = Utf8(tracks);
  py::object suffix;
  std::string out;
  bool first = true;
  for (std::string_view piece : Split(text, "|")) {
    if (!first) out += kFieldJoin;
    first = false;
    const std::string_view track = Strip(piece);
    if (track.empty()) continue;
    if (!suffix) suffix = SuffixOf(t.field_dict);
    py::object key = TrackToKey(suffix, MakeStr(track));
    RequireValueStr(key);
    if (!key.is_none()) out += Utf8(key);
  }
  return MakeStr(out);
}

// ---------------------------------------------------------------------------
// Dispatch to script-level overrides.

struct Dispatch {
  py::object self;
  Op op;
  py::object bound;
  bool native = false;

  Dispatch(py::handle s, Op o) : self(py::reinterpret_borrow<py::object>(s)), op(o) {
    bound = py::getattr(self, kOpNames[op]);
    PyObject* b = bound.ptr();
    native = PyMethod_Check(b) && PyMethod_GET_SELF(b) == self.ptr() &&
             PyMethod_GET_FUNCTION(b) == State().base_fn[op].ptr();
  }

  // Runs a text conversion; the result of an override must be text or none.
  py::object Convert(py::handle arg) {
    if (native) {
      Table& t = TableOf(self);
      switch (op) {
        case kFormatSrcKey: return FormatSrcKeyNative(t, arg);
        case kLine2Tracks: return Line2TracksNative(t, arg);
        case kTracks2Line: return Tracks2LineNative(t, arg);
        default: break;
      }
    }
    py::object r = Call(bound, {arg.ptr()});
    RequireValueStr(r);
    return r;
  }
};

// ---------------------------------------------------------------------------
// Loading.

void AddFields(Table& t, py::handle update, py::handle line) {
  if (line.is_none()) RaiseNoSplit();
  const std::string_view text = Utf8(line);
  for (std::string_view piece : Split(text, kFieldSep)) {
    const std::string_view field = Strip(piece);
    if (field.empty()) continue;
    py::str key = MakeStr(field);
    try {
      Call(update, {key.ptr(), State().one.ptr()});
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      py::object logger = Logger();
      logger.attr("debug")(e.value());
      logger.attr("debug")(key);
    }
  }
  (void)t;
}

// Enters "key track | record track" into `index`; `record_track` is the track
// text of the rule's node in the record trie.
void AddKeyAndNode(Table& t, py::handle index, py::handle key, const std::string& record_track) {
  py::object key_node = t.field_dict.attr("get_node")(key);
  if (key_node.is_none())
    Raise(PyExc_ValueError, "index key " + Repr(key) +
                                " is not a field of the table");
  std::string pair;
  AppendTrack(pair, key_node);
  pair += kTrackSep;
  pair += record_track;
  Call(index.attr("update"), {MakeStr(pair).ptr(), State().one.ptr()});
}

std::string Where(py::handle path, long long lineno) {
  return std::string(Utf8(py::str(path))) + ":" + std::to_string(lineno);
}

// Compacts a complete trie once so that later compactions (pickling) leave
// its node ids, and so the tracks taken from it, unchanged.
void Compact(py::handle trie_dict) {
  if (py::hasattr(trie_dict, "dumps")) trie_dict.attr("dumps")();
}

py::object ReadLines(const Table& t, const char* label) {
  return State().progress.attr("view")(t.table_path, label);
}

void RequireLine(py::handle line) {
  if (!IsStrOrNone(line)) Raise(PyExc_TypeError, "Expected str, got " + TypeName(line));
}

void LoadPass1(py::handle self, Table& t) {
  Dispatch format_src_key(self, kFormatSrcKey);
  py::object field_update = t.field_dict.attr("update");
  long long lineno = 0;
  for (py::handle line : ReadLines(t, "building trie of all fields")) {
    ++lineno;
    RequireLine(line);
    try {
      if (line.is_none()) RaiseNoSplit();
      const std::string_view text = Utf8(line);
      py::str source = MakeStr(Strip(FirstPiece(text, kFieldSep)));
      if (py::len(source) == 0)
        Raise(PyExc_ValueError, Where(t.table_path, lineno) + ": empty source side");
      AddFields(t, field_update, line);
      py::object src_key = format_src_key.Convert(source);
      if (src_key.is_none())
        Raise(PyExc_AttributeError, Where(t.table_path, lineno) + ": key type " +
                                        Repr(t.key_type) +
                                        " gives no source key");
      if (Strip(Utf8(src_key)).empty())
        Raise(PyExc_ValueError, Where(t.table_path, lineno) + ": empty source key for " +
                                    Repr(source));
      AddFields(t, field_update, src_key);
      if (!t.trg_key_enabled) continue;
      const std::vector<std::string_view> parts = Split(text, kFieldSep, 2);
      if (parts.size() < 2)
        Raise(PyExc_IndexError, Where(t.table_path, lineno) + ": no target side (no \"|||\")");
      const std::string_view target = Strip(parts[1]);
      if (target.empty())
        Raise(PyExc_ValueError, Where(t.table_path, lineno) + ": empty target side");
      AddFields(t, field_update, MakeStr(target));
      if (target.find(kColumnSep) == std::string_view::npos) continue;
      int column = 0;
      for (std::string_view col : Split(target, kColumnSep)) {
        const std::string_view stripped = Strip(col);
        if (stripped.empty())
          Raise(PyExc_ValueError, Where(t.table_path, lineno) + ": empty target column " +
                                      std::to_string(column));
        AddFields(t, field_update, MakeStr(stripped));
        ++column;
      }
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      py::object logger = Logger();
      logger.attr("warning")(py::str("file: {}, line: {}").format(t.table_path, lineno));
      logger.attr("warning")(e.value());
      throw;
    }
  }
}

// Index of the first "(-1,-1)" among the tracks of a track line, or -1.
int AbsentFieldIndex(std::string_view tracks) {
  const size_t at = tracks.find(kAbsentTrack);
  if (at == std::string_view::npos) return -1;
  int index = 0;
  for (size_t i = 0; i < at; ++i)
    if (tracks[i] == '|') ++index;
  return index;
}

void LoadPass2(py::handle self, Table& t, py::object& line_tracks, py::object& line) {
  Dispatch line2tracks(self, kLine2Tracks);
  Dispatch tracks2line(self, kTracks2Line);
  py::object record_update = t.record_dict.attr("update");
  long long lineno = 0;
  for (py::handle raw : ReadLines(t, "building trie of all records")) {
    ++lineno;
    RequireLine(raw);
    try {
      line = py::reinterpret_borrow<py::object>(raw);
      if (line.is_none()) Raise(PyExc_AttributeError, "'NoneType' object has no attribute 'strip'");
      line_tracks = line2tracks.Convert(line.attr("strip")());
      if (line2tracks.native && tracks2line.native) {
        // A field the field trie refused: name it here rather than fail later
        // on the unreadable track.
        const int absent = AbsentFieldIndex(Utf8(line_tracks));
        if (absent >= 0) {
          const auto fields = Split(Utf8(line), kFieldSep);
          Raise(PyExc_ValueError,
                Where(t.table_path, lineno) + ": field " + std::to_string(absent + 1) + " " +
                    Repr(MakeStr(Strip(fields[absent]))) +
                    " could not be entered into the field trie");
        }
      }
      Call(record_update, {line_tracks.ptr(), State().one.ptr()});
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      py::object logger = Logger();
      logger.attr("warning")(py::str("file: {}, line: {}").format(t.table_path, lineno));
      logger.attr("warning")(e.value());
      throw;
    }
  }
}

void UpdatePair(py::handle update, std::string_view key_track, const std::string& record_track) {
  std::string pair(key_track);
  pair += kTrackSep;
  pair += record_track;
  Call(update, {MakeStr(pair).ptr(), State().one.ptr()});
}

// Enters the target columns of `target` into the column indexes.
void AddColumns(Table& t, std::string_view target, const std::string& record_track) {
  if (target.find(kColumnSep) == std::string_view::npos) return;
  size_t i = 0;
  for (std::string_view col : Split(target, kColumnSep)) {
    if (i >= py::len(t.trg_field_record_dicts))
      t.trg_field_record_dicts.attr("append")(NewTrie());
    py::object index = t.trg_field_record_dicts[py::int_(i)];
    AddKeyAndNode(t, index, MakeStr(Strip(col)), record_track);
    ++i;
  }
}

void LoadPass3(py::handle self, Table& t, py::object& line_tracks, py::object& line) {
  Dispatch format_src_key(self, kFormatSrcKey);
  Dispatch tracks2line(self, kTracks2Line);
  // Without overrides the rule's own track line already names its source and
  // target fields in the field trie (the nodes add_key_and_node would look
  // up), so only the target text is rebuilt, to find its columns. The full
  // line is rebuilt only for the warnings of a failure.
  const bool direct = format_src_key.native && tracks2line.native;
  const bool src_is_key =
      direct && PyUnicode_Check(t.key_type.ptr()) && Utf8(t.key_type) == "src";
  py::object field_suffix = SuffixOf(t.field_dict);
  py::object src_update = t.src_record_dict.attr("update");
  py::object trg_update = py::none();
  if (t.trg_key_enabled) trg_update = t.trg_record_dict.attr("update");
  const py::ssize_t count = py::len(t.record_dict);
  py::object nodes = State().progress.attr("view")(
      t.record_dict.attr("nodes")(), "registering pair of (key,record)",
      py::arg("max_count") = count);
  for (py::handle node : nodes) {
    bool line_is_current = false;
    try {
      line_tracks = node.attr("key")();
      RequireValueStr(line_tracks);
      std::string record_track;
      if (direct) {
        if (line_tracks.is_none()) RaiseNoSplit();
        AppendTrack(record_track, node);
        const std::vector<std::string_view> tracks = Split(Utf8(line_tracks), "|", 2);
        const std::string_view src_track = Strip(tracks[0]);
        if (src_is_key) {
          UpdatePair(src_update, src_track, record_track);
        } else {
          py::object src = TrackToKey(field_suffix, MakeStr(src_track));
          AddKeyAndNode(t, t.src_record_dict, FormatSrcKeyNative(t, src), record_track);
        }
        if (!t.trg_key_enabled) continue;
        if (tracks.size() < 2) Raise(PyExc_IndexError, "list index out of range");
        const std::string_view trg_track = Strip(tracks[1]);
        UpdatePair(trg_update, trg_track, record_track);
        py::object target = TrackToKey(field_suffix, MakeStr(trg_track));
        AddColumns(t, Utf8(target), record_track);
        continue;
      }
      line = tracks2line.Convert(line_tracks);
      line_is_current = true;
      if (line.is_none()) RaiseNoSplit();
      const std::string_view text = Utf8(line);
      AppendTrack(record_track, node);
      py::object src_key = format_src_key.Convert(MakeStr(Strip(FirstPiece(text, kFieldSep))));
      AddKeyAndNode(t, t.src_record_dict, src_key, record_track);
      if (!t.trg_key_enabled) continue;
      const std::vector<std::string_view> parts = Split(text, kFieldSep, 2);
      if (parts.size() < 2) Raise(PyExc_IndexError, "list index out of range");
      const std::string_view target = Strip(parts[1]);
      AddKeyAndNode(t, t.trg_record_dict, MakeStr(target), record_track);
      AddColumns(t, target, record_track);
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      if (direct && !line_is_current && PyUnicode_Check(line_tracks.ptr())) {
        try {
          line = Tracks2LineNative(t, line_tracks);
        } catch (py::error_already_set&) {
        }
      }
      py::object logger = Logger();
      logger.attr("warning")(py::str("line_tracks: %s").attr("__mod__")(py::make_tuple(line_tracks)));
      logger.attr("warning")(py::str("line: %s").attr("__mod__")(py::make_tuple(line)));
      logger.attr("warning")(e.value());
      throw;
    }
  }
}

void Load(py::handle self, Table& t) {
  // Passes 2 and 3 share these, so a pass-3 failure before they are set
  // reports the values last read in pass 2.
  py::object line_tracks = py::none();
  py::object line = py::none();
  LoadPass1(self, t);
  Compact(t.field_dict);
  LoadPass2(self, t, line_tracks, line);
  Compact(t.record_dict);
  LoadPass3(self, t, line_tracks, line);
}

void ClearTable(Table& t) {
  t.ForEachRef([](py::object& o) { o = py::none(); });
  t.trg_key_enabled = false;
}

// Table(table_path, RecordClass, trg_key=False, **options)
void InitTable(py::detail::value_and_holder& v_h, py::object table_path, py::object record_class,
               py::object trg_key, py::kwargs options) {
  if (!v_h.holder_constructed()) {
    v_h.value_ptr() = new Table();
    v_h.type->init_instance(v_h.inst, nullptr);
  }
  py::handle self(reinterpret_cast<PyObject*>(v_h.inst));
  Table& t = TableOf(self);
  py::object key_type = options.contains("key_type") ? py::object(options["key_type"])
                                                      : py::object(py::str("src"));
  if (!IsStrOrNone(key_type))
    Raise(PyExc_TypeError, "Expected str, got " + TypeName(key_type));
  t.key_type = key_type;
  t.record_class = record_class;
  if (!IsStrOrNone(table_path))
    Raise(PyExc_TypeError, "Expected str, got " + TypeName(table_path));
  t.table_path = table_path;
  t.table_file = py::none();
  t.field_dict = NewTrie();
  t.record_dict = NewTrie();
  t.src_record_dict = NewTrie();
  t.trg_key_enabled = Truth(trg_key);
  t.trg_record_dict = py::none();
  t.trg_field_record_dicts = py::none();
  if (t.trg_key_enabled) {
    t.trg_record_dict = NewTrie();
    t.trg_field_record_dicts = py::list();
  }
  try {
    Load(self, t);
  } catch (...) {
    ClearTable(t);
    throw;
  }
}

// ---------------------------------------------------------------------------
// Queries.

// A lazy query: the search runs when the iterator is first advanced.
struct RecordIterator {
  py::object table;          // the Table object
  py::object index;          // trie searched (find_key mode)
  py::object key;            // key or prefix text
  bool by_pair_key = true;   // _Table__find_key (pair keys) or find (track lines)
  bool started = false;
  bool ended = false;
  py::object keys;           // iterator over find_keys(...)
  std::unique_ptr<Dispatch> tracks2line;
  py::object record_suffix;

  py::object Next() {
    if (ended) throw py::stop_iteration();
    try {
      return Step();
    } catch (...) {
      ended = true;
      keys = py::object();
      throw;
    }
  }

  py::object Step() {
    if (!started) {
      started = true;
      Dispatch line2tracks(table, kLine2Tracks);
      py::object tracks = line2tracks.Convert(key);
      py::handle trie = by_pair_key ? index : py::handle(TableOf(table).record_dict);
      if (by_pair_key && !tracks.is_none() &&
          Utf8(tracks).find(kAbsentTrack) != std::string_view::npos)
        throw py::stop_iteration();
      keys = py::iter(trie.attr("find_keys")(tracks));
      tracks2line = std::make_unique<Dispatch>(table, kTracks2Line);
    }
    PyObject* next = PyIter_Next(keys.ptr());
    if (next == nullptr) {
      if (PyErr_Occurred()) throw py::error_already_set();
      throw py::stop_iteration();
    }
    py::object found = py::reinterpret_steal<py::object>(next);
    RequireValueStr(found);
    Table& t = TableOf(table);
    py::object line_tracks = found;
    if (by_pair_key) {
      if (found.is_none()) RaiseNoSplit();
      const std::string_view text = Utf8(found);
      const size_t bar = text.find('|');
      if (bar == std::string_view::npos) Raise(PyExc_IndexError, "list index out of range");
      if (!record_suffix) record_suffix = SuffixOf(t.record_dict);
      line_tracks = TrackToKey(record_suffix, MakeStr(Strip(text.substr(bar + 1))));
      RequireValueStr(line_tracks);
    }
    py::object line = tracks2line->Convert(line_tracks);
    return Call(t.record_class, {line.ptr()});
  }
};

py::object MakeIterator(py::handle self, py::object index, py::object key, bool by_pair_key) {
  RecordIterator it;
  it.table = py::reinterpret_borrow<py::object>(self);
  it.index = std::move(index);
  it.key = std::move(key);
  it.by_pair_key = by_pair_key;
  return py::cast(std::move(it));
}

py::object FindKey(py::handle self, py::object key_record_dict, py::object key, py::object force) {
  RequireArgStr(key, "key");
  Truth(force);
  return MakeIterator(self, std::move(key_record_dict), std::move(key), true);
}

py::object Find(py::handle self, py::object prefix, py::object force) {
  RequireArgStr(prefix, "prefix");
  Truth(force);
  return MakeIterator(self, py::none(), std::move(prefix), false);
}

py::object FindSrc(py::handle self, py::object src, py::object force) {
  RequireArgStr(src, "src");
  py::object key = Dispatch(self, kFormatSrcKey).Convert(src);
  return py::getattr(self, "_Table__find_key")(TableOf(self).src_record_dict, key,
                                                py::arg("force") = force);
}

py::object FindTrg(py::handle self, py::object trg, py::object target_index, py::object force) {
  RequireArgStr(trg, "trg");
  Table& t = TableOf(self);
  py::object index;
  if (PyLong_Check(target_index.ptr())) {
    PyObject* item = PyObject_GetItem(t.trg_field_record_dicts.ptr(), target_index.ptr());
    if (item == nullptr) throw py::error_already_set();
    index = py::reinterpret_steal<py::object>(item);
  } else {
    index = t.trg_record_dict;
  }
  return py::getattr(self, "_Table__find_key")(index, trg, py::arg("force") = force);
}

// ---------------------------------------------------------------------------
// Pickling.

constexpr long kChecksums[3] = {0x262ebc1, 0x3a15322, 0x25cf22c};
constexpr const char* kFieldList =
    "RecordClass, field_dict, key_type, record_dict, src_record_dict, table_file, table_path, "
    "trg_field_record_dicts, trg_key_enabled, trg_record_dict";

py::object InstanceDict(py::handle self) {
  PyObject* d = PyObject_GetAttrString(self.ptr(), "__dict__");
  if (d == nullptr) {
    PyErr_Clear();
    return py::none();
  }
  return py::reinterpret_steal<py::object>(d);
}

py::tuple GetState(py::handle self) {
  Table& t = TableOf(self);
  py::tuple fields = py::make_tuple(t.record_class, t.field_dict, t.key_type, t.record_dict,
                                    t.src_record_dict, t.table_file, t.table_path,
                                    t.trg_field_record_dicts, py::bool_(t.trg_key_enabled),
                                    t.trg_record_dict);
  py::object dict = InstanceDict(self);
  if (dict.is_none()) return fields;
  return py::reinterpret_steal<py::tuple>(
      PySequence_Concat(fields.ptr(), py::make_tuple(dict).ptr()));
}

py::tuple Reduce(py::handle self) {
  Table& t = TableOf(self);
  py::tuple state = GetState(self);
  py::object restore = State().module.attr("unpickle_Table");
  py::object cls = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(Py_TYPE(self.ptr())));
  bool triple = py::len(state) > 10;
  t.ForEachRef([&](py::object& o) { triple = triple || !o.is_none(); });
  if (triple) return py::make_tuple(restore, py::make_tuple(cls, kChecksums[0], py::none()), state);
  return py::make_tuple(restore, py::make_tuple(cls, kChecksums[0], state));
}

void SetState(py::handle self, py::handle state) {
  if (!PyTuple_Check(state.ptr()))
    Raise(PyExc_TypeError, "Expected tuple, got " + TypeName(state));
  Table& t = TableOf(self);
  py::tuple s = py::reinterpret_borrow<py::tuple>(state);
  auto item = [&](size_t i) -> py::object {
    if (i >= py::len(s)) Raise(PyExc_IndexError, "tuple index out of range");
    return s[i];
  };
  t.record_class = item(0);
  t.field_dict = item(1);
  py::object key_type = item(2);
  RequireValueStr(key_type);
  t.key_type = key_type;
  t.record_dict = item(3);
  t.src_record_dict = item(4);
  t.table_file = item(5);
  py::object table_path = item(6);
  RequireValueStr(table_path);
  t.table_path = table_path;
  t.trg_field_record_dicts = item(7);
  t.trg_key_enabled = Truth(item(8));
  t.trg_record_dict = item(9);
  if (py::len(s) > 10 && Truth(s[10])) py::getattr(self, "__dict__").attr("update")(s[10]);
}

// A new object of `cls` (Table or a subclass) without running its constructor.
py::object RawTable(py::handle cls) {
  if (!PyType_Check(cls.ptr()) ||
      !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls.ptr()),
                        reinterpret_cast<PyTypeObject*>(State().table_type.ptr())))
    Raise(PyExc_TypeError, "unpickle_Table: " + Repr(cls) +
                               " is not a subtype of Table");
  auto* type = reinterpret_cast<PyTypeObject*>(cls.ptr());
  py::tuple no_args;
  PyObject* raw = type->tp_new(type, no_args.ptr(), nullptr);
  if (raw == nullptr) throw py::error_already_set();
  py::object obj = py::reinterpret_steal<py::object>(raw);
  auto* inst = reinterpret_cast<py::detail::instance*>(raw);
  auto v_h = inst->get_value_and_holder(py::detail::get_type_info(typeid(Table)));
  v_h.value_ptr() = new Table();
  v_h.type->init_instance(inst, nullptr);
  return obj;
}

py::object Unpickle(py::args args, py::kwargs kwargs) {
  static const char* const names[3] = {"cls", "checksum", "state"};
  py::object arg[3];
  const py::ssize_t given = py::len(args) + py::len(kwargs);
  if (py::len(args) > 3 || given != 3)
    Raise(PyExc_TypeError, "unpickle_Table() takes exactly 3 positional arguments (" +
                               std::to_string(given) + " given)");
  for (size_t i = 0; i < py::len(args); ++i) arg[i] = args[i];
  for (auto kv : kwargs) {
    const std::string name = py::str(kv.first);
    int i = 0;
    while (i < 3 && name != names[i]) ++i;
    if (i == 3 || arg[i])
      Raise(PyExc_TypeError, "unpickle_Table() got an unexpected keyword argument '" + name + "'");
    arg[i] = py::reinterpret_borrow<py::object>(kv.second);
  }
  const long checksum = PyLong_AsLong(arg[1].ptr());
  if (checksum == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (checksum > 0x7fffffffL || checksum < -0x7fffffffL - 1)
    Raise(PyExc_OverflowError, "value too large to convert to int");
  py::object state = arg[2];
  if (!state.is_none() && !PyTuple_Check(state.ptr()))
    Raise(PyExc_TypeError, "Argument 'state' has incorrect type (expected tuple, got " +
                               TypeName(state) + ")");
  if (checksum != kChecksums[0] && checksum != kChecksums[1] && checksum != kChecksums[2]) {
    py::object pickle_error = py::module_::import("pickle").attr("PickleError");
    py::str msg = py::str("Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))")
                      .attr("__mod__")(py::make_tuple(checksum, kChecksums[0], kChecksums[1],
                                                      kChecksums[2], kFieldList));
    PyErr_SetObject(pickle_error.ptr(), msg.ptr());
    throw py::error_already_set();
  }
  py::object obj = RawTable(arg[0]);
  if (!state.is_none()) SetState(obj, state);
  return obj;
}

// ---------------------------------------------------------------------------
// Cycle collection: a table refers to its record class and tries, any of
// which a script may point back at the table.

void SetupGc(PyHeapTypeObject* heap_type) {
  auto* type = &heap_type->ht_type;
  type->tp_flags |= Py_TPFLAGS_HAVE_GC;
  type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) -> int {
    Py_VISIT(Py_TYPE(self));
    if (!py::detail::is_holder_constructed(self)) return 0;
    Table& t = py::cast<Table&>(py::handle(self));
    int r = 0;
    t.ForEachRef([&](py::object& o) {
      if (r == 0 && o) r = visit(o.ptr(), arg);
    });
    return r;
  };
  type->tp_clear = [](PyObject* self) -> int {
    if (py::detail::is_holder_constructed(self)) ClearTable(py::cast<Table&>(py::handle(self)));
    return 0;
  };
}

const char* const kSubclassSource = R"PY(
class MosesTable(Table):
    def __init__(self, table_path, **options):
        "MosesTable.__init__(self, table_path, **options)"
        Table.__init__(self, table_path, _records.MosesRecord, **options)


class TravatarTable(Table):
    def __init__(self, table_path, **options):
        "TravatarTable.__init__(self, table_path, **options)"
        Table.__init__(self, table_path, _records.TravatarRecord, **options)
)PY";

}  // namespace

PYBIND11_MODULE(tables, m) {
  ModuleState& st = State();
  st.module = m;
  m.doc() = "classes handling phrase/rule table";

  py::object pycedar = py::module_::import("pycedar");
  py::object logging = py::module_::import("qaz.common.logging");
  st.progress = py::module_::import("qaz.common.progress");
  py::object records = py::module_::import("qaz.smt.trans_models.records");
  st.pycedar_dict = pycedar.attr("dict");
  st.one = py::int_(1);
  m.attr("logger") = logging.attr("getColorLogger")(m.attr("__name__"));
  m.attr("key_types") = py::list(py::make_tuple("src", "src_hiero", "src_symbols", "src_tree"));

  py::options options;
  options.disable_function_signatures();

  m.def("get_track_str", &GetTrackStr, py::arg("node"),
        "get_track_str(node) -> str\n\nTrack text \"(id,length)\" of a trie node.");
  m.def("track2key", &Track2Key, py::arg("trie_dict"), py::arg("track"),
        "track2key(trie_dict, track) -> str\n\nKey of the node that `track` names in `trie_dict`.");

  py::class_<RecordIterator>(m, "_RecordIterator")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &RecordIterator::Next);

  py::class_<Table> table(m, "Table", py::custom_type_setup(SetupGc),
                          "Table(table_path, RecordClass, trg_key=False, **options)");
  table
      .def("__init__", &InitTable, py::detail::is_new_style_constructor(),
           py::arg("table_path"), py::arg("RecordClass"), py::arg("trg_key") = false,
           "Table(table_path, RecordClass, trg_key=False, **options)")
      .def_property_readonly("RecordClass", [](Table& t) { return t.record_class; })
      .def_property_readonly("field_dict", [](Table& t) { return t.field_dict; })
      .def_property_readonly("record_dict", [](Table& t) { return t.record_dict; })
      .def_property_readonly("src_record_dict", [](Table& t) { return t.src_record_dict; })
      .def_property_readonly("trg_record_dict", [](Table& t) { return t.trg_record_dict; })
      .def_property_readonly("trg_field_record_dicts",
                             [](Table& t) { return t.trg_field_record_dicts; })
      .def(
          "format_src_key",
          [](Table& t, py::object src) {
            RequireArgStr(src, "src");
            return FormatSrcKeyNative(t, src);
          },
          py::arg("src"), "Table.format_src_key(self, str src) -> str")
      .def(
          "line2tracks",
          [](Table& t, py::object line) -> py::object {
            RequireArgStr(line, "line");
            return Line2TracksNative(t, line);
          },
          py::arg("line"), "Table.line2tracks(self, str line) -> str")
      .def(
          "tracks2line",
          [](Table& t, py::object tracks) -> py::object {
            RequireArgStr(tracks, "tracks");
            return Tracks2LineNative(t, tracks);
          },
          py::arg("tracks"), "Table.tracks2line(self, str tracks) -> str")
      .def(
          "_Table__find_key",
          [](py::object self, py::object d, py::object key, py::object force) {
            return FindKey(self, std::move(d), std::move(key), std::move(force));
          },
          py::arg("key_record_dict"), py::arg("key"), py::arg("force") = true,
          "Table.__find_key(self, key_record_dict, str key, bool force=True)")
      .def(
          "find",
          [](py::object self, py::object prefix, py::object force) {
            return Find(self, std::move(prefix), std::move(force));
          },
          py::arg("prefix"), py::arg("force") = true,
          "Table.find(self, str prefix, bool force=True)")
      .def(
          "find_src",
          [](py::object self, py::object src, py::object force) {
            return FindSrc(self, std::move(src), std::move(force));
          },
          py::arg("src"), py::arg("force") = true, "Table.find_src(self, str src, force=True)")
      .def(
          "find_trg",
          [](py::object self, py::object trg, py::object target_index, py::object force) {
            return FindTrg(self, std::move(trg), std::move(target_index), std::move(force));
          },
          py::arg("trg"), py::arg("target_index") = py::none(), py::arg("force") = true,
          "Table.find_trg(self, str trg, target_index=None, force=True)")
      .def("__iter__", [](py::object self) { return py::getattr(self, "find")(""); })
      .def("__len__", [](Table& t) { return py::len(t.record_dict); })
      .def("__reduce__", [](py::object self) { return Reduce(self); });
  // pybind11 treats a function *named* __setstate__ as a constructor and skips
  // it on an initialised object, so it is bound under another name.
  table.attr("__setstate__") = py::cpp_function(
      [](py::object self, py::object state) { SetState(self, state); }, py::name("set_state"),
      py::is_method(table), py::arg("state"), "Table.__setstate__(self, state)");

  st.table_type = table;
  for (int op = 0; op < kNumOps; ++op) {
    // Methods sit in the class dictionary as instancemethod wrappers; a bound
    // method found on an instance refers to the wrapped function.
    py::object entry = table.attr("__dict__")[kOpNames[op]];
    st.base_fn[op] = PyInstanceMethod_Check(entry.ptr())
                         ? py::reinterpret_borrow<py::object>(PyInstanceMethod_GET_FUNCTION(entry.ptr()))
                         : entry;
  }

  m.def("unpickle_Table", &Unpickle, "unpickle_Table(cls, checksum, state)");

  py::dict ns;
  ns["__name__"] = m.attr("__name__");
  ns["__builtins__"] = py::module_::import("builtins");
  ns["Table"] = table;
  ns["_records"] = records;
  py::exec(kSubclassSource, ns);
  m.attr("MosesTable") = ns["MosesTable"];
  m.attr("TravatarTable") = ns["TravatarTable"];
}
