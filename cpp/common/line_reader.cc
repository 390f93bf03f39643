#include "common/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/errors.h"

namespace qaz {

namespace {
constexpr size_t kBlock = 1 << 20;

// Reads up to `n` bytes; 0 at the end of the file.
size_t ReadFd(int fd, char* data, size_t n, const std::string& path) {
  for (;;) {
    ssize_t got = ::read(fd, data, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) throw IoError(errno, path);
  }
}
}  // namespace

// The inflating state of a gzip file.
struct LineReader::Inflater {
  z_stream zs{};
  std::vector<char> in = std::vector<char>(1 << 18);
  bool input_done = false;  // the end of the file was read
  bool member_done = false;  // the last gzip member read was complete
  int64_t read = 0;  // compressed bytes read from the file

  Inflater() {
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  }
  ~Inflater() { inflateEnd(&zs); }
};

LineReader::LineReader(const std::string& path) : path_(path), buf_(kBlock) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw IoError(errno, path);
  try {
    struct stat st;
    if (::fstat(fd_, &st) == 0) {
      if (S_ISDIR(st.st_mode)) throw IoError(EISDIR, path);
      file_size_ = st.st_size;
    }
    // The first two bytes tell gzip data from text; read so, they work for
    // a pipe as well as for a file.
    while (end_ < 2 && !eof_) {
      const size_t n = ReadFd(fd_, buf_.data() + end_, buf_.size() - end_, path_);
      if (n == 0) eof_ = true;
      end_ += n;
    }
    if (end_ >= 2 && static_cast<unsigned char>(buf_[0]) == 0x1f &&
        static_cast<unsigned char>(buf_[1]) == 0x8b) {
      StartInflating(buf_.data(), end_);
    }
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

LineReader::~LineReader() {
  if (fd_ >= 0) ::close(fd_);
}

void LineReader::StartInflating(const char* head, size_t n) {
  gz_ = std::make_unique<Inflater>();
  std::memcpy(gz_->in.data(), head, n);
  gz_->zs.next_in = reinterpret_cast<Bytef*>(gz_->in.data());
  gz_->zs.avail_in = static_cast<uInt>(n);
  gz_->read = static_cast<int64_t>(n);
  gz_->input_done = eof_;
  begin_ = end_ = 0;
  eof_ = false;
}

int64_t LineReader::bytes_consumed() const {
  if (gz_) return gz_->read - static_cast<int64_t>(gz_->zs.avail_in);
  return consumed_;
}

size_t LineReader::ReadSome() {
  if (!gz_) return ReadFd(fd_, buf_.data() + end_, buf_.size() - end_, path_);
  Inflater& gz = *gz_;
  auto corrupt = [&](const std::string& what) {
    return std::invalid_argument(path_ + ", line " +
                                 std::to_string(line_number_ + 1) + ": " + what);
  };
  for (;;) {
    if (gz.zs.avail_in == 0 && !gz.input_done) {
      const size_t n = ReadFd(fd_, gz.in.data(), gz.in.size(), path_);
      if (n == 0) gz.input_done = true;
      gz.zs.next_in = reinterpret_cast<Bytef*>(gz.in.data());
      gz.zs.avail_in = static_cast<uInt>(n);
      gz.read += static_cast<int64_t>(n);
    }
    if (gz.zs.avail_in == 0 && gz.input_done) {
      if (gz.member_done) return 0;
      throw corrupt("the gzip data ends early (the file is cut short)");
    }
    if (gz.member_done) {  // another member follows
      inflateReset(&gz.zs);
      gz.member_done = false;
    }
    const size_t room = buf_.size() - end_;
    gz.zs.next_out = reinterpret_cast<Bytef*>(buf_.data() + end_);
    gz.zs.avail_out = static_cast<uInt>(room);
    const int r = inflate(&gz.zs, Z_NO_FLUSH);
    const size_t produced = room - gz.zs.avail_out;
    if (r == Z_STREAM_END) {
      gz.member_done = true;
    } else if (r != Z_OK && r != Z_BUF_ERROR) {
      throw corrupt(std::string("the gzip data is corrupt (") +
                    (gz.zs.msg != nullptr ? gz.zs.msg : "zlib error " + std::to_string(r)) +
                    ")");
    }
    if (produced > 0) return produced;
  }
}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
  const size_t n = ReadSome();
  if (n == 0) {
    eof_ = true;
    return false;
  }
  end_ += n;
  return true;
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
  if (::lseek(fd_, gz_ ? 0 : static_cast<off_t>(offset), SEEK_SET) < 0) {
    throw IoError(errno, path_);
  }
  begin_ = end_ = 0;
  eof_ = false;
  if (gz_) {
    // Inflate again from the start, dropping the text before `offset`.
    gz_ = std::make_unique<Inflater>();
    int64_t skip = offset;
    while (skip > 0) {
      if (begin_ == end_ && !Fill()) break;
      const int64_t take = std::min<int64_t>(skip, static_cast<int64_t>(end_ - begin_));
      begin_ += static_cast<size_t>(take);
      skip -= take;
    }
  }
  line_number_ = line_number;
  consumed_ = offset;
}

}  // namespace qaz
