// The three loading passes of a rule table and the conversions between rule
// lines and track lines, on tries behind the Trie interface.
//
// A table keeps no rule text.  Pass 1 enters every distinct field of the
// file (and every source key and, with the target index, every target side
// and target column) into the field trie.  Pass 2 enters the track line of
// every rule into the record trie.  Pass 3 walks the record trie and enters
// "key track | record track" pair keys into the source, target and column
// indexes.  The binding drives the passes over the file and the record trie
// and calls these for the work of one line or one rule.
//
// Usage (pass 1, one line):
//   qaz::tables::EnterFieldsOfLine(fields, line, "t.rules:3", source_key, options);
#ifndef QAZ_TABLES_RULE_TABLE_H_
#define QAZ_TABLES_RULE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tables/trie.h"

namespace qaz::tables {

// A rule line or rule the table cannot index.  The binding raises the
// interpreter error of `kind` with the message.
class RuleError : public std::runtime_error {
 public:
  enum Kind { kValue, kIndex, kAttribute };
  RuleError(Kind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// How messages show a text (the binding passes the interpreter's repr()).
using Quote = std::function<std::string(std::string_view)>;

// Enters the stripped non-empty fields of `text` (split at "|||") into
// `fields`.
void AddFields(Trie& fields, std::string_view text);

// The track line of `line`: the track of each stripped field, the empty
// text for an empty field, "(-1,-1)" for a field `fields` lacks.
std::string Line2Tracks(Trie& fields, std::string_view line);

// The line a track line names: its tracks' keys joined by " ||| " (an empty
// piece gives an empty field).
std::string Tracks2Line(Trie& fields, std::string_view tracks);

// Where a line of the table file is, for messages: "path:line".
struct Place {
  std::string_view path;
  int64_t line = 0;
  std::string Where() const;
};

// The source key of a source side, or nothing when the key type gives none.
using SourceKeyFn = std::function<std::optional<std::string>(std::string_view)>;

struct FieldPassOptions {
  bool with_target = false;      // the target index is built
  std::string key_type_shown;    // the key type as messages show it
  Quote quote;
};

// Pass 1 on one rule line: enters its fields, its source key and, with the
// target index, its target side and columns.  Throws RuleError naming the
// place for a line that could not be indexed: an empty source side, a key
// type without a key, an empty source key, no target side, an empty target
// side or target column.
void EnterFieldsOfLine(Trie& fields, std::string_view line, const Place& place,
                       const SourceKeyFn& source_key, const FieldPassOptions& options);

// Pass 2 check of a line and its track line: throws RuleError naming the
// first field that the field trie refused in pass 1.
void CheckFieldsEntered(std::string_view line, std::string_view tracks,
                        const Place& place, const Quote& quote);

// The index tries that pass 3 fills.
struct IndexTries {
  Trie* src = nullptr;
  Trie* trg = nullptr;  // null without the target index
  // The index of target column `i`, made when the table has none yet.
  std::function<Trie&(size_t)> column;
};

// Enters "key track | record track" into `index`, the key track being that
// of `key` in `fields`; RuleError when `key` is not a field.
void AddKeyAndNode(Trie& fields, Trie& index, std::string_view key,
                   std::string_view record_track, const Quote& quote);

// The source key of the source side of a rule already in the table.
using SourceKeyOf = std::function<std::string(std::string_view)>;

// Pass 3 for one rule from its own track line: its source and target tracks
// already name the fields the indexes are keyed by, so only the target is
// rebuilt, for its columns, and the source only when its key differs from
// it (`source_key` given; null when a source is its own key).  Throws
// std::out_of_range for a track line without a target track.
void IndexRuleByTracks(Trie& fields, IndexTries& indexes, std::string_view line_tracks,
                       std::string_view record_track, const SourceKeyOf* source_key,
                       const Quote& quote);

// Pass 3 for one rule from its rebuilt line.  Throws std::out_of_range for a
// line without a target side when the target index is built.
void IndexRuleByLine(Trie& fields, IndexTries& indexes, std::string_view line,
                     std::string_view record_track, const SourceKeyOf& source_key,
                     const Quote& quote);

// An index trie and how messages name it.
struct NamedIndex {
  std::string name;
  Trie* trie = nullptr;
};

// Checks that the tries of a table name each other's nodes, as they must
// before their tracks reach the tries unchecked (the tries of a restored
// table may come from anywhere): every track of every track line of
// `records` names a key of `fields`, and every pair key of each index names
// a key of `fields` by its key track and a key of `records` by its record
// track.  A piece that reads as no track is left alone: using it fails the
// same way before it reaches a trie.  Throws std::invalid_argument naming
// the first track that names nothing.  One walk over each trie.
void CheckTriesHoldTogether(Trie& fields, Trie& records,
                            const std::vector<NamedIndex>& indexes);

}  // namespace qaz::tables

#endif  // QAZ_TABLES_RULE_TABLE_H_
