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

// Tokenises one stripped line and appends the ids to `ids`; returns true when
// a token holds a tab.
bool Encode(std::string_view line, bool character_based,
            StringEnumerator* enumerator, std::vector<int32_t>* ids) {
  bool tab = false;
  if (character_based) {
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

Corpus LoadCorpusLines(Vocab* vocab, const std::string& src_path,
                       const std::string& trg_path, int64_t src_offset,
                       int64_t trg_offset, int64_t first_line, int64_t count,
                       bool character_based, Reporter& reporter) {
  const int32_t null_id = vocab->src.StrToId(kNullSymbol);
  LineReader src_reader(src_path);
  LineReader trg_reader(trg_path);
  src_reader.Seek(src_offset, first_line);
  trg_reader.Seek(trg_offset, first_line);
  Corpus corpus;
  std::vector<int32_t> src_ids, trg_ids;
  std::string_view src_line, trg_line;
  bool warned_tab = false;
  auto warn_tab = [&](const std::string& path, int64_t line_number) {
    reporter.Warning(path + ", line " + std::to_string(line_number) +
                     ": a token holds a tab character, which the "
                     "tab-separated model files cannot store faithfully");
    warned_tab = true;
  };
  for (int64_t k = 0; k < count; ++k) {
    if (!src_reader.Next(&src_line) || !trg_reader.Next(&trg_line)) break;
    const int64_t line_number = src_reader.line_number();
    CheckUtf8(src_line, src_path, line_number);
    CheckUtf8(trg_line, trg_path, line_number);
    src_ids.clear();
    trg_ids.clear();
    src_ids.push_back(null_id);
    if (Encode(StripLineEnds(src_line), character_based, &vocab->src,
               &src_ids) && !warned_tab) {
      warn_tab(src_path, line_number);
    }
    if (Encode(StripLineEnds(trg_line), character_based, &vocab->trg,
               &trg_ids) && !warned_tab) {
      warn_tab(trg_path, line_number);
    }
    if (src_ids.size() > 0x7FFFFFFFu || trg_ids.size() > 0x7FFFFFFFu) {
      throw std::length_error("sentence too long at line " +
                              std::to_string(line_number));
    }
    corpus.AddPair(src_ids.data(), static_cast<int32_t>(src_ids.size()),
                   trg_ids.data(), static_cast<int32_t>(trg_ids.size()));
    vocab->max_len_src =
        std::max(vocab->max_len_src, static_cast<int32_t>(src_ids.size()));
    vocab->max_len_trg =
        std::max(vocab->max_len_trg, static_cast<int32_t>(trg_ids.size()));
  }
  return corpus;
}

}  // namespace qaz
