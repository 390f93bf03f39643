#include "align/outputs.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "common/float_format.h"

namespace qaz {

namespace {

void AppendLine(const Links& links, std::string* out) {
  *out += FormatLinks(links);
  out->push_back('\n');
}

// One decoded-alignment line: "j-i" for every target position j (1-based).
void AppendBestLinks(const ModelPairView& pair, std::string* out) {
  char num[16];
  for (int32_t j = 0; j < pair.m; ++j) {
    if (j > 0) out->push_back(' ');
    out->append(num, std::to_chars(num, num + sizeof(num), j + 1).ptr);
    out->push_back('-');
    out->append(num, std::to_chars(num, num + sizeof(num), pair.best[j]).ptr);
  }
  out->push_back('\n');
}

// The entry of `name` in `kinds`.
template <typename Kind>
const Kind& FindKind(const std::vector<Kind>& kinds, std::string_view name) {
  std::string known;
  for (const Kind& kind : kinds) {
    if (kind.name == name) return kind;
    known += (known.empty() ? "" : ", ") + std::string(kind.name);
  }
  throw std::invalid_argument("unknown output kind '" + std::string(name) +
                              "' (known: " + known + ")");
}

// The requests' kinds in table order, each with its path.
template <typename Kind>
std::vector<KindSink<Kind>> ResolveKinds(const std::vector<Kind>& kinds,
                                         const OutputRequests& requests) {
  std::vector<const std::string*> paths(kinds.size(), nullptr);
  for (const OutputRequest& r : requests) {
    const size_t k = static_cast<size_t>(&FindKind(kinds, r.kind) - kinds.data());
    if (paths[k] != nullptr) {
      throw std::invalid_argument("output kind '" + r.kind +
                                  "' asked for twice");
    }
    paths[k] = &r.path;
  }
  std::vector<KindSink<Kind>> out;
  for (size_t k = 0; k < kinds.size(); ++k) {
    if (paths[k] != nullptr) out.push_back(KindSink<Kind>{&kinds[k], *paths[k]});
  }
  return out;
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
  return FindKind(OutputKinds(), name);
}

std::vector<OutputSink> ResolveOutputs(const OutputRequests& requests) {
  std::vector<OutputSink> out = ResolveKinds(OutputKinds(), requests);
  // An empty path is no output of the aligner.
  out.erase(std::remove_if(out.begin(), out.end(),
                           [](const OutputSink& s) { return s.path.empty(); }),
            out.end());
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

const std::vector<ModelOutputKind>& ModelOutputKinds() {
  static const std::vector<ModelOutputKind> kinds = {
      {"scores", "calculating and storing alignment scores into file: ",
       ModelOutputKind::kEntropy,
       [](const ModelPairView& pair, std::string* out) {
         AppendRepr(pair.entropy, out);
         out->push_back('\n');
       }},
      {"decoded", "decoding and storing alignment into file: ",
       ModelOutputKind::kBest, AppendBestLinks},
  };
  return kinds;
}

const ModelOutputKind& FindModelOutputKind(std::string_view name) {
  return FindKind(ModelOutputKinds(), name);
}

std::vector<ModelOutputSink> ResolveModelOutputs(
    const OutputRequests& requests) {
  return ResolveKinds(ModelOutputKinds(), requests);
}

unsigned SinksRead(const std::vector<ModelOutputSink>& sinks) {
  unsigned reads = 0;
  for (const ModelOutputSink& sink : sinks) reads |= sink.kind->reads;
  return reads;
}

}  // namespace qaz
