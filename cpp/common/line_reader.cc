#include "common/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/errors.h"

namespace qaz {

namespace {
constexpr size_t kBlock = 1 << 20;
}  // namespace

LineReader::LineReader(const std::string& path) : path_(path), buf_(kBlock) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw IoError(errno, path);
  struct stat st;
  if (::fstat(fd_, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw IoError(EISDIR, path);
    }
    file_size_ = st.st_size;
  }
}

LineReader::~LineReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
  for (;;) {
    ssize_t n = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw IoError(errno, path_);
    }
    if (n == 0) {
      eof_ = true;
      return false;
    }
    end_ += static_cast<size_t>(n);
    return true;
  }
}

bool LineReader::Next(std::string_view* line) {
  size_t scan = begin_;
  for (;;) {
    const void* nl = std::memchr(buf_.data() + scan, '\n', end_ - scan);
    if (nl != nullptr) {
      size_t pos = static_cast<const char*>(nl) - buf_.data();
      *line = std::string_view(buf_.data() + begin_, pos - begin_);
      consumed_ += static_cast<int64_t>(pos + 1 - begin_);
      begin_ = pos + 1;
      ++line_number_;
      return true;
    }
    size_t scanned = end_ - begin_;
    if (!Fill()) {
      if (end_ > begin_) {  // a last line without "\n"
        *line = std::string_view(buf_.data() + begin_, end_ - begin_);
        consumed_ += static_cast<int64_t>(end_ - begin_);
        begin_ = end_;
        ++line_number_;
        return true;
      }
      return false;
    }
    scan = begin_ + scanned;
  }
}

void LineReader::Seek(int64_t offset, int64_t line_number) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
    throw IoError(errno, path_);
  }
  begin_ = end_ = 0;
  eof_ = false;
  line_number_ = line_number;
  consumed_ = offset;
}

}  // namespace qaz
