#include "align/corpus.h"

#include <string>

#include "common/errors.h"
#include "common/text.h"
#include "testing/harness.h"

using qaz::testing::WriteTemp;

QAZ_TEST(CorpusSplitsAtSingleSpacesAndStripsLineEnds) {
  qaz::NullReporter quiet;
  qaz::Vocab vocab;
  std::string src = WriteTemp("c.src", "a  b\r\n\rx\t\nlast");
  std::string trg = WriteTemp("c.trg", "y\n\nz\n");
  qaz::Corpus c = qaz::LoadCorpus(&vocab, src, trg, false, quiet);
  QAZ_EXPECT_EQ(c.size(), 3);
  // "a  b" -> NULL a "" b; "\rx\t" -> NULL "x\t"; "last" -> NULL last
  QAZ_EXPECT(c.src(0).size == 4 && c.src(0)[2] == vocab.src.Find(""));
  QAZ_EXPECT(vocab.src.IdToStr(c.src(1)[1]) == "x\t");
  QAZ_EXPECT(c.trg(1).size == 1 && vocab.trg.IdToStr(c.trg(1)[0]).empty());
  QAZ_EXPECT(vocab.max_len_src == 4 && vocab.max_len_trg == 1);
  QAZ_EXPECT_EQ(c.Cells(), 4 * 1 + 2 * 1 + 2 * 1);
}

QAZ_TEST(CorpusCharacterModeByCodePoint) {
  qaz::NullReporter quiet;
  qaz::Vocab chars;
  std::string s2 = WriteTemp("d.src", "ab c\n\n");
  std::string t2 = WriteTemp("d.trg", "\xc3\xa9t\nx\n");
  qaz::Corpus d = qaz::LoadCorpus(&chars, s2, t2, true, quiet);
  QAZ_EXPECT(d.src(0).size == 5 && d.src(1).size == 1);
  QAZ_EXPECT(d.trg(0).size == 2 && chars.trg.IdToStr(d.trg(0)[0]) == "\xc3\xa9");
}

QAZ_TEST(CorpusErrorsNameTheFileAndLine) {
  qaz::NullReporter quiet;
  qaz::Vocab v;
  std::string bad = WriteTemp("e.src", "ok\nbad \xff byte\n");
  bool named = false;
  try {
    qaz::LoadCorpus(&v, bad, bad, false, quiet);
  } catch (const qaz::DecodeError& e) {
    named = e.reason().find("line 2") != std::string::npos &&
            e.reason().find(bad) != std::string::npos;
  }
  QAZ_EXPECT(named);
  named = false;
  try {
    qaz::LoadCorpus(&v, "/nonexistent/qaz", bad, false, quiet);
  } catch (const qaz::IoError& e) {
    named = e.path() == "/nonexistent/qaz";
  }
  QAZ_EXPECT(named);
}

QAZ_TEST(CorpusOfUnequalFilesWarnsWithBothCounts) {
  qaz::testing::RecordingReporter log;
  qaz::Vocab v;
  std::string src = WriteTemp("u.src", "a\nb\nc\n");
  std::string trg = WriteTemp("u.trg", "x\n");
  qaz::Corpus c = qaz::LoadCorpus(&v, src, trg, false, log);
  QAZ_EXPECT_EQ(c.size(), 1);
  QAZ_EXPECT_EQ(log.lines.size(), 1u);
  QAZ_EXPECT(log.lines[0].find("has 3 lines") != std::string::npos &&
             log.lines[0].find("has 1;") != std::string::npos);
}

QAZ_TEST(CorpusSplitsAtWhiteSpaceRunsAndFoldsCase) {
  qaz::NullReporter quiet;
  qaz::Vocab vocab;
  qaz::Tokenization rules;
  rules.runs = true;
  rules.lowercase = true;
  // Tabs, no-break and ideographic spaces separate; an empty or blank line
  // has no token; case folds letter by letter (Latin, Greek, Cyrillic).
  const qaz::Corpus c = qaz::CorpusFromLines(
      &vocab, {"  Le\tCHAT\xC2\xA0\xC3\x89T\xC3\x89\xE3\x80\x80", "", " \t "},
      {"\xCE\x9A\xCE\x91\xCE\xA3 \xD0\x96\xD0\x81", "x", "y"}, rules, quiet);
  QAZ_EXPECT_EQ(c.src(0).size, 4);  // NULL le chat été
  QAZ_EXPECT_EQ(vocab.src.IdToStr(c.src(0)[1]), "le");
  QAZ_EXPECT_EQ(vocab.src.IdToStr(c.src(0)[3]), "\xC3\xA9t\xC3\xA9");
  QAZ_EXPECT_EQ(vocab.trg.IdToStr(c.trg(0)[0]), "\xCE\xBA\xCE\xB1\xCF\x83");
  QAZ_EXPECT_EQ(vocab.trg.IdToStr(c.trg(0)[1]), "\xD0\xB6\xD1\x91");
  QAZ_EXPECT(c.src(1).size == 1 && c.src(2).size == 1);
  QAZ_EXPECT(qaz::LowerCase(0x130) == 'i' && qaz::LowerCase(0x178) == 0xFF &&
             qaz::LowerCase(0x17D) == 0x17E && qaz::LowerCase(0xD7) == 0xD7 &&
             qaz::LowerCase(0x3A2) == 0x3A2 && qaz::LowerCase(0x4E2D) == 0x4E2D);
}
