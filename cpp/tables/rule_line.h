// Text helpers for rule-table lines: field splitting, white-space stripping
// and the track notation "(id,length)" that names a trie node.
//
// Everything works on UTF-8 bytes and needs no Python headers. Stripping
// follows the interpreter's str.strip() (every Unicode white-space code
// point), so a line stripped here and the same line stripped by a script
// agree.
//
// Usage:
//   for (std::string_view f : qaz::tables::SplitAll(line, "|||"))
//     Use(qaz::tables::Strip(f));
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

// True for the code points that Python's str.isspace() accepts.
bool IsUnicodeSpace(char32_t c);

// `text` without leading and trailing Unicode white space. `text` must be
// valid UTF-8 (what the interpreter hands out always is).
std::string_view Strip(std::string_view text);

// Pieces of `text` between occurrences of `sep` (like str.split(sep)); at
// most `max_split` splits, or no limit when negative.
std::vector<std::string_view> Split(std::string_view text, std::string_view sep,
                                    int max_split = -1);

// First piece of str.split(sep, 1), the whole text when `sep` is absent.
std::string_view FirstPiece(std::string_view text, std::string_view sep);

// "(first,second)".
std::string FormatTrack(int64_t first, int64_t second);

// Reads a track text of the plain form "(digits,digits)". Returns false for
// anything else, which the caller then hands to the interpreter's own integer
// parsing so that every form it accepts (blanks, signs, '_') is honoured.
bool ParsePlainTrack(std::string_view track, uint64_t* first, uint64_t* second);

}  // namespace qaz::tables

#endif  // QAZ_TABLES_RULE_LINE_H_
