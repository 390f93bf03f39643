#include "align/outputs.h"

#include <stdexcept>

namespace qaz {

namespace {

void AppendLine(const Links& links, std::string* out) {
  *out += FormatLinks(links);
  out->push_back('\n');
}

}  // namespace

const std::vector<OutputKind>& OutputKinds() {
  static const std::vector<OutputKind> kinds = {
      {"links", "word links", OutputKind::kChosen,
       [](PairView& pair, std::string* out) { AppendLine(pair.Chosen(), out); }},
      {"forward", "forward links", OutputKind::kForward,
       [](PairView& pair, std::string* out) { AppendLine(pair.Forward(), out); }},
      {"reverse", "reverse links", OutputKind::kReverse,
       [](PairView& pair, std::string* out) { AppendLine(pair.Reverse(), out); }},
  };
  return kinds;
}

const OutputKind& FindOutputKind(std::string_view name) {
  std::string known;
  for (const OutputKind& kind : OutputKinds()) {
    if (kind.name == name) return kind;
    known += (known.empty() ? "" : ", ") + std::string(kind.name);
  }
  throw std::invalid_argument("unknown output kind '" + std::string(name) +
                              "' (known: " + known + ")");
}

std::vector<OutputSink> ResolveOutputs(const OutputRequests& requests) {
  const std::vector<OutputKind>& kinds = OutputKinds();
  std::vector<const std::string*> paths(kinds.size(), nullptr);
  for (const OutputRequest& r : requests) {
    const size_t k = static_cast<size_t>(&FindOutputKind(r.kind) - kinds.data());
    if (paths[k] != nullptr) {
      throw std::invalid_argument("output kind '" + r.kind +
                                  "' asked for twice");
    }
    paths[k] = &r.path;
  }
  std::vector<OutputSink> out;
  for (size_t k = 0; k < kinds.size(); ++k) {
    if (paths[k] != nullptr && !paths[k]->empty()) {
      out.push_back(OutputSink{&kinds[k], *paths[k]});
    }
  }
  return out;
}

bool SinksNeedReverse(const std::vector<OutputSink>& sinks,
                      bool chosen_needs_reverse) {
  for (const OutputSink& sink : sinks) {
    if (sink.kind->reads & OutputKind::kReverse) return true;
    if ((sink.kind->reads & OutputKind::kChosen) && chosen_needs_reverse) {
      return true;
    }
  }
  return false;
}

}  // namespace qaz
