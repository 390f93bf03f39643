// Unit tests of the engine, without the interpreter: number forms, parsing,
// the string enumerator, corpus loading and one EM step checked by hand.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/em.h"
#include "align/trans_table.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "common/text.h"
#include "common/string_enumerator.h"

namespace {

int failures = 0;

#define EXPECT(cond)                                                  \
  do {                                                                \
    if (!(cond)) {                                                    \
      std::fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, \
                   #cond);                                            \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

void TestRepr() {
  struct Case {
    double x;
    const char* text;
  } cases[] = {{0.25, "0.25"},
               {1.0, "1.0"},
               {0.1, "0.1"},
               {1e-05, "1e-05"},
               {1e16, "1e+16"},
               {1e15, "1000000000000000.0"},
               {0.0001, "0.0001"},
               {-2.5, "-2.5"},
               {13.815510557964274, "13.815510557964274"},
               {qaz::Narrow(0.1), "0.10000000149011612"},
               {qaz::Narrow(1e-05), "9.999999747378752e-06"},
               {1.5e300, "1.5e+300"},
               {-0.0, "-0.0"},
               {INFINITY, "inf"},
               {NAN, "nan"}};
  for (const Case& c : cases) EXPECT(qaz::FormatRepr(c.x) == c.text);
  std::string fixed;
  qaz::AppendFixed(0.125, 2, &fixed);  // ties go to even on the exact value
  EXPECT(fixed == "0.12");
  fixed.clear();
  qaz::AppendFixed(qaz::Narrow(0.1), 8, &fixed);
  EXPECT(fixed == "0.10000000");
}

void TestParse() {
  double v;
  EXPECT(qaz::ParseFloat(" 1_000.5 ", &v) && v == 1000.5);
  EXPECT(qaz::ParseFloat("-Infinity", &v) && std::isinf(v) && v < 0);
  EXPECT(qaz::ParseFloat("1e400", &v) && std::isinf(v));
  EXPECT(qaz::ParseFloat(".5", &v) && v == 0.5);
  EXPECT(!qaz::ParseFloat("0x1p3", &v));
  EXPECT(!qaz::ParseFloat("1__0", &v));
  EXPECT(!qaz::ParseFloat("", &v));
  int64_t n;
  EXPECT(qaz::ParseInt(" +0_7 ", &n) && n == 7);
  EXPECT(!qaz::ParseInt("1.0", &n));
  EXPECT(!qaz::ParseInt("99999999999999999999", &n));
  EXPECT(qaz::StripSpace("\xe3\x80\x80 a\t\n") == "a");
}

void TestEnumerator() {
  qaz::StringEnumerator e;
  EXPECT(e.StrToId("a") == 0 && e.StrToId("") == 1 && e.StrToId("a") == 0);
  for (int k = 0; k < 100000; ++k) e.StrToId(std::to_string(k));
  EXPECT(e.size() == 100002);
  EXPECT(e.Find("99999") == 100001 && e.Find("nope") == -1);
  EXPECT(e.IdToStr(2) == "0");
  bool threw = false;
  try {
    e.IdToStr(100002);
  } catch (const std::out_of_range&) {
    threw = true;
  }
  EXPECT(threw);
}

std::string Write(const std::string& name, const std::string& text) {
  std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR")
                                                       : "/tmp") +
                     "/qaz_engine_test_" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

void TestCorpus() {
  qaz::NullReporter quiet;
  qaz::Vocab vocab;
  std::string src = Write("c.src", "a  b\r\n\rx\t\nlast");
  std::string trg = Write("c.trg", "y\n\nz\n");
  qaz::Corpus c = qaz::LoadCorpus(&vocab, src, trg, false, quiet);
  EXPECT(c.size() == 3);
  // "a  b" -> NULL a "" b; "\rx\t" -> NULL "x\t"; "last" -> NULL last
  EXPECT(c.src(0).size == 4 && c.src(0)[2] == vocab.src.Find(""));
  EXPECT(vocab.src.IdToStr(c.src(1)[1]) == "x\t");
  EXPECT(c.trg(1).size == 1 && vocab.trg.IdToStr(c.trg(1)[0]).empty());
  EXPECT(vocab.max_len_src == 4 && vocab.max_len_trg == 1);

  qaz::Vocab chars;
  std::string s2 = Write("d.src", "ab c\n\n");
  std::string t2 = Write("d.trg", "\xc3\xa9t\nx\n");
  qaz::Corpus d = qaz::LoadCorpus(&chars, s2, t2, true, quiet);
  EXPECT(d.src(0).size == 5 && d.src(1).size == 1);
  EXPECT(d.trg(0).size == 2 && chars.trg.IdToStr(d.trg(0)[0]) == "\xc3\xa9");

  std::string bad = Write("e.src", "ok\nbad \xff byte\n");
  bool threw = false;
  try {
    qaz::LoadCorpus(&chars, bad, bad, false, quiet);
  } catch (const qaz::DecodeError& e) {
    threw = e.reason().find("line 2") != std::string::npos;
  }
  EXPECT(threw);
  threw = false;
  try {
    qaz::LoadCorpus(&chars, "/nonexistent/qaz", bad, false, quiet);
  } catch (const qaz::IoError& e) {
    threw = e.path() == "/nonexistent/qaz";
  }
  EXPECT(threw);
}

// Source lines "a" and "a b", target lines "x" and "x y": after one Model 1
// iteration the rows of NULL and a are [5/7, 2/7], the row of b [1/2, 1/2].
void TestModel1Step() {
  qaz::NullReporter quiet;
  qaz::Vocab vocab;
  std::string src = Write("m.src", "a\na b\n");
  std::string trg = Write("m.trg", "x\nx y\n");
  auto corpus = std::make_shared<const qaz::Corpus>(
      qaz::LoadCorpus(&vocab, src, trg, false, quiet));
  auto table = qaz::TransTable::Build(3, 2, corpus, {}, 0.5);
  qaz::Model1ExpectStep(table.get(), *corpus, quiet);
  EXPECT(std::fabs(table->Count(0, 0) - 5.0 / 6) < 1e-15);
  EXPECT(std::fabs(table->Count(2, 1) - 1.0 / 3) < 1e-15);
  table->Normalize();
  EXPECT(std::fabs(table->Get(1, 0) - 5.0 / 7) < 1e-15);
  EXPECT(std::fabs(table->Get(2, 1) - 0.5) < 1e-15);
  // The pair (NULL a, x) then has entropy -ln(5/7).
  double t[2] = {table->Get(0, 0), table->Get(1, 0)};
  EXPECT(std::fabs(qaz::Model1PairEntropy(t, 2, 1, true) -
                   0.3364722366212129) < 1e-15);
}

// One pair "x" / "y": one Model 2 iteration gives a(. | 0, 1, 1) = [0.5, 0.5]
// and counts 0.5 each.
void TestModel2Step() {
  qaz::NullReporter quiet;
  qaz::Vocab vocab;
  std::string src = Write("n.src", "x\n");
  std::string trg = Write("n.trg", "y\n");
  auto corpus = std::make_shared<const qaz::Corpus>(
      qaz::LoadCorpus(&vocab, src, trg, false, quiet));
  auto table = qaz::TransTable::Build(2, 1, corpus, {}, 1.0);
  auto align = qaz::AlignTable::Build(2, 1, *corpus);
  qaz::Model2ExpectStep(table.get(), align.get(), *corpus, quiet);
  const qaz::AlignTable::Block* b = align->Find(1, 1);
  EXPECT(b != nullptr && align->counts(*b)[0] == 0.5 &&
         align->counts(*b)[1] == 0.5);
  align->Normalize();
  table->Normalize();
  EXPECT(align->Get(0, 0, 0, 1) == 0.5 && table->Get(1, 0) == 1.0);
}

}  // namespace

int main() {
  TestRepr();
  TestParse();
  TestEnumerator();
  TestCorpus();
  TestModel1Step();
  TestModel2Step();
  if (failures > 0) {
    std::fprintf(stderr, "%d failed\n", failures);
    return 1;
  }
  std::printf("engine tests passed\n");
  return 0;
}
