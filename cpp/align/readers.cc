#include "align/readers.h"

#include <cmath>
#include <stdexcept>

#include "common/float_format.h"
#include "common/line_reader.h"
#include "common/text.h"

namespace qaz {

namespace {

// Splits a stripped line at every tab into at most `max_fields` + 1 pieces;
// returns the number of fields (max_fields + 1 means "too many").
int SplitTabs(std::string_view line, std::string_view* fields,
              int max_fields) {
  int n = 0;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    if (n == max_fields) return max_fields + 1;
    fields[n++] = line.substr(start, tab == std::string_view::npos
                                         ? std::string_view::npos
                                         : tab - start);
    if (tab == std::string_view::npos) return n;
    start = tab + 1;
  }
}

[[noreturn]] void BadNumber(const std::string& path, int64_t line,
                            const char* what, std::string_view text) {
  throw std::invalid_argument(path + ":" + std::to_string(line) +
                              ": could not convert " + what + ": '" +
                              std::string(text) + "'");
}

// A probability field: a number as float() reads it, finite and >= 0.
double Probability(const std::string& path, int64_t line,
                   std::string_view text) {
  double p;
  if (!ParseFloat(text, &p)) BadNumber(path, line, "string to float", text);
  if (!(std::isfinite(p) && p >= 0.0)) {
    throw std::invalid_argument(path + ":" + std::to_string(line) + ": '" +
                                std::string(text) +
                                "' is not a finite probability (a number >= 0)");
  }
  return p;
}

template <typename Fn>
void ForEachLine(const std::string& path, Reporter& reporter, Fn fn) {
  LineReader reader(path);
  ProgressTicker ticker(reporter, "loading", reader.file_size(), 1 << 20);
  std::string_view line;
  int64_t last = 0;
  while (reader.Next(&line)) {
    CheckUtf8(line, path, reader.line_number());
    // Only the line end goes: in character mode a word may be a space, and
    // stripping white space would shift or drop the fields of its line.
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
      line.remove_suffix(1);
    }
    fn(line, reader.line_number());
    ticker.Tick(reader.bytes_consumed() - last);
    last = reader.bytes_consumed();
  }
  ticker.Flush();
}

}  // namespace

void EnterTransFileWords(const std::string& path, Vocab* vocab,
                         Reporter& reporter) {
  std::string_view f[5];
  ForEachLine(path, reporter, [&](std::string_view line, int64_t) {
    int n = SplitTabs(line, f, 4);
    if (n != 3 && n != 4) return;
    vocab->src.StrToId(f[0]);
    vocab->trg.StrToId(f[1]);
  });
}

std::vector<TransEntry> ReadTransFile(const std::string& path, Vocab* vocab,
                                      Reporter& reporter) {
  std::vector<TransEntry> entries;
  std::string_view f[5];
  ForEachLine(path, reporter, [&](std::string_view line, int64_t number) {
    int n = SplitTabs(line, f, 4);
    if (n != 3 && n != 4) return;
    const double p = Probability(path, number, f[2]);
    int32_t s = vocab->src.StrToId(f[0]);
    int32_t t = vocab->trg.StrToId(f[1]);
    entries.push_back(TransEntry{s, t, p});
  });
  return entries;
}

std::vector<AlignEntry> ReadAlignFile(const std::string& path,
                                      Reporter& reporter) {
  std::vector<AlignEntry> entries;
  ForEachAlignEntry(path, reporter,
                    [&](const AlignEntry& e) { entries.push_back(e); });
  return entries;
}

void ForEachAlignEntry(const std::string& path, Reporter& reporter,
                       const std::function<void(const AlignEntry&)>& fn) {
  std::string_view f[7];
  ForEachLine(path, reporter, [&](std::string_view line, int64_t number) {
    int n = SplitTabs(line, f, 6);
    if (n != 5 && n != 6) return;
    int64_t idx[4];
    for (int k = 0; k < 4; ++k) {
      if (!ParseInt(f[k], &idx[k])) {
        BadNumber(path, number, "string to int", f[k]);
      }
    }
    const double p = Probability(path, number, f[4]);
    // I >= 1, J >= 1, 1 <= j, 0 <= i: anything else names no cell.
    if (idx[0] < 1 || idx[1] < 1 || idx[2] < 1 || idx[3] < 0 ||
        idx[0] > 0x7FFFFFFE || idx[1] > 0x7FFFFFFF || idx[2] > 0x7FFFFFFF ||
        idx[3] > 0x7FFFFFFF) {
      throw std::invalid_argument(path + ":" + std::to_string(number) +
                                  ": alignment indices out of range");
    }
    fn(AlignEntry{static_cast<int32_t>(idx[0]), static_cast<int32_t>(idx[1]),
                  static_cast<int32_t>(idx[2]), static_cast<int32_t>(idx[3]), p,
                  number});
  });
}

}  // namespace qaz
