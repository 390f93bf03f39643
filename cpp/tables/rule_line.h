// The text forms of rule tables: fields split at "|||", the track notation
// "(id,length)" that names a trie node, track lines and pair keys.
//
// A track line holds the track texts of a rule's fields joined by " | " (an
// empty field gives an empty text, a field the field trie lacks the absent
// track "(-1,-1)"); a pair key is "key track | record track".  Everything
// works on UTF-8 bytes and needs no Python headers.
//
// Usage:
//   for (std::string_view f : qaz::tables::Split(line, qaz::tables::kFieldSep))
//     Use(qaz::StripSpace(f));
//   std::string t = qaz::tables::FormatTrack(1204, 7);   // "(1204,7)"
#ifndef QAZ_TABLES_RULE_LINE_H_
#define QAZ_TABLES_RULE_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qaz::tables {

inline constexpr std::string_view kFieldSep = "|||";
inline constexpr std::string_view kColumnSep = "|COL|";
inline constexpr std::string_view kTrackSep = " | ";
inline constexpr std::string_view kFieldJoin = " ||| ";
inline constexpr std::string_view kAbsentTrack = "(-1,-1)";

// Pieces of `text` between occurrences of `sep` (like str.split(sep)); at
// most `max_split` splits, or no limit when negative.
std::vector<std::string_view> Split(std::string_view text, std::string_view sep,
                                    int max_split = -1);

// First piece of str.split(sep, 1), the whole text when `sep` is absent.
std::string_view FirstPiece(std::string_view text, std::string_view sep);

// "(first,second)", appended to `out` or returned.
void AppendTrack(uint64_t first, uint64_t second, std::string* out);
std::string FormatTrack(uint64_t first, uint64_t second);

// Reads a track text of the plain form "(digits,digits)". Returns false for
// anything else, which the caller then hands to the interpreter's own integer
// parsing so that every form it accepts (blanks, signs, '_') is honoured.
bool ParsePlainTrack(std::string_view track, uint64_t* first, uint64_t* second);

// "key track | record track".
std::string PairKey(std::string_view key_track, std::string_view record_track);

// The record track of a pair key: what follows its first "|", stripped.
// Throws std::out_of_range when there is no "|".
std::string_view RecordTrackOfPairKey(std::string_view pair_key);

// Whether a track line names a field that the field trie lacks.
bool HasAbsentTrack(std::string_view tracks);

// 0-based position of the first absent field of a track line, or -1.
int AbsentFieldIndex(std::string_view tracks);

}  // namespace qaz::tables

#endif  // QAZ_TABLES_RULE_LINE_H_
