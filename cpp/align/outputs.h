// The per-pair outputs, chosen by name from one table each: a kind of line
// a sentence pair gives is one entry saying what it reads of the pair and
// how it makes the pair's line.  The writers ask the table by name, make the
// lines of every kind asked for chunk by chunk on the threads, and hand them
// to their files (or strings) in corpus order (InOrder in
// common/parallel.h): a new kind is one more entry.
//
//   OutputKinds()       the aligner's (its links by the chosen method, each
//                       direction's Viterbi links; align/aligner.cc)
//   ModelOutputKinds()  those of the training and scoring commands (the
//                       score file, the decoded-alignment file;
//                       align/model.cc)
//
// Usage:
//   qaz::OutputRequests asked = {{"links", "out.al"}, {"reverse", "r.al"}};
//   for (const qaz::OutputSink& sink : qaz::ResolveOutputs(asked)) {
//     ... sink.kind->what, sink.kind->append(pair, &line), sink.path ...
//   }
#ifndef QAZ_ALIGN_OUTPUTS_H_
#define QAZ_ALIGN_OUTPUTS_H_

#include <cstdint>
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

// A resolved request: the kind's table entry and where its lines go.
template <typename Kind>
struct KindSink {
  const Kind* kind;
  std::string path;
};
using OutputSink = KindSink<OutputKind>;

// The outputs asked for, in table order whatever the order of the
// requests, those with an empty path dropped.  std::invalid_argument for
// an unknown kind or one asked for twice, before anything is written.
std::vector<OutputSink> ResolveOutputs(const OutputRequests& requests);

// Whether any of `sinks` reads the reverse model's links, the chosen links
// reading them when `chosen_needs_reverse`.
bool SinksNeedReverse(const std::vector<OutputSink>& sinks,
                      bool chosen_needs_reverse);

// ----------------------------------------------------------------------
// The per-pair outputs of the training and scoring commands.

// What such a kind reads of one sentence pair, worked out once a pair for
// all the kinds asked for (and only when one of them reads it).
struct ModelPairView {
  double entropy = 0.0;          // the pair's entropy per target word
  const int32_t* best = nullptr;  // each target position's best source
                                  // position (0: NULL), `m` of them
  int32_t m = 0;                  // the pair's target length
};

struct ModelOutputKind {
  // What a kind reads: the entropy needs a model that defines one, the
  // best links an alignment table.
  enum Reads : unsigned { kEntropy = 1, kBest = 2 };

  std::string_view name;        // as asked for, e.g. "scores"
  std::string_view log_prefix;  // its log line, the path following
  unsigned reads;
  // Appends the pair's line, line feed included.
  void (*append)(const ModelPairView& pair, std::string* out);
};
using ModelOutputSink = KindSink<ModelOutputKind>;

// Every kind, in the order their files are logged and opened.
const std::vector<ModelOutputKind>& ModelOutputKinds();

// The kind of a name; std::invalid_argument naming it and the known kinds.
const ModelOutputKind& FindModelOutputKind(std::string_view name);

// The outputs asked for, in table order whatever the order of the
// requests; every path is kept (each one asked for is opened, as given).
// std::invalid_argument for an unknown kind or one asked for twice, before
// anything is written.
std::vector<ModelOutputSink> ResolveModelOutputs(
    const OutputRequests& requests);

// What the kinds of `sinks` read together (ModelOutputKind::Reads bits).
unsigned SinksRead(const std::vector<ModelOutputSink>& sinks);

}  // namespace qaz

#endif  // QAZ_ALIGN_OUTPUTS_H_
