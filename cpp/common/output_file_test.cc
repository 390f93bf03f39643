#include "common/output_file.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

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

namespace {

// The names in the folder of `path` that start with "." + its name.
std::vector<std::string> Temporaries(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = path.substr(0, slash), prefix = "." + path.substr(slash + 1) + ".";
  std::vector<std::string> out;
  DIR* d = ::opendir(dir.c_str());
  while (dirent* e = ::readdir(d)) {
    if (std::string(e->d_name).rfind(prefix, 0) == 0) out.push_back(e->d_name);
  }
  ::closedir(d);
  return out;
}

}  // namespace

QAZ_TEST(OutputFileLeavesThePreviousFileWhenUnwound) {
  const std::string path = qaz::testing::WriteTemp("partial", "the previous table\n");
  try {
    qaz::OutputFile out(path);
    out.buffer() += "first line\n";
    out.Flush();
    // Until Close() the path still holds the previous file.
    QAZ_EXPECT_EQ(qaz::testing::ReadFile(path), "the previous table\n");
    QAZ_EXPECT_EQ(Temporaries(path).size(), size_t{1});
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  QAZ_EXPECT_EQ(qaz::testing::ReadFile(path), "the previous table\n");
  QAZ_EXPECT(Temporaries(path).empty());
  // A path where nothing was stays empty.
  const std::string fresh = qaz::testing::TempPath("fresh");
  try {
    qaz::OutputFile out(fresh);
    out.buffer() += "x\n";
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  QAZ_EXPECT(::access(fresh.c_str(), F_OK) != 0);
  QAZ_EXPECT(Temporaries(fresh).empty());
}

QAZ_TEST(OutputFileReplacesAFileWholeKeepingItsModeAndLinks) {
  const std::string path = qaz::testing::WriteTemp("table", "old\n");
  QAZ_EXPECT(::chmod(path.c_str(), 0640) == 0);
  const std::string link = qaz::testing::TempPath("link");
  QAZ_EXPECT(::symlink(path.c_str(), link.c_str()) == 0);
  {
    qaz::OutputFile out(link);
    out.buffer() += "new\n";
    out.Close();
  }
  struct stat st;
  QAZ_EXPECT(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  QAZ_EXPECT_EQ(qaz::testing::ReadFile(path), "new\n");
  QAZ_EXPECT(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
  QAZ_EXPECT(Temporaries(path).empty());
}

QAZ_TEST(OutputFileRemovesItsTemporaryWhenAWriteFails) {
  // A file-size limit makes write() fail on a regular file (EFBIG).
  const std::string path = qaz::testing::WriteTemp("limited", "the previous table\n");
  struct rlimit old_limit;
  QAZ_EXPECT(::getrlimit(RLIMIT_FSIZE, &old_limit) == 0);
  void (*old_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  QAZ_EXPECT(::setrlimit(RLIMIT_FSIZE, &small) == 0);
  auto e = qaz::testing::Thrown<qaz::IoError>([&] {
    qaz::OutputFile out(path);
    out.buffer() = std::string(10000, 'x');
    out.Close();
  });
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  QAZ_EXPECT(e && e->err() == EFBIG && e->path() == path);
  QAZ_EXPECT_EQ(qaz::testing::ReadFile(path), "the previous table\n");
  QAZ_EXPECT(Temporaries(path).empty());
}

QAZ_TEST(OutputFileWritesDevicesDirectly) {
  {
    qaz::OutputFile out("/dev/null");
    out.buffer() += "gone\n";
    out.Close();
  }
  struct stat st;
  QAZ_EXPECT(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
  // A full device still fails, naming the path.
  if (::access("/dev/full", W_OK) == 0) {
    auto e = qaz::testing::Thrown<qaz::IoError>([] {
      qaz::OutputFile out("/dev/full");
      out.buffer() += "no room\n";
      out.Close();
    });
    QAZ_EXPECT(e && e->err() == ENOSPC && e->path() == "/dev/full");
  }
}

QAZ_TEST(OutputFileNamesThePathItCannotCreate) {
  const std::string bad = qaz::testing::TempPath("no-such-dir") + "/x";
  auto e = qaz::testing::Thrown<qaz::IoError>([&] { qaz::OutputFile out(bad); });
  QAZ_EXPECT(e && e->path() == bad && e->err() == ENOENT);
}

QAZ_TEST(OutputFileDoesNotReplaceAFileItMayNotWrite) {
  if (::geteuid() == 0) return;  // root may write any file
  const std::string path = qaz::testing::WriteTemp("read-only", "kept\n");
  QAZ_EXPECT(::chmod(path.c_str(), 0444) == 0);
  auto e = qaz::testing::Thrown<qaz::IoError>([&] { qaz::OutputFile out(path); });
  QAZ_EXPECT(e && e->err() == EACCES && e->path() == path);
  QAZ_EXPECT_EQ(qaz::testing::ReadFile(path), "kept\n");
}
