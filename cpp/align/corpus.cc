#include "align/corpus.h"

#include <algorithm>
#include <stdexcept>

#include "common/errors.h"
#include "common/text.h"

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

std::string_view StripLineEnds(std::string_view s) {
  while (!s.empty() && (s.front() == '\r' || s.front() == '\n')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

// The byte length of the white space (as str.isspace() has it) at
// line[k], or 0.
size_t SpaceAt(std::string_view line, size_t k) {
  const unsigned char b = static_cast<unsigned char>(line[k]);
  if (b < 0x80) return (b == ' ' || (b >= 0x09 && b <= 0x0D) || (b >= 0x1C && b <= 0x1F)) ? 1 : 0;
  char32_t cp;
  size_t len;
  if (DecodeUtf8(line, k, &cp, &len) != Utf8Error::kNone) return 0;
  return IsUnicodeSpace(cp) ? len : 0;
}

// Tokenises one stripped line and appends the ids to `ids`; returns true when
// a token holds a tab.
bool Encode(std::string_view text, const Tokenization& rules,
            StringEnumerator* enumerator, std::vector<int32_t>* ids,
            std::string* folded) {
  std::string_view line = text;
  if (rules.lowercase) {
    folded->clear();
    AppendLowerCase(text, folded);
    line = *folded;
  }
  bool tab = false;
  if (rules.character) {
    size_t k = 0;
    while (k < line.size()) {
      size_t len = Utf8SequenceLength(line[k]);
      std::string_view ch = line.substr(k, len);
      tab = tab || ch[0] == '\t';
      ids->push_back(enumerator->StrToId(ch));
      k += len;
    }
    return tab;
  }
  if (rules.runs) {
    size_t k = 0;
    while (k < line.size()) {
      size_t sp = SpaceAt(line, k);
      if (sp > 0) {
        k += sp;
        continue;
      }
      const size_t start = k;
      while (k < line.size() && SpaceAt(line, k) == 0) {
        k += Utf8SequenceLength(line[k]);
      }
      ids->push_back(enumerator->StrToId(line.substr(start, k - start)));
    }
    return false;  // a tab separates tokens
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

// Adds line pairs to a corpus as every loader does: the NULL word first,
// every token entered, the first token that holds a tab warned about once,
// lengths checked, the longest lengths kept.
class PairEncoder {
 public:
  PairEncoder(Vocab* vocab, const Tokenization& rules, Reporter& reporter)
      : vocab_(vocab), rules_(rules), reporter_(reporter),
        null_id_(vocab->src.StrToId(kNullSymbol)) {}

  // place(source_side) names where a line is, for the warning; `line` is
  // its number for a length error.
  template <typename Place>
  void Add(std::string_view src, std::string_view trg, int64_t line,
           Place place, Corpus* corpus) {
    src_ids_.assign(1, null_id_);
    trg_ids_.clear();
    const bool src_tab =
        Encode(StripLineEnds(src), rules_, &vocab_->src, &src_ids_, &folded_);
    const bool trg_tab =
        Encode(StripLineEnds(trg), rules_, &vocab_->trg, &trg_ids_, &folded_);
    if ((src_tab || trg_tab) && !warned_tab_) {
      reporter_.Warning(place(src_tab) +
                        ": a token holds a tab character, which the "
                        "tab-separated model files cannot store faithfully");
      warned_tab_ = true;
    }
    if (src_ids_.size() > 0x7FFFFFFFu || trg_ids_.size() > 0x7FFFFFFFu) {
      throw std::length_error("sentence too long at line " +
                              std::to_string(line));
    }
    const int32_t I = static_cast<int32_t>(src_ids_.size());
    const int32_t J = static_cast<int32_t>(trg_ids_.size());
    corpus->AddPair(src_ids_.data(), I, trg_ids_.data(), J);
    vocab_->max_len_src = std::max(vocab_->max_len_src, I);
    vocab_->max_len_trg = std::max(vocab_->max_len_trg, J);
  }

  // A pair of lines of the two files: checked as UTF-8, then added; errors
  // and the warning name the file and the line.
  void AddFileLines(std::string_view src, std::string_view trg,
                    const std::string& src_path, const std::string& trg_path,
                    int64_t line, Corpus* corpus) {
    CheckUtf8(src, src_path, line);
    CheckUtf8(trg, trg_path, line);
    Add(src, trg, line,
        [&](bool source) {
          return (source ? src_path : trg_path) + ", line " +
                 std::to_string(line);
        },
        corpus);
  }

 private:
  Vocab* vocab_;
  Tokenization rules_;
  std::string folded_;
  Reporter& reporter_;
  int32_t null_id_;
  bool warned_tab_ = false;
  std::vector<int32_t> src_ids_, trg_ids_;
};

}  // namespace

Corpus LoadCorpus(Vocab* vocab, const std::string& src_path,
                  const std::string& trg_path, const Tokenization& tokens,
                  Reporter& reporter) {
  PairEncoder encoder(vocab, tokens, reporter);
  LineReader src_reader(src_path);
  LineReader trg_reader(trg_path);
  ProgressTicker ticker(reporter, "loading", src_reader.file_size(),
                        1 << 20);

  Corpus corpus;
  std::string_view src_line, trg_line;
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
    encoder.AddFileLines(src_line, trg_line, src_path, trg_path,
                         src_reader.line_number(), &corpus);
    ticker.Tick(src_reader.bytes_consumed() - last_consumed);
    last_consumed = src_reader.bytes_consumed();
  }
  ticker.Flush();
  return corpus;
}

Corpus CorpusFromLines(Vocab* vocab, const std::vector<std::string>& src,
                       const std::vector<std::string>& trg,
                       const Tokenization& tokens, Reporter& reporter) {
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
  PairEncoder encoder(vocab, tokens, reporter);
  ProgressTicker ticker(reporter, "loading", n, 4096);
  Corpus corpus;
  for (int64_t k = 0; k < n; ++k) {
    encoder.Add(src[k], trg[k], k + 1,
                [&](bool source) {
                  return std::string(source ? "source" : "target") +
                         " line " + std::to_string(k + 1);
                },
                &corpus);
    ticker.Tick();
  }
  ticker.Flush();
  return corpus;
}

Corpus LoadCorpusLines(Vocab* vocab, const std::string& src_path,
                       const std::string& trg_path, int64_t src_offset,
                       int64_t trg_offset, int64_t first_line, int64_t count,
                       const Tokenization& tokens, Reporter& reporter) {
  PairEncoder encoder(vocab, tokens, reporter);
  LineReader src_reader(src_path);
  LineReader trg_reader(trg_path);
  src_reader.Seek(src_offset, first_line);
  trg_reader.Seek(trg_offset, first_line);
  Corpus corpus;
  std::string_view src_line, trg_line;
  for (int64_t k = 0; k < count; ++k) {
    if (!src_reader.Next(&src_line) || !trg_reader.Next(&trg_line)) break;
    encoder.AddFileLines(src_line, trg_line, src_path, trg_path,
                         src_reader.line_number(), &corpus);
  }
  return corpus;
}

Corpus LoadCorpus(Vocab* vocab, const std::string& src_path,
                  const std::string& trg_path, bool character_based,
                  Reporter& reporter) {
  return LoadCorpus(vocab, src_path, trg_path, Tokenization{character_based},
                    reporter);
}

Corpus CorpusFromLines(Vocab* vocab, const std::vector<std::string>& src,
                       const std::vector<std::string>& trg,
                       bool character_based, Reporter& reporter) {
  return CorpusFromLines(vocab, src, trg, Tokenization{character_based},
                         reporter);
}

Corpus LoadCorpusLines(Vocab* vocab, const std::string& src_path,
                       const std::string& trg_path, int64_t src_offset,
                       int64_t trg_offset, int64_t first_line, int64_t count,
                       bool character_based, Reporter& reporter) {
  return LoadCorpusLines(vocab, src_path, trg_path, src_offset, trg_offset,
                         first_line, count, Tokenization{character_based},
                         reporter);
}

namespace {

// Splits a line of a joined corpus at its first "|||".
void SplitJoined(std::string_view line, const std::string& path, int64_t number,
                 std::string_view* src, std::string_view* trg) {
  const size_t bar = line.find("|||");
  if (bar == std::string_view::npos) {
    throw std::invalid_argument(path + ":" + std::to_string(number) +
                                ": expected 'source ||| target'");
  }
  *src = line.substr(0, bar);
  *trg = line.substr(bar + 3);
}

}  // namespace

Corpus LoadJoinedCorpus(Vocab* vocab, const std::string& path,
                        const Tokenization& tokens, Reporter& reporter) {
  PairEncoder encoder(vocab, tokens, reporter);
  LineReader reader(path);
  ProgressTicker ticker(reporter, "loading", reader.file_size(), 1 << 20);
  Corpus corpus;
  std::string_view line, src, trg;
  int64_t last_consumed = 0;
  while (reader.Next(&line)) {
    CheckUtf8(line, path, reader.line_number());
    SplitJoined(line, path, reader.line_number(), &src, &trg);
    encoder.AddFileLines(src, trg, path, path, reader.line_number(), &corpus);
    ticker.Tick(reader.bytes_consumed() - last_consumed);
    last_consumed = reader.bytes_consumed();
  }
  ticker.Flush();
  return corpus;
}

void ReadJoinedLines(const std::string& path, std::vector<std::string>* src,
                     std::vector<std::string>* trg) {
  LineReader reader(path);
  std::string_view line, s, t;
  while (reader.Next(&line)) {
    SplitJoined(line, path, reader.line_number(), &s, &t);
    src->emplace_back(s);
    trg->emplace_back(t);
  }
}

}  // namespace qaz
