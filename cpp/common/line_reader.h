// Reading a file line by line in large blocks.
//
// Usage:
//   qaz::LineReader reader(path);              // IoError if it cannot be opened
//   std::string_view line;
//   while (reader.Next(&line)) Use(line, reader.line_number());
#ifndef QAZ_COMMON_LINE_READER_H_
#define QAZ_COMMON_LINE_READER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qaz {

// Reads a file line by line ("\n" ends a line, a last line without one
// counts), in large blocks.
class LineReader {
 public:
  explicit LineReader(const std::string& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its "\n"; false at the end of the file.
  bool Next(std::string_view* line);
  // Goes on from byte `offset` (the first byte of a line), counting the
  // lines read before it as `line_number`.
  void Seek(int64_t offset, int64_t line_number);
  int64_t line_number() const { return line_number_; }
  int64_t bytes_consumed() const { return consumed_; }
  int64_t file_size() const { return file_size_; }
  const std::string& path() const { return path_; }

 private:
  bool Fill();

  std::string path_;
  int fd_ = -1;
  std::vector<char> buf_;
  size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
  int64_t line_number_ = 0;
  int64_t consumed_ = 0;
  int64_t file_size_ = -1;
};

}  // namespace qaz

#endif  // QAZ_COMMON_LINE_READER_H_
