#include "common/memory.h"

#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "testing/harness.h"

QAZ_TEST(CheckMemoryRefusesWhatDoesNotFit) {
  qaz::CheckMemory(100, "small", 100);
  qaz::CheckMemory(int64_t{1} << 50, "unknown", -1);  // nothing known: no refusal
  auto e = qaz::testing::Thrown<qaz::MemoryError>([] {
    qaz::CheckMemory(int64_t{3} << 30, "the translation table", int64_t{1} << 30);
  });
  QAZ_EXPECT(e.has_value());
  if (e) {
    QAZ_EXPECT_EQ(std::string(e->what()),
                  "the translation table would need about 3.00 GiB, but only "
                  "1.00 GiB are available");
  }
}

QAZ_TEST(AvailableMemoryIsReadFromTheSystem) {
  const int64_t available = qaz::AvailableMemory();
  QAZ_EXPECT(available == -1 || available > (int64_t{1} << 20));
  // Far more than any machine has: refused whenever the amount is known.
  if (available > 0) {
    QAZ_EXPECT_THROW(qaz::CheckMemory(available * 64, "x"), qaz::MemoryError);
  }
}

QAZ_TEST(AdviseHugePagesLeavesTheMemoryUsable) {
  std::vector<char> big(9 << 20, 'a');
  qaz::AdviseHugePages(big.data(), big.size());
  qaz::AdviseHugePages(big.data(), 10);  // too small: nothing to do
  big.back() = 'z';
  QAZ_EXPECT(big.front() == 'a' && big.back() == 'z');
}

QAZ_TEST(SizesAreReadInBothForms) {
  using qaz::ParseSize;
  using qaz::SizeForm;
  const std::vector<std::pair<std::string, int64_t>> whole = {
      {"4096", 4096}, {"8K", 8192}, {"3m", int64_t{3} << 20}, {" 2G\n", int64_t{2} << 30},
      {"007k", 7 << 10}, {"9000000000000000000", 9'000'000'000'000'000'000},
      // Beyond a double's 53 bits: still exact.
      {"9007199254740993", 9'007'199'254'740'993}};
  for (const auto& [text, bytes] : whole) {
    for (SizeForm form : {SizeForm::kAny, SizeForm::kWholeNumber}) {
      auto got = ParseSize(text, form);
      QAZ_EXPECT(got.has_value());
      if (got) QAZ_EXPECT_EQ(*got, bytes);
    }
  }
  const std::vector<std::pair<std::string, int64_t>> any_only = {
      {"1.5g", int64_t{3} << 29}, {"8KiB", 8192}, {"320MB", int64_t{320} << 20}, {"0.5K", 512}};
  for (const auto& [text, bytes] : any_only) {
    auto got = ParseSize(text);
    QAZ_EXPECT(got.has_value());
    if (got) QAZ_EXPECT_EQ(*got, bytes);
    QAZ_EXPECT(!ParseSize(text, SizeForm::kWholeNumber).has_value());
  }
  for (const char* bad : {"", " ", "M", "0", "0K", "-5M", "+5", "5X", "1T", "5 K", "abc", "1..5G", "iB",
                          "9000000000000000001", "8796093022208G", "\xd9\xa3"}) {
    QAZ_EXPECT(!ParseSize(bad).has_value());
    QAZ_EXPECT(!ParseSize(bad, SizeForm::kWholeNumber).has_value());
  }
}
