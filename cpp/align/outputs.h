// The per-pair outputs of the aligner, chosen by name: each kind of line a
// sentence pair gives (its links by the chosen method, each direction's
// Viterbi links) is one entry of a table, OutputKinds(), saying what it
// reads of the pair and how it makes the pair's line.  The aligner asks the
// table by name, makes the lines of every kind asked for chunk by chunk on
// the threads, and hands them to its files (or strings) in corpus order
// (InOrder in common/parallel.h): a new kind is one more entry.
//
// Usage:
//   qaz::OutputRequests asked = {{"links", "out.al"}, {"reverse", "r.al"}};
//   for (const qaz::OutputSink& sink : qaz::ResolveOutputs(asked)) {
//     ... sink.kind->what, sink.kind->append(pair, &line), sink.path ...
//   }
#ifndef QAZ_ALIGN_OUTPUTS_H_
#define QAZ_ALIGN_OUTPUTS_H_

#include <string>
#include <string_view>
#include <vector>

#include "align/links.h"

namespace qaz {

// What an output kind reads of one sentence pair, in source-target
// orientation.  Each is worked out at most once a pair, however many kinds
// read it.
class PairView {
 public:
  virtual ~PairView() = default;
  virtual const Links& Forward() = 0;  // the forward model's Viterbi links
  virtual const Links& Reverse() = 0;  // the reverse model's, transposed
  virtual const Links& Chosen() = 0;   // the links of the chosen method
};

struct OutputKind {
  // What a kind reads: the reverse model is trained and laid out only when
  // a kind asked for reads it (kChosen: when the chosen method does).
  enum Reads : unsigned { kForward = 1, kReverse = 2, kChosen = 4 };

  std::string_view name;  // as asked for, e.g. "forward"
  std::string_view what;  // in the log line "storing <what> into file: PATH"
  unsigned reads;
  // Appends the pair's line, line feed included.
  void (*append)(PairView& pair, std::string* out);
};

// Every kind, in the order their files are logged and opened.
const std::vector<OutputKind>& OutputKinds();

// The kind of a name; std::invalid_argument naming it and the known kinds.
const OutputKind& FindOutputKind(std::string_view name);

// One output asked for: a kind by name and where its lines go (a path, "-"
// for standard output; empty: not written).
struct OutputRequest {
  std::string kind;
  std::string path;
};
using OutputRequests = std::vector<OutputRequest>;

struct OutputSink {
  const OutputKind* kind;
  std::string path;
};

// The outputs asked for, in table order whatever the order of the
// requests, those with an empty path dropped.  std::invalid_argument for
// an unknown kind or one asked for twice, before anything is written.
std::vector<OutputSink> ResolveOutputs(const OutputRequests& requests);

// Whether any of `sinks` reads the reverse model's links, the chosen links
// reading them when `chosen_needs_reverse`.
bool SinksNeedReverse(const std::vector<OutputSink>& sinks,
                      bool chosen_needs_reverse);

}  // namespace qaz

#endif  // QAZ_ALIGN_OUTPUTS_H_
