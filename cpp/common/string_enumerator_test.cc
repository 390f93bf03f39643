#include "common/string_enumerator.h"

#include <stdexcept>
#include <string>

#include "testing/harness.h"

QAZ_TEST(EnumeratorIdsInOrderOfFirstEntry) {
  qaz::StringEnumerator e;
  QAZ_EXPECT(e.StrToId("a") == 0 && e.StrToId("") == 1 && e.StrToId("a") == 0);
  for (int k = 0; k < 100000; ++k) e.StrToId(std::to_string(k));
  QAZ_EXPECT_EQ(e.size(), 100002);
  QAZ_EXPECT(e.Find("99999") == 100001 && e.Find("nope") == -1);
  QAZ_EXPECT(e.IdToStr(2) == "0");
  QAZ_EXPECT_THROW(e.IdToStr(100002), std::out_of_range);
}
