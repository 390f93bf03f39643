// qaz.smt.trans_models._tables: rule tables indexed by pycedar tries (the
// Table class of qaz.smt.trans_models.tables).
//
// The passes and the conversions between rule lines and track lines are the
// engine's (cpp/tables); this file drives them over the file and the tries,
// dispatches to script-level overrides, and holds pickling, cycle collection
// and the module set-up.
//
// Node ids of a pycedar trie move while keys are still being added, and the
// library's pickling compacts the trie in place, which moves the nodes of
// keys stored in its tail. Tracks are therefore taken only from complete
// tries, and each trie whose nodes are named by tracks (the field trie and
// the record trie) is compacted once as soon as it is complete, before any
// track of it is stored. Later compactions leave such a trie unchanged, so
// pickling a table neither breaks the table nor its restored copy.
//
// pycedar reads wherever a track's numbers point, so tracks the module made
// from its own tries go to it directly, and every other track (handed to
// track2key or tracks2line by a script, made by a script's line2tracks, or
// found in an index trie that is not the table's own) is first checked
// against the tracks of the trie's nodes.
//
// The overridable operations (format_src_key, line2tracks, tracks2line,
// find_src, find_trg, and _Table__find_key/find as reached by name) are
// looked up on the Python object; when the lookup finds the Table method
// itself the native code is called directly.

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pickle_support.h"
#include "pycedar_trie.h"
#include "tables/rule_line.h"
#include "tables/rule_table.h"

namespace py = pybind11;
namespace tables = qaz::tables;
namespace pickling = qaz_py::pickling;
using qaz_py::AppendNodeTrack;
using qaz_py::Call;
using qaz_py::KnownTracksOf;
using qaz_py::MakeStr;
using qaz_py::PycedarTrie;
using qaz_py::RequireValueStr;
using qaz_py::Utf8;
using tables::Track;

namespace {

// ---------------------------------------------------------------------------
// Small conversions around the C API.

[[noreturn]] void Raise(PyObject* type, const std::string& msg) {
  PyErr_SetString(type, msg.c_str());
  throw py::error_already_set();
}

std::string Repr(py::handle o) { return std::string(Utf8(py::repr(o))); }

std::string QuoteText(std::string_view s) { return Repr(MakeStr(s)); }

bool IsStrOrNone(py::handle o) { return o.is_none() || PyUnicode_Check(o.ptr()); }

// The argument check of the documented signatures ("str key").
void RequireArgStr(py::handle o, const char* name) {
  if (IsStrOrNone(o)) return;
  Raise(PyExc_TypeError, std::string("Argument '") + name +
                             "' has incorrect type (expected str, got " +
                             pickling::TypeName(o) + ")");
}

[[noreturn]] void RaiseNoSplit() {
  Raise(PyExc_AttributeError, "'NoneType' object has no attribute 'split'");
}

bool Truth(py::handle o) {
  const int t = PyObject_IsTrue(o.ptr());
  if (t < 0) throw py::error_already_set();
  return t != 0;
}

// Runs engine code, raising its failures as the interpreter's errors.
// Errors of the interpreter raised inside (by the tries or by overrides)
// pass unchanged.
template <typename F>
auto Engine(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const tables::RuleError& e) {
    static PyObject* const kinds[] = {PyExc_ValueError, PyExc_IndexError,
                                      PyExc_AttributeError};
    Raise(kinds[e.kind()], e.what());
  } catch (const std::out_of_range& e) {
    Raise(PyExc_IndexError, e.what());
  } catch (const std::invalid_argument& e) {  // UnknownTrack among them
    Raise(PyExc_ValueError, e.what());
  }
}

const tables::Quote kQuote = QuoteText;

// ---------------------------------------------------------------------------
// Module state, filled once at import and kept for the interpreter's life.

// The module users import: it re-exports this one's names.
constexpr const char* kPublicModule = "qaz.smt.trans_models.tables";

enum Op { kFormatSrcKey, kLine2Tracks, kTracks2Line, kFindKey, kFind, kNumOps };
const char* const kOpNames[kNumOps] = {"format_src_key", "line2tracks", "tracks2line",
                                       "_Table__find_key", "find"};

struct ModuleState {
  py::object pycedar_dict;
  py::object progress;
  py::object base_fn[kNumOps];
  py::object table_type;
};

ModuleState& State() {
  static auto* state = new ModuleState();  // never destroyed: outlives finalisation
  return *state;
}

// The module users import and may patch (its logger, say).
py::object PublicModule() { return py::module_::import(kPublicModule); }
py::object Logger() { return PublicModule().attr("logger"); }

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
  // Not pickled: the column tries the table made or restored (a script may
  // put others into the visible list), and whether the record trie holds
  // track lines made by a script's line2tracks.
  py::object own_columns = py::none();
  bool foreign_records = false;
  // A restored table's tries come from its pickled state, which may pair
  // tries that do not belong together: they are checked once, before the
  // first lookup hands them a track.
  bool tries_unchecked = false;

  // The fields of the pickled state that refer to objects.
  template <typename F>
  void ForEachRef(F f) {
    f(record_class); f(table_path); f(table_file); f(key_type); f(field_dict);
    f(record_dict); f(src_record_dict); f(trg_record_dict); f(trg_field_record_dicts);
  }
};

Table& TableOf(py::handle self) { return py::cast<Table&>(self); }

void ClearTable(Table& t) {
  t.ForEachRef([](py::object& o) { o = py::none(); });
  t.own_columns = py::none();
  t.trg_key_enabled = false;
  t.foreign_records = false;
  t.tries_unchecked = false;
}

// Whether `index` is one of the table's own index tries, whose pair keys the
// table made itself.
bool IsOwnIndex(const Table& t, py::handle index) {
  if (index.is(t.src_record_dict) || index.is(t.trg_record_dict)) return true;
  if (!PyList_Check(t.own_columns.ptr())) return false;
  for (py::handle column : t.own_columns) {
    if (index.is(column)) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Tracks (module functions get_track_str and track2key).

py::str GetTrackStr(py::handle node) {
  std::string out;
  AppendNodeTrack(out, node);
  return MakeStr(out);
}

// Key of the node named by `track` in the trie whose `suffix` is given.  With
// `checked_dict` the track must first name a key of that dictionary.
py::object TrackToKey(py::handle suffix, py::handle track, py::handle checked_dict = {}) {
  if (track.is_none()) Raise(PyExc_TypeError, "'NoneType' object is not subscriptable");
  if (!PyUnicode_Check(track.ptr()))
    Raise(PyExc_TypeError, "track must be str, not " + pickling::TypeName(track));
  Track t;
  if (!tables::ParsePlainTrack(Utf8(track), &t.id, &t.length))
    t = qaz_py::ParseTrackFromPython(track);
  if (checked_dict) {
    PycedarTrie trie(checked_dict);
    if (!KnownTracksOf(checked_dict).KeyOf(trie, t))
      Raise(PyExc_ValueError, tables::UnknownTrack(t).what());
  }
  return Call(suffix, {py::int_(t.id).ptr(), py::int_(t.length).ptr()});
}

py::object SuffixOf(py::handle trie_dict) { return trie_dict.attr("trie").attr("suffix"); }

// track2key(trie_dict, track): a track from a caller, so always checked.
py::object Track2Key(py::handle trie_dict, py::handle track) {
  if (track.is_none()) Raise(PyExc_TypeError, "'NoneType' object is not subscriptable");
  return TrackToKey(SuffixOf(trie_dict), track, trie_dict);
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
  PycedarTrie fields(t.field_dict);
  fields.GetNode();  // looked up even for a line without fields
  return MakeStr(Engine([&] { return tables::Line2Tracks(fields, text); }));
}

// `checked`: the tracks may come from script code.
py::str Tracks2LineNative(Table& t, py::handle tracks, bool checked) {
  if (tracks.is_none()) RaiseNoSplit();
  const std::string_view text = Utf8(tracks);
  PycedarTrie fields(t.field_dict);
  if (!checked || t.field_dict.is_none())
    return MakeStr(Engine([&] { return tables::Tracks2Line(fields, text); }));
  tables::CheckedTrie safe(fields, KnownTracksOf(t.field_dict));
  return MakeStr(Engine([&] { return tables::Tracks2Line(safe, text); }));
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
        case kTracks2Line: return Tracks2LineNative(t, arg, t.foreign_records);
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

py::object ReadLines(const Table& t, const char* label) {
  return State().progress.attr("view")(t.table_path, label);
}

void RequireLine(py::handle line) {
  if (!IsStrOrNone(line)) Raise(PyExc_TypeError, "Expected str, got " + pickling::TypeName(line));
}

// The warnings of a failed line of pass 1 or 2.
void WarnLine(const Table& t, long long lineno, py::error_already_set& e) {
  py::object logger = Logger();
  logger.attr("warning")(py::str("file: {}, line: {}").format(t.table_path, lineno));
  logger.attr("warning")(e.value());
}

// The text of a source key for pass 3; a None key fails as the field trie's
// lookup of it fails.
std::string SourceKeyText(Table& t, py::handle key) {
  if (key.is_none()) {
    py::object node = t.field_dict.attr("get_node")(key);
    if (node.is_none()) Raise(PyExc_ValueError, "index key None is not a field of the table");
    Raise(PyExc_TypeError, "Expected str, got NoneType");
  }
  return std::string(Utf8(key));
}

// Compacts a complete trie once so that later compactions (pickling) leave
// its node ids, and so the tracks taken from it, unchanged.
void Compact(py::handle trie_dict) {
  if (py::hasattr(trie_dict, "dumps")) trie_dict.attr("dumps")();
}

void LoadPass1(py::handle self, Table& t) {
  Dispatch format_src_key(self, kFormatSrcKey);
  // A field the trie refuses is skipped; pass 2 names it.
  PycedarTrie fields(t.field_dict, [](py::error_already_set& e, py::handle key) {
    py::object logger = Logger();
    logger.attr("debug")(e.value());
    logger.attr("debug")(key);
  });
  const std::string path(Utf8(py::str(t.table_path)));
  tables::FieldPassOptions options;
  options.with_target = t.trg_key_enabled;
  options.key_type_shown = Repr(t.key_type);
  options.quote = kQuote;
  const tables::SourceKeyFn source_key =
      [&](std::string_view source) -> std::optional<std::string> {
    py::object key = format_src_key.Convert(MakeStr(source));
    if (key.is_none()) return std::nullopt;
    return std::string(Utf8(key));
  };
  long long lineno = 0;
  for (py::handle line : ReadLines(t, "building trie of all fields")) {
    ++lineno;
    RequireLine(line);
    try {
      if (line.is_none()) RaiseNoSplit();
      const std::string_view text = Utf8(line);
      Engine([&] {
        tables::EnterFieldsOfLine(fields, text, {path, lineno}, source_key, options);
      });
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      WarnLine(t, lineno, e);
      throw;
    }
  }
}

void LoadPass2(py::handle self, Table& t, py::object& line_tracks, py::object& line) {
  static PyObject* one = PyLong_FromLong(1);
  Dispatch line2tracks(self, kLine2Tracks);
  Dispatch tracks2line(self, kTracks2Line);
  t.foreign_records = !line2tracks.native;
  py::object record_update = t.record_dict.attr("update");
  const std::string path(Utf8(py::str(t.table_path)));
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
        Engine([&] {
          tables::CheckFieldsEntered(Utf8(line), Utf8(line_tracks), {path, lineno}, kQuote);
        });
      }
      Call(record_update, {line_tracks.ptr(), one});
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      WarnLine(t, lineno, e);
      throw;
    }
  }
}

// The index tries of pass 3 as engine tries; column tries are made on
// demand and remembered as the table's own.
class IndexAdapters {
 public:
  explicit IndexAdapters(Table& t) : t_(t), src_(t.src_record_dict) {
    if (t.trg_key_enabled) trg_.emplace(t.trg_record_dict);
    tries_.src = &src_;
    tries_.trg = trg_ ? &*trg_ : nullptr;
    tries_.column = [this](size_t i) -> tables::Trie& { return Column(i); };
  }
  tables::IndexTries& tries() { return tries_; }

 private:
  tables::Trie& Column(size_t i) {
    if (i >= py::len(t_.trg_field_record_dicts)) {
      py::object trie = NewTrie();
      t_.trg_field_record_dicts.attr("append")(trie);
      if (PyList_Check(t_.own_columns.ptr())) t_.own_columns.attr("append")(trie);
    }
    py::object index = t_.trg_field_record_dicts[py::int_(i)];
    if (i >= columns_.size()) columns_.resize(i + 1);
    if (!columns_[i] || !columns_[i]->dict().is(index))
      columns_[i] = std::make_unique<PycedarTrie>(index);
    return *columns_[i];
  }

  Table& t_;
  PycedarTrie src_;
  std::optional<PycedarTrie> trg_;
  std::vector<std::unique_ptr<PycedarTrie>> columns_;
  tables::IndexTries tries_;
};

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
  PycedarTrie own_fields(t.field_dict);
  std::optional<tables::CheckedTrie> checked_fields;
  if (t.foreign_records) checked_fields.emplace(own_fields, KnownTracksOf(t.field_dict));
  tables::Trie& fields = checked_fields ? static_cast<tables::Trie&>(*checked_fields)
                                        : static_cast<tables::Trie&>(own_fields);
  IndexAdapters indexes(t);
  const tables::SourceKeyOf native_key = [&](std::string_view src) {
    return SourceKeyText(t, FormatSrcKeyNative(t, MakeStr(src)));
  };
  const tables::SourceKeyOf dispatched_key = [&](std::string_view src) {
    return SourceKeyText(t, format_src_key.Convert(MakeStr(src)));
  };
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
        AppendNodeTrack(record_track, node);
        const std::string_view tracks = Utf8(line_tracks);
        Engine([&] {
          tables::IndexRuleByTracks(fields, indexes.tries(), tracks, record_track,
                                    src_is_key ? nullptr : &native_key, kQuote);
        });
        continue;
      }
      line = tracks2line.Convert(line_tracks);
      line_is_current = true;
      if (line.is_none()) RaiseNoSplit();
      const std::string_view text = Utf8(line);
      AppendNodeTrack(record_track, node);
      Engine([&] {
        tables::IndexRuleByLine(fields, indexes.tries(), text, record_track, dispatched_key,
                                kQuote);
      });
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
      if (direct && !line_is_current && PyUnicode_Check(line_tracks.ptr())) {
        try {
          line = Tracks2LineNative(t, line_tracks, t.foreign_records);
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
    Raise(PyExc_TypeError, "Expected str, got " + pickling::TypeName(key_type));
  t.key_type = key_type;
  t.record_class = record_class;
  if (!IsStrOrNone(table_path))
    Raise(PyExc_TypeError, "Expected str, got " + pickling::TypeName(table_path));
  t.table_path = table_path;
  t.table_file = py::none();
  t.field_dict = NewTrie();
  t.record_dict = NewTrie();
  t.src_record_dict = NewTrie();
  t.trg_key_enabled = Truth(trg_key);
  t.trg_record_dict = py::none();
  t.trg_field_record_dicts = py::none();
  t.own_columns = py::none();
  t.foreign_records = false;
  if (t.trg_key_enabled) {
    t.trg_record_dict = NewTrie();
    t.trg_field_record_dicts = py::list();
    t.own_columns = py::list();
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

// Checks a restored table's tries against each other once (see
// tables::CheckTriesHoldTogether); ValueError naming the first track that
// names nothing, on this and every later lookup.
void RequireTriesHoldTogether(Table& t) {
  if (!t.tries_unchecked) return;
  PycedarTrie fields(t.field_dict), records(t.record_dict);
  std::vector<std::unique_ptr<PycedarTrie>> held;
  std::vector<tables::NamedIndex> indexes;
  auto add = [&](py::handle index, std::string name) {
    if (index.is_none()) return;
    held.push_back(std::make_unique<PycedarTrie>(index));
    indexes.push_back(tables::NamedIndex{std::move(name), held.back().get()});
  };
  add(t.src_record_dict, "the source index");
  add(t.trg_record_dict, "the target index");
  if (PyList_Check(t.own_columns.ptr())) {
    size_t i = 0;
    for (py::handle column : t.own_columns) add(column, "target column index " + std::to_string(i++));
  }
  try {
    tables::CheckTriesHoldTogether(fields, records, indexes);
  } catch (const std::invalid_argument& e) {
    Raise(PyExc_ValueError, std::string("pickled table state does not hold together: ") + e.what());
  }
  t.tries_unchecked = false;
}

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
  py::object checked_records;  // the record trie, when the index is not the table's own

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
    Table& t = TableOf(table);
    if (!started) {
      started = true;
      RequireTriesHoldTogether(t);
      Dispatch line2tracks(table, kLine2Tracks);
      py::object tracks = line2tracks.Convert(key);
      py::handle trie = by_pair_key ? index : py::handle(t.record_dict);
      if (by_pair_key && !tracks.is_none() && tables::HasAbsentTrack(Utf8(tracks)))
        throw py::stop_iteration();
      keys = py::iter(trie.attr("find_keys")(tracks));
      tracks2line = std::make_unique<Dispatch>(table, kTracks2Line);
      if (by_pair_key && !IsOwnIndex(t, index)) checked_records = t.record_dict;
    }
    PyObject* next = PyIter_Next(keys.ptr());
    if (next == nullptr) {
      if (PyErr_Occurred()) throw py::error_already_set();
      throw py::stop_iteration();
    }
    py::object found = py::reinterpret_steal<py::object>(next);
    RequireValueStr(found);
    py::object line_tracks = found;
    if (by_pair_key) {
      if (found.is_none()) RaiseNoSplit();
      const std::string_view record_track =
          Engine([&] { return tables::RecordTrackOfPairKey(Utf8(found)); });
      if (!record_suffix) record_suffix = SuffixOf(t.record_dict);
      line_tracks = TrackToKey(record_suffix, MakeStr(record_track), checked_records);
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

const pickling::Layout kLayout = {
    {0x262ebc1, 0x3a15322, 0x25cf22c},
    "RecordClass, field_dict, key_type, record_dict, src_record_dict, table_file, table_path, "
    "trg_field_record_dicts, trg_key_enabled, trg_record_dict"};
constexpr auto kChecksumForm = pickling::ChecksumForm::kCInt;

py::tuple Reduce(py::handle self) {
  Table& t = TableOf(self);
  py::tuple fields = py::make_tuple(t.record_class, t.field_dict, t.key_type, t.record_dict,
                                    t.src_record_dict, t.table_file, t.table_path,
                                    t.trg_field_record_dicts, py::bool_(t.trg_key_enabled),
                                    t.trg_record_dict);
  bool any_reference_set = false;
  t.ForEachRef([&](py::object& o) { any_reference_set = any_reference_set || !o.is_none(); });
  return pickling::Reduce(self, PublicModule().attr("unpickle_Table"), kLayout.checksums[0],
                          fields, any_reference_set);
}

void SetState(py::handle self, py::handle state) {
  if (!PyTuple_Check(state.ptr()))
    Raise(PyExc_TypeError, "Expected tuple, got " + pickling::TypeName(state));
  Table& t = TableOf(self);
  py::tuple s = py::reinterpret_borrow<py::tuple>(state);
  auto item = [&](size_t i) -> py::object {
    if (i >= py::len(s)) Raise(PyExc_IndexError, "tuple index out of range");
    return s[i];
  };
  auto text = [&](size_t i) -> py::object {
    py::object o = item(i);
    RequireValueStr(o);
    return o;
  };
  t.record_class = item(0);
  t.field_dict = item(1);
  t.key_type = text(2);
  t.record_dict = item(3);
  t.src_record_dict = item(4);
  t.table_file = item(5);
  t.table_path = text(6);
  t.trg_field_record_dicts = item(7);
  t.trg_key_enabled = Truth(item(8));
  t.trg_record_dict = item(9);
  // A restored table's tries are its own, as its pickle made them.
  t.own_columns = PyList_Check(t.trg_field_record_dicts.ptr())
                      ? py::object(py::list(t.trg_field_record_dicts))
                      : py::object(py::none());
  t.foreign_records = false;
  t.tries_unchecked = true;
  pickling::ApplyDict(self, s, 10);
}

// A new object of `cls` (Table or a subclass) without running its constructor.
py::object RawTable(py::handle cls) {
  if (!PyType_Check(cls.ptr()) ||
      !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls.ptr()),
                        reinterpret_cast<PyTypeObject*>(State().table_type.ptr())))
    Raise(PyExc_TypeError, "unpickle_Table: " + Repr(cls) + " is not a subtype of Table");
  return pickling::NewWithoutInit<Table>(cls);
}

py::object Unpickle(py::args args, py::kwargs kwargs) {
  auto [cls, checksum_arg, state] = pickling::RestoreArgs("unpickle_Table", args, kwargs);
  const long long checksum = pickling::ChecksumArg(checksum_arg, kChecksumForm);
  pickling::CheckStateArg(state);
  pickling::RequireKnownChecksum(checksum, kLayout, kChecksumForm);
  py::object obj = RawTable(cls);
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
    if (r == 0 && t.own_columns) r = visit(t.own_columns.ptr(), arg);
    return r;
  };
  type->tp_clear = [](PyObject* self) -> int {
    if (py::detail::is_holder_constructed(self)) ClearTable(py::cast<Table&>(py::handle(self)));
    return 0;
  };
}

// ---------------------------------------------------------------------------
// Script entries of the conversions: the argument checked as the documented
// signature says, then the native code (tracks from a script are checked).

py::object FormatSrcKeyMethod(Table& t, py::object src) {
  RequireArgStr(src, "src");
  return FormatSrcKeyNative(t, src);
}

py::object Line2TracksMethod(Table& t, py::object line) {
  RequireArgStr(line, "line");
  return Line2TracksNative(t, line);
}

py::object Tracks2LineMethod(Table& t, py::object tracks) {
  RequireArgStr(tracks, "tracks");
  return Tracks2LineNative(t, tracks, /*checked=*/true);
}

}  // namespace

PYBIND11_MODULE(_tables, m) {
  ModuleState& st = State();
  m.doc() = "classes handling phrase/rule table";
  // Users reach these classes and functions through qaz.smt.trans_models.tables,
  // which adds the Moses and Travatar tables: they are named for it, so that
  // reprs and pickles name that module.
  m.attr("__module__") = kPublicModule;

  py::object pycedar = py::module_::import("pycedar");
  py::object logging = py::module_::import("qaz.common.logging");
  st.progress = py::module_::import("qaz.common.progress");
  st.pycedar_dict = pycedar.attr("dict");
  m.attr("logger") = logging.attr("getColorLogger")(kPublicModule);
  m.attr("key_types") = py::list(py::make_tuple("src", "src_hiero", "src_symbols", "src_tree"));

  py::options options;
  options.disable_function_signatures();

  m.def("get_track_str", &GetTrackStr, py::arg("node"),
        "get_track_str(node) -> str\n\nTrack text \"(id,length)\" of a trie node.");
  m.def("track2key", &Track2Key, py::arg("trie_dict"), py::arg("track"),
        "track2key(trie_dict, track) -> str\n\nKey of the node that `track` names in "
        "`trie_dict`; ValueError when it names none.");

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
      .def("format_src_key", &FormatSrcKeyMethod, py::arg("src"),
           "Table.format_src_key(self, str src) -> str")
      .def("line2tracks", &Line2TracksMethod, py::arg("line"),
           "Table.line2tracks(self, str line) -> str")
      .def("tracks2line", &Tracks2LineMethod, py::arg("tracks"),
           "Table.tracks2line(self, str tracks) -> str")
      .def("_Table__find_key", &FindKey, py::arg("key_record_dict"), py::arg("key"),
           py::arg("force") = true,
           "Table.__find_key(self, key_record_dict, str key, bool force=True)")
      .def("find", &Find, py::arg("prefix"), py::arg("force") = true,
           "Table.find(self, str prefix, bool force=True)")
      .def("find_src", &FindSrc, py::arg("src"), py::arg("force") = true,
           "Table.find_src(self, str src, force=True)")
      .def("find_trg", &FindTrg, py::arg("trg"), py::arg("target_index") = py::none(),
           py::arg("force") = true, "Table.find_trg(self, str trg, target_index=None, force=True)")
      .def("__iter__", [](py::object self) { return py::getattr(self, "find")(""); })
      .def("__len__", [](Table& t) { return py::len(t.record_dict); })
      .def("__reduce__", [](py::object self) { return Reduce(self); });
  pickling::DefSetState(
      table, "set_state", [](py::object self, py::object state) { SetState(self, state); },
      py::arg("state"), "Table.__setstate__(self, state)");

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

  // The known tracks of a trie go with the trie: look for tries that died
  // after every collection.
  py::module_::import("gc").attr("callbacks").attr("append")(py::cpp_function(
      [](py::handle phase, py::handle) {
        if (PyUnicode_Check(phase.ptr()) && Utf8(phase) == "stop") qaz_py::ForgetDeadTries();
      }));
}
