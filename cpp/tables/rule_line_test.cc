#include "tables/rule_line.h"

#include <stdexcept>
#include <string>

#include "testing/harness.h"

using namespace qaz::tables;

QAZ_TEST(SplitIsStrSplit) {
  auto parts = Split("a ||| b |||", kFieldSep);
  QAZ_EXPECT(parts.size() == 3 && parts[2].empty());
  parts = Split("a|||b|||c", kFieldSep, 1);
  QAZ_EXPECT(parts.size() == 2 && parts[1] == "b|||c");
  QAZ_EXPECT_EQ(Split("", kFieldSep).size(), 1u);
  QAZ_EXPECT_EQ(Split("||||||", kFieldSep).size(), 3u);
  // "|COL|" inside a field does not split fields.
  QAZ_EXPECT_EQ(Split("s ||| x |COL| y ||| 1", kFieldSep).size(), 3u);
  QAZ_EXPECT_EQ(FirstPiece("x |COL| y", kColumnSep), "x ");
  QAZ_EXPECT_EQ(FirstPiece("no separator", kFieldSep), "no separator");
}

QAZ_TEST(TrackTextsRoundTrip) {
  QAZ_EXPECT_EQ(FormatTrack(1204, 7), "(1204,7)");
  std::string out = "x";
  AppendTrack(18446744073709551615ull, 0, &out);
  QAZ_EXPECT_EQ(out, "x(18446744073709551615,0)");
  uint64_t a = 0, b = 0;
  QAZ_EXPECT(ParsePlainTrack("(18446744073709551615,3)", &a, &b) &&
             a == 18446744073709551615ull && b == 3);
  QAZ_EXPECT(ParsePlainTrack(FormatTrack(90194313446, 6), &a, &b) && a == 90194313446 && b == 6);
}

QAZ_TEST(ParsePlainTrackLeavesOtherFormsToTheInterpreter) {
  uint64_t a = 0, b = 0;
  for (const char* other : {"(18446744073709551616,3)", "(-1,-1)", "( 1,2)", "(1,2,3)",
                            "(1)", "(1,)", "(,1)", "1,2", "(1_0,2)", "(+1,2)", ""}) {
    QAZ_EXPECT(!ParsePlainTrack(other, &a, &b));
  }
}

QAZ_TEST(PairKeysAndTheirRecordTracks) {
  QAZ_EXPECT_EQ(PairKey("(1,2)", "(30,4)"), "(1,2) | (30,4)");
  QAZ_EXPECT_EQ(RecordTrackOfPairKey("(1,2) | (30,4)"), "(30,4)");
  QAZ_EXPECT_EQ(RecordTrackOfPairKey("(1,2)|(30,4) | (5,6)"), "(30,4) | (5,6)");
  QAZ_EXPECT_EQ(RecordTrackOfPairKey(" |"), "");
  QAZ_EXPECT_THROW(RecordTrackOfPairKey("(1,2)"), std::out_of_range);
}

QAZ_TEST(AbsentFieldsOfATrackLine) {
  QAZ_EXPECT(!HasAbsentTrack("(1,2) |  | (3,4)"));
  QAZ_EXPECT(HasAbsentTrack("(1,2) | (-1,-1)"));
  QAZ_EXPECT_EQ(AbsentFieldIndex("(1,2) | (3,4)"), -1);
  QAZ_EXPECT_EQ(AbsentFieldIndex("(-1,-1) | (3,4)"), 0);
  QAZ_EXPECT_EQ(AbsentFieldIndex("(1,2) |  | (-1,-1) | (-1,-1)"), 2);
}
