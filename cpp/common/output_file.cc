#include "common/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/errors.h"

namespace qaz {

OutputFile::OutputFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw IoError(errno, path);
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
  try {
    Flush();
  } catch (...) {
  }
  if (owned_) ::close(fd_);
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
  Flush();
  int fd = fd_;
  fd_ = -1;
  if (owned_ && ::close(fd) != 0) throw IoError(errno, path_);
}

}  // namespace qaz
