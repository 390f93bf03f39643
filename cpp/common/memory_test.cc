#include "common/memory.h"

#include <string>
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
