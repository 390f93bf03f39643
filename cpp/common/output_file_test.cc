#include "common/output_file.h"

#include <cerrno>
#include <string>

#include "common/errors.h"
#include "testing/harness.h"

QAZ_TEST(OutputFileWritesEverythingBuffered) {
  const std::string path = qaz::testing::TempPath("out");
  {
    qaz::OutputFile out(path);
    for (int k = 0; k < 200000; ++k) {
      out.buffer() += std::to_string(k) + "\n";
      out.MaybeFlush();
    }
    out.Close();
  }
  const std::string text = qaz::testing::ReadFile(path);
  QAZ_EXPECT(text.rfind("199999\n") == text.size() - 7);
  QAZ_EXPECT_EQ(text.substr(0, 4), "0\n1\n");
}

QAZ_TEST(OutputFileKeepsWhatWasWrittenWhenUnwound) {
  const std::string path = qaz::testing::TempPath("partial");
  try {
    qaz::OutputFile out(path);
    out.buffer() += "first line\n";
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  QAZ_EXPECT_EQ(qaz::testing::ReadFile(path), "first line\n");
}

QAZ_TEST(OutputFileNamesThePathItCannotCreate) {
  const std::string bad = qaz::testing::TempPath("no-such-dir") + "/x";
  auto e = qaz::testing::Thrown<qaz::IoError>([&] { qaz::OutputFile out(bad); });
  QAZ_EXPECT(e && e->path() == bad && e->err() == ENOENT);
}
