// Reading a file line by line in large blocks; gzip data (recognised by its
// first two bytes, so a pipe works too) is inflated on the way.
//
// Usage:
//   qaz::LineReader reader(path);              // IoError if it cannot be opened
//   std::string_view line;
//   while (reader.Next(&line)) Use(line, reader.line_number());
#ifndef QAZ_COMMON_LINE_READER_H_
#define QAZ_COMMON_LINE_READER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qaz {

// Reads a file line by line ("\n" ends a line, a last line without one
// counts), in large blocks.  A file that starts with the gzip magic bytes is
// read as the text it holds (several gzip members follow one another);
// gzip data that is corrupt or cut short throws std::invalid_argument
// naming the file and the line it broke in.
class LineReader {
 public:
  explicit LineReader(const std::string& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its "\n"; false at the end of the file.
  bool Next(std::string_view* line);
  // Goes on from byte `offset` of the text (the first byte of a line),
  // counting the lines read before it as `line_number`.  In a gzip file the
  // offset counts inflated bytes, and the text before it is inflated again.
  void Seek(int64_t offset, int64_t line_number);
  int64_t line_number() const { return line_number_; }
  // Bytes of the file behind the lines handed out, to set against
  // file_size() (for a gzip file, the compressed bytes read so far).
  int64_t bytes_consumed() const;
  int64_t file_size() const { return file_size_; }
  const std::string& path() const { return path_; }
  bool compressed() const { return gz_ != nullptr; }

 private:
  struct Inflater;

  bool Fill();
  // Reads into buf_[end_, ...): the file's bytes, or the text they inflate to.
  size_t ReadSome();
  void StartInflating(const char* head, size_t n);

  std::string path_;
  int fd_ = -1;
  std::vector<char> buf_;
  size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
  int64_t line_number_ = 0;
  int64_t consumed_ = 0;
  int64_t file_size_ = -1;
  std::unique_ptr<Inflater> gz_;
};

}  // namespace qaz

#endif  // QAZ_COMMON_LINE_READER_H_
