// The two distribution files read back (writers.h has their formats).
//
// Lines lose their line end ("\r", "\n") and are split at tabs.  Translation
// lines of 3 or 4 fields count, alignment lines of 5 or 6; other lines are
// skipped.  Malformed numbers, and probabilities that are not finite numbers
// >= 0, throw std::invalid_argument naming the file and the line.
#ifndef QAZ_ALIGN_READERS_H_
#define QAZ_ALIGN_READERS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "align/corpus.h"
#include "align/trans_table.h"
#include "common/reporter.h"

namespace qaz {

// ReadTransFile enters the words as EnterTransFileWords does.
void EnterTransFileWords(const std::string& path, Vocab* vocab,
                         Reporter& reporter);
std::vector<TransEntry> ReadTransFile(const std::string& path, Vocab* vocab,
                                      Reporter& reporter);

struct AlignEntry {
  int32_t I, J, j, i;  // I, J, 1-based j as in the file, i as stored
  double p;
  int64_t line;  // of the file, 1-based
};
// The alignment entries, one at a time as the lines are read.
void ForEachAlignEntry(const std::string& path, Reporter& reporter,
                       const std::function<void(const AlignEntry&)>& fn);
std::vector<AlignEntry> ReadAlignFile(const std::string& path,
                                      Reporter& reporter);

}  // namespace qaz

#endif  // QAZ_ALIGN_READERS_H_
