// Unit tests of the tables of per-pair output kinds.
#include "align/outputs.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "testing/harness.h"

namespace {

using qaz::OutputKind;
using qaz::OutputRequests;
using qaz::OutputSink;

// A pair whose three link sets differ, counting what the kinds read.
class CountingPair : public qaz::PairView {
 public:
  const qaz::Links& Forward() override {
    ++forward_reads;
    return forward;
  }
  const qaz::Links& Reverse() override {
    ++reverse_reads;
    return reverse;
  }
  const qaz::Links& Chosen() override {
    ++chosen_reads;
    return chosen;
  }
  qaz::Links forward = {{0, 0}, {1, 2}};
  qaz::Links reverse = {{2, 1}};
  qaz::Links chosen = {};
  int forward_reads = 0, reverse_reads = 0, chosen_reads = 0;
};

std::string Message(const OutputRequests& requests) {
  try {
    qaz::ResolveOutputs(requests);
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "";
}

}  // namespace

QAZ_TEST(OutputKindsMakeThePairLineOfWhatTheyRead) {
  CountingPair pair;
  std::string links, forward, reverse;
  qaz::FindOutputKind("links").append(pair, &links);
  qaz::FindOutputKind("forward").append(pair, &forward);
  qaz::FindOutputKind("reverse").append(pair, &reverse);
  // An empty link set is still a line of its own.
  QAZ_EXPECT_EQ(links, std::string("\n"));
  QAZ_EXPECT_EQ(forward, std::string("0-0 1-2\n"));
  QAZ_EXPECT_EQ(reverse, std::string("2-1\n"));
  QAZ_EXPECT_EQ(pair.forward_reads, 1);
  QAZ_EXPECT_EQ(pair.reverse_reads, 1);
  QAZ_EXPECT_EQ(pair.chosen_reads, 1);
  // Lines are appended, so a chunk's pairs follow one another.
  qaz::FindOutputKind("forward").append(pair, &forward);
  QAZ_EXPECT_EQ(forward, std::string("0-0 1-2\n0-0 1-2\n"));
  // Each kind declares what it reads.
  QAZ_EXPECT_EQ(qaz::FindOutputKind("links").reads, unsigned{OutputKind::kChosen});
  QAZ_EXPECT_EQ(qaz::FindOutputKind("forward").reads, unsigned{OutputKind::kForward});
  QAZ_EXPECT_EQ(qaz::FindOutputKind("reverse").reads, unsigned{OutputKind::kReverse});
}

QAZ_TEST(OutputRequestsResolveInTableOrderAndRefuseBadNames) {
  // Any request order gives the table's order (that of the log lines);
  // an empty path is no output.
  const std::vector<OutputSink> sinks = qaz::ResolveOutputs(
      {{"reverse", "r.al"}, {"forward", ""}, {"links", "-"}});
  QAZ_EXPECT_EQ(sinks.size(), size_t{2});
  QAZ_EXPECT_EQ(std::string(sinks[0].kind->name), std::string("links"));
  QAZ_EXPECT_EQ(sinks[0].path, std::string("-"));
  QAZ_EXPECT_EQ(std::string(sinks[1].kind->name), std::string("reverse"));
  QAZ_EXPECT_EQ(sinks[1].path, std::string("r.al"));
  QAZ_EXPECT(qaz::ResolveOutputs({}).empty());

  const std::string unknown = Message({{"links", "a"}, {"scores", "b"}});
  QAZ_EXPECT(unknown.find("'scores'") != std::string::npos);
  QAZ_EXPECT(unknown.find("links, forward, reverse") != std::string::npos);
  // Twice, even with one empty path: which file would be meant is unclear.
  const std::string twice = Message({{"forward", "a"}, {"forward", ""}});
  QAZ_EXPECT(twice.find("'forward' asked for twice") != std::string::npos);
  QAZ_EXPECT_THROW(qaz::FindOutputKind(""), std::invalid_argument);
}

QAZ_TEST(OnlyKindsReadingTheReverseLinksNeedTheReverseModel) {
  const auto sinks = [](const OutputRequests& r) { return qaz::ResolveOutputs(r); };
  QAZ_EXPECT(!qaz::SinksNeedReverse(sinks({{"forward", "f"}}), true));
  QAZ_EXPECT(qaz::SinksNeedReverse(sinks({{"reverse", "r"}}), false));
  QAZ_EXPECT(qaz::SinksNeedReverse(sinks({{"links", "l"}}), true));
  QAZ_EXPECT(!qaz::SinksNeedReverse(sinks({{"links", "l"}}), false));
  QAZ_EXPECT(!qaz::SinksNeedReverse(sinks({{"links", ""}}), true));
  QAZ_EXPECT(qaz::SinksNeedReverse(sinks({{"forward", "f"}, {"reverse", "r"}}), false));
}

QAZ_TEST(ModelOutputKindsMakeTheScoreAndDecodedLines) {
  const int32_t best[3] = {2, 0, 11};
  qaz::ModelPairView pair;
  pair.entropy = 0.1;
  pair.best = best;
  pair.m = 3;
  std::string scores, decoded;
  qaz::FindModelOutputKind("scores").append(pair, &scores);
  qaz::FindModelOutputKind("decoded").append(pair, &decoded);
  // Shortest round-trip entropy; 1-based target positions, 0 for NULL.
  QAZ_EXPECT_EQ(scores, std::string("0.1\n"));
  QAZ_EXPECT_EQ(decoded, std::string("1-2 2-0 3-11\n"));
  // An empty target side is still a line of its own.
  pair.m = 0;
  qaz::FindModelOutputKind("decoded").append(pair, &decoded);
  QAZ_EXPECT_EQ(decoded, std::string("1-2 2-0 3-11\n\n"));
  QAZ_EXPECT_EQ(qaz::FindModelOutputKind("scores").reads,
                unsigned{qaz::ModelOutputKind::kEntropy});
  QAZ_EXPECT_EQ(qaz::FindModelOutputKind("decoded").reads,
                unsigned{qaz::ModelOutputKind::kBest});
}

QAZ_TEST(ModelOutputRequestsResolveInTableOrderKeepingEveryPath) {
  const std::vector<qaz::ModelOutputSink> sinks =
      qaz::ResolveModelOutputs({{"decoded", "d"}, {"scores", ""}});
  QAZ_EXPECT_EQ(sinks.size(), size_t{2});
  QAZ_EXPECT_EQ(std::string(sinks[0].kind->name), std::string("scores"));
  QAZ_EXPECT_EQ(sinks[0].path, std::string(""));
  QAZ_EXPECT_EQ(std::string(sinks[1].kind->name), std::string("decoded"));
  QAZ_EXPECT_EQ(qaz::SinksRead(sinks),
                unsigned{qaz::ModelOutputKind::kEntropy | qaz::ModelOutputKind::kBest});
  QAZ_EXPECT_EQ(qaz::SinksRead(qaz::ResolveModelOutputs({{"decoded", "d"}})),
                unsigned{qaz::ModelOutputKind::kBest});
  QAZ_EXPECT_EQ(qaz::SinksRead({}), 0u);

  std::string unknown;
  try {
    qaz::ResolveModelOutputs({{"scores", "s"}, {"forward", "f"}});
  } catch (const std::invalid_argument& e) {
    unknown = e.what();
  }
  QAZ_EXPECT(unknown.find("'forward'") != std::string::npos);
  QAZ_EXPECT(unknown.find("known: scores, decoded") != std::string::npos);
  const auto twice = qaz::testing::Thrown<std::invalid_argument>(
      [] { qaz::ResolveModelOutputs({{"scores", "a"}, {"scores", "b"}}); });
  QAZ_EXPECT(twice.has_value() &&
             std::string(twice->what()).find("'scores' asked for twice") !=
                 std::string::npos);
}
