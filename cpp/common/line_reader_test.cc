#include "common/line_reader.h"

#include <string>
#include <vector>

#include "common/errors.h"
#include "testing/harness.h"

namespace {

std::vector<std::string> AllLines(const std::string& path) {
  qaz::LineReader reader(path);
  std::vector<std::string> out;
  std::string_view line;
  while (reader.Next(&line)) out.emplace_back(line);
  return out;
}

}  // namespace

QAZ_TEST(LineReaderSplitsAtLineFeedsOnly) {
  const std::string path = qaz::testing::WriteTemp("lines", "a b\nx\r\n\nin\rside\nlast");
  qaz::LineReader reader(path);
  QAZ_EXPECT_EQ(reader.file_size(), 20);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(&line)) lines.emplace_back(line);
  const std::vector<std::string> want = {"a b", "x\r", "", "in\rside", "last"};
  QAZ_EXPECT(lines == want);
  QAZ_EXPECT_EQ(reader.line_number(), 5);
  QAZ_EXPECT_EQ(reader.bytes_consumed(), 20);
  QAZ_EXPECT(!reader.Next(&line));
  QAZ_EXPECT(AllLines(qaz::testing::WriteTemp("empty", "")).empty());
  QAZ_EXPECT(AllLines(qaz::testing::WriteTemp("one", "\n")) == std::vector<std::string>{""});
}

QAZ_TEST(LineReaderHandlesLinesLongerThanItsBlock) {
  // Lines that straddle and exceed the 1 MiB read block.
  const std::string big(3 << 20, 'x');
  const std::string text = "short\n" + big + "\n" + big.substr(0, 1000) + "y";
  const auto lines = AllLines(qaz::testing::WriteTemp("long", text));
  QAZ_EXPECT_EQ(lines.size(), 3u);
  QAZ_EXPECT(lines.size() == 3 && lines[1] == big && lines[2].size() == 1001);
}

QAZ_TEST(LineReaderNamesThePathOfAFileItCannotRead) {
  const std::string missing = qaz::testing::TempPath("missing");
  auto e = qaz::testing::Thrown<qaz::IoError>([&] { qaz::LineReader reader(missing); });
  QAZ_EXPECT(e && e->path() == missing && e->err() == ENOENT);
  e = qaz::testing::Thrown<qaz::IoError>([] { qaz::LineReader reader("/tmp"); });
  QAZ_EXPECT(e && e->path() == "/tmp" && e->err() == EISDIR);
}
