// Unit tests of the bidirectional aligner and the in-memory corpus.
#include "align/aligner.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "align/models/factory.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "common/memory.h"
#include "testing/harness.h"

namespace {

using qaz::Aligner;
using qaz::AlignerOptions;
using qaz::Corpus;
using qaz::LinkMethod;
using qaz::Links;
using qaz::Vocab;

class RecordingReporter : public qaz::Reporter {
 public:
  void Info(const std::string& m) override { infos.push_back(m); }
  void Warning(const std::string& m) override { warnings.push_back(m); }
  std::unique_ptr<qaz::Progress> StartProgress(const std::string&,
                                               int64_t) override {
    return nullptr;
  }
  std::vector<std::string> infos, warnings;
};

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) {
    out += l;
    if (l.empty() || l.back() != '\n') out += "\n";
  }
  return out;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string InvalidArgument(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "";
}

bool SameVocab(const qaz::StringEnumerator& a, const qaz::StringEnumerator& b) {
  if (a.size() != b.size()) return false;
  for (int32_t k = 0; k < a.size(); ++k) {
    if (a.IdToStr(k) != b.IdToStr(k)) return false;
  }
  return true;
}

// A small corpus with a clear word-for-word structure and some
// reordering, so that both directions and every heuristic have work.
const std::vector<std::string> kSrc = {
    "le chat noir", "le chien", "un chat", "le chat et le chien",
    "un chien noir", "le chat mange", "un chien mange le chat",
    "noir et blanc", "le chien blanc", "un chat blanc mange"};
const std::vector<std::string> kTrg = {
    "the black cat", "the dog", "a cat", "the cat and the dog",
    "a black dog", "the cat eats", "a dog eats the cat",
    "black and white", "the white dog", "a white cat eats"};

std::string ReadAll(const std::string& path) {
  return qaz::testing::ReadFile(path);
}

}  // namespace

QAZ_TEST(CorpusFromLinesTokenisesAsLoadCorpus) {
  // Line ends, runs of spaces, an empty line, a carriage return inside a
  // line and a token "__NULL__" on either side.
  const std::vector<std::string> src = {"a b\r\n", "a  b", "", "x\ry", "__NULL__ a"};
  const std::vector<std::string> trg = {"u v", " u", "w", "z", "__NULL__"};
  for (bool character : {false, true}) {
    qaz::NullReporter quiet;
    Vocab from_files, from_lines;
    const std::string sp = qaz::testing::WriteTemp("c.src", Join(src));
    const std::string tp = qaz::testing::WriteTemp("c.trg", Join(trg));
    const Corpus a = qaz::LoadCorpus(&from_files, sp, tp, character, quiet);
    const Corpus b = qaz::CorpusFromLines(&from_lines, src, trg, character, quiet);
    QAZ_EXPECT(a == b);
    QAZ_EXPECT(SameVocab(from_files.src, from_lines.src));
    QAZ_EXPECT(SameVocab(from_files.trg, from_lines.trg));
    QAZ_EXPECT_EQ(from_lines.max_len_src, from_files.max_len_src);
    QAZ_EXPECT_EQ(from_lines.max_len_trg, from_files.max_len_trg);
  }
  // Word mode: "a  b" has an empty middle token, "" one empty token.
  qaz::NullReporter quiet;
  Vocab v;
  const Corpus c = qaz::CorpusFromLines(&v, src, trg, false, quiet);
  QAZ_EXPECT_EQ(c.src(1).size, 4);
  QAZ_EXPECT_EQ(c.src(2).size, 2);
  QAZ_EXPECT_EQ(c.src(4)[1], 0);  // "__NULL__" is the NULL word's id
}

QAZ_TEST(CorpusFromLinesRejectsWhatNoFileCouldHold) {
  qaz::NullReporter quiet;
  Vocab v;
  QAZ_EXPECT_EQ(InvalidArgument([&] {
                  qaz::CorpusFromLines(&v, {"a", "b", "c"}, {"x", "y"}, false,
                                       quiet);
                }),
                std::string("the source side has 3 lines but the target side "
                            "has 2"));
  QAZ_EXPECT_EQ(InvalidArgument([&] {
                  qaz::CorpusFromLines(&v, {"a", "b"}, {"x", "y\nz"}, false,
                                       quiet);
                }),
                std::string("target line 2 holds a line feed inside it"));
  QAZ_EXPECT_THROW(
      qaz::CorpusFromLines(&v, {"ok", "bad \xff byte"}, {"x", "y"}, false, quiet),
      qaz::DecodeError);
  // Nothing was entered by the failed calls.
  QAZ_EXPECT_EQ(v.src.size(), 0);
  QAZ_EXPECT_EQ(v.trg.size(), 0);
  // A tab inside a token is kept, with one warning naming the line.
  RecordingReporter log;
  qaz::CorpusFromLines(&v, {"a", "b\tc"}, {"x\ty", "z"}, false, log);
  QAZ_EXPECT_EQ(log.warnings.size(), size_t{1});
  QAZ_EXPECT(log.warnings[0].rfind("target line 1:", 0) == 0);
}

QAZ_TEST(SwapSidesGivesWhatLoadingTheSwappedFilesGives) {
  const std::vector<std::string> src = {"a b a", "__NULL__ c", "b"};
  const std::vector<std::string> trg = {"x y", "z __NULL__ x", "y y y"};
  qaz::NullReporter quiet;
  Vocab fwd, direct, swapped;
  const Corpus corpus = qaz::CorpusFromLines(&fwd, src, trg, false, quiet);
  const Corpus want = qaz::CorpusFromLines(&direct, trg, src, false, quiet);
  const Corpus got = qaz::SwapSides(fwd, corpus, &swapped);
  QAZ_EXPECT(got == want);
  QAZ_EXPECT(SameVocab(swapped.src, direct.src));
  QAZ_EXPECT(SameVocab(swapped.trg, direct.trg));
  QAZ_EXPECT_EQ(swapped.max_len_src, direct.max_len_src);
  QAZ_EXPECT_EQ(swapped.max_len_trg, direct.max_len_trg);
}

QAZ_TEST(PairPosteriorsNormaliseEachColumnWithTheNullWord) {
  // L = 3 (NULL, e1, e2), m = 2; t is a-major: t[i * m + j].
  const double t[] = {0.1, 0.0,   // NULL
                      0.3, 0.0,   // e1
                      0.6, 0.0};  // e2
  qaz::AlignTable uniform(3, 2);  // no block: a = 1/3 everywhere
  std::vector<double> post;
  qaz::ModelOf(qaz::ModelType::kModel2).Posteriors(t, &uniform, 3, 2, &post);
  QAZ_EXPECT(std::fabs(post[0] - 0.1) < 1e-15);
  QAZ_EXPECT(std::fabs(post[2] - 0.3) < 1e-15);
  QAZ_EXPECT(std::fabs(post[4] - 0.6) < 1e-15);
  // A column whose sum is 0 gives nothing (no NaN).
  QAZ_EXPECT(post[1] == 0.0 && post[3] == 0.0 && post[5] == 0.0);
  // With a block: a(i | j=0) = (0.5, 0.25, 0.25).
  qaz::AlignTable table(3, 2);
  const qaz::AlignTable::Block b = table.Add(2, 2);
  table.values(b)[0] = 0.5;
  table.values(b)[1] = 0.25;
  table.values(b)[2] = 0.25;
  qaz::ModelOf(qaz::ModelType::kModel2).Posteriors(t, &table, 3, 2, &post);
  const double z = 0.1 * 0.5 + 0.3 * 0.25 + 0.6 * 0.25;
  QAZ_EXPECT(std::fabs(post[0] - 0.05 / z) < 1e-15);
  QAZ_EXPECT(std::fabs(post[2] - 0.075 / z) < 1e-15);
  QAZ_EXPECT(std::fabs(post[4] - 0.15 / z) < 1e-15);
}

QAZ_TEST(ParseLinkMethodNamesAndThresholds) {
  QAZ_EXPECT(qaz::ParseLinkMethod("none", 0.5).kind == LinkMethod::kForward);
  QAZ_EXPECT(!qaz::ParseLinkMethod("none", 0.5).NeedsReverse());
  QAZ_EXPECT(qaz::ParseLinkMethod("posterior", 1.0).kind == LinkMethod::kPosterior);
  const LinkMethod gd = qaz::ParseLinkMethod("grow-diag", 0.5);
  QAZ_EXPECT(gd.kind == LinkMethod::kHeuristic &&
             gd.heuristic == qaz::Symmetrization::kGrowDiag);
  QAZ_EXPECT_THROW(qaz::ParseLinkMethod("diag", 0.5), std::invalid_argument);
  for (double bad : {0.0, -0.1, 1.0000001, std::nan("")}) {
    QAZ_EXPECT_THROW(qaz::ParseLinkMethod("posterior", bad), std::invalid_argument);
  }
}

QAZ_TEST(AlignerLinksAWordForWordCorpusByHand) {
  // Every pair is word for word in order, and "a" always meets "x", "b"
  // always "y": both models must link position k to position k.
  AlignerOptions options;
  options.threads = 2;
  Aligner aligner(options);
  qaz::NullReporter quiet;
  aligner.TrainLines({"a b", "a", "b a", "c a"}, {"x y", "x", "y x", "z x"}, quiet);
  QAZ_EXPECT_EQ(aligner.size(), int64_t{4});
  QAZ_EXPECT_EQ(InvalidArgument([&] { Aligner(options).TrainLines({}, {}, quiet); }),
                std::string("no sentence pair to train on"));
  QAZ_EXPECT_EQ(qaz::FormatLinks(aligner.ForwardLinks(0)), std::string("0-0 1-1"));
  QAZ_EXPECT_EQ(qaz::FormatLinks(aligner.ReverseLinks(2)), std::string("0-0 1-1"));
  QAZ_EXPECT_EQ(qaz::FormatLinks(aligner.ForwardLinks(3)), std::string("0-0 1-1"));
  for (const char* m : {"intersect", "union", "grow-diag", "grow-diag-final",
                        "grow-diag-final-and", "posterior"}) {
    QAZ_EXPECT_EQ(
        qaz::FormatLinks(aligner.PairLinks(2, qaz::ParseLinkMethod(m, 0.5))),
        std::string("0-0 1-1"));
  }
  // Unseen words on a fresh pair: "a q" / "x r" still links a-x.
  const std::vector<Links> fresh = aligner.AlignLines(
      {"a q"}, {"x r"}, qaz::ParseLinkMethod("none", 0.5), quiet);
  QAZ_EXPECT(fresh.size() == 1 && !fresh[0].empty() &&
             fresh[0][0] == (qaz::Link{0, 0}));
}

QAZ_TEST(AlignerTrainsTheReverseModelOnDemand) {
  AlignerOptions options;
  options.iterations = 3;
  options.threads = 3;
  options.both_directions = false;
  Aligner aligner(options);
  qaz::NullReporter quiet;
  aligner.TrainLines(kSrc, kTrg, quiet);
  QAZ_EXPECT(!aligner.has_reverse());
  QAZ_EXPECT_THROW(aligner.ReverseLinks(0), std::logic_error);
  aligner.TrainReverse(quiet);
  QAZ_EXPECT(aligner.has_reverse());
  // The same reverse model as training both at once.
  options.both_directions = true;
  Aligner both(options);
  both.TrainLines(kSrc, kTrg, quiet);
  for (size_t p = 0; p < kSrc.size(); ++p) {
    QAZ_EXPECT_EQ(qaz::FormatLinks(aligner.ReverseLinks(p)),
                  qaz::FormatLinks(both.ReverseLinks(p)));
  }
}

QAZ_TEST(AlignerOutputsDoNotDependOnThreads) {
  // A synthetic corpus with repeated words and varied lengths.
  std::vector<std::string> src, trg;
  uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (int p = 0; p < 3000; ++p) {
    const int I = 1 + static_cast<int>(next() >> 16) % 9;
    std::string s, t;
    for (int i = 0; i < I; ++i) {
      const int w = static_cast<int>(next() >> 16) % 60;
      s += (i ? " s" : "s") + std::to_string(w);
      t += (i ? " t" : "t") + std::to_string(w % 40);
      if ((next() >> 20) % 4 == 0) t += " t" + std::to_string(w % 7);
    }
    src.push_back(s);
    trg.push_back(t);
  }
  std::vector<std::string> files;
  for (int threads : {1, 2, 3}) {
    for (bool concurrent : {false, true}) {
      if (threads == 1 && concurrent) continue;
      AlignerOptions options;
      options.iterations = 4;
      options.threads = threads;
      options.concurrent = concurrent;
      Aligner aligner(options);
      qaz::NullReporter quiet;
      aligner.TrainLines(src, trg, quiet);
      const std::string tag = std::to_string(threads) + (concurrent ? "c" : "s");
      const Aligner::Outputs out{
          {"links", qaz::testing::TempPath("gdfa" + tag)},
          {"forward", qaz::testing::TempPath("fwd" + tag)},
          {"reverse", qaz::testing::TempPath("rev" + tag)}};
      aligner.WriteLinks(out, qaz::ParseLinkMethod("grow-diag-final-and", 0.5),
                         quiet);
      const std::string post = qaz::testing::TempPath("post" + tag);
      aligner.WriteLinks({{"links", post}},
                         qaz::ParseLinkMethod("posterior", 0.3), quiet);
      std::ostringstream scores;
      for (double h : aligner.ScoreLines(src, trg, quiet)) scores << h << "\n";
      files.push_back(ReadAll(out[0].path) + "|" + ReadAll(out[1].path) + "|" +
                      ReadAll(out[2].path) + "|" + ReadAll(post) + "|" +
                      scores.str());
    }
  }
  QAZ_EXPECT(files[0].size() > 3000 * 4);
  for (size_t k = 1; k < files.size(); ++k) QAZ_EXPECT(files[k] == files[0]);
}

QAZ_TEST(AlignerOutputKindsAloneOrTogetherWriteTheSameLines) {
  AlignerOptions options;
  options.iterations = 3;
  options.threads = 2;
  Aligner aligner(options);
  qaz::NullReporter quiet;
  aligner.TrainLines(kSrc, kTrg, quiet);
  for (const char* name : {"grow-diag-final-and", "none", "posterior"}) {
    const LinkMethod method = qaz::ParseLinkMethod(name, 0.4);
    const std::string tag = name;
    // Together, asked for in another order than the table's: the lines of
    // a pair are shared between kinds, never carried to the next pair.
    RecordingReporter log;
    const Aligner::Outputs all{
        {"reverse", qaz::testing::TempPath("all.rev" + tag)},
        {"links", qaz::testing::TempPath("all.links" + tag)},
        {"forward", qaz::testing::TempPath("all.fwd" + tag)}};
    aligner.WriteLinks(all, method, log);
    QAZ_EXPECT_EQ(log.infos.size(), size_t{3});
    QAZ_EXPECT_EQ(log.infos[0], "storing word links into file: " + all[1].path);
    QAZ_EXPECT_EQ(log.infos[1], "storing forward links into file: " + all[2].path);
    QAZ_EXPECT_EQ(log.infos[2], "storing reverse links into file: " + all[0].path);
    for (const auto& one : all) {
      const std::string alone = one.path + ".alone";
      aligner.WriteLinks({{one.kind, alone}}, method, quiet);
      QAZ_EXPECT(ReadAll(alone) == ReadAll(one.path));
    }
    std::string expected;
    for (size_t p = 0; p < kSrc.size(); ++p) {
      expected += qaz::FormatLinks(aligner.PairLinks(p, method)) + "\n";
    }
    QAZ_EXPECT(ReadAll(all[1].path) == expected);
  }
  // A bad request is refused before any file is opened.
  const std::string first = qaz::testing::TempPath("refused.links");
  const std::string message = InvalidArgument([&] {
    aligner.WriteLinks({{"links", first}, {"scores", "x"}},
                       qaz::ParseLinkMethod("none", 0.5), quiet);
  });
  QAZ_EXPECT(message.find("unknown output kind 'scores'") != std::string::npos);
  QAZ_EXPECT(!std::ifstream(first).good());
}

QAZ_TEST(AlignerPosteriorMethodIsTheMeanOfBothDirections) {
  AlignerOptions options;
  options.iterations = 3;
  options.threads = 2;
  Aligner aligner(options);
  qaz::NullReporter quiet;
  aligner.TrainLines(kSrc, kTrg, quiet);
  int64_t I = 0, J = 0, I2 = 0, J2 = 0;
  int linked = 0;
  for (size_t p = 0; p < kSrc.size(); ++p) {
    const std::vector<double> f = aligner.Posteriors(kSrc[p], kTrg[p], &I, &J, quiet);
    // The reverse posteriors: the reverse model applied to the swapped pair,
    // transposed back.
    qaz::AppliedModel rev = qaz::ApplyModel(aligner.reverse(), {kTrg[p]},
                                            {kSrc[p]}, qaz::Tokenization{}, qaz::Parallel(1),
                                            quiet);
    std::vector<double> t, post;
    qaz::PairCells(*rev.model.trans, *rev.corpus).Gather(0, &t);
    I2 = rev.corpus->trg(0).size;
    J2 = rev.corpus->src(0).size - 1;
    qaz::ModelOf(qaz::ModelType::kModel2)
        .Posteriors(t.data(), rev.model.align.get(), J2 + 1, I2, &post);
    QAZ_EXPECT(I == I2 && J == J2);
    for (double threshold : {0.2, 0.5, 0.9}) {
      Links want;
      for (int64_t i = 0; i < I; ++i) {
        for (int64_t j = 0; j < J; ++j) {
          const double mean = (f[i * J + j] + post[(j + 1) * I + i]) / 2.0;
          if (mean >= threshold) want.push_back(qaz::Link{int32_t(i), int32_t(j)});
        }
      }
      const Links got =
          aligner.PairLinks(p, qaz::ParseLinkMethod("posterior", threshold));
      QAZ_EXPECT_EQ(qaz::FormatLinks(got), qaz::FormatLinks(want));
      linked += static_cast<int>(got.size());
    }
    // Each column of the forward posteriors sums to at most 1 (NULL takes
    // the rest).
    for (int64_t j = 0; j < J; ++j) {
      double col = 0.0;
      for (int64_t i = 0; i < I; ++i) col += f[i * J + j];
      QAZ_EXPECT(col <= 1.0 + 1e-12 && col > 0.0);
    }
  }
  QAZ_EXPECT(linked > 0);
}

QAZ_TEST(AppliedModelReadsUnknownEntriesAsOneOverT) {
  AlignerOptions options;
  options.iterations = 2;
  options.threads = 1;
  options.both_directions = false;
  Aligner aligner(options);
  qaz::NullReporter quiet;
  aligner.TrainLines({"a b", "a"}, {"x y", "x"}, quiet);
  // A pair the table holds: its trained value.
  const double t_ax = aligner.TranslationProb("a", "x");
  QAZ_EXPECT(t_ax > 0.5 && t_ax <= 1.0);
  // Target "w" is new: T = 2 known + 1.
  QAZ_EXPECT(aligner.TranslationProb("a", "w") == 1.0 / 3.0);
  // Source "q" is new, target known: T stays 2.
  QAZ_EXPECT(aligner.TranslationProb("q", "x") == 1.0 / 2.0);
  // Applied to a pair with two new target words, T = 4 for every entry the
  // table lacks; the held entries keep their values.
  qaz::AppliedModel applied = qaz::ApplyModel(
      aligner.forward(), {"a q"}, {"x v w"}, qaz::Tokenization{}, qaz::Parallel(1), quiet);
  std::vector<double> t;
  qaz::PairCells(*applied.model.trans, *applied.corpus).Gather(0, &t);
  // Rows NULL, a, q; columns x, v, w.
  QAZ_EXPECT(t[1 * 3 + 0] == t_ax);
  QAZ_EXPECT(t[1 * 3 + 1] == 0.25 && t[1 * 3 + 2] == 0.25);
  QAZ_EXPECT(t[2 * 3 + 0] == 0.25 && t[2 * 3 + 2] == 0.25);
  QAZ_EXPECT(t[0 * 3 + 1] == 0.25);
  // The score of a training pair is the training model's.
  const std::vector<double> h = aligner.ScoreLines({"a b"}, {"x y"}, quiet);
  const qaz::Model& m = aligner.forward().model;
  std::vector<double> tt;
  qaz::PairCells(*m.trans, *aligner.forward().corpus).Gather(0, &tt);
  QAZ_EXPECT_EQ(h[0], m.PairEntropy(tt.data(), 3, 2, true));
}

QAZ_TEST(AlignerSavesAndLoadsItsTables) {
  AlignerOptions options;
  options.iterations = 3;
  options.threads = 2;
  options.both_directions = false;
  Aligner aligner(options);
  qaz::NullReporter quiet;
  aligner.TrainLines(kSrc, kTrg, quiet);
  const std::string trans = qaz::testing::TempPath("t.txt");
  const std::string align = qaz::testing::TempPath("a.txt");
  aligner.Save(trans, &align, 0.001, int64_t{100}, "0.001", quiet);
  Aligner loaded(options);
  loaded.Load(trans, &align, quiet);
  QAZ_EXPECT_EQ(loaded.size(), int64_t{0});
  QAZ_EXPECT_THROW(loaded.TrainReverse(quiet), std::logic_error);
  // Saved again, the same records (ties may come in another order).
  const std::string trans2 = qaz::testing::TempPath("t2.txt");
  const std::string align2 = qaz::testing::TempPath("a2.txt");
  loaded.Save(trans2, &align2, 0.001, int64_t{100}, "0.001", quiet);
  std::vector<std::string> x = Split(ReadAll(trans)), y = Split(ReadAll(trans2));
  std::sort(x.begin(), x.end());
  std::sort(y.begin(), y.end());
  QAZ_EXPECT(!x.empty() && x == y);
  // Alignment cells under the threshold were not stored; the loaded model
  // reads them as the scoring command does (1/L), so the second file may
  // list more cells, but every stored one comes back as it was.
  x = Split(ReadAll(align));
  y = Split(ReadAll(align2));
  QAZ_EXPECT(!x.empty());
  for (const std::string& line : x) {
    QAZ_EXPECT(std::find(y.begin(), y.end(), line) != y.end());
  }
  // Probabilities were narrowed to 32-bit floats in the file.
  const double p = loaded.TranslationProb("chat", "cat");
  QAZ_EXPECT_EQ(p, qaz::Narrow(aligner.TranslationProb("chat", "cat")));
}

namespace {

// A corpus file pair split into shards at the pairs `cuts`, aligned as a
// sharded run does it, in one process: the words merged in shard order, each
// direction trained by walks over the shards, the links of each shard
// concatenated.  Returns the lines (by method, forward, reverse) and checks
// that the merged ids are those of one load of the whole corpus.
struct LinkTexts {
  std::string links, forward, reverse;
};

LinkTexts AlignInShards(const std::string& src_path,
                             const std::string& trg_path,
                             const std::vector<int64_t>& cuts, int64_t pairs,
                             const LinkMethod& method, int32_t iterations) {
  const std::string src_text = qaz::testing::ReadFile(src_path);
  const std::string trg_text = qaz::testing::ReadFile(trg_path);
  auto offset = [](const std::string& text, int64_t line) {
    size_t at = 0;
    for (int64_t k = 0; k < line; ++k) at = text.find('\n', at) + 1;
    return static_cast<int64_t>(at);
  };
  std::vector<std::shared_ptr<qaz::AlignerShard>> loaded;
  std::vector<int64_t> firsts = {0};
  firsts.insert(firsts.end(), cuts.begin(), cuts.end());
  for (size_t s = 0; s < firsts.size(); ++s) {
    const int64_t end = s + 1 < firsts.size() ? firsts[s + 1] : pairs;
    loaded.push_back(qaz::AlignerShard::Load(
        src_path, trg_path, offset(src_text, firsts[s]),
        offset(trg_text, firsts[s]), firsts[s], end - firsts[s], qaz::Tokenization{}, true));
  }
  // The one-machine ids: the whole corpus loaded, and exchanged.
  qaz::NullReporter quiet;
  Vocab whole[2];
  Corpus whole_corpus[2];
  whole_corpus[0] = qaz::LoadCorpus(&whole[0], src_path, trg_path, false, quiet);
  whole_corpus[1] = qaz::SwapSides(whole[0], whole_corpus[0], &whole[1]);

  std::vector<std::vector<qaz::ShardIds>> ids(loaded.size());
  Vocab merged[2];
  for (int d = 0; d < 2; ++d) {
    for (size_t s = 0; s < loaded.size(); ++s) {
      const Vocab& v = loaded[s]->vocab(d);
      qaz::ShardIds m;
      for (int32_t k = 0; k < v.src.size(); ++k) {
        m.src_map.push_back(merged[d].src.StrToId(v.src.IdToStr(k)));
      }
      for (int32_t k = 0; k < v.trg.size(); ++k) {
        m.trg_map.push_back(merged[d].trg.StrToId(v.trg.IdToStr(k)));
      }
      merged[d].max_len_src = std::max(merged[d].max_len_src, v.max_len_src);
      merged[d].max_len_trg = std::max(merged[d].max_len_trg, v.max_len_trg);
      ids[s].push_back(std::move(m));
    }
    QAZ_EXPECT(SameVocab(merged[d].src, whole[d].src));
    QAZ_EXPECT(SameVocab(merged[d].trg, whole[d].trg));
    QAZ_EXPECT_EQ(merged[d].max_len_src, whole[d].max_len_src);
    QAZ_EXPECT_EQ(merged[d].max_len_trg, whole[d].max_len_trg);
    for (auto& shard_ids : ids) {
      qaz::ShardIds& m = shard_ids[d];
      m.S = merged[d].src.size();
      m.T = merged[d].trg.size();
      m.A = merged[d].max_len_src;
      m.B = merged[d].max_len_trg;
    }
  }
  const qaz::Parallel parallel(2);
  std::vector<std::shared_ptr<qaz::AlignerShard>> shards;
  for (size_t s = 0; s < loaded.size(); ++s) {
    shards.push_back(loaded[s]->Index(ids[s], parallel));
  }
  for (int d = 0; d < 2; ++d) {
    // The shards' pairs, one after the other, are the whole corpus's.
    Corpus joined;
    for (const auto& shard : shards) {
      const Corpus& c = shard->tables(d).corpus();
      for (int64_t p = 0; p < c.size(); ++p) {
        joined.AddPair(c.src(p).ids, c.src(p).size, c.trg(p).ids, c.trg(p).size);
      }
    }
    QAZ_EXPECT(joined == whole_corpus[d]);

    std::vector<std::vector<uint64_t>> keys;
    std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes;
    for (const auto& shard : shards) {
      keys.push_back(shard->tables(d).Keys());
      shapes.push_back(shard->tables(d).Shapes());
    }
    qaz::ShardedDirection direction(d == 0 ? "forward" : "reverse", merged[d],
                                    pairs, keys, shapes, quiet);
    for (size_t s = 0; s < shards.size(); ++s) {
      shards[s]->tables(d).Attach(direction.tables().cell_map(s),
                                  direction.tables().block_offsets(s));
    }
    direction.Train(
        iterations,
        [&](bool entropy, bool expect, qaz::ModelType kind) {
          const std::vector<double> p = direction.tables().TransValues();
          const std::vector<double> a = direction.tables().AlignValues();
          std::vector<std::vector<double>> c(shards.size()), ac(shards.size());
          std::vector<qaz::ShardedTables::Part> parts(shards.size());
          qaz::SweepRequest request;
          request.entropy = entropy;
          request.entropy_model = qaz::ModelType::kModel2;
          request.expect = expect;
          request.expect_model = kind;
          for (size_t s = 0; s < shards.size(); ++s) {
            qaz::ShardTables& t = shards[s]->tables(d);
            t.TakeValues(p.data(), p.size(), a.data(), a.size());
            parts[s] = {t.Sweep(request, parallel, &c[s], &ac[s]), c[s].data(),
                        c[s].size(), ac[s].data(), ac[s].size()};
          }
          return direction.tables().Reduce(parts, expect,
                                           kind == qaz::ModelType::kModel2);
        },
        quiet);
    const std::vector<double> p = direction.tables().TransValues();
    const std::vector<double> a = direction.tables().AlignValues();
    for (const auto& shard : shards) {
      shard->tables(d).TakeValues(p.data(), p.size(), a.data(), a.size());
    }
  }
  LinkTexts out;
  for (const auto& shard : shards) {
    const std::vector<std::string> t =
        shard->Lines({"links", "forward", "reverse"}, method, parallel, quiet);
    out.links += t[0];
    out.forward += t[1];
    out.reverse += t[2];
  }
  return out;
}

}  // namespace

QAZ_TEST(ShardedAlignmentGivesTheLinksOfOneMachine) {
  // Words that first appear in the second half, on either side, and words
  // shared by both halves.
  std::vector<std::string> src, trg;
  uint32_t state = 777;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (int p = 0; p < 400; ++p) {
    const int I = 1 + static_cast<int>(next() >> 16) % 7;
    std::string s, t;
    for (int i = 0; i < I; ++i) {
      const int w = static_cast<int>(next() >> 16) % (p < 200 ? 30 : 50);
      s += (i ? " s" : "s") + std::to_string(w);
      t += (i ? " t" : "t") + std::to_string((w * 7) % 45);
      if ((next() >> 20) % 3 == 0) t += " u" + std::to_string(w % 5);
    }
    src.push_back(s);
    trg.push_back(t);
  }
  const std::string src_path = qaz::testing::WriteTemp("shard.src", Join(src));
  const std::string trg_path = qaz::testing::WriteTemp("shard.trg", Join(trg));
  for (const char* name : {"grow-diag-final-and", "posterior"}) {
    const LinkMethod method = qaz::ParseLinkMethod(name, 0.4);
    AlignerOptions options;
    options.iterations = 3;
    options.threads = 2;
    Aligner aligner(options);
    qaz::NullReporter quiet;
    aligner.TrainFiles(src_path, trg_path, quiet);
    const std::string tag = name;
    const Aligner::Outputs files{{"links", qaz::testing::TempPath("links" + tag)},
                                 {"forward", qaz::testing::TempPath("fwd" + tag)},
                                 {"reverse", qaz::testing::TempPath("rev" + tag)}};
    aligner.WriteLinks(files, method, quiet);
    const LinkTexts one = AlignInShards(src_path, trg_path, {}, 400, method, 3);
    QAZ_EXPECT(one.links == ReadAll(files[0].path));
    QAZ_EXPECT(one.forward == ReadAll(files[1].path));
    QAZ_EXPECT(one.reverse == ReadAll(files[2].path));
    // Two and three shards: the same ids (checked inside), the same bytes
    // from run to run, and as many lines.
    for (const std::vector<int64_t>& cuts : {std::vector<int64_t>{200},
                                             std::vector<int64_t>{150, 151}}) {
      const LinkTexts split = AlignInShards(src_path, trg_path, cuts, 400, method, 3);
      const LinkTexts again = AlignInShards(src_path, trg_path, cuts, 400, method, 3);
      QAZ_EXPECT(split.links == again.links && split.reverse == again.reverse);
      QAZ_EXPECT_EQ(Split(split.links).size(), size_t{400});
      QAZ_EXPECT_EQ(Split(split.reverse).size(), size_t{400});
    }
  }
}

QAZ_TEST(AlignerRefusesALimitWithoutRoomForTheReverseBeforeTraining) {
  // Whatever the limit, a run either trains both directions or is refused
  // before its first EM step; some limit fits the forward model alone.
  std::mt19937 rng(9);
  std::vector<std::string> src, trg;
  for (int p = 0; p < 3000; ++p) {
    std::string s, t;
    for (int k = 0; k < 12; ++k) s += "s" + std::to_string(rng() % 4000) + " ";
    for (int k = 0; k < 12; ++k) t += "t" + std::to_string(rng() % 4000) + " ";
    src.push_back(s.substr(0, s.size() - 1));
    trg.push_back(t.substr(0, t.size() - 1));
  }
  bool refused_for_reverse = false;
  for (int64_t extra = 2; extra <= 40; extra += 2) {
    qaz::AlignerOptions options;
    options.iterations = 1;
    options.threads = 1;
    options.memory_limit = qaz::ResidentBytes() + (extra << 20);
    qaz::testing::RecordingReporter log;
    qaz::Aligner aligner(options);
    auto e = qaz::testing::Thrown<qaz::MemoryError>([&] { aligner.TrainLines(src, trg, log); });
    if (!e) continue;
    for (const std::string& line : log.lines) QAZ_EXPECT(line.rfind("I: step:", 0) != 0);
    if (std::string(e->what()).find("the reverse model needs") == 0) refused_for_reverse = true;
  }
  QAZ_EXPECT(refused_for_reverse);
}
