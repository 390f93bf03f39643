#include "align/model.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "align/dense.h"
#include "align/readers.h"
#include "align/writers.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "testing/harness.h"

using qaz::testing::ReadFile;
using qaz::testing::TempPath;
using qaz::testing::WriteTemp;

namespace {

// Vocabulary NULL a b / x y z, one pair "a b" / "x y z".
struct Fixture {
  Fixture() {
    vocab = std::make_shared<qaz::Vocab>();
    for (const char* w : {"__NULL__", "a", "b"}) vocab->src.StrToId(w);
    for (const char* w : {"x", "y", "z"}) vocab->trg.StrToId(w);
    vocab->max_len_src = 3;
    vocab->max_len_trg = 3;
    auto c = std::make_shared<qaz::Corpus>();
    int32_t src[3] = {0, 1, 2}, trg[3] = {0, 1, 2};
    c->AddPair(src, 3, trg, 3);
    corpus = c;
    model.type = qaz::ModelType::kModel2;
    model.vocab = vocab;
    model.trans = qaz::TransTable::Build(3, 3, corpus, {}, 1.0 / 3);
    model.align = qaz::AlignTable::Build(3, 3, *corpus);
  }
  void Set(int32_t s, int32_t t, double p) {
    model.trans->cells()[model.trans->Find(s, t)].p = p;
  }
  std::shared_ptr<qaz::Vocab> vocab;
  std::shared_ptr<const qaz::Corpus> corpus;
  qaz::Model model;
};

std::string Trans(const qaz::Model& m, double threshold,
                  std::optional<int64_t> nbest) {
  qaz::WriteOptions options;
  options.threshold = threshold;
  options.nbest = nbest;
  std::string path = TempPath("t.txt");
  qaz::NullReporter quiet;
  m.WriteTransFile(path, options, "x", qaz::Parallel(2), quiet);
  return ReadFile(path);
}

}  // namespace

QAZ_TEST(TransWriterOrdersRowsAndAppliesNbestAndThreshold) {
  Fixture f;
  f.Set(1, 0, 0.5);
  f.Set(1, 1, 0.25);
  f.Set(1, 2, 0.25);
  // Descending p, ties in ascending target id, shortest round-trip forms.
  std::string all = Trans(f.model, 0.3, std::nullopt);
  QAZ_EXPECT_EQ(all,
                "__NULL__\tx\t0.3333333432674408\n__NULL__\ty\t0.3333333432674408\n"
                "__NULL__\tz\t0.3333333432674408\na\tx\t0.5\n"
                "b\tx\t0.3333333432674408\nb\ty\t0.3333333432674408\n"
                "b\tz\t0.3333333432674408\n");
  std::string top = Trans(f.model, 0.0, int64_t{2});
  QAZ_EXPECT(top.find("a\tx\t0.5\na\ty\t0.25\n") != std::string::npos);
  QAZ_EXPECT(top.find("a\tz") == std::string::npos);
  // A negative n-best drops from the end, as a slice does.
  std::string neg = Trans(f.model, 0.0, int64_t{-2});
  QAZ_EXPECT(neg.find("a\tx\t0.5\n") != std::string::npos);
  QAZ_EXPECT(neg.find("a\ty") == std::string::npos);
}

QAZ_TEST(TrainerVariantPrintsFixedPointAndCounts) {
  Fixture f;
  f.model.trans->cells()[f.model.trans->Find(2, 1)].c = 1.005;
  class Counts : public qaz::CountSource {
   public:
    explicit Counts(const qaz::TransTable& t) : t_(t) {}
    double TransCount(int32_t, int32_t, int64_t cell) const override {
      return cell < 0 ? 0.0 : t_.cells()[cell].c;
    }
    double AlignCount(int64_t, int64_t, int64_t, int64_t) const override {
      return 0.0;
    }

   private:
    const qaz::TransTable& t_;
  } counts(*f.model.trans);
  qaz::WriteOptions options;
  options.threshold = 0.0;
  options.trainer_variant = true;
  options.counts = &counts;
  std::string path = TempPath("tv.txt");
  qaz::NullReporter quiet;
  f.model.WriteTransFile(path, options, "0", qaz::Parallel(1), quiet);
  QAZ_EXPECT(ReadFile(path).find("b\ty\t0.33333334\t1.00\n") != std::string::npos);
}

QAZ_TEST(PairOutputsAreLoggedAndOpenedInTableOrder) {
  Fixture f;
  f.Set(1, 2, 0.9);  // a -> z
  f.Set(2, 0, 0.9);  // b -> x
  std::string s = TempPath("s.txt"), d = TempPath("d.txt");
  qaz::testing::RecordingReporter log;
  // Whatever the order of the requests, the score file comes first.
  f.model.WritePairOutputs({{"decoded", d}, {"scores", s}}, *f.corpus,
                           qaz::Parallel(2), log);
  QAZ_EXPECT_EQ(ReadFile(d), "1-2 2-0 3-1\n");
  QAZ_EXPECT_EQ(log.lines.size(), 2u);
  QAZ_EXPECT_EQ(log.lines[0],
                "I: calculating and storing alignment scores into file: " + s);
  QAZ_EXPECT_EQ(log.lines[1],
                "I: decoding and storing alignment into file: " + d);
  // The score line is the pair's entropy from its gathered values.
  std::vector<double> t;
  qaz::PairCells(*f.model.trans, *f.corpus).Gather(0, &t);
  QAZ_EXPECT_EQ(ReadFile(s),
                qaz::FormatRepr(f.model.PairEntropy(t.data(), 3, 3, true)) + "\n");
}

QAZ_TEST(PairOutputsWriteOnlyTheKindsAskedFor) {
  Fixture f;
  f.Set(1, 2, 0.9);
  f.Set(2, 0, 0.9);
  qaz::NullReporter quiet;
  const std::string both_s = TempPath("both.s"), both_d = TempPath("both.d");
  const std::string s = TempPath("only.s"), d = TempPath("only.d");
  // Model 2 (through its walk) and Model 1 (each pair gathered): one kind
  // alone gives the bytes it gives beside the other, and no other file.
  for (qaz::ModelType type : {qaz::ModelType::kModel2, qaz::ModelType::kModel1}) {
    f.model.type = type;
    f.model.WritePairOutputs({{"scores", both_s}, {"decoded", both_d}},
                             *f.corpus, qaz::Parallel(1), quiet);
    QAZ_EXPECT_EQ(ReadFile(both_d), "1-2 2-0 3-1\n");
    std::filesystem::remove(s);
    std::filesystem::remove(d);
    qaz::testing::RecordingReporter log;
    f.model.WritePairOutputs({{"decoded", d}}, *f.corpus, qaz::Parallel(2), log);
    QAZ_EXPECT_EQ(ReadFile(d), ReadFile(both_d));
    QAZ_EXPECT(!std::filesystem::exists(s));
    std::filesystem::remove(d);
    f.model.WritePairOutputs({{"scores", s}}, *f.corpus, qaz::Parallel(2), log);
    QAZ_EXPECT_EQ(ReadFile(s), ReadFile(both_s));
    QAZ_EXPECT(!std::filesystem::exists(d));
    QAZ_EXPECT_EQ(log.lines.size(), 2u);
  }
  // The decoded file reads no entropy, so the abstract model decodes; its
  // scores are refused.
  f.model.type = qaz::ModelType::kAbstract;
  std::filesystem::remove(d);
  f.model.WritePairOutputs({{"decoded", d}}, *f.corpus, qaz::Parallel(1), quiet);
  QAZ_EXPECT_EQ(ReadFile(d), ReadFile(both_d));
  QAZ_EXPECT_THROW(f.model.WritePairOutputs({{"scores", s}}, *f.corpus,
                                            qaz::Parallel(1), quiet),
                   qaz::NotImplementedError);
  // Without an alignment table there are no best links to decode.
  f.model.type = qaz::ModelType::kModel1;
  f.model.align.reset();
  QAZ_EXPECT_THROW(f.model.WritePairOutputs({{"decoded", d}}, *f.corpus,
                                            qaz::Parallel(1), quiet),
                   qaz::TypeError);
}

QAZ_TEST(PairOutputsRefuseBadNamesBeforeAnyFile) {
  Fixture f;
  const std::string s = TempPath("refused.s"), d = TempPath("refused.d");
  std::filesystem::remove(s);
  std::filesystem::remove(d);
  qaz::testing::RecordingReporter log;
  for (const qaz::OutputRequests& asked :
       {qaz::OutputRequests{{"scores", s}, {"links", d}},
        qaz::OutputRequests{{"decoded", d}, {"scores", s}, {"decoded", d}}}) {
    QAZ_EXPECT_THROW(f.model.WritePairOutputs(asked, *f.corpus, qaz::Parallel(1), log),
                     std::invalid_argument);
  }
  QAZ_EXPECT(!std::filesystem::exists(s));
  QAZ_EXPECT(!std::filesystem::exists(d));
  QAZ_EXPECT(log.lines.empty());
  // Nothing asked: nothing written, nothing logged.
  f.model.WritePairOutputs({}, *f.corpus, qaz::Parallel(1), log);
  QAZ_EXPECT(log.lines.empty());
}

QAZ_TEST(AbstractModelAndMissingTables) {
  Fixture f;
  f.model.type = qaz::ModelType::kAbstract;
  qaz::NullReporter quiet;
  QAZ_EXPECT_THROW(f.model.CorpusEntropy(*f.corpus, qaz::Parallel(1), quiet),
                   qaz::NotImplementedError);
  qaz::Model empty;
  QAZ_EXPECT_THROW(empty.Trans(), qaz::TypeError);
  QAZ_EXPECT_THROW(empty.CorpusEntropy(qaz::Corpus(), qaz::Parallel(1), quiet),
                   qaz::ZeroDivisionError);
}

QAZ_TEST(ReadersNameTheFileAndLine) {
  qaz::NullReporter quiet;
  qaz::Vocab v;
  std::string t = WriteTemp("bad.t", "a\tx\t0.5\nb\ty\tnope\n");
  bool named = false;
  try {
    qaz::ReadTransFile(t, &v, quiet);
  } catch (const std::invalid_argument& e) {
    named = std::string(e.what()) == t + ":2: could not convert string to float: 'nope'";
  }
  QAZ_EXPECT(named);
  std::string a = WriteTemp("bad.a", "1\t1\t1\t0\t0.5\n1\tx\t1\t0\t0.5\n");
  named = false;
  try {
    qaz::ReadAlignFile(a, quiet);
  } catch (const std::invalid_argument& e) {
    named = std::string(e.what()).find(a + ":2:") == 0;
  }
  QAZ_EXPECT(named);
  // A probability must be a finite number >= 0; -0 and 0 are.
  for (const char* value : {"nan", "inf", "-inf", "-0.5", "-1e-300"}) {
    std::string bad_t = WriteTemp("bad-p.t", std::string("a\tx\t0\nb\ty\t") + value + "\n");
    named = false;
    try {
      qaz::ReadTransFile(bad_t, &v, quiet);
    } catch (const std::invalid_argument& e) {
      named = std::string(e.what()) == bad_t + ":2: '" + value +
                                           "' is not a finite probability (a number >= 0)";
    }
    QAZ_EXPECT(named);
    std::string bad_a = WriteTemp("bad-p.a", std::string("1\t1\t1\t0\t-0.0\n1\t1\t1\t1\t") +
                                                 value + "\n");
    named = false;
    try {
      qaz::ReadAlignFile(bad_a, quiet);
    } catch (const std::invalid_argument& e) {
      named = std::string(e.what()).find(bad_a + ":2: '") == 0;
    }
    QAZ_EXPECT(named);
  }
  // Lines of other field counts are skipped; six fields read like five.
  std::string ok = WriteTemp("ok.a", "junk\n2\t3\t1\t0\t0.25\t7.00\n");
  auto entries = qaz::ReadAlignFile(ok, quiet);
  QAZ_EXPECT(entries.size() == 1 && entries[0].I == 2 && entries[0].p == 0.25);
}

QAZ_TEST(DenseFormsRoundTrip) {
  Fixture f;
  f.Set(1, 2, 0.9);
  const auto& t = *f.model.trans;
  std::vector<double> dense(static_cast<size_t>(t.S()) * t.T());
  qaz::DenseTrans(t, false, dense.data());
  auto back = qaz::TransFromDense(dense.data(), t.S(), t.T());
  bool same = true;
  for (int32_t s = 0; s < t.S(); ++s) {
    for (int32_t x = 0; x < t.T(); ++x) same = same && back->Get(s, x) == t.Get(s, x);
  }
  QAZ_EXPECT(same);
  const auto& a = *f.model.align;
  a.values(*a.Find(2, 3));
  const_cast<qaz::AlignTable&>(a).values(*a.Find(2, 3))[1] = 0.5;
  const int64_t A = a.A(), B = a.B();
  std::vector<double> ad(static_cast<size_t>((A - 1) * B * B * A));
  qaz::DenseAlign(a, false, ad.data());
  auto aback = qaz::AlignFromDense(ad.data(), A - 1, B, B, A);
  QAZ_EXPECT_EQ(aback->Get(1, 2, 0, 1), 0.5);
  QAZ_EXPECT_EQ(aback->Get(0, 0, 0, 0), 0.5);  // an absent shape reads uniform
  QAZ_EXPECT_THROW(qaz::CheckDenseSize(1e12, "x"), std::length_error);
}

QAZ_TEST(StoredTablesOfTheCorpusLoadInPlaceAsARelayoutWould) {
  // Entries naming cells of the table: set in place, last one winning,
  // counts dropped, the index kept; the same values as a relayout.
  Fixture f;
  f.model.trans->cells()[f.model.trans->Find(1, 1)].c = 3.0;
  const std::vector<qaz::TransEntry> entries = {{1, 2, 0.5}, {2, 0, 0.25}, {1, 2, 0.75}};
  auto relaid = qaz::TransTable::Relayout(*f.model.trans, f.corpus, entries);
  const qaz::TransTable* before = f.model.trans.get();
  QAZ_EXPECT(f.model.trans->AssignInPlace(entries));
  QAZ_EXPECT(f.model.trans.get() == before && f.model.trans->has_cell_index());
  bool same = true;
  for (int32_t s = 0; s < 3; ++s) {
    for (int32_t t = 0; t < 3; ++t) {
      same = same && f.model.trans->Get(s, t) == relaid->Get(s, t) &&
             f.model.trans->Count(s, t) == 0.0;
    }
  }
  QAZ_EXPECT(same);
  QAZ_EXPECT_EQ(f.model.trans->Get(1, 2), 0.75);
  // An entry outside the table's cells (or ids) changes nothing.
  qaz::TransTable sparse(3, 3);
  sparse.AppendRow(0, 0.5, {{1, 0.25}});
  sparse.AppendRow(1, 0.5, {});
  sparse.AppendRow(2, 0.5, {});
  QAZ_EXPECT(!sparse.AssignInPlace({{0, 1, 0.9}, {1, 1, 0.125}}));
  QAZ_EXPECT(!sparse.AssignInPlace({{0, 1, 0.9}, {0, 3, 0.125}}));
  QAZ_EXPECT_EQ(sparse.Get(0, 1), 0.25);
  // Through the model: a file of the corpus's pairs keeps the table object.
  std::string path = WriteTemp("in-place.t", "a\tz\t0.5\nb\tx\t0.25\n");
  qaz::NullReporter quiet;
  f.model.LoadTransFile(path, qaz::Parallel(1), quiet);
  QAZ_EXPECT(f.model.trans.get() == before);
  QAZ_EXPECT_EQ(f.model.trans->Get(1, 2), 0.5);
  QAZ_EXPECT_EQ(f.model.trans->Get(1, 1), 1.0 / 3);
}

QAZ_TEST(StoredAlignmentShapesTheCorpusLacksAreSkipped) {
  // The table holds the corpus's shapes only; lines of other shapes (here
  // 1000 x 1000, which would take 24 MB) add nothing.
  Fixture f;
  const size_t blocks = f.model.align->blocks().size();
  const size_t bytes = f.model.align->MemoryBytes();
  std::string path = WriteTemp("shapes.a", "2\t3\t1\t1\t0.75\n1000\t1000\t1\t0\t0.5\n");
  qaz::NullReporter quiet;
  f.model.LoadAlignFile(path, quiet);
  QAZ_EXPECT_EQ(f.model.align->blocks().size(), blocks);
  QAZ_EXPECT_EQ(f.model.align->MemoryBytes(), bytes);
  QAZ_EXPECT(f.model.align->Find(999, 1000) == nullptr);
  QAZ_EXPECT_EQ(f.model.align->values(*f.model.align->Find(2, 3))[1], 0.75);
}
