// A text file written through a large buffer.
//
// Usage:
//   qaz::OutputFile out(path);                 // IoError if it cannot be created
//   out.buffer() += "a line\n";
//   out.MaybeFlush();
//   out.Close();                               // IoError if writing failed
#ifndef QAZ_COMMON_OUTPUT_FILE_H_
#define QAZ_COMMON_OUTPUT_FILE_H_

#include <memory>
#include <string>

namespace qaz {

// A text file written through a large buffer; whatever was written stays
// when an error unwinds past it.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);  // throws IoError
  // The process's standard output, written the same way and left open.
  static std::unique_ptr<OutputFile> StandardOutput();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::string& buffer() { return buf_; }
  void MaybeFlush() {
    if (buf_.size() >= (1u << 20)) Flush();
  }
  void Flush();
  void Close();

 private:
  OutputFile(int fd, std::string name);

  std::string path_;
  int fd_ = -1;
  bool owned_ = true;
  std::string buf_;
};

}  // namespace qaz

#endif  // QAZ_COMMON_OUTPUT_FILE_H_
