#include "tables/rule_table.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/text.h"
#include "tables/rule_line.h"

namespace qaz::tables {

std::string Place::Where() const {
  return std::string(path) + ":" + std::to_string(line);
}

void AddFields(Trie& fields, std::string_view text) {
  for (std::string_view piece : Split(text, kFieldSep)) {
    const std::string_view field = StripSpace(piece);
    if (!field.empty()) fields.Insert(field);
  }
}

std::string Line2Tracks(Trie& fields, std::string_view line) {
  std::string out;
  bool first = true;
  for (std::string_view piece : Split(line, kFieldSep)) {
    if (!first) out += kTrackSep;
    first = false;
    const std::string_view field = StripSpace(piece);
    if (field.empty()) continue;
    if (!fields.AppendTrack(field, &out)) out += kAbsentTrack;
  }
  return out;
}

std::string Tracks2Line(Trie& fields, std::string_view tracks) {
  std::string out;
  bool first = true;
  for (std::string_view piece : Split(tracks, "|")) {
    if (!first) out += kFieldJoin;
    first = false;
    const std::string_view track = StripSpace(piece);
    if (!track.empty()) out += KeyOfTrack(fields, track);
  }
  return out;
}

void EnterFieldsOfLine(Trie& fields, std::string_view line, const Place& place,
                       const SourceKeyFn& source_key, const FieldPassOptions& options) {
  const std::string_view source = StripSpace(FirstPiece(line, kFieldSep));
  if (source.empty()) throw RuleError(RuleError::kValue, place.Where() + ": empty source side");
  AddFields(fields, line);
  const std::optional<std::string> key = source_key(source);
  if (!key) {
    throw RuleError(RuleError::kAttribute, place.Where() + ": key type " +
                                               options.key_type_shown +
                                               " gives no source key");
  }
  if (StripSpace(*key).empty()) {
    throw RuleError(RuleError::kValue,
                    place.Where() + ": empty source key for " + options.quote(source));
  }
  AddFields(fields, *key);
  if (!options.with_target) return;
  const std::vector<std::string_view> parts = Split(line, kFieldSep, 2);
  if (parts.size() < 2) {
    throw RuleError(RuleError::kIndex, place.Where() + ": no target side (no \"|||\")");
  }
  const std::string_view target = StripSpace(parts[1]);
  if (target.empty()) throw RuleError(RuleError::kValue, place.Where() + ": empty target side");
  fields.Insert(target);
  if (target.find(kColumnSep) == std::string_view::npos) return;
  int column = 0;
  for (std::string_view col : Split(target, kColumnSep)) {
    const std::string_view stripped = StripSpace(col);
    if (stripped.empty()) {
      throw RuleError(RuleError::kValue,
                      place.Where() + ": empty target column " + std::to_string(column));
    }
    fields.Insert(stripped);
    ++column;
  }
}

void CheckFieldsEntered(std::string_view line, std::string_view tracks,
                        const Place& place, const Quote& quote) {
  const int absent = AbsentFieldIndex(tracks);
  if (absent < 0) return;
  const std::vector<std::string_view> fields = Split(line, kFieldSep);
  throw RuleError(RuleError::kValue,
                  place.Where() + ": field " + std::to_string(absent + 1) + " " +
                      quote(StripSpace(fields[absent])) +
                      " could not be entered into the field trie");
}

void AddKeyAndNode(Trie& fields, Trie& index, std::string_view key,
                   std::string_view record_track, const Quote& quote) {
  std::string pair;
  if (!fields.AppendTrack(key, &pair)) {
    throw RuleError(RuleError::kValue,
                    "index key " + quote(key) + " is not a field of the table");
  }
  pair += kTrackSep;
  pair += record_track;
  index.Insert(pair);
}

namespace {

// Enters the columns of a target side into the column indexes.
void AddColumns(Trie& fields, IndexTries& indexes, std::string_view target,
                std::string_view record_track, const Quote& quote) {
  if (target.find(kColumnSep) == std::string_view::npos) return;
  size_t i = 0;
  for (std::string_view col : Split(target, kColumnSep)) {
    AddKeyAndNode(fields, indexes.column(i), StripSpace(col), record_track, quote);
    ++i;
  }
}

}  // namespace

void IndexRuleByTracks(Trie& fields, IndexTries& indexes, std::string_view line_tracks,
                       std::string_view record_track, const SourceKeyOf* source_key,
                       const Quote& quote) {
  const std::vector<std::string_view> tracks = Split(line_tracks, "|", 2);
  const std::string_view src_track = StripSpace(tracks[0]);
  if (source_key == nullptr) {
    indexes.src->Insert(PairKey(src_track, record_track));
  } else {
    const std::string src = KeyOfTrack(fields, src_track);
    AddKeyAndNode(fields, *indexes.src, (*source_key)(src), record_track, quote);
  }
  if (indexes.trg == nullptr) return;
  if (tracks.size() < 2) throw std::out_of_range("list index out of range");
  const std::string_view trg_track = StripSpace(tracks[1]);
  indexes.trg->Insert(PairKey(trg_track, record_track));
  AddColumns(fields, indexes, KeyOfTrack(fields, trg_track), record_track, quote);
}

void IndexRuleByLine(Trie& fields, IndexTries& indexes, std::string_view line,
                     std::string_view record_track, const SourceKeyOf& source_key,
                     const Quote& quote) {
  const std::string key = source_key(StripSpace(FirstPiece(line, kFieldSep)));
  AddKeyAndNode(fields, *indexes.src, key, record_track, quote);
  if (indexes.trg == nullptr) return;
  const std::vector<std::string_view> parts = Split(line, kFieldSep, 2);
  if (parts.size() < 2) throw std::out_of_range("list index out of range");
  const std::string_view target = StripSpace(parts[1]);
  AddKeyAndNode(fields, *indexes.trg, target, record_track, quote);
  AddColumns(fields, indexes, target, record_track, quote);
}

namespace {

// The track a piece of text names, or nothing when it reads as no track.
std::optional<Track> TrackOfPiece(Trie& trie, std::string_view text) {
  try {
    return ParseTrackText(trie, text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Throws unless `text` reads as no track or as one `known` holds.
template <typename Known>
void RequireKnown(Trie& trie, const Known& known, std::string_view text,
                  const std::string& where, const char* trie_name) {
  const std::optional<Track> track = TrackOfPiece(trie, text);
  if (!track || known(*track)) return;
  throw std::invalid_argument(where + " holds the track " +
                              FormatTrack(track->id, track->length) +
                              ", which names no key of the " + trie_name);
}

}  // namespace

void CheckTriesHoldTogether(Trie& fields, Trie& records,
                            const std::vector<NamedIndex>& indexes) {
  KnownTracks known_fields;
  const auto is_field = [&](Track t) { return known_fields.Contains(fields, t); };
  // The record trie's tracks come from the same walk that reads its track
  // lines.
  std::vector<Track> record_tracks;
  records.ForEachKeyAndTracks(
      [&](std::string_view tracks, const std::vector<Track>& own) {
        record_tracks.insert(record_tracks.end(), own.begin(), own.end());
        for (std::string_view piece : Split(tracks, "|")) {
          const std::string_view track = StripSpace(piece);
          if (!track.empty()) {
            RequireKnown(fields, is_field, track, "the record trie", "field trie");
          }
        }
      });
  std::sort(record_tracks.begin(), record_tracks.end());
  const auto is_record = [&](Track t) {
    return std::binary_search(record_tracks.begin(), record_tracks.end(), t);
  };
  for (const NamedIndex& index : indexes) {
    index.trie->ForEachKey([&](std::string_view pair_key) {
      const size_t bar = pair_key.find('|');
      if (bar == std::string_view::npos) return;
      RequireKnown(fields, is_field, StripSpace(pair_key.substr(0, bar)),
                   index.name, "field trie");
      RequireKnown(records, is_record, RecordTrackOfPairKey(pair_key),
                   index.name, "record trie");
    });
  }
}

}  // namespace qaz::tables
