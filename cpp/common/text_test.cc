#include "common/text.h"

#include <optional>
#include <string>

#include "common/errors.h"
#include "testing/harness.h"

namespace {

// The DecodeError that CheckUtf8 throws for `line`, or none.
std::optional<qaz::DecodeError> DecodeFailure(const std::string& line) {
  return qaz::testing::Thrown<qaz::DecodeError>([&] { qaz::CheckUtf8(line, "f.txt", 7); });
}

}  // namespace

QAZ_TEST(CheckUtf8AcceptsWellFormedText) {
  for (const char* ok : {"", "plain ascii, longer than eight bytes",
                         "caf\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac",
                         "\xf0\x9f\x98\x80 emoji", "\xed\x9f\xbf", "\xf4\x8f\xbf\xbf"}) {
    QAZ_EXPECT(!DecodeFailure(ok));
  }
}

QAZ_TEST(CheckUtf8ReportsRangesAsTheInterpreterDoes) {
  struct Case {
    std::string line;
    int64_t start, end;
    const char* reason;
  } cases[] = {
      {"ok \xff", 3, 4, "invalid start byte"},
      {"12345678\x80", 8, 9, "invalid start byte"},   // after the 8-byte skip
      {"\xc0\xaf", 0, 1, "invalid start byte"},       // overlong lead
      {"a\xe6\x97", 1, 3, "unexpected end of data"},
      {"\xf0\x9f\x98", 0, 3, "unexpected end of data"},
      {"\xe0\x80\x80", 0, 1, "invalid continuation byte"},  // overlong
      {"\xed\xa0\x80", 0, 1, "invalid continuation byte"},  // surrogate
      {"\xf4\x90\x80\x80", 0, 1, "invalid continuation byte"},  // past U+10FFFF
      {"\xe6\x97x", 0, 2, "invalid continuation byte"},
  };
  for (const Case& c : cases) {
    const auto e = DecodeFailure(c.line);
    QAZ_EXPECT(e.has_value());
    if (!e) continue;
    QAZ_EXPECT_EQ(e->bytes(), c.line);
    QAZ_EXPECT_EQ(e->start(), c.start);
    QAZ_EXPECT_EQ(e->end(), c.end);
    QAZ_EXPECT_EQ(e->reason(), std::string(c.reason) + " (f.txt, line 7)");
  }
}

QAZ_TEST(DecodeUtf8GivesCodePointsAndLengths) {
  char32_t cp = 0;
  size_t len = 0;
  QAZ_EXPECT(qaz::DecodeUtf8("\xe3\x80\x80", 0, &cp, &len) == qaz::Utf8Error::kNone);
  QAZ_EXPECT_EQ(static_cast<int>(cp), 0x3000);
  QAZ_EXPECT_EQ(len, 3u);
  QAZ_EXPECT(qaz::DecodeUtf8("x\xf0\x9f\x98\x80", 1, &cp, &len) == qaz::Utf8Error::kNone);
  QAZ_EXPECT_EQ(static_cast<int>(cp), 0x1F600);
  QAZ_EXPECT_EQ(len, 4u);
  QAZ_EXPECT_EQ(qaz::CountCodePoints("a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80"), 4u);
  QAZ_EXPECT_EQ(qaz::Utf8SequenceLength('a'), 1u);
  QAZ_EXPECT_EQ(qaz::Utf8SequenceLength('\xe6'), 3u);
}

QAZ_TEST(StripSpaceIsStrStrip) {
  using qaz::StripSpace;
  QAZ_EXPECT_EQ(StripSpace("  a b \n"), "a b");
  QAZ_EXPECT_EQ(StripSpace("\xe3\x80\x80x\xc2\xa0"), "x");  // ideographic space, nbsp
  QAZ_EXPECT_EQ(StripSpace("\xe2\x80\xa8\xe1\x9a\x80y\xe2\x81\x9f\x1f"), "y");
  QAZ_EXPECT_EQ(StripSpace("\xe6\x97\xa5\xe6\x9c\xac"), "\xe6\x97\xa5\xe6\x9c\xac");
  QAZ_EXPECT(StripSpace(" \t\v\f\r\x1c ").empty());
  QAZ_EXPECT_EQ(StripSpace("\xe2\x80\x8b"), "\xe2\x80\x8b");  // zero width: not space
  QAZ_EXPECT_EQ(StripSpace("\xc2\x85z\xc2\x85"), "z");        // NEL
  // Bytes that are not UTF-8 stay, as do spaces beyond them.
  QAZ_EXPECT_EQ(StripSpace(" \xa0 "), "\xa0");
  QAZ_EXPECT_EQ(StripSpace("\xe3\x80 "), "\xe3\x80");
}

QAZ_TEST(IsUnicodeSpaceMatchesStrIsspace) {
  // Every code point below U+3001 that str.isspace() accepts.
  const char32_t spaces[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x1C, 0x1D, 0x1E,
                             0x1F, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2005,
                             0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  int count = 0;
  for (char32_t c = 0; c <= 0x3000; ++c) count += qaz::IsUnicodeSpace(c);
  QAZ_EXPECT_EQ(count, 29);
  for (char32_t c : spaces) QAZ_EXPECT(qaz::IsUnicodeSpace(c));
  QAZ_EXPECT(!qaz::IsUnicodeSpace(0x200B) && !qaz::IsUnicodeSpace(0x180E));
}
