#include "common/float_format.h"

#include <climits>
#include <cmath>
#include <string>

#include "testing/harness.h"

QAZ_TEST(ThousandsGroupsDigitsByThree) {
  QAZ_EXPECT_EQ(qaz::Thousands(0), "0");
  QAZ_EXPECT_EQ(qaz::Thousands(999), "999");
  QAZ_EXPECT_EQ(qaz::Thousands(1000), "1,000");
  QAZ_EXPECT_EQ(qaz::Thousands(1234567), "1,234,567");
  QAZ_EXPECT_EQ(qaz::Thousands(-1234), "-1,234");
  QAZ_EXPECT_EQ(qaz::Thousands(-999), "-999");
  QAZ_EXPECT_EQ(qaz::Thousands(LLONG_MIN), "-9,223,372,036,854,775,808");
}

QAZ_TEST(NumbersParseWithUnicodeWhiteSpaceAround) {
  double v = 0;
  QAZ_EXPECT(qaz::ParseFloat("\xe3\x80\x80" "2.5\xc2\xa0", &v) && v == 2.5);
  QAZ_EXPECT(qaz::ParseFloat("\t-1e-3\n", &v) && v == -1e-3);
  QAZ_EXPECT(qaz::ParseFloat(" nan ", &v) && std::isnan(v));
  QAZ_EXPECT(!qaz::ParseFloat("2.5\xe2\x80\x8b", &v));  // zero width: not space
  int64_t n = 0;
  QAZ_EXPECT(qaz::ParseInt("\xe2\x80\x83" "42\xe2\x80\xa9", &n) && n == 42);
  QAZ_EXPECT(qaz::ParseInt("-9_223_372_036_854_775_808", &n) && n == INT64_MIN);
  QAZ_EXPECT(!qaz::ParseInt("1 2", &n));
}
