// Unit tests of the link layer: every expectation below is worked out by
// hand from the definitions in links.h.
#include "align/links.h"

#include <functional>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "testing/harness.h"

namespace {

using qaz::Links;
using qaz::Symmetrization;

Links L(std::initializer_list<std::pair<int, int>> pairs) {
  Links out;
  for (const auto& p : pairs) out.push_back(qaz::Link{p.first, p.second});
  return out;
}

std::string Sym(const Links& f, const Links& r, Symmetrization m) {
  return qaz::FormatLinks(qaz::Symmetrize(f, r, m));
}

// The message of the std::invalid_argument that `body` throws, or "".
std::string InvalidArgument(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "";
}

bool Near(double a, double b) { return a - b < 1e-12 && b - a < 1e-12; }

}  // namespace

QAZ_TEST(LinksIntersectAndUnionNormaliseTheirInput) {
  // Unsorted, with a repeat: the result is sorted by (i, j) anyway.
  Links f = L({{2, 1}, {0, 0}, {1, 1}, {0, 0}});
  Links r = L({{1, 2}, {1, 1}, {0, 0}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kIntersect), "0-0 1-1");
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kUnion), "0-0 1-1 1-2 2-1");
  QAZ_EXPECT_EQ(Sym(Links{}, r, Symmetrization::kIntersect), "");
  QAZ_EXPECT_EQ(Sym(Links{}, Links{}, Symmetrization::kGrowDiagFinal), "");
  QAZ_EXPECT_THROW(qaz::Symmetrize(L({{-1, 0}}), Links{},
                                   Symmetrization::kUnion),
                   std::invalid_argument);
}

QAZ_TEST(LinksGrowDiagNeedsANeighbourAndAnUnalignedWord) {
  // F ∩ R = {0-0, 1-1} aligns words 0 and 1 on both sides, so the
  // neighbouring candidates 0-1 and 1-0 join two aligned words: refused.
  // 4-4 has free words but no neighbour.  2-2 is a diagonal neighbour of
  // 1-1 with free words: accepted.
  Links f = L({{0, 0}, {1, 1}, {0, 1}, {4, 4}, {2, 2}});
  Links r = L({{0, 0}, {1, 1}, {1, 0}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "0-0 1-1 2-2");
  // 4-4 joins two unaligned words, so both final steps take it.
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinal),
                "0-0 1-1 2-2 4-4");
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinalAnd),
                "0-0 1-1 2-2 4-4");
  // All eight neighbours count, one at a time.
  for (const auto& d : std::vector<std::pair<int, int>>{
           {-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0},
           {1, 1}}) {
    Links fd = L({{5, 5}, {5 + d.first, 5 + d.second}});
    Links rd = L({{5, 5}});
    QAZ_EXPECT_EQ(qaz::Symmetrize(fd, rd, Symmetrization::kGrowDiag).size(),
                  size_t{2});
  }
  // Two steps away is no neighbour.
  QAZ_EXPECT_EQ(Sym(L({{5, 5}, {7, 5}}), L({{5, 5}}),
                    Symmetrization::kGrowDiag),
                "5-5");
}

QAZ_TEST(LinksGrowDiagRepeatsPassesUntilNothingIsAdded) {
  // 1-1 neighbours 2-2 of the start; 0-0 neighbours only 1-1, which comes
  // after it in the walk, so it needs a second pass.
  Links f = L({{2, 2}, {0, 0}, {1, 1}});
  Links r = L({{2, 2}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "0-0 1-1 2-2");
  // A chain going the other way grows within one pass.
  QAZ_EXPECT_EQ(Sym(L({{0, 0}, {1, 1}, {2, 2}, {3, 3}}), L({{0, 0}}),
                    Symmetrization::kGrowDiag),
                "0-0 1-1 2-2 3-3");
}

QAZ_TEST(LinksGrowDiagSeesLinksAddedEarlierInTheSamePass) {
  // Start {0-2, 2-2} aligns source words 0 and 2; candidates in walk order
  // W = 0-0, X = 1-1, Y = 2-0.  Pass 1: W has no neighbour yet; X joins the
  // free source word 1 next to 0-2; Y has X as a neighbour already in this
  // pass and takes the free target word 0.  Pass 2: W now joins two aligned
  // words and is refused.  (Were neighbours only looked up in the result of
  // the previous pass, W would win target 0 in pass 2 instead of Y.)
  Links f = L({{0, 2}, {2, 2}, {0, 0}, {1, 1}});
  Links r = L({{0, 2}, {2, 2}, {2, 0}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "0-2 1-1 2-0 2-2");
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinal),
                "0-2 1-1 2-0 2-2");
}

QAZ_TEST(LinksFarPositionsGiveTheResultOfNearOnes) {
  // Shifting every position leaves the neighbourhoods as they are, so the
  // result shifts with them, also where positions are indexed by rank;
  // positions in the gap of the ranks (2-2 between 1-1 and the far end)
  // are no neighbours.
  Links f = L({{0, 2}, {2, 2}, {0, 0}, {1, 1}, {3, 3}, {6, 7}});
  Links r = L({{0, 2}, {2, 2}, {2, 0}, {4, 4}, {7, 6}});
  for (int64_t shift : {int64_t{0}, int64_t{5000},
                        int64_t{std::numeric_limits<int32_t>::max()} - 7}) {
    auto moved = [shift](const Links& links) {
      Links out;
      for (const qaz::Link& l : links) {
        out.push_back(qaz::Link{static_cast<int32_t>(l.i + shift),
                                static_cast<int32_t>(l.j + shift)});
      }
      return out;
    };
    for (Symmetrization m :
         {Symmetrization::kGrowDiag, Symmetrization::kGrowDiagFinal,
          Symmetrization::kGrowDiagFinalAnd}) {
      QAZ_EXPECT(qaz::Symmetrize(moved(f), moved(r), m) ==
                 moved(qaz::Symmetrize(f, r, m)));
      // Only one side far away.
      Links far_f = f, far_r = r;
      far_f.push_back(qaz::Link{0, static_cast<int32_t>(shift)});
      far_r.push_back(qaz::Link{0, static_cast<int32_t>(shift)});
      Links expected = qaz::Symmetrize(f, r, m);
      expected.push_back(qaz::Link{0, static_cast<int32_t>(shift)});
      qaz::Normalize(&expected);
      if (shift > 10) {
        QAZ_EXPECT(qaz::Symmetrize(far_f, far_r, m) == expected);
      }
    }
  }
}

QAZ_TEST(LinksGrowDiagWalksCandidatesInSourceTargetOrder) {
  // 0-1 and 2-1 both want the free target word 1; the one first in (i, j)
  // order takes it, whatever order the input lists them in.
  Links f = L({{2, 1}, {0, 0}, {2, 2}});
  Links r = L({{0, 1}, {0, 0}, {2, 2}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "0-0 0-1 2-2");
  QAZ_EXPECT_EQ(Sym(r, f, Symmetrization::kGrowDiag), "0-0 0-1 2-2");
}

QAZ_TEST(LinksFinalStepsWalkForwardThenReverseAgainstTheCurrentResult) {
  // Nothing is next to the start {0-0}, so grow-diag adds nothing.
  Links f = L({{0, 0}, {2, 2}, {2, 4}, {3, 0}, {6, 6}});
  Links r = L({{0, 0}, {6, 5}, {3, 2}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "0-0");
  // final: from F 2-2 (free), 2-4 (target 4 free), 3-0 (source 3 free),
  // 6-6; then from R 3-2 joins words aligned by 3-0 and 2-2 (refused),
  // 6-5 takes the free target 5.
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinal),
                "0-0 2-2 2-4 3-0 6-5 6-6");
  // final-and: 2-2; 2-4 is refused because 2-2 has just aligned source 2;
  // 3-0 is refused (target 0 aligned); 6-6.  From R, 3-2 (target 2 aligned)
  // and 6-5 (source 6 aligned by F's 6-6, which went first) are refused.
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinalAnd),
                "0-0 2-2 6-6");
  // Swapping the roles of F and R changes which side goes first: 3-2 and
  // 6-5 now come first, and 2-4 finds both its words free.
  QAZ_EXPECT_EQ(Sym(r, f, Symmetrization::kGrowDiagFinalAnd),
                "0-0 2-4 3-2 6-5");
}

QAZ_TEST(LinksFinalStepFollowsGrowDiag) {
  // grow-diag adds 1-1 (next to 0-0); the final step then finds source 1
  // aligned, so F's 1-3 needs its free target word 3 (final) and is refused
  // by final-and.
  Links f = L({{0, 0}, {1, 1}, {1, 3}});
  Links r = L({{0, 0}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "0-0 1-1");
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinal), "0-0 1-1 1-3");
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinalAnd), "0-0 1-1");
}

QAZ_TEST(LinksFarApartPositionsUseTheSparseMembership) {
  // 3000 x 3000 cells is past the dense bitmap; results stay the same.
  Links f = L({{2998, 2998}, {2999, 2999}, {0, 0}});
  Links r = L({{2998, 2998}});
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiag), "2998-2998 2999-2999");
  QAZ_EXPECT_EQ(Sym(f, r, Symmetrization::kGrowDiagFinalAnd),
                "0-0 2998-2998 2999-2999");
}

QAZ_TEST(LinksMethodNames) {
  for (Symmetrization m :
       {Symmetrization::kIntersect, Symmetrization::kUnion,
        Symmetrization::kGrowDiag, Symmetrization::kGrowDiagFinal,
        Symmetrization::kGrowDiagFinalAnd}) {
    QAZ_EXPECT(qaz::ParseSymmetrization(qaz::SymmetrizationName(m)) == m);
  }
  QAZ_EXPECT_EQ(qaz::SymmetrizationName(Symmetrization::kGrowDiagFinalAnd),
                std::string("grow-diag-final-and"));
  std::string msg =
      InvalidArgument([] { qaz::ParseSymmetrization("grow-final"); });
  QAZ_EXPECT(msg.find("'grow-final'") != std::string::npos);
}

QAZ_TEST(LinksPosteriorThreshold) {
  // Averages [[0.75, 0.25, 0], [0.25, 0.5, 0.5]]: exact in binary.
  const double pf[] = {1.0, 0.25, 0.0, 0.25, 0.5, 0.75};
  const double pr[] = {0.5, 0.25, 0.0, 0.25, 0.5, 0.25};
  auto at = [&](double t) {
    return qaz::FormatLinks(qaz::PosteriorLinks(pf, pr, 2, 3, t));
  };
  // A mean equal to the threshold is a link; 1-2 is strong forward only.
  QAZ_EXPECT_EQ(at(0.5), "0-0 1-1 1-2");
  QAZ_EXPECT_EQ(at(0.75), "0-0");
  QAZ_EXPECT_EQ(at(0.25), "0-0 0-1 1-0 1-1 1-2");
  QAZ_EXPECT_EQ(at(1.0), "");
  QAZ_EXPECT_EQ(qaz::PosteriorLinks(pf, pr, 0, 3, 0.5).size(), size_t{0});
  for (double bad : {0.0, -0.5, 1.5, std::numeric_limits<double>::quiet_NaN()}) {
    QAZ_EXPECT_THROW(qaz::PosteriorLinks(pf, pr, 2, 3, bad),
                     std::invalid_argument);
  }
}

QAZ_TEST(LinksAerSumsOverSentences) {
  qaz::AerCounts c;
  // S = {0-0}, P = {0-0, 1-1, 1-2}, A = {0-0, 1-1, 2-2}.
  c.Add(L({{0, 0}}), L({{0, 0}, {1, 1}, {1, 2}}), L({{2, 2}, {0, 0}, {1, 1}}));
  QAZ_EXPECT_EQ(c.hypothesis, 3);
  QAZ_EXPECT_EQ(c.sure, 1);
  QAZ_EXPECT_EQ(c.hypothesis_and_sure, 1);
  QAZ_EXPECT_EQ(c.hypothesis_and_possible, 2);
  QAZ_EXPECT(Near(c.Precision(), 2.0 / 3.0));
  QAZ_EXPECT(Near(c.Recall(), 1.0));
  QAZ_EXPECT(Near(c.Aer(), 0.25));  // 1 - (1 + 2) / (3 + 1)
  QAZ_EXPECT(Near(c.F1(), 0.8));
  // A second sentence with two sure links and no hypothesis.
  c.Add(L({{0, 0}, {1, 1}}), L({{0, 0}, {1, 1}}), Links{});
  QAZ_EXPECT(Near(c.Precision(), 2.0 / 3.0));
  QAZ_EXPECT(Near(c.Recall(), 1.0 / 3.0));
  QAZ_EXPECT(Near(c.Aer(), 0.5));  // 1 - (1 + 2) / (3 + 3)
  QAZ_EXPECT(Near(c.F1(), 4.0 / 9.0));
}

QAZ_TEST(LinksAerTakesSureLinksAsPossible) {
  // P given without the sure link 0-0: it still counts as possible.
  qaz::AerCounts c;
  c.Add(L({{0, 0}}), L({{1, 1}}), L({{0, 0}, {1, 1}}));
  QAZ_EXPECT_EQ(c.hypothesis_and_possible, 2);
  QAZ_EXPECT(Near(c.Precision(), 1.0));
  QAZ_EXPECT(Near(c.Aer(), 0.0));
  // Repeated hypothesis links count once.
  qaz::AerCounts d;
  d.Add(L({{0, 0}}), L({{0, 0}}), L({{0, 0}, {0, 0}}));
  QAZ_EXPECT_EQ(d.hypothesis, 1);
  QAZ_EXPECT(Near(d.Aer(), 0.0));
}

QAZ_TEST(LinksAerZeroDenominators) {
  qaz::AerCounts none;  // no gold and no hypothesis: perfect agreement
  QAZ_EXPECT(Near(none.Precision(), 1.0));
  QAZ_EXPECT(Near(none.Recall(), 1.0));
  QAZ_EXPECT(Near(none.F1(), 1.0));
  QAZ_EXPECT(Near(none.Aer(), 0.0));

  qaz::AerCounts empty_hyp;  // nothing proposed, one sure link missed
  empty_hyp.Add(L({{0, 0}}), L({{0, 0}}), Links{});
  QAZ_EXPECT(Near(empty_hyp.Precision(), 1.0));
  QAZ_EXPECT(Near(empty_hyp.Recall(), 0.0));
  QAZ_EXPECT(Near(empty_hyp.F1(), 0.0));
  QAZ_EXPECT(Near(empty_hyp.Aer(), 1.0));

  qaz::AerCounts no_sure;  // only possible gold: AER = 1 - precision
  no_sure.Add(Links{}, L({{0, 0}}), L({{0, 0}, {1, 1}}));
  QAZ_EXPECT(Near(no_sure.Precision(), 0.5));
  QAZ_EXPECT(Near(no_sure.Recall(), 1.0));
  QAZ_EXPECT(Near(no_sure.F1(), 2.0 / 3.0));
  QAZ_EXPECT(Near(no_sure.Aer(), 0.5));

  qaz::AerCounts all_wrong;  // P + R = 0
  all_wrong.Add(L({{0, 0}}), L({{0, 0}}), L({{1, 1}}));
  QAZ_EXPECT(Near(all_wrong.F1(), 0.0));
  QAZ_EXPECT(Near(all_wrong.Aer(), 1.0));
}

QAZ_TEST(LinksPharaohLines) {
  QAZ_EXPECT_EQ(qaz::FormatLinks(qaz::ParseLinkLine("2-1 0-0\t 1-2 0-0\r",
                                                    "h.txt", 1)),
                "0-0 1-2 2-1");
  QAZ_EXPECT(qaz::ParseLinkLine("", "h.txt", 1).empty());
  QAZ_EXPECT(qaz::ParseLinkLine("  ", "h.txt", 1).empty());
  QAZ_EXPECT_EQ(InvalidArgument([] { qaz::ParseLinkLine("0-0 1:2", "h.txt", 7); }),
                "h.txt:7: expected links 'i-j', got '1:2'");
  for (const char* bad : {"1-", "-1", "-1-2", "a-b", "1?2", "1-2-3",
                          "3000000000-1", "1- 2"}) {
    QAZ_EXPECT(InvalidArgument([&] {
                 qaz::ParseLinkLine(bad, "h.txt", 2);
               }).rfind("h.txt:2: ", 0) == 0);
  }
  QAZ_EXPECT_EQ(qaz::FormatLinks(qaz::Transpose(L({{0, 2}, {1, 0}}))),
                "0-1 2-0");
}

QAZ_TEST(LinksGoldPharaohLinesMarkPossibleLinks) {
  Links sure, possible;
  qaz::ParseGoldLinkLine("2p2 1?1 0-0 1-1", "g.txt", 1, &sure, &possible);
  QAZ_EXPECT_EQ(qaz::FormatLinks(sure), "0-0 1-1");
  QAZ_EXPECT_EQ(qaz::FormatLinks(possible), "0-0 1-1 2-2");
  QAZ_EXPECT_EQ(InvalidArgument([&] {
                  qaz::ParseGoldLinkLine("0x1", "g.txt", 4, &sure, &possible);
                }),
                "g.txt:4: expected links 'i-j' (sure) or 'i?j', 'ipj' "
                "(possible), got '0x1'");
}

QAZ_TEST(LinksDecodedLines) {
  // "j-i", 1-based, 0 for NULL: target 3 is unaligned.
  QAZ_EXPECT_EQ(qaz::FormatLinks(qaz::ParseDecodedLine("1-1 2-3 3-0", "d", 1)),
                "0-0 2-1");
  QAZ_EXPECT(qaz::ParseDecodedLine("", "d", 1).empty());
  QAZ_EXPECT(qaz::ParseDecodedLine("1-0 2-0", "d", 1).empty());
  // A 0-based Pharaoh line read as decoded: the first target is 0.
  QAZ_EXPECT_EQ(InvalidArgument([] { qaz::ParseDecodedLine("0-0 1-1", "d", 5); }),
                "d:5: decoded link 1 is '0-0', expected target position 1");
  QAZ_EXPECT_EQ(InvalidArgument([] { qaz::ParseDecodedLine("1-1 3-2", "d", 5); }),
                "d:5: decoded link 2 is '3-2', expected target position 2");
  QAZ_EXPECT(InvalidArgument([] {
               qaz::ParseDecodedLine("1-1 2", "d", 6);
             }).rfind("d:6: expected decoded links 'j-i'", 0) == 0);
}

QAZ_TEST(LinksReadFilesWithLimitsAndLocatedErrors) {
  std::string path = qaz::testing::WriteTemp("h.txt", "0-0 1-1\n\n1-0\n");
  std::vector<Links> all = qaz::ReadLinkFile(path);
  QAZ_EXPECT_EQ(all.size(), size_t{3});
  QAZ_EXPECT(all[1].empty());
  QAZ_EXPECT_EQ(qaz::FormatLinks(all[2]), "1-0");
  QAZ_EXPECT_EQ(qaz::ReadLinkFile(path, 2).size(), size_t{2});
  QAZ_EXPECT_EQ(qaz::ReadLinkFile(path, 0).size(), size_t{0});
  // A last line without a line feed counts.
  std::string no_lf = qaz::testing::WriteTemp("nolf.txt", "0-0\n1-1");
  QAZ_EXPECT_EQ(qaz::ReadLinkFile(no_lf).size(), size_t{2});

  std::string bad = qaz::testing::WriteTemp("bad.txt", "0-0\n1-1\n1_1\n");
  QAZ_EXPECT_EQ(InvalidArgument([&] { qaz::ReadLinkFile(bad); }),
                bad + ":3: expected links 'i-j', got '1_1'");
  // The bad line lies past the limit: never read.
  QAZ_EXPECT_EQ(qaz::ReadLinkFile(bad, 2).size(), size_t{2});

  std::string latin1 = qaz::testing::WriteTemp("latin1.txt", "0-0\n\xe9\n");
  QAZ_EXPECT_THROW(qaz::ReadLinkFile(latin1), qaz::DecodeError);
  QAZ_EXPECT_THROW(qaz::ReadLinkFile(path + ".missing"), qaz::IoError);

  std::string dec = qaz::testing::WriteTemp("d.txt", "1-2 2-0\n1-1\n1-1 2-x\n");
  std::vector<Links> d = qaz::ReadDecodedFile(dec, 2);
  QAZ_EXPECT_EQ(qaz::FormatLinks(d[0]), "1-0");
  QAZ_EXPECT(InvalidArgument([&] { qaz::ReadDecodedFile(dec); })
                 .rfind(dec + ":3: ", 0) == 0);

  std::string gold = qaz::testing::WriteTemp("g.txt", "0-1 1?2\n");
  qaz::GoldLinks g = qaz::ReadGoldLinkFile(gold, true);
  QAZ_EXPECT_EQ(qaz::FormatLinks(g.sure[0]), "1-0");
  QAZ_EXPECT_EQ(qaz::FormatLinks(g.possible[0]), "1-0 2-1");
}

QAZ_TEST(LinksNaaclGold) {
  std::string path = qaz::testing::WriteTemp(
      "g.wa",
      "1 1 1 S\n1 2 3 P\n\n1 3 2\n1 0 4 S\n3 2 2 P 0.5\n1 1 1 P\n");
  qaz::GoldLinks g = qaz::ReadNaaclFile(path);
  // Sentence 2 has no line; the NULL link 0-4 is dropped; 1 1 1 listed as
  // both S and P stays sure.
  QAZ_EXPECT_EQ(g.sure.size(), size_t{3});
  QAZ_EXPECT_EQ(g.possible.size(), size_t{3});
  QAZ_EXPECT_EQ(qaz::FormatLinks(g.sure[0]), "0-0 2-1");
  QAZ_EXPECT_EQ(qaz::FormatLinks(g.possible[0]), "0-0 1-2 2-1");
  QAZ_EXPECT(g.sure[1].empty() && g.possible[1].empty());
  QAZ_EXPECT(g.sure[2].empty());
  QAZ_EXPECT_EQ(qaz::FormatLinks(g.possible[2]), "1-1");

  qaz::GoldLinks swapped = qaz::ReadNaaclFile(path, true);
  QAZ_EXPECT_EQ(qaz::FormatLinks(swapped.sure[0]), "0-0 1-2");
  QAZ_EXPECT_EQ(qaz::FormatLinks(swapped.possible[0]), "0-0 1-2 2-1");

  // A sentence whose only line is a NULL link still counts.
  std::string null_only = qaz::testing::WriteTemp("n.wa", "1 1 1\n4 0 2 S\n");
  QAZ_EXPECT_EQ(qaz::ReadNaaclFile(null_only).sure.size(), size_t{4});

  const std::string expected =
      ": expected 'sentence position position [S|P] [confidence]', got '";
  for (const char* bad : {"1 1 S", "1 1 1 X", "1 1 1 S high", "1 -1 1 S",
                          "1 1 1 S 0.5 7", "x 1 1"}) {
    std::string file = qaz::testing::WriteTemp("bad.wa",
                                               std::string("1 1 1 S\n") + bad);
    QAZ_EXPECT_EQ(InvalidArgument([&] { qaz::ReadNaaclFile(file); }),
                  file + ":2" + expected + bad + "'");
  }
  // A limit keeps the first sentences only and still counts all of them:
  // a far sentence number costs nothing.
  std::string far = qaz::testing::WriteTemp(
      "far.wa", "2 1 1 S\n999999999 1 1 S\n1 2 2 P\n");
  qaz::GoldLinks first = qaz::ReadNaaclFile(far, false, 1);
  QAZ_EXPECT_EQ(first.sentences, int64_t{999999999});
  QAZ_EXPECT_EQ(first.sure.size(), size_t{1});
  QAZ_EXPECT(first.sure[0].empty());
  QAZ_EXPECT_EQ(qaz::FormatLinks(first.possible[0]), "1-1");
  qaz::GoldLinks none = qaz::ReadNaaclFile(far, false, 0);
  QAZ_EXPECT(none.sure.empty() && none.possible.empty());
  QAZ_EXPECT_EQ(qaz::ReadNaaclFile(null_only, false, 9).sure.size(),
                size_t{4});
  QAZ_EXPECT_EQ(g.sentences, int64_t{3});
  std::string pharaoh = qaz::testing::WriteTemp("p.txt", "0-0\n1-1\n\n");
  qaz::GoldLinks lines = qaz::ReadGoldLinkFile(pharaoh, false, 1);
  QAZ_EXPECT_EQ(lines.sentences, int64_t{3});
  QAZ_EXPECT_EQ(lines.sure.size(), size_t{1});
  QAZ_EXPECT_EQ(qaz::ReadGoldLinkFile(pharaoh).sure.size(), size_t{3});

  std::string zero = qaz::testing::WriteTemp("zero.wa", "0 1 1 S\n");
  QAZ_EXPECT_EQ(InvalidArgument([&] { qaz::ReadNaaclFile(zero); }),
                zero + ":1: sentence numbers start at 1, got '0 1 1 S'");
}
