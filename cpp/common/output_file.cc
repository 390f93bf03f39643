#include "common/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <utility>

#include "common/errors.h"

namespace qaz {

namespace {

// The path a chain of symbolic links at `path` ends in (the last one may
// name nothing yet); `path` itself when it is no link.
std::string FollowLinks(std::string path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string to(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
    if (n < 0 || static_cast<size_t>(n) >= to.size()) break;
    to.resize(static_cast<size_t>(n));
    if (to.empty()) break;
    if (to[0] != '/') {
      const size_t slash = path.rfind('/');
      if (slash != std::string::npos) to = path.substr(0, slash + 1) + to;
    }
    path = std::move(to);
  }
  return path;
}

// A name not yet taken beside `target`: ".NAME.XXXXXX.tmp".
std::string TempName(const std::string& target, int attempt) {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (counter.fetch_add(1) + static_cast<uint64_t>(attempt)) * 0xBF58476D1CE4E5B9ull;
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string tag;
  for (int k = 0; k < 6; ++k) {
    x ^= x >> 31;
    x *= 0x94D049BB133111EBull;
    tag.push_back(kChars[(x >> 33) % 62]);
  }
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "." + base + "." + tag + ".tmp";
}

bool CannotCreateBeside(int err) {
  return err == EACCES || err == EPERM || err == EROFS;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  const std::string target = FollowLinks(path);
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  const bool regular = exists ? S_ISREG(st.st_mode) : errno == ENOENT;
  // A file that may not be written is not replaced either.
  if (exists && regular && ::access(target.c_str(), W_OK) != 0) throw IoError(errno, path);
  if (regular && !target.empty() && target.back() != '/') {
    int err = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string temp = TempName(target, attempt);
      fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        temp_ = std::move(temp);
        target_ = target;
        break;
      }
      err = errno;
      if (err != EEXIST) break;
    }
    if (fd_ >= 0 && exists) {
      // The new file keeps the old one's permissions (and owners, where allowed).
      ::fchmod(fd_, st.st_mode & 07777);
      if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
        (void)!::fchown(fd_, st.st_uid, st.st_gid);
      }
    }
    if (fd_ < 0 && !(exists && CannotCreateBeside(err))) {
      throw IoError(err, path);
    }
  }
  if (fd_ < 0) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw IoError(errno, path);
  }
  buf_.reserve(1 << 21);
}

OutputFile::OutputFile(int fd, std::string name)
    : path_(std::move(name)), fd_(fd), owned_(false) {
  buf_.reserve(1 << 21);
}

std::unique_ptr<OutputFile> OutputFile::StandardOutput() {
  return std::unique_ptr<OutputFile>(new OutputFile(STDOUT_FILENO, "<stdout>"));
}

OutputFile::~OutputFile() {
  if (fd_ < 0) return;
  if (!temp_.empty()) {
    Discard();
    return;
  }
  // Written directly: whatever was written stays.
  try {
    Flush();
  } catch (...) {
  }
  if (owned_) ::close(fd_);
}

void OutputFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

void OutputFile::Flush() {
  size_t done = 0;
  while (done < buf_.size()) {
    ssize_t n = ::write(fd_, buf_.data() + done, buf_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      buf_.erase(0, done);
      throw IoError(errno, path_);
    }
    done += static_cast<size_t>(n);
  }
  buf_.clear();
}

void OutputFile::Close() {
  try {
    Flush();
  } catch (...) {
    if (!temp_.empty()) Discard();
    throw;
  }
  int fd = fd_;
  fd_ = -1;
  if (owned_ && ::close(fd) != 0) {
    const int err = errno;
    if (!temp_.empty()) Discard();
    throw IoError(err, path_);
  }
  if (!temp_.empty()) {
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
      const int err = errno;
      Discard();
      throw IoError(err, path_);
    }
    temp_.clear();
  }
}

}  // namespace qaz
