#include "common/text.h"

#include <cstring>

#include "common/errors.h"

namespace qaz {

const char* Utf8ErrorReason(Utf8Error error) {
  switch (error) {
    case Utf8Error::kInvalidStart:
      return "invalid start byte";
    case Utf8Error::kUnexpectedEnd:
      return "unexpected end of data";
    case Utf8Error::kInvalidContinuation:
      return "invalid continuation byte";
    case Utf8Error::kNone:
      break;
  }
  return "";
}

Utf8Error DecodeUtf8(std::string_view text, size_t pos, char32_t* cp,
                     size_t* len) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  const unsigned char c = p[pos];
  if (c < 0x80) {
    *cp = c;
    *len = 1;
    return Utf8Error::kNone;
  }
  size_t size;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t value;
  if (c >= 0xC2 && c <= 0xDF) {
    size = 2;
    value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    size = 3;
    value = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    size = 4;
    value = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    *len = 1;
    return Utf8Error::kInvalidStart;
  }
  for (size_t t = 1; t < size; ++t) {
    if (pos + t >= n) {
      *len = n - pos;
      return Utf8Error::kUnexpectedEnd;
    }
    const unsigned char d = p[pos + t];
    if (d < (t == 1 ? lo : 0x80) || d > (t == 1 ? hi : 0xBF)) {
      *len = t;
      return Utf8Error::kInvalidContinuation;
    }
    value = (value << 6) | (d & 0x3F);
  }
  *cp = value;
  *len = size;
  return Utf8Error::kNone;
}

size_t CountCodePoints(std::string_view text) {
  size_t count = 0;
  for (size_t k = 0; k < text.size(); k += Utf8SequenceLength(text[k])) {
    ++count;
  }
  return count;
}

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

// Byte length of the white-space code point at the start of `s`, 0 if none.
size_t SpaceAtStart(std::string_view s) {
  if (s.empty()) return 0;
  char32_t cp;
  size_t len;
  if (DecodeUtf8(s, 0, &cp, &len) != Utf8Error::kNone) return 0;
  return IsUnicodeSpace(cp) ? len : 0;
}

// Byte length of the white-space code point at the end of `s`, 0 if none.
size_t SpaceAtEnd(std::string_view s) {
  const size_t n = s.size();
  // A code point is at most four bytes: its lead byte is the last one that
  // is not a continuation byte (10xxxxxx).
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const auto b = static_cast<unsigned char>(s[n - back]);
    if ((b & 0xC0) == 0x80) continue;
    char32_t cp;
    size_t len;
    if (DecodeUtf8(s, n - back, &cp, &len) != Utf8Error::kNone ||
        len != back) {
      return 0;
    }
    return IsUnicodeSpace(cp) ? len : 0;
  }
  return 0;
}

}  // namespace

std::string_view StripSpace(std::string_view text) {
  for (size_t n; (n = SpaceAtStart(text)) > 0;) text.remove_prefix(n);
  for (size_t n; (n = SpaceAtEnd(text)) > 0;) text.remove_suffix(n);
  return text;
}

void CheckUtf8(std::string_view s, const std::string& path,
               int64_t line_number) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t k = 0;
  while (k < n) {
    // Skip ASCII eight bytes at a time.
    while (k + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, p + k, 8);
      if (w & 0x8080808080808080ULL) break;
      k += 8;
    }
    if (k >= n) break;
    if (p[k] < 0x80) {
      ++k;
      continue;
    }
    char32_t cp;
    size_t len;
    const Utf8Error error = DecodeUtf8(s, k, &cp, &len);
    if (error != Utf8Error::kNone) {
      throw DecodeError(std::string(s), static_cast<int64_t>(k),
                        static_cast<int64_t>(k + len),
                        std::string(Utf8ErrorReason(error)) + " (" + path +
                            ", line " + std::to_string(line_number) + ")");
    }
    k += len;
  }
}

char32_t LowerCase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c >= 0x100 && c <= 0x137) return c == 0x130 ? 'i' : c | 1;
  if (c >= 0x139 && c <= 0x148) return c % 2 == 1 ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return c % 2 == 1 ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x386 && c <= 0x38F) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    return c;
  }
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

void AppendLowerCase(std::string_view text, std::string* out) {
  size_t k = 0;
  while (k < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[k]);
    if (b < 0x80) {
      out->push_back(b >= 'A' && b <= 'Z' ? static_cast<char>(b + 0x20)
                                          : static_cast<char>(b));
      ++k;
      continue;
    }
    char32_t cp;
    size_t len;
    if (DecodeUtf8(text, k, &cp, &len) != Utf8Error::kNone) {
      out->append(text.substr(k, std::max<size_t>(len, 1)));
      k += std::max<size_t>(len, 1);
      continue;
    }
    const char32_t low = LowerCase(cp);
    if (low == cp) {
      out->append(text.substr(k, len));
    } else if (low < 0x80) {
      out->push_back(static_cast<char>(low));
    } else if (low < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (low >> 6)));
      out->push_back(static_cast<char>(0x80 | (low & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xE0 | (low >> 12)));
      out->push_back(static_cast<char>(0x80 | ((low >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (low & 0x3F)));
    }
    k += len;
  }
}

}  // namespace qaz
