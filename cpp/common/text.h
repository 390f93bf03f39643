// UTF-8 text: validation, walking code points, and the white space that the
// interpreter's str.strip() removes.
//
// Usage:
//   qaz::CheckUtf8(line, path, line_number);        // DecodeError if not UTF-8
//   for (size_t k = 0; k < s.size(); k += qaz::Utf8SequenceLength(s[k])) ...
//   std::string_view field = qaz::StripSpace(piece);  // as piece.strip()
#ifndef QAZ_COMMON_TEXT_H_
#define QAZ_COMMON_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qaz {

// What is wrong with a UTF-8 sequence, worded as the interpreter's decoder
// words it.
enum class Utf8Error { kNone, kInvalidStart, kUnexpectedEnd, kInvalidContinuation };

// The reason text of `error` ("invalid start byte", ...).
const char* Utf8ErrorReason(Utf8Error error);

// Decodes the code point that starts at text[pos] (pos < text.size()).  On
// success returns kNone with the code point in *cp and its byte length in
// *len.  Otherwise *len is the length of the bad range as the interpreter
// reports it: the start byte alone, up to the end of the text, or up to the
// first bad continuation byte.
Utf8Error DecodeUtf8(std::string_view text, size_t pos, char32_t* cp,
                     size_t* len);

// Byte length of the sequence that starts with `lead`, for text already
// known to be UTF-8 (1 for ASCII).
inline size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}
inline size_t Utf8SequenceLength(char lead) {
  return Utf8SequenceLength(static_cast<unsigned char>(lead));
}

// Number of code points of `text`, which must be UTF-8.
size_t CountCodePoints(std::string_view text);

// True for the code points that str.isspace() accepts.
bool IsUnicodeSpace(char32_t c);

// The lower-case form of a letter of the Latin (ASCII, Latin-1, Latin
// Extended-A), Greek or Cyrillic alphabets; every other code point as it
// is.  One code point for one, so character positions stay where they are.
char32_t LowerCase(char32_t c);

// Appends `text` (UTF-8) with LowerCase applied to every code point; bytes
// that are not UTF-8 are copied as they are.
void AppendLowerCase(std::string_view text, std::string* out);

// `text` without the leading and trailing white space that str.strip()
// removes (ASCII and Unicode spaces, UTF-8 encoded).  Bytes that are not
// UTF-8 are never stripped.
std::string_view StripSpace(std::string_view text);

// Checks that `line` is UTF-8; throws DecodeError naming `path` and
// `line_number` otherwise.
void CheckUtf8(std::string_view line, const std::string& path,
               int64_t line_number);

}  // namespace qaz

#endif  // QAZ_COMMON_TEXT_H_
