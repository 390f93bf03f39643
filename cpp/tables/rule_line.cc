#include "tables/rule_line.h"

#include <charconv>
#include <stdexcept>

#include "common/text.h"

namespace qaz::tables {

std::vector<std::string_view> Split(std::string_view text, std::string_view sep,
                                    int max_split) {
  std::vector<std::string_view> pieces;
  size_t pos = 0;
  while (max_split < 0 || static_cast<int>(pieces.size()) < max_split) {
    const size_t hit = text.find(sep, pos);
    if (hit == std::string_view::npos) break;
    pieces.push_back(text.substr(pos, hit - pos));
    pos = hit + sep.size();
  }
  pieces.push_back(text.substr(pos));
  return pieces;
}

std::string_view FirstPiece(std::string_view text, std::string_view sep) {
  return text.substr(0, text.find(sep));
}

void AppendTrack(uint64_t first, uint64_t second, std::string* out) {
  *out += '(';
  *out += std::to_string(first);
  *out += ',';
  *out += std::to_string(second);
  *out += ')';
}

std::string FormatTrack(uint64_t first, uint64_t second) {
  std::string out;
  out.reserve(24);
  AppendTrack(first, second, &out);
  return out;
}

namespace {

bool ParseDigits(std::string_view s, uint64_t* value) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), *value);
  return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

}  // namespace

bool ParsePlainTrack(std::string_view track, uint64_t* first, uint64_t* second) {
  if (track.size() < 5 || track.front() != '(' || track.back() != ')')
    return false;
  const std::string_view inner = track.substr(1, track.size() - 2);
  const size_t comma = inner.find(',');
  if (comma == std::string_view::npos || inner.find(',', comma + 1) != std::string_view::npos)
    return false;
  return ParseDigits(inner.substr(0, comma), first) &&
         ParseDigits(inner.substr(comma + 1), second);
}

std::string PairKey(std::string_view key_track, std::string_view record_track) {
  std::string pair;
  pair.reserve(key_track.size() + kTrackSep.size() + record_track.size());
  pair += key_track;
  pair += kTrackSep;
  pair += record_track;
  return pair;
}

std::string_view RecordTrackOfPairKey(std::string_view pair_key) {
  const size_t bar = pair_key.find('|');
  if (bar == std::string_view::npos) throw std::out_of_range("list index out of range");
  return StripSpace(pair_key.substr(bar + 1));
}

bool HasAbsentTrack(std::string_view tracks) {
  return tracks.find(kAbsentTrack) != std::string_view::npos;
}

int AbsentFieldIndex(std::string_view tracks) {
  const size_t at = tracks.find(kAbsentTrack);
  if (at == std::string_view::npos) return -1;
  int index = 0;
  for (size_t i = 0; i < at; ++i)
    if (tracks[i] == '|') ++index;
  return index;
}

}  // namespace qaz::tables
