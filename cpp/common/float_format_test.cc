#include "common/float_format.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>
#include <cmath>
#include <string>

#include "testing/harness.h"

QAZ_TEST(ReprMatchesThePythonForms) {
  struct Case {
    double x;
    const char* text;
  } cases[] = {{0.25, "0.25"},
               {1.0, "1.0"},
               {0.1, "0.1"},
               {1e-05, "1e-05"},
               {1e16, "1e+16"},
               {1e15, "1000000000000000.0"},
               {0.0001, "0.0001"},
               {-2.5, "-2.5"},
               {13.815510557964274, "13.815510557964274"},
               {qaz::Narrow(0.1), "0.10000000149011612"},
               {qaz::Narrow(1e-05), "9.999999747378752e-06"},
               {1.5e300, "1.5e+300"},
               {-0.0, "-0.0"},
               {INFINITY, "inf"},
               {NAN, "nan"}};
  for (const Case& c : cases) QAZ_EXPECT_EQ(qaz::FormatRepr(c.x), c.text);
}

QAZ_TEST(FixedPointIsRoundedFromTheExactValue) {
  std::string fixed;
  qaz::AppendFixed(0.125, 2, &fixed);  // ties go to even on the exact value
  QAZ_EXPECT_EQ(fixed, "0.12");
  fixed.clear();
  qaz::AppendFixed(qaz::Narrow(0.1), 8, &fixed);
  QAZ_EXPECT_EQ(fixed, "0.10000000");
  fixed.clear();
  qaz::AppendFixed(2.675, 2, &fixed);  // 2.67499999... in binary
  QAZ_EXPECT_EQ(fixed, "2.67");
}

QAZ_TEST(EightDecimalsOfFloatsMatchPrintf) {
  // The float fast path against the C library's correctly rounded "%.8f":
  // ties on the exact value (2^-9 * 10^8 = 195312.5), signs, zeros, values
  // above 1 and random floats of every scale up to the path's bound.
  std::vector<double> xs = {0.0, -0.0, 1.0, 0.001953125, 0.005859375,
                            qaz::Narrow(0.1), qaz::Narrow(0.99999999),
                            -qaz::Narrow(0.3), 123456.5, 7.0e8, 1.0e-45,
                            qaz::Narrow(5e-9), qaz::Narrow(1.5e-8)};
  std::mt19937 rng(3);
  for (int k = 0; k < 200000; ++k) {
    uint32_t bits = rng();
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    if (!std::isfinite(f) || std::fabs(f) >= 1e9f) continue;
    xs.push_back(f);
  }
  int mismatches = 0;
  for (double x : xs) {
    std::string fast;
    qaz::AppendFixed(x, 8, &fast);
    char want[64];
    std::snprintf(want, sizeof(want), "%.8f", x);
    if (fast != want) ++mismatches;
  }
  QAZ_EXPECT_EQ(mismatches, 0);
  // A double no float holds takes the general path.
  std::string general;
  qaz::AppendFixed(0.1, 8, &general);
  QAZ_EXPECT_EQ(general, "0.10000000");
}

QAZ_TEST(ParsingFollowsPythonFloatAndInt) {
  double v;
  QAZ_EXPECT(qaz::ParseFloat(" 1_000.5 ", &v) && v == 1000.5);
  QAZ_EXPECT(qaz::ParseFloat("-Infinity", &v) && std::isinf(v) && v < 0);
  QAZ_EXPECT(qaz::ParseFloat("1e400", &v) && std::isinf(v));
  QAZ_EXPECT(qaz::ParseFloat(".5", &v) && v == 0.5);
  QAZ_EXPECT(!qaz::ParseFloat("0x1p3", &v));
  QAZ_EXPECT(!qaz::ParseFloat("1__0", &v));
  QAZ_EXPECT(!qaz::ParseFloat("", &v));
  int64_t n;
  QAZ_EXPECT(qaz::ParseInt(" +0_7 ", &n) && n == 7);
  QAZ_EXPECT(!qaz::ParseInt("1.0", &n));
  QAZ_EXPECT(!qaz::ParseInt("99999999999999999999", &n));
}

QAZ_TEST(PlainNumbersParseAsStrtodReadsThem) {
  // The forms the model files hold, and near relatives, against strtod.
  std::mt19937_64 rng(9);
  const char* forms[] = {"%.8f", "%.2f", "%.17g", "%.6e", "%g"};
  int mismatches = 0;
  for (int k = 0; k < 100000; ++k) {
    uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof(x));
    if (!std::isfinite(x)) continue;
    x = std::fabs(x);
    if (k % 2 == 0) x = std::ldexp(std::fmod(x, 1.0) + 0.5, static_cast<int>(rng() % 80) - 60);
    char text[512];
    std::snprintf(text, sizeof(text), forms[k % 5], x);
    double parsed = -1.0;
    const double want = std::strtod(text, nullptr);
    if (!qaz::ParseFloat(text, &parsed) ||
        std::memcmp(&parsed, &want, sizeof(double)) != 0) {
      ++mismatches;
    }
  }
  QAZ_EXPECT_EQ(mismatches, 0);
  double v;
  QAZ_EXPECT(qaz::ParseFloat("1e-400", &v) && v == 0.0);
  QAZ_EXPECT(qaz::ParseFloat("1.", &v) && v == 1.0);
  QAZ_EXPECT(!qaz::ParseFloat("1e5e5", &v));
  QAZ_EXPECT(!qaz::ParseFloat("1-2", &v));
  int64_t n;
  QAZ_EXPECT(qaz::ParseInt("007", &n) && n == 7);
  QAZ_EXPECT(qaz::ParseInt("999999999999999999", &n) && n == 999999999999999999);
  QAZ_EXPECT(qaz::ParseInt("9223372036854775807", &n) && n == INT64_MAX);
  QAZ_EXPECT(!qaz::ParseInt("9223372036854775808", &n));
}

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
