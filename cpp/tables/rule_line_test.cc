// Unit tests of the rule-line helpers; run by ctest when QAZ_BUILD_TESTS is on.
#include "tables/rule_line.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  using namespace qaz::tables;
  // Python's str.strip() removes Unicode white space, not just ASCII.
  Check(Strip("  a b \n") == "a b", "ascii strip");
  Check(Strip("\xe3\x80\x80x\xc2\xa0") == "x", "ideographic space and nbsp");
  Check(Strip("\xe6\x97\xa5\xe6\x9c\xac") == "\xe6\x97\xa5\xe6\x9c\xac", "non-space multibyte kept");
  Check(Strip(" \t ").empty(), "all blank");
  Check(Strip("\xe2\x80\x8b").size() == 3, "zero width space is not white space");

  auto parts = Split("a ||| b |||", kFieldSep);
  Check(parts.size() == 3 && parts[2].empty(), "split keeps empty last piece");
  parts = Split("a|||b|||c", kFieldSep, 1);
  Check(parts.size() == 2 && parts[1] == "b|||c", "split with limit");
  Check(Split("", kFieldSep).size() == 1, "empty text gives one piece");
  Check(FirstPiece("x |COL| y", kColumnSep) == "x ", "first piece");

  Check(FormatTrack(1204, 7) == "(1204,7)", "format");
  Check(FormatTrack(-1, -1) == std::string(kAbsentTrack), "absent track");
  uint64_t a = 0, b = 0;
  Check(ParsePlainTrack("(18446744073709551615,3)", &a, &b) && a == 18446744073709551615ull && b == 3,
        "largest id");
  Check(!ParsePlainTrack("(18446744073709551616,3)", &a, &b), "id past 64 bits");
  Check(!ParsePlainTrack("(-1,-1)", &a, &b), "negative left to the interpreter");
  Check(!ParsePlainTrack("( 1,2)", &a, &b), "blanks left to the interpreter");
  Check(!ParsePlainTrack("(1,2,3)", &a, &b), "three numbers left to the interpreter");
  Check(!ParsePlainTrack("(1)", &a, &b), "one number");
  if (failures == 0) std::puts("rule_line_test: ok");
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
