#include "tables/rule_line.h"

#include <charconv>

namespace qaz::tables {

bool IsUnicodeSpace(char32_t c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D:
    case 0x1C: case 0x1D: case 0x1E: case 0x1F: case 0x20:
    case 0x85: case 0xA0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

namespace {

// Decodes the code point that starts at `p`; `n` receives its byte length.
char32_t DecodeAt(const unsigned char* p, size_t avail, size_t* n) {
  const unsigned char b = p[0];
  if (b < 0x80) { *n = 1; return b; }
  if (avail < 2) { *n = 1; return 0x10FFFF; }
  if ((b & 0xE0) == 0xC0) { *n = 2; return ((b & 0x1F) << 6) | (p[1] & 0x3F); }
  if ((b & 0xF0) == 0xE0 && avail >= 3) {
    *n = 3;
    return ((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  }
  *n = (avail >= 4) ? 4 : avail;
  return 0x10FFFF;  // not white space; only its length matters here
}

// Start of the code point that ends just before `end` (continuation bytes
// are 10xxxxxx).
size_t PrevStart(const unsigned char* s, size_t end) {
  size_t i = end - 1;
  while (i > 0 && (s[i] & 0xC0) == 0x80 && end - i < 4) --i;
  return i;
}

}  // namespace

std::string_view Strip(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t begin = 0, end = text.size();
  while (begin < end) {
    size_t n;
    if (!IsUnicodeSpace(DecodeAt(s + begin, end - begin, &n))) break;
    begin += n;
  }
  while (end > begin) {
    const size_t start = PrevStart(s, end);
    size_t n;
    if (!IsUnicodeSpace(DecodeAt(s + start, end - start, &n))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

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

std::string FormatTrack(int64_t first, int64_t second) {
  std::string out;
  out.reserve(24);
  out += '(';
  out += std::to_string(first);
  out += ',';
  out += std::to_string(second);
  out += ')';
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

}  // namespace qaz::tables
