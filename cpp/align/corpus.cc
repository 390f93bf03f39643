#include "align/corpus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/errors.h"

namespace qaz {

void Corpus::AddPair(const int32_t* src, int32_t src_len, const int32_t* trg,
                     int32_t trg_len) {
  src_.insert(src_.end(), src, src + src_len);
  trg_.insert(trg_.end(), trg, trg + trg_len);
  src_off_.push_back(src_.size());
  trg_off_.push_back(trg_.size());
}

int64_t Corpus::Cells() const {
  int64_t cells = 0;
  for (int64_t p = 0; p < size(); ++p) {
    cells += static_cast<int64_t>(src_off_[p + 1] - src_off_[p]) *
             static_cast<int64_t>(trg_off_[p + 1] - trg_off_[p]);
  }
  return cells;
}

size_t Corpus::MemoryBytes() const {
  return (src_.capacity() + trg_.capacity()) * sizeof(int32_t) +
         (src_off_.capacity() + trg_off_.capacity()) * sizeof(uint64_t);
}

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

void CheckUtf8(std::string_view s, const std::string& path,
               int64_t line_number) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t k = 0;
  auto fail = [&](size_t start, size_t end, const char* why) {
    throw DecodeError(std::string(s), static_cast<int64_t>(start),
                      static_cast<int64_t>(end),
                      std::string(why) + " (" + path + ", line " +
                          std::to_string(line_number) + ")");
  };
  while (k < n) {
    // Skip ASCII eight bytes at a time.
    while (k + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, p + k, 8);
      if (w & 0x8080808080808080ULL) break;
      k += 8;
    }
    if (k >= n) break;
    unsigned char c = p[k];
    if (c < 0x80) {
      ++k;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      fail(k, k + 1, "invalid start byte");
    }
    for (size_t t = 1; t < len; ++t) {
      if (k + t >= n) fail(k, n, "unexpected end of data");
      unsigned char d = p[k + t];
      unsigned char l = t == 1 ? lo : 0x80, h = t == 1 ? hi : 0xBF;
      if (d < l || d > h) fail(k, k + t, "invalid continuation byte");
    }
    k += len;
  }
}

namespace {

std::string_view StripLineEnds(std::string_view s) {
  while (!s.empty() && (s.front() == '\r' || s.front() == '\n')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

size_t Utf8Length(unsigned char c) {
  if (c < 0x80) return 1;
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  return 4;
}

// Tokenises one stripped line and appends the ids to `ids`; returns true when
// a token holds a tab.
bool Encode(std::string_view line, bool character_based,
            StringEnumerator* enumerator, std::vector<int32_t>* ids) {
  bool tab = false;
  if (character_based) {
    size_t k = 0;
    while (k < line.size()) {
      size_t len = Utf8Length(static_cast<unsigned char>(line[k]));
      std::string_view ch = line.substr(k, len);
      tab = tab || ch[0] == '\t';
      ids->push_back(enumerator->StrToId(ch));
      k += len;
    }
    return tab;
  }
  size_t start = 0;
  for (;;) {
    size_t sp = line.find(' ', start);
    std::string_view token = line.substr(
        start, sp == std::string_view::npos ? std::string_view::npos
                                            : sp - start);
    tab = tab || token.find('\t') != std::string_view::npos;
    ids->push_back(enumerator->StrToId(token));
    if (sp == std::string_view::npos) break;
    start = sp + 1;
  }
  return tab;
}

int64_t CountRemainingLines(LineReader* reader) {
  std::string_view line;
  int64_t n = 0;
  while (reader->Next(&line)) ++n;
  return n;
}

}  // namespace

Corpus LoadCorpus(Vocab* vocab, const std::string& src_path,
                  const std::string& trg_path, bool character_based,
                  Reporter& reporter) {
  vocab->src.StrToId(kNullSymbol);
  LineReader src_reader(src_path);
  LineReader trg_reader(trg_path);
  ProgressTicker ticker(reporter, "loading", src_reader.file_size(),
                        1 << 20);
  const int32_t null_id = vocab->src.StrToId(kNullSymbol);

  Corpus corpus;
  std::vector<int32_t> src_ids, trg_ids;
  std::string_view src_line, trg_line;
  bool warned_tab = false;
  int64_t last_consumed = 0;
  for (;;) {
    bool has_src = src_reader.Next(&src_line);
    bool has_trg = has_src && trg_reader.Next(&trg_line);
    if (!has_src || !has_trg) {
      int64_t pairs = corpus.size();
      int64_t src_lines = pairs + (has_src ? 1 : 0) +
                          (has_src ? CountRemainingLines(&src_reader) : 0);
      int64_t trg_lines = pairs + CountRemainingLines(&trg_reader);
      if (src_lines != trg_lines) {
        reporter.Warning(src_path + " has " + std::to_string(src_lines) +
                         " lines but " + trg_path + " has " +
                         std::to_string(trg_lines) + "; only the first " +
                         std::to_string(pairs) + " pairs are used");
      }
      break;
    }
    const int64_t line_number = src_reader.line_number();
    CheckUtf8(src_line, src_path, line_number);
    CheckUtf8(trg_line, trg_path, line_number);
    src_ids.clear();
    trg_ids.clear();
    src_ids.push_back(null_id);
    bool tab = Encode(StripLineEnds(src_line), character_based, &vocab->src,
                      &src_ids);
    if (tab && !warned_tab) {
      reporter.Warning(src_path + ", line " + std::to_string(line_number) +
                       ": a token holds a tab character, which the "
                       "tab-separated model files cannot store faithfully");
      warned_tab = true;
    }
    tab = Encode(StripLineEnds(trg_line), character_based, &vocab->trg,
                 &trg_ids);
    if (tab && !warned_tab) {
      reporter.Warning(trg_path + ", line " + std::to_string(line_number) +
                       ": a token holds a tab character, which the "
                       "tab-separated model files cannot store faithfully");
      warned_tab = true;
    }
    if (src_ids.size() > 0x7FFFFFFFu || trg_ids.size() > 0x7FFFFFFFu) {
      throw std::length_error("sentence too long at line " +
                              std::to_string(line_number));
    }
    corpus.AddPair(src_ids.data(), static_cast<int32_t>(src_ids.size()),
                   trg_ids.data(), static_cast<int32_t>(trg_ids.size()));
    if (static_cast<int32_t>(src_ids.size()) > vocab->max_len_src) {
      vocab->max_len_src = static_cast<int32_t>(src_ids.size());
    }
    if (static_cast<int32_t>(trg_ids.size()) > vocab->max_len_trg) {
      vocab->max_len_trg = static_cast<int32_t>(trg_ids.size());
    }
    ticker.Tick(src_reader.bytes_consumed() - last_consumed);
    last_consumed = src_reader.bytes_consumed();
  }
  ticker.Flush();
  return corpus;
}

Corpus CorpusFromLines(Vocab* vocab, const std::vector<std::string>& src,
                       const std::vector<std::string>& trg,
                       bool character_based, Reporter& reporter) {
  if (src.size() != trg.size()) {
    throw std::invalid_argument(
        "the source side has " + std::to_string(src.size()) +
        " lines but the target side has " + std::to_string(trg.size()));
  }
  // Every line is checked before any word is entered, so a failure leaves
  // the vocabulary as it was.
  auto check = [](const std::string& line, const char* side, int64_t number) {
    if (StripLineEnds(line).find('\n') != std::string_view::npos) {
      throw std::invalid_argument(std::string(side) + " line " +
                                  std::to_string(number) +
                                  " holds a line feed inside it");
    }
    CheckUtf8(line, std::string(side) + " lines", number);
  };
  const int64_t n = static_cast<int64_t>(src.size());
  for (int64_t k = 0; k < n; ++k) {
    check(src[k], "source", k + 1);
    check(trg[k], "target", k + 1);
  }
  const int32_t null_id = vocab->src.StrToId(kNullSymbol);
  ProgressTicker ticker(reporter, "loading", n, 4096);
  Corpus corpus;
  std::vector<int32_t> src_ids, trg_ids;
  bool warned_tab = false;
  for (int64_t k = 0; k < n; ++k) {
    src_ids.clear();
    trg_ids.clear();
    src_ids.push_back(null_id);
    const bool src_tab = Encode(StripLineEnds(src[k]), character_based,
                                &vocab->src, &src_ids);
    const bool trg_tab = Encode(StripLineEnds(trg[k]), character_based,
                                &vocab->trg, &trg_ids);
    if ((src_tab || trg_tab) && !warned_tab) {
      reporter.Warning(std::string(src_tab ? "source" : "target") +
                       " line " + std::to_string(k + 1) +
                       ": a token holds a tab character, which the "
                       "tab-separated model files cannot store faithfully");
      warned_tab = true;
    }
    if (src_ids.size() > 0x7FFFFFFFu || trg_ids.size() > 0x7FFFFFFFu) {
      throw std::length_error("sentence too long at line " +
                              std::to_string(k + 1));
    }
    corpus.AddPair(src_ids.data(), static_cast<int32_t>(src_ids.size()),
                   trg_ids.data(), static_cast<int32_t>(trg_ids.size()));
    vocab->max_len_src =
        std::max(vocab->max_len_src, static_cast<int32_t>(src_ids.size()));
    vocab->max_len_trg =
        std::max(vocab->max_len_trg, static_cast<int32_t>(trg_ids.size()));
    ticker.Tick();
  }
  ticker.Flush();
  return corpus;
}

}  // namespace qaz
