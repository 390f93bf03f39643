// The rule-table engine's Trie on a pycedar dictionary, and the known tracks
// of the dictionaries whose tracks come from script code.
//
// Usage:
//   PycedarTrie fields(table.field_dict);
//   std::string line = qaz::tables::Tracks2Line(fields, tracks);
//   qaz::tables::CheckedTrie checked(fields, KnownTracksOf(table.field_dict));
#ifndef QAZ_BINDINGS_PYCEDAR_TRIE_H_
#define QAZ_BINDINGS_PYCEDAR_TRIE_H_

#include <pybind11/pybind11.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/trie.h"

namespace qaz_py {

namespace py = pybind11;
using qaz::tables::Track;

// Text conversions at the boundary.
std::string_view Utf8(py::handle s);
py::str MakeStr(std::string_view s);

// Calls `fn` with positional arguments.
py::object Call(py::handle fn, std::initializer_list<PyObject*> args);

// TypeError("Expected str, got <type>") unless `o` is text or None.
void RequireValueStr(py::handle o);

// Appends the track text of `node`: the first two numbers of node.track(),
// printed as the interpreter prints a 2-tuple, without blanks.
void AppendNodeTrack(std::string& out, py::handle node);

// Track of a track text in the interpreter's integer forms: IndexError for
// fewer than two comma-separated numbers, ValueError for a piece that is no
// integer, OverflowError for one that is no unsigned 64-bit number.
Track ParseTrackFromPython(py::handle text);

class PycedarTrie : public qaz::tables::Trie {
 public:
  // A key the dictionary refuses is handed to `on_refused` with the error
  // and skipped, when it is set; otherwise the error propagates.
  using RefusalFn = std::function<void(py::error_already_set&, py::handle key)>;

  explicit PycedarTrie(py::handle dict, RefusalFn on_refused = nullptr)
      : dict_(py::reinterpret_borrow<py::object>(dict)), on_refused_(std::move(on_refused)) {}

  bool Insert(std::string_view key) override;
  bool AppendTrack(std::string_view key, std::string* out) override;
  std::string Key(Track track) override;
  Track ParseTrack(std::string_view text) override;
  void ForEachKey(const std::function<void(std::string_view)>& f) override;
  std::vector<Track> TracksOf(std::string_view key) override;
  void ForEachKeyAndTracks(
      const std::function<void(std::string_view, const std::vector<Track>&)>& f) override;

  py::handle dict() const { return dict_; }

  // The dictionary's bound methods, looked up on first use.
  py::handle Update();
  py::handle GetNode();
  py::handle Suffix();  // dict.trie.suffix

 private:
  py::object dict_;
  RefusalFn on_refused_;
  py::object update_, get_node_, suffix_;
};

// The known tracks of `dict`, gathered on first use and kept while the
// dictionary lives.
qaz::tables::KnownTracks& KnownTracksOf(py::handle dict);

// Lets go of the known tracks of dictionaries nothing else refers to any
// more.  Runs at every lookup and after every cycle collection.
void ForgetDeadTries();

}  // namespace qaz_py

#endif  // QAZ_BINDINGS_PYCEDAR_TRIE_H_
