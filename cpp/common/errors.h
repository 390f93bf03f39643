// Exception types the engine throws.  The bindings map them onto the
// interpreter's own errors: IoError -> OSError subclass from errno (naming the
// path), DecodeError -> UnicodeDecodeError, std::invalid_argument ->
// ValueError, std::out_of_range -> IndexError, TypeError -> TypeError,
// NotImplementedError -> NotImplementedError, ZeroDivisionError and
// MemoryError -> the errors of those names.
#ifndef QAZ_COMMON_ERRORS_H_
#define QAZ_COMMON_ERRORS_H_

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qaz {

// A failed system call on a file; carries errno and the path.
class IoError : public std::runtime_error {
 public:
  IoError(int err, std::string path)
      : std::runtime_error("I/O error on " + path), err_(err),
        path_(std::move(path)) {}
  int err() const { return err_; }
  const std::string& path() const { return path_; }

 private:
  int err_;
  std::string path_;
};

// Bytes that are not UTF-8.  `bytes` is the offending line, [start, end) the
// bad range inside it, `reason` names the file and the 1-based line.
class DecodeError : public std::runtime_error {
 public:
  DecodeError(std::string bytes, int64_t start, int64_t end, std::string reason)
      : std::runtime_error(reason), bytes_(std::move(bytes)), start_(start),
        end_(end), reason_(std::move(reason)) {}
  const std::string& bytes() const { return bytes_; }
  int64_t start() const { return start_; }
  int64_t end() const { return end_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string bytes_;
  int64_t start_, end_;
  std::string reason_;
};

class TypeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A division by zero (the mean entropy of an empty corpus).
class ZeroDivisionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Not enough memory for a table; raised before anything large is allocated.
class MemoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An index outside an array dimension, worded as numpy words it.
[[noreturn]] void ThrowOutOfBounds(int64_t index, int axis, int64_t size);

// An abstract operation; carries no message.
class NotImplementedError : public std::runtime_error {
 public:
  NotImplementedError() : std::runtime_error("") {}
};

}  // namespace qaz

#endif  // QAZ_COMMON_ERRORS_H_
