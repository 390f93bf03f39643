// A text file written through a large buffer, put in place whole.
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

// A text file written through a large buffer.
//
// A regular file, or a path where nothing is yet, is written to a temporary
// file in the same folder (".NAME.XXXXXX.tmp"), which Close() renames over
// the path once everything is written: readers see the previous file or the
// complete new one, never a part.  When writing fails, or an error unwinds
// past an OutputFile that was not closed, the temporary file is removed and
// the previous file stays as it was.  A symbolic link is written through
// (the file it names is replaced, the link stays).  Anything else (a device
// such as /dev/null, a pipe) is written directly, as is a file whose folder
// does not let a file be created beside it.
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
  // Writes what is buffered and puts the file in place.
  void Close();

 private:
  OutputFile(int fd, std::string name);
  void Discard();

  std::string path_;
  int fd_ = -1;
  bool owned_ = true;
  std::string buf_;
  // Set while a temporary file stands in for `target_`.
  std::string temp_;
  std::string target_;
};

}  // namespace qaz

#endif  // QAZ_COMMON_OUTPUT_FILE_H_
