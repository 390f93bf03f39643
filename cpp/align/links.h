// Word links of aligned sentence pairs: symmetrisation of two directional
// alignments, alignment error rate, and the link file formats.
//
// A link (i, j) joins the 0-based source position i with the 0-based target
// position j; NULL links are never stored.  A sentence's links are held
// sorted by (i, j) without repeats (`Links`), as Pharaoh lines list them:
// "0-0 1-2 2-1".
//
// Both inputs of a symmetrisation are in source-target orientation: the
// forward alignment comes from a model of P(target | source), the reverse
// one from P(source | target) with its links transposed back to (i, j).
//
// Usage:
//   qaz::Links f = qaz::ParseLinkLine("0-0 1-2", "f.txt", 1);
//   qaz::Links r = qaz::ParseLinkLine("0-0 1-1 2-2", "r.txt", 1);
//   qaz::Links a = qaz::Symmetrize(f, r, qaz::Symmetrization::kGrowDiagFinalAnd);
//   qaz::AerCounts counts;
//   counts.Add(sure, possible, a);  // summed over the sentences
//   counts.Aer();
//
// Alignment error rate after Och and Ney, "A Systematic Comparison of
// Various Statistical Alignment Models", Computational Linguistics 29(1),
// 2003.
#ifndef QAZ_ALIGN_LINKS_H_
#define QAZ_ALIGN_LINKS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qaz {

struct Link {
  int32_t i;  // source position, 0-based
  int32_t j;  // target position, 0-based

  bool operator==(const Link& o) const { return i == o.i && j == o.j; }
  bool operator!=(const Link& o) const { return !(*this == o); }
  bool operator<(const Link& o) const {
    return i < o.i || (i == o.i && j < o.j);
  }
};

// One sentence's links, sorted by (i, j), no repeats.
using Links = std::vector<Link>;

// Sorts by (i, j) and drops repeats.
void Normalize(Links* links);

// (i, j) -> (j, i), sorted again.
Links Transpose(const Links& links);

// "0-0 1-2": the Pharaoh form of sorted links.
std::string FormatLinks(const Links& links);

// ---------------------------------------------------------------------------
// Symmetrisation

enum class Symmetrization {
  kIntersect,         // F ∩ R
  kUnion,             // F ∪ R
  kGrowDiag,          // F ∩ R grown by neighbouring links of F ∪ R
  kGrowDiagFinal,     // grow-diag, then links of F, R touching an unaligned word
  kGrowDiagFinalAnd,  // grow-diag, then links of F, R joining two unaligned words
};

// The method of a name: "intersect", "union", "grow-diag", "grow-diag-final",
// "grow-diag-final-and".  std::invalid_argument for any other text.
Symmetrization ParseSymmetrization(std::string_view name);
const char* SymmetrizationName(Symmetrization method);

// Combines the forward links F and the reverse links R of one sentence pair
// (both sorted or not; positions must not be negative).  Grow-diag starts
// from F ∩ R and walks the other links of F ∪ R in (i, j) order, pass after
// pass until a pass adds nothing: a link is added when its source or its
// target word is still unaligned and one of its eight neighbours is already
// in the result (also one added earlier in the same pass).  The final steps
// then walk F, then R, in (i, j) order and add a link not yet in the result
// whose source or target word (final) or both words (final-and) are
// unaligned at that moment.  Costs O(L) per pass over the L links of F ∪ R.
Links Symmetrize(const Links& forward, const Links& reverse,
                 Symmetrization method);

// Links (i, j) with (P_f(i, j) + P_r(i, j)) / 2 >= threshold, where P_f and
// P_r are I x J row-major arrays: P_f(i, j) the posterior of target word j
// aligned to source word i under the forward model, P_r(i, j) that of source
// word i aligned to target word j under the reverse one.  The threshold must
// lie in (0, 1]; std::invalid_argument otherwise.  With `product`, the
// links with P_f(i, j) P_r(i, j) >= threshold instead.
Links PosteriorLinks(const double* forward, const double* reverse,
                     int64_t src_len, int64_t trg_len, double threshold,
                     bool product = false);

// ---------------------------------------------------------------------------
// Alignment error rate

// Link counts summed over the sentences of a test set: hypothesis A, sure
// gold links S and possible gold links P (P is taken to include S).
struct AerCounts {
  int64_t hypothesis = 0;                // |A|
  int64_t sure = 0;                      // |S|
  int64_t hypothesis_and_sure = 0;       // |A ∩ S|
  int64_t hypothesis_and_possible = 0;   // |A ∩ (P ∪ S)|

  // Adds one sentence; the three link sets need not be sorted.
  void Add(const Links& sure_links, const Links& possible_links,
           const Links& hyp);

  // |A ∩ P| / |A|; 1 when A is empty (no link proposed, none wrong).
  double Precision() const;
  // |A ∩ S| / |S|; 1 when S is empty (nothing to find).
  double Recall() const;
  // 2 P R / (P + R); 0 when P + R is 0.
  double F1() const;
  // 1 - (|A ∩ S| + |A ∩ P|) / (|A| + |S|); 0 when A and S are both empty.
  double Aer() const;
};

// ---------------------------------------------------------------------------
// Formats.  Every parse error is a std::invalid_argument whose text starts
// with "path:line: "; bytes that are not UTF-8 raise DecodeError, a file
// that cannot be read IoError.

// Sure links and possible links of gold sentences; possible[k] includes
// sure[k].  `sentences` counts the sentences of the whole file, also those a
// limit left out of `sure` and `possible`.
struct GoldLinks {
  std::vector<Links> sure;
  std::vector<Links> possible;
  int64_t sentences = 0;
};

// A Pharaoh line "i-j i-j ..." (blank-separated, in any order; empty for
// no link).  `path` and `line_number` only name the place in errors.
Links ParseLinkLine(std::string_view line, const std::string& path,
                    int64_t line_number);

// A Pharaoh gold line, where "i-j" is a sure link and "i?j" or "ipj" a
// possible one; adds the sure links to both outputs, the possible ones to
// `possible`.  Both come out normalised.
void ParseGoldLinkLine(std::string_view line, const std::string& path,
                       int64_t line_number, Links* sure, Links* possible);

// A decoded-alignment line: "j-i" for every target position j = 1, 2, ...
// in turn, i the 1-based source position or 0 for NULL.  Gives the 0-based
// links (i - 1, j - 1) of the non-NULL tokens.
Links ParseDecodedLine(std::string_view line, const std::string& path,
                       int64_t line_number);

// One sentence per line.  `limit` >= 0 stops after that many lines.
std::vector<Links> ReadLinkFile(const std::string& path, int64_t limit = -1);
std::vector<Links> ReadDecodedFile(const std::string& path,
                                   int64_t limit = -1);
// With `limit` >= 0 the gold readers keep the links of the first `limit`
// sentences only; every line is still parsed and counted.
GoldLinks ReadGoldLinkFile(const std::string& path, bool swap = false,
                           int64_t limit = -1);

// NAACL-2003 gold: one link per line, "sentence position position [S|P]
// [confidence]", sentence numbers from 1, positions 1-based (the first one
// becomes i, or j with `swap`), S when the kind is missing; lines with a
// position 0 (NULL links) and blank lines are skipped.  Gives as many
// sentences as the highest sentence number (at most `limit` of them held); a
// sentence without a line has no link.  With a limit, memory follows the
// lines read and the limit, not the sentence numbers.
GoldLinks ReadNaaclFile(const std::string& path, bool swap = false,
                        int64_t limit = -1);

}  // namespace qaz

#endif  // QAZ_ALIGN_LINKS_H_
