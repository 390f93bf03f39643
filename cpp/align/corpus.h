// Vocabulary and id-encoded parallel corpus.
//
// A corpus is two text files, line n of one translating line n of the
// other.  Lines end at "\n"; carriage returns and line feeds are stripped
// from both ends of a line.  In word mode a line is split at every single
// space (so runs of spaces give empty tokens and an empty line one empty
// token); in character mode every Unicode character is a token.  The source
// side of every pair starts with the NULL word.
//
// Usage:
//   qaz::Vocab vocab;
//   qaz::Corpus corpus = qaz::LoadCorpus(&vocab, "c.f", "c.e", false, reporter);
//   corpus.src(p)  // ids of pair p's source side, NULL first
#ifndef QAZ_ALIGN_CORPUS_H_
#define QAZ_ALIGN_CORPUS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_reader.h"
#include "common/reporter.h"
#include "common/string_enumerator.h"

namespace qaz {

inline constexpr const char* kNullSymbol = "__NULL__";

// The two enumerators and the running maxima of the sentence lengths.
struct Vocab {
  StringEnumerator src;
  StringEnumerator trg;
  int32_t max_len_src = 0;  // longest source id list, NULL word included
  int32_t max_len_trg = 0;  // longest target id list

  // New empty enumerators; the maxima stay.
  void Init() {
    src.Clear();
    trg.Clear();
  }
};

// A read-only view of one id list.
struct IdSpan {
  const int32_t* ids;
  int32_t size;
  int32_t operator[](int32_t k) const { return ids[k]; }
};

// Sentence pairs held as two flat id arrays with offsets.
class Corpus {
 public:
  Corpus() : src_off_(1, 0), trg_off_(1, 0) {}

  int64_t size() const { return static_cast<int64_t>(src_off_.size()) - 1; }
  IdSpan src(int64_t p) const {
    return IdSpan{src_.data() + src_off_[p],
                  static_cast<int32_t>(src_off_[p + 1] - src_off_[p])};
  }
  IdSpan trg(int64_t p) const {
    return IdSpan{trg_.data() + trg_off_[p],
                  static_cast<int32_t>(trg_off_[p + 1] - trg_off_[p])};
  }
  // Target tokens before pair p (p = size(): all of them).
  uint64_t trg_offset(int64_t p) const { return trg_off_[p]; }
  void AddPair(const int32_t* src, int32_t src_len, const int32_t* trg,
               int32_t trg_len);
  // Same pairs, id for id.
  bool operator==(const Corpus& other) const {
    return src_off_ == other.src_off_ && trg_off_ == other.trg_off_ &&
           src_ == other.src_ && trg_ == other.trg_;
  }
  // Sum over the pairs of len(src) * len(trg): the cells of one EM sweep.
  int64_t Cells() const;
  size_t MemoryBytes() const;

 private:
  std::vector<int32_t> src_, trg_;
  std::vector<uint64_t> src_off_, trg_off_;
};

// How a line becomes tokens.  The default is the reading rule above;
// `runs` splits at runs of white space instead (str.split()'s white space,
// so an empty or blank line has no token), and `lowercase` enters every
// token in lower case (LowerCase), which keeps every position.
struct Tokenization {
  bool character = false;
  bool runs = false;
  bool lowercase = false;
};

// Reads a parallel corpus into `vocab` (entering every token) and returns
// its pairs.  Throws IoError for a file that cannot be read and DecodeError
// for bytes that are not UTF-8.  Files of different line counts give the
// pairs of the common prefix and a warning naming both counts.
Corpus LoadCorpus(Vocab* vocab, const std::string& src_path,
                  const std::string& trg_path, bool character_based,
                  Reporter& reporter);
Corpus LoadCorpus(Vocab* vocab, const std::string& src_path,
                  const std::string& trg_path, const Tokenization& tokens,
                  Reporter& reporter);

// The same for a corpus held in memory: line k of `src` translates line k of
// `trg`, each line tokenised and entered as LoadCorpus does with a line of
// a file (a trailing "\r\n" is stripped).  std::invalid_argument when the
// two sides differ in length (naming both counts) or a line holds a line
// feed inside it; DecodeError for bytes that are not UTF-8.
Corpus CorpusFromLines(Vocab* vocab, const std::vector<std::string>& src,
                       const std::vector<std::string>& trg,
                       bool character_based, Reporter& reporter);
Corpus CorpusFromLines(Vocab* vocab, const std::vector<std::string>& src,
                       const std::vector<std::string>& trg,
                       const Tokenization& tokens, Reporter& reporter);

// A corpus held in one file, "source ||| target" a line (split at the first
// "|||"), read as LoadCorpus reads two files.  std::invalid_argument naming
// the file and the line for a line without "|||".
Corpus LoadJoinedCorpus(Vocab* vocab, const std::string& path,
                        const Tokenization& tokens, Reporter& reporter);
// The two sides of such a file's lines.
void ReadJoinedLines(const std::string& path, std::vector<std::string>* src,
                     std::vector<std::string>* trg);

// Reads `count` pairs from line `first_line` (0-based) on, the source file
// from byte `src_offset` and the target file from byte `trg_offset` (the
// starts of that line), tokenised and checked as LoadCorpus does; errors and
// warnings name the lines as counted from the start of the files.  Fewer
// pairs when a file ends first (no warning: the caller counted the lines).
Corpus LoadCorpusLines(Vocab* vocab, const std::string& src_path,
                       const std::string& trg_path, int64_t src_offset,
                       int64_t trg_offset, int64_t first_line, int64_t count,
                       bool character_based, Reporter& reporter);
Corpus LoadCorpusLines(Vocab* vocab, const std::string& src_path,
                       const std::string& trg_path, int64_t src_offset,
                       int64_t trg_offset, int64_t first_line, int64_t count,
                       const Tokenization& tokens, Reporter& reporter);

}  // namespace qaz

#endif  // QAZ_ALIGN_CORPUS_H_
