#include "align/links.h"

#include "common/text.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "align/corpus.h"

namespace qaz {

namespace {

// Membership of links in a growing alignment: a dense bitmap for ordinary
// sentence lengths, a hash set when positions are far apart.
class LinkSet {
 public:
  LinkSet(int64_t src_len, int64_t trg_len)
      : src_len_(src_len), trg_len_(trg_len),
        dense_(src_len * trg_len <= kDenseLimit) {
    if (dense_) bits_.assign(static_cast<size_t>(src_len * trg_len), 0);
  }

  bool Has(int64_t i, int64_t j) const {
    if (i < 0 || j < 0 || i >= src_len_ || j >= trg_len_) return false;
    if (dense_) return bits_[static_cast<size_t>(i * trg_len_ + j)] != 0;
    return sparse_.count(Key(i, j)) != 0;
  }
  void Insert(int64_t i, int64_t j) {
    if (dense_) {
      bits_[static_cast<size_t>(i * trg_len_ + j)] = 1;
    } else {
      sparse_.insert(Key(i, j));
    }
  }

  static constexpr int64_t kDenseLimit = int64_t{1} << 22;

 private:
  static uint64_t Key(int64_t i, int64_t j) {
    return (static_cast<uint64_t>(i) << 32) | static_cast<uint64_t>(j);
  }

  int64_t src_len_, trg_len_;
  bool dense_;
  std::vector<unsigned char> bits_;
  std::unordered_set<uint64_t> sparse_;
};

// Numbers the positions of one side of a sentence pair from 0: each
// position itself for ordinary lengths, else its rank among the positions
// the links use (so that memory follows the links, not the largest
// position).  Of() gives -1 for a position no link uses.
class PositionIndex {
 public:
  // `used`: the positions the links use, sorted, repeats allowed.
  PositionIndex(std::vector<int32_t> used, bool by_rank) : by_rank_(by_rank) {
    if (by_rank_) {
      used.erase(std::unique(used.begin(), used.end()), used.end());
      ranks_ = std::move(used);
      size_ = static_cast<int64_t>(ranks_.size());
    } else {
      size_ = used.empty() ? 0 : int64_t{used.back()} + 1;
    }
  }

  int64_t size() const { return size_; }
  int64_t Of(int64_t pos) const {
    if (pos < 0) return -1;
    if (!by_rank_) return pos < size_ ? pos : -1;
    auto at = std::lower_bound(ranks_.begin(), ranks_.end(), pos);
    if (at == ranks_.end() || *at != pos) return -1;
    return at - ranks_.begin();
  }

 private:
  bool by_rank_;
  int64_t size_ = 0;
  std::vector<int32_t> ranks_;
};

Links Sorted(const Links& links) {
  Links out(links);
  Normalize(&out);
  for (const Link& l : out) {
    if (l.i < 0 || l.j < 0) {
      throw std::invalid_argument("link positions must not be negative, got " +
                                  std::to_string(l.i) + "-" +
                                  std::to_string(l.j));
    }
  }
  return out;
}

// The growing alignment of one sentence pair over the links `all` (sorted):
// its links, their membership test and which words they align.
struct Grower {
  explicit Grower(const Links& all) : Grower(all, Spread(all)) {}
  Grower(const Links& all, bool by_rank)
      : src(Positions(all, true), by_rank),
        trg(Positions(all, false), by_rank),
        in(src.size(), trg.size()),
        src_aligned(static_cast<size_t>(src.size()), 0),
        trg_aligned(static_cast<size_t>(trg.size()), 0) {}

  void Add(const Link& l) {
    result.push_back(l);
    const int64_t i = src.Of(l.i), j = trg.Of(l.j);
    in.Insert(i, j);
    src_aligned[i] = 1;
    trg_aligned[j] = 1;
  }
  bool Has(int64_t i, int64_t j) const {
    return in.Has(src.Of(i), trg.Of(j));
  }
  bool HasNeighbour(const Link& l) const {
    for (int di = -1; di <= 1; ++di) {
      const int64_t i = src.Of(int64_t{l.i} + di);
      if (i < 0) continue;
      for (int dj = -1; dj <= 1; ++dj) {
        if ((di != 0 || dj != 0) && in.Has(i, trg.Of(int64_t{l.j} + dj))) {
          return true;
        }
      }
    }
    return false;
  }
  bool SrcAligned(const Link& l) const { return src_aligned[src.Of(l.i)]; }
  bool TrgAligned(const Link& l) const { return trg_aligned[trg.Of(l.j)]; }

  // The used positions of one side, sorted.
  static std::vector<int32_t> Positions(const Links& all, bool source) {
    std::vector<int32_t> out;
    out.reserve(all.size());
    for (const Link& l : all) out.push_back(source ? l.i : l.j);
    std::sort(out.begin(), out.end());
    return out;
  }
  // Whether the extent of the positions is too large to index them as
  // they are.
  static bool Spread(const Links& all) {
    int64_t src_len = 0, trg_len = 0;
    for (const Link& l : all) {
      src_len = std::max<int64_t>(src_len, int64_t{l.i} + 1);
      trg_len = std::max<int64_t>(trg_len, int64_t{l.j} + 1);
    }
    return src_len * trg_len > LinkSet::kDenseLimit;
  }

  PositionIndex src, trg;
  LinkSet in;
  Links result;
  std::vector<unsigned char> src_aligned, trg_aligned;
};

// Adds the links of `side` in order that are not yet in the result and
// whose words are unaligned: either word, or both with `both`.
void FinalStep(const Links& side, bool both, Grower* g) {
  for (const Link& l : side) {
    if (g->Has(l.i, l.j)) continue;
    bool free_src = !g->SrcAligned(l);
    bool free_trg = !g->TrgAligned(l);
    if (both ? (free_src && free_trg) : (free_src || free_trg)) g->Add(l);
  }
}

std::string Place(const std::string& path, int64_t line_number) {
  return path + ":" + std::to_string(line_number) + ": ";
}

// Splits at runs of ASCII blanks; a trailing carriage return is a blank.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t k = 0;
  const size_t n = line.size();
  auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
  };
  while (k < n) {
    while (k < n && blank(line[k])) ++k;
    size_t start = k;
    while (k < n && !blank(line[k])) ++k;
    if (k > start) out.push_back(line.substr(start, k - start));
  }
  return out;
}

// A decimal number of digits only, at most the largest 32-bit int.
bool ParseIndex(std::string_view s, int64_t* out) {
  if (s.empty() || s.size() > 10) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > std::numeric_limits<int32_t>::max()) return false;
  *out = v;
  return true;
}

// "a<sep>b" with one separator out of `seps`; gives the separator found.
bool ParsePair(std::string_view token, std::string_view seps, int64_t* a,
               int64_t* b, char* sep) {
  size_t at = token.find_first_of(seps);
  if (at == std::string_view::npos) return false;
  *sep = token[at];
  return ParseIndex(token.substr(0, at), a) &&
         ParseIndex(token.substr(at + 1), b);
}

bool ParseNumber(std::string_view s) {
  std::string text(s);
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0';
}

Link MakeLink(int64_t i, int64_t j, bool swap) {
  return swap ? Link{static_cast<int32_t>(j), static_cast<int32_t>(i)}
              : Link{static_cast<int32_t>(i), static_cast<int32_t>(j)};
}

template <typename ParseLine>
std::vector<Links> ReadLines(const std::string& path, int64_t limit,
                             ParseLine parse) {
  std::vector<Links> out;
  if (limit == 0) return out;
  LineReader reader(path);
  std::string_view line;
  while (reader.Next(&line)) {
    CheckUtf8(line, path, reader.line_number());
    out.push_back(parse(line, path, reader.line_number()));
    if (limit > 0 && static_cast<int64_t>(out.size()) >= limit) break;
  }
  return out;
}

}  // namespace

void Normalize(Links* links) {
  std::sort(links->begin(), links->end());
  links->erase(std::unique(links->begin(), links->end()), links->end());
}

Links Transpose(const Links& links) {
  Links out;
  out.reserve(links.size());
  for (const Link& l : links) out.push_back(Link{l.j, l.i});
  Normalize(&out);
  return out;
}

std::string FormatLinks(const Links& links) {
  std::string out;
  for (const Link& l : links) {
    if (!out.empty()) out += ' ';
    out += std::to_string(l.i);
    out += '-';
    out += std::to_string(l.j);
  }
  return out;
}

Symmetrization ParseSymmetrization(std::string_view name) {
  for (Symmetrization m :
       {Symmetrization::kIntersect, Symmetrization::kUnion,
        Symmetrization::kGrowDiag, Symmetrization::kGrowDiagFinal,
        Symmetrization::kGrowDiagFinalAnd}) {
    if (name == SymmetrizationName(m)) return m;
  }
  throw std::invalid_argument(
      "unknown symmetrisation method '" + std::string(name) +
      "' (expected intersect, union, grow-diag, grow-diag-final or "
      "grow-diag-final-and)");
}

const char* SymmetrizationName(Symmetrization method) {
  switch (method) {
    case Symmetrization::kIntersect: return "intersect";
    case Symmetrization::kUnion: return "union";
    case Symmetrization::kGrowDiag: return "grow-diag";
    case Symmetrization::kGrowDiagFinal: return "grow-diag-final";
    case Symmetrization::kGrowDiagFinalAnd: return "grow-diag-final-and";
  }
  return "";
}

Links Symmetrize(const Links& forward, const Links& reverse,
                 Symmetrization method) {
  const Links f = Sorted(forward);
  const Links r = Sorted(reverse);
  Links both, either;
  std::set_intersection(f.begin(), f.end(), r.begin(), r.end(),
                        std::back_inserter(both));
  if (method == Symmetrization::kIntersect) return both;
  std::set_union(f.begin(), f.end(), r.begin(), r.end(),
                 std::back_inserter(either));
  if (method == Symmetrization::kUnion) return either;

  Grower g(either);
  for (const Link& l : both) g.Add(l);

  Links candidates;
  std::set_difference(either.begin(), either.end(), both.begin(), both.end(),
                      std::back_inserter(candidates));
  for (bool added = true; added;) {
    added = false;
    size_t kept = 0;
    for (const Link& l : candidates) {
      if ((!g.SrcAligned(l) || !g.TrgAligned(l)) && g.HasNeighbour(l)) {
        g.Add(l);
        added = true;
      } else {
        candidates[kept++] = l;
      }
    }
    candidates.resize(kept);
  }

  if (method != Symmetrization::kGrowDiag) {
    const bool both_free = method == Symmetrization::kGrowDiagFinalAnd;
    FinalStep(f, both_free, &g);
    FinalStep(r, both_free, &g);
  }
  std::sort(g.result.begin(), g.result.end());
  return g.result;
}

Links PosteriorLinks(const double* forward, const double* reverse,
                     int64_t src_len, int64_t trg_len, double threshold,
                     bool product) {
  if (!(threshold > 0.0 && threshold <= 1.0)) {
    throw std::invalid_argument(
        "posterior threshold must lie in (0, 1], got " +
        std::to_string(threshold));
  }
  if (src_len < 0 || trg_len < 0) {
    throw std::invalid_argument("negative sentence length");
  }
  if (src_len > std::numeric_limits<int32_t>::max() ||
      trg_len > std::numeric_limits<int32_t>::max()) {
    throw std::invalid_argument("sentence length past 32-bit positions");
  }
  Links out;
  for (int64_t i = 0; i < src_len; ++i) {
    const double* f = forward + i * trg_len;
    const double* r = reverse + i * trg_len;
    for (int64_t j = 0; j < trg_len; ++j) {
      const double v = product ? f[j] * r[j] : (f[j] + r[j]) / 2.0;
      if (v >= threshold) {
        out.push_back(Link{static_cast<int32_t>(i), static_cast<int32_t>(j)});
      }
    }
  }
  return out;
}

void AerCounts::Add(const Links& sure_links, const Links& possible_links,
                    const Links& hyp) {
  Links s(sure_links), p(possible_links), a(hyp);
  Normalize(&s);
  Normalize(&p);
  Normalize(&a);
  Links p_or_s;
  std::set_union(p.begin(), p.end(), s.begin(), s.end(),
                 std::back_inserter(p_or_s));
  auto common = [](const Links& x, const Links& y) {
    int64_t n = 0;
    auto xi = x.begin(), yi = y.begin();
    while (xi != x.end() && yi != y.end()) {
      if (*xi < *yi) {
        ++xi;
      } else if (*yi < *xi) {
        ++yi;
      } else {
        ++n, ++xi, ++yi;
      }
    }
    return n;
  };
  hypothesis += static_cast<int64_t>(a.size());
  sure += static_cast<int64_t>(s.size());
  hypothesis_and_sure += common(a, s);
  hypothesis_and_possible += common(a, p_or_s);
}

double AerCounts::Precision() const {
  if (hypothesis == 0) return 1.0;
  return static_cast<double>(hypothesis_and_possible) /
         static_cast<double>(hypothesis);
}

double AerCounts::Recall() const {
  if (sure == 0) return 1.0;
  return static_cast<double>(hypothesis_and_sure) / static_cast<double>(sure);
}

double AerCounts::F1() const {
  double p = Precision(), r = Recall();
  if (p + r == 0.0) return 0.0;
  return 2.0 * p * r / (p + r);
}

double AerCounts::Aer() const {
  if (hypothesis + sure == 0) return 0.0;
  return 1.0 - static_cast<double>(hypothesis_and_sure +
                                   hypothesis_and_possible) /
                   static_cast<double>(hypothesis + sure);
}

Links ParseLinkLine(std::string_view line, const std::string& path,
                    int64_t line_number) {
  Links out;
  for (std::string_view token : Fields(line)) {
    int64_t i, j;
    char sep;
    if (!ParsePair(token, "-", &i, &j, &sep)) {
      throw std::invalid_argument(Place(path, line_number) +
                                  "expected links 'i-j', got '" +
                                  std::string(token) + "'");
    }
    out.push_back(MakeLink(i, j, false));
  }
  Normalize(&out);
  return out;
}

void ParseGoldLinkLine(std::string_view line, const std::string& path,
                       int64_t line_number, Links* sure, Links* possible) {
  sure->clear();
  possible->clear();
  for (std::string_view token : Fields(line)) {
    int64_t i, j;
    char sep;
    if (!ParsePair(token, "-?p", &i, &j, &sep)) {
      throw std::invalid_argument(
          Place(path, line_number) +
          "expected links 'i-j' (sure) or 'i?j', 'ipj' (possible), got '" +
          std::string(token) + "'");
    }
    Link l = MakeLink(i, j, false);
    if (sep == '-') sure->push_back(l);
    possible->push_back(l);
  }
  Normalize(sure);
  Normalize(possible);
}

Links ParseDecodedLine(std::string_view line, const std::string& path,
                       int64_t line_number) {
  Links out;
  int64_t expected_j = 0;
  for (std::string_view token : Fields(line)) {
    ++expected_j;
    int64_t j, i;
    char sep;
    if (!ParsePair(token, "-", &j, &i, &sep)) {
      throw std::invalid_argument(
          Place(path, line_number) +
          "expected decoded links 'j-i' (j the target position from 1, i the "
          "source position, 0 for NULL), got '" +
          std::string(token) + "'");
    }
    // The writer lists every target position in turn; anything else is a
    // file of another format.
    if (j != expected_j) {
      throw std::invalid_argument(
          Place(path, line_number) + "decoded link " +
          std::to_string(expected_j) + " is '" + std::string(token) +
          "', expected target position " + std::to_string(expected_j));
    }
    if (i > 0) out.push_back(MakeLink(i - 1, j - 1, false));
  }
  Normalize(&out);
  return out;
}

std::vector<Links> ReadLinkFile(const std::string& path, int64_t limit) {
  return ReadLines(path, limit, ParseLinkLine);
}

std::vector<Links> ReadDecodedFile(const std::string& path, int64_t limit) {
  return ReadLines(path, limit, ParseDecodedLine);
}

GoldLinks ReadGoldLinkFile(const std::string& path, bool swap,
                           int64_t limit) {
  GoldLinks gold;
  LineReader reader(path);
  std::string_view line;
  Links sure, possible;
  while (reader.Next(&line)) {
    CheckUtf8(line, path, reader.line_number());
    ParseGoldLinkLine(line, path, reader.line_number(), &sure, &possible);
    ++gold.sentences;
    if (limit >= 0 && gold.sentences > limit) continue;
    gold.sure.push_back(swap ? Transpose(sure) : sure);
    gold.possible.push_back(swap ? Transpose(possible) : possible);
  }
  return gold;
}

GoldLinks ReadNaaclFile(const std::string& path, bool swap, int64_t limit) {
  GoldLinks gold;
  LineReader reader(path);
  std::string_view line;
  while (reader.Next(&line)) {
    const int64_t n = reader.line_number();
    CheckUtf8(line, path, n);
    std::vector<std::string_view> fields = Fields(line);
    if (fields.empty()) continue;
    int64_t sentence, a, b;
    bool ok = fields.size() >= 3 && fields.size() <= 5 &&
              ParseIndex(fields[0], &sentence) && ParseIndex(fields[1], &a) &&
              ParseIndex(fields[2], &b);
    bool is_sure = true;
    if (ok && fields.size() >= 4) {
      ok = fields[3] == "S" || fields[3] == "P";
      is_sure = fields[3] == "S";
    }
    if (ok && fields.size() == 5) ok = ParseNumber(fields[4]);
    if (!ok) {
      throw std::invalid_argument(
          Place(path, n) +
          "expected 'sentence position position [S|P] [confidence]', got '" +
          std::string(line) + "'");
    }
    if (sentence == 0) {
      throw std::invalid_argument(Place(path, n) +
                                  "sentence numbers start at 1, got '" +
                                  std::string(line) + "'");
    }
    gold.sentences = std::max(gold.sentences, sentence);
    if (limit >= 0 && sentence > limit) continue;
    if (static_cast<int64_t>(gold.sure.size()) < sentence) {
      gold.sure.resize(static_cast<size_t>(sentence));
      gold.possible.resize(static_cast<size_t>(sentence));
    }
    if (a == 0 || b == 0) continue;  // a NULL link
    Link l = MakeLink(a - 1, b - 1, swap);
    if (is_sure) gold.sure[sentence - 1].push_back(l);
    gold.possible[sentence - 1].push_back(l);
  }
  // Trailing sentences without a line of their own (NULL links only).
  const int64_t held =
      limit >= 0 ? std::min(limit, gold.sentences) : gold.sentences;
  gold.sure.resize(static_cast<size_t>(held));
  gold.possible.resize(static_cast<size_t>(held));
  for (Links& s : gold.sure) Normalize(&s);
  for (Links& p : gold.possible) Normalize(&p);
  return gold;
}

}  // namespace qaz
