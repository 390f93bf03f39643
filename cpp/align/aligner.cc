#include "align/aligner.h"


#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "align/models/factory.h"
#include "align/sweep.h"
#include "align/trainer.h"
#include "align/writers.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "common/line_reader.h"
#include "common/memory.h"

namespace qaz {

namespace {

constexpr int64_t kPairsPerChunk = 1024;

// Refuses, before `held` trains, a direction `next` to be trained after it
// that cannot fit beside it under `limit` (-1: none): its table holds at
// least the co-occurring word pairs `held` holds, without a cell index,
// and an alignment table of the same shapes turned round.
void CheckRoomFor(const DirectionModel& next, const Model& held, int64_t limit) {
  if (limit <= 0) return;
  // The forward model's training adds its counts kept aside and its walks'
  // buffers; the reverse table's set-up its rows, per-pair buffers, the
  // largest pair's cells and room for threads and writers.
  int64_t largest = 0;
  for (int64_t p = 0; p < next.corpus->size(); ++p) {
    largest = std::max<int64_t>(
        largest, static_cast<int64_t>(next.corpus->src(p).size) * next.corpus->trg(p).size);
  }
  const int64_t pairs = held.Trans().nnz();
  const int64_t need = pairs * 20 + (held.Trans().keeps_counts_aside() ? pairs * 8 : 0) +
                       2 * static_cast<int64_t>(held.Align().MemoryBytes()) +
                       static_cast<int64_t>(next.vocab->src.size()) * 18 +
                       next.corpus->size() * 72 + largest * 12 + (6 << 20);
  const int64_t resident = ResidentBytes();
  if (resident + need > limit) {
    throw MemoryError("the reverse model needs about " + FormatBytes(need) +
                      " beside the " + FormatBytes(resident) +
                      " held with the forward one, more than the memory limit of " +
                      FormatBytes(limit) + "; nothing was trained");
  }
}

JointOptions JointOptionsOf(const AlignerOptions& options) {
  JointOptions out;
  out.agreement = options.agreement;
  out.p0 = options.p0;
  return out;
}

// Chunks of pairs handed out at a time: a few per thread.
int64_t WaveSize(const Parallel& parallel) {
  return static_cast<int64_t>(parallel.threads()) * 4;
}

// Thrown into a direction's training when the other one failed.
struct Cancelled : std::exception {
  const char* what() const noexcept override { return "cancelled"; }
};

// The reporter of one of two directions trained at the same time: its
// lines carry the direction's name, only one of the two shows progress, and
// both stop at their next poll once `stop` is set.
class DirectionReporter : public Reporter {
 public:
  DirectionReporter(Reporter& base, std::mutex* mu, std::string prefix,
                    bool progress, const std::atomic<bool>* stop)
      : base_(base), mu_(mu), prefix_(std::move(prefix)),
        progress_(progress), stop_(stop) {}
  void Info(const std::string& message) override {
    std::lock_guard<std::mutex> lock(*mu_);
    base_.Info(prefix_ + message);
  }
  void Warning(const std::string& message) override {
    std::lock_guard<std::mutex> lock(*mu_);
    base_.Warning(prefix_ + message);
  }
  std::unique_ptr<Progress> StartProgress(const std::string& label,
                                          int64_t total) override {
    if (!progress_) return nullptr;
    return base_.StartProgress(label, total);
  }
  void Poll() override {
    if (stop_->load()) throw Cancelled();
    // Only the caller's own thread may take an interrupt.
    if (progress_) base_.Poll();
  }

 private:
  Reporter& base_;
  std::mutex* mu_;
  std::string prefix_;
  bool progress_;
  const std::atomic<bool>* stop_;
};

// Buffers of one task's pairs.
struct PairScratch {
  std::vector<double> t, post, fwd, rev;
  std::vector<int32_t> best;
  HmmScratch hmm;
};

// A direction's translation values of each pair of its corpus: through the
// table's cells (PairCells) or, for a reverse table trained in agreement
// without a cell index, through the forward table's (AgreementCells).
class PairValues {
 public:
  PairValues(const TransTable& table, const Corpus& corpus)
      : table_(table), corpus_(corpus), cells_(table, corpus) {}
  void ThroughForward(const AgreementCells* pairing, const TransTable* fwd,
                      const Corpus* fwd_corpus) {
    pairing_ = pairing;
    fwd_ = fwd;
    fwd_corpus_ = fwd_corpus;
  }
  void Gather(int64_t p, std::vector<double>* out) const {
    if (pairing_ != nullptr) {
      pairing_->GatherReverse(*fwd_, *fwd_corpus_, table_, corpus_, p, out);
    } else {
      cells_.Gather(p, out);
    }
  }

 private:
  const TransTable& table_;
  const Corpus& corpus_;
  PairCells cells_;
  const AgreementCells* pairing_ = nullptr;
  const TransTable* fwd_ = nullptr;
  const Corpus* fwd_corpus_ = nullptr;
};

// Viterbi links and posteriors of the pairs of one corpus (forward) and of
// the same corpus with its sides exchanged (reverse, optional), in
// source-target orientation.
class PairLinker {
 public:
  // `fwd_hmm`, `rev_hmm`: the transitions of an HMM direction, else null.
  // `through_forward`: the pairing through which the reverse table's cells
  // are read (a reverse table without a cell index of its own).
  PairLinker(const Model& fwd, const Corpus& fwd_corpus, const Model* rev,
             const Corpus* rev_corpus, const HmmParams* fwd_hmm = nullptr,
             const HmmParams* rev_hmm = nullptr,
             const AgreementCells* through_forward = nullptr)
      : fwd_(fwd), fwd_corpus_(fwd_corpus), fwd_cells_(fwd.Trans(), fwd_corpus),
        rev_(rev), rev_corpus_(rev_corpus), fwd_hmm_(fwd_hmm), rev_hmm_(rev_hmm) {
    fwd.Align();
    if (rev != nullptr) {
      rev_cells_ = std::make_unique<PairValues>(rev->Trans(), *rev_corpus);
      if (through_forward != nullptr &&
          through_forward->Reaches(fwd.Trans(), fwd_corpus, rev->Trans())) {
        rev_cells_->ThroughForward(through_forward, &fwd.Trans(), &fwd_corpus);
      }
      rev->Align();
    }
  }

  void Forward(int64_t p, PairScratch* s, Links* out) const {
    Viterbi(fwd_, fwd_hmm_, fwd_cells_, fwd_corpus_, p, false, s, out);
  }
  void Reverse(int64_t p, PairScratch* s, Links* out) const {
    Viterbi(*rev_, rev_hmm_, *rev_cells_, *rev_corpus_, p, true, s, out);
  }
  // The forward posteriors of pair p's real words, I x J row-major.
  void ForwardPosteriors(int64_t p, PairScratch* s,
                         std::vector<double>* out) const {
    RealPosteriors(fwd_, fwd_hmm_, fwd_cells_, fwd_corpus_, p, false, s, out);
  }
  void Combined(int64_t p, const LinkMethod& method, PairScratch* s,
                Links* out) const {
    if (method.kind == LinkMethod::kForward) {
      Forward(p, s, out);
      return;
    }
    if (method.kind == LinkMethod::kPosterior) {
      RealPosteriors(fwd_, fwd_hmm_, fwd_cells_, fwd_corpus_, p, false, s, &s->fwd);
      RealPosteriors(*rev_, rev_hmm_, *rev_cells_, *rev_corpus_, p, true, s, &s->rev);
      const int64_t I = fwd_corpus_.src(p).size - 1, J = fwd_corpus_.trg(p).size;
      *out = PosteriorLinks(s->fwd.data(), s->rev.data(), std::max<int64_t>(I, 0),
                            J, method.threshold, method.product);
      return;
    }
    Links f, r;
    Forward(p, s, &f);
    Reverse(p, s, &r);
    *out = Symmetrize(f, r, method.heuristic);
  }

 private:
  static void Viterbi(const Model& model, const HmmParams* hmm,
                      const PairValues& cells, const Corpus& corpus, int64_t p,
                      bool swap, PairScratch* s, Links* out) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    cells.Gather(p, &s->t);
    if (hmm != nullptr) {
      s->best.resize(static_cast<size_t>(m));
      HmmViterbi(*hmm, s->t.data(), L, m, s->best.data(), &s->hmm);
    } else {
      ModelOf(model.type).Viterbi(s->t.data(), model.align.get(), L, m,
                                  &s->best);
    }
    out->clear();
    for (int32_t j = 0; j < m; ++j) {
      const int32_t i = s->best[j];
      if (i == 0) continue;  // NULL
      out->push_back(swap ? Link{j, i - 1} : Link{i - 1, j});
    }
    Normalize(out);
  }

  // Pair p's posteriors without the NULL row, in source-target
  // orientation: for the reverse model the pair's source words are the
  // forward pair's target words, so the matrix is transposed.
  static void RealPosteriors(const Model& model, const HmmParams* hmm,
                             const PairValues& cells, const Corpus& corpus,
                             int64_t p, bool swap, PairScratch* s,
                             std::vector<double>* out) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    cells.Gather(p, &s->t);
    if (hmm != nullptr) {
      s->post.resize(static_cast<size_t>(L) * m);
      HmmPosteriors(*hmm, s->t.data(), L, m, s->post.data(), nullptr, &s->hmm);
    } else {
      ModelOf(model.type).Posteriors(s->t.data(), model.align.get(), L, m,
                                     &s->post);
    }
    const int64_t words = L - 1;
    out->resize(static_cast<size_t>(std::max<int64_t>(words, 0) * m));
    for (int64_t i = 0; i < words; ++i) {
      for (int32_t j = 0; j < m; ++j) {
        const double v = s->post[(i + 1) * m + j];
        if (swap) {
          (*out)[static_cast<size_t>(j * words + i)] = v;
        } else {
          (*out)[static_cast<size_t>(i * m + j)] = v;
        }
      }
    }
  }

  const Model& fwd_;
  const Corpus& fwd_corpus_;
  PairValues fwd_cells_;
  const Model* rev_;
  const Corpus* rev_corpus_;
  std::unique_ptr<PairValues> rev_cells_;
  const HmmParams* fwd_hmm_;
  const HmmParams* rev_hmm_;
};

// The linker of a trained forward direction and, when given, the reverse.
PairLinker LinkerOf(const DirectionModel& f, const DirectionModel* r) {
  return PairLinker(f.model, *f.corpus, r ? &r->model : nullptr,
                    r ? r->corpus.get() : nullptr, f.hmm.get(),
                    r ? r->hmm.get() : nullptr,
                    r ? r->through_forward.get() : nullptr);
}

// A link file: a path, or "-" for standard output (left open).
std::unique_ptr<OutputFile> OpenLinkFile(const std::string& path) {
  if (path == "-") return OutputFile::StandardOutput();
  return std::make_unique<OutputFile>(path);
}

// Copies the blocks of `from` that `to` also has (every shape of `to` was
// built uniform for its corpus).
void CopyShapes(const AlignTable& from, AlignTable* to) {
  for (const AlignTable::Block& b : to->blocks()) {
    const AlignTable::Block* src = from.Find(b.I, b.J);
    if (src == nullptr) continue;
    const size_t cells = static_cast<size_t>(b.J) * (b.I + 1);
    std::copy(from.values(*src), from.values(*src) + cells, to->values(b));
    std::copy(from.padding(*src), from.padding(*src) + b.J, to->padding(b));
  }
}

// Pair p's links as the output kinds read them, each worked out once.
class LinkerView : public PairView {
 public:
  LinkerView(const PairLinker& linker, const LinkMethod& method)
      : linker_(linker), method_(method) {}

  void Start(int64_t p) {
    p_ = p;
    have_ = 0;
  }
  const Links& Forward() override {
    if (!(have_ & OutputKind::kForward)) {
      linker_.Forward(p_, &s_, &forward_);
      have_ |= OutputKind::kForward;
    }
    return forward_;
  }
  const Links& Reverse() override {
    if (!(have_ & OutputKind::kReverse)) {
      linker_.Reverse(p_, &s_, &reverse_);
      have_ |= OutputKind::kReverse;
    }
    return reverse_;
  }
  const Links& Chosen() override {
    if (!(have_ & OutputKind::kChosen)) {
      // The forward and heuristic links from those of the two directions
      // (shared with their own outputs); the posterior ones from the
      // posteriors.
      if (method_.kind == LinkMethod::kForward) {
        chosen_ = Forward();
      } else if (method_.kind == LinkMethod::kHeuristic) {
        const Links& f = Forward();
        chosen_ = Symmetrize(f, Reverse(), method_.heuristic);
      } else {
        linker_.Combined(p_, method_, &s_, &chosen_);
      }
      have_ |= OutputKind::kChosen;
    }
    return chosen_;
  }

 private:
  const PairLinker& linker_;
  const LinkMethod& method_;
  int64_t p_ = 0;
  unsigned have_ = 0;
  PairScratch s_;
  Links forward_, reverse_, chosen_;
};

// The lines of each of `kinds` of pairs [0, n), made chunk by chunk on the
// threads and handed to emit(lines) in corpus order, lines[q] those of
// kinds[q].
template <typename Emit>
void MakePairLines(const PairLinker& linker, int64_t n,
                   const std::vector<const OutputKind*>& kinds,
                   const LinkMethod& method, const Parallel& parallel,
                   Reporter& log, Emit emit) {
  const size_t wave = static_cast<size_t>(WaveSize(parallel));
  std::vector<std::vector<std::string>> bufs(
      wave, std::vector<std::string>(kinds.size()));
  ProgressTicker ticker(log, "storing", n, 4096);
  InOrder(
      n, kPairsPerChunk, WaveSize(parallel), parallel, log, &ticker,
      [&](int64_t b, int64_t e, int64_t k) {
        LinkerView view(linker, method);
        std::vector<std::string>& lines = bufs[k];
        for (std::string& text : lines) text.clear();
        for (int64_t p = b; p < e; ++p) {
          view.Start(p);
          for (size_t q = 0; q < kinds.size(); ++q) {
            kinds[q]->append(view, &lines[q]);
          }
        }
      },
      [&](int64_t k) { emit(bufs[k]); });
  ticker.Flush();
}

// Both directions applied to other pairs (ApplyModel; the reverse one only
// when given), with the linker of their pairs.
class AppliedPairs {
 public:
  AppliedPairs(const DirectionModel& f, const DirectionModel* r,
               const std::vector<std::string>& src,
               const std::vector<std::string>& trg, const Tokenization& tokens,
               const Parallel& parallel, Reporter& log)
      : fwd_(ApplyModel(f, src, trg, tokens, parallel, log)) {
    if (r != nullptr) rev_ = ApplyModel(*r, trg, src, tokens, parallel, log);
    linker_ = std::make_unique<PairLinker>(
        fwd_.model, *fwd_.corpus, r ? &rev_.model : nullptr,
        r ? rev_.corpus.get() : nullptr, fwd_.hmm.get(),
        r ? rev_.hmm.get() : nullptr);
  }
  const PairLinker& linker() const { return *linker_; }
  int64_t size() const { return fwd_.corpus->size(); }

 private:
  AppliedModel fwd_, rev_;
  std::unique_ptr<PairLinker> linker_;
};

// Writes the output files of pairs [0, n) of the linker's corpus, one a
// sink ("-" is standard output).
void WriteSinks(const PairLinker& linker, int64_t n,
                const std::vector<OutputSink>& sinks, const LinkMethod& method,
                const Parallel& parallel, Reporter& log) {
  std::vector<std::unique_ptr<OutputFile>> files;
  std::vector<const OutputKind*> kinds;
  for (const OutputSink& sink : sinks) {
    log.Info("storing " + std::string(sink.kind->what) +
             " into file: " + sink.path);
    files.push_back(OpenLinkFile(sink.path));
    kinds.push_back(sink.kind);
  }
  MakePairLines(linker, n, kinds, method, parallel, log,
                [&](const std::vector<std::string>& lines) {
                  for (size_t q = 0; q < files.size(); ++q) {
                    files[q]->buffer() += lines[q];
                    files[q]->MaybeFlush();
                  }
                });
  for (auto& file : files) file->Close();
}

// The lines of a text file, without their line feeds.
std::vector<std::string> ReadTextLines(const std::string& path) {
  LineReader reader(path);
  std::vector<std::string> out;
  std::string_view line;
  while (reader.Next(&line)) out.emplace_back(line);
  return out;
}

}  // namespace

LinkMethod ParseLinkMethod(std::string_view name, double threshold) {
  if (!(threshold > 0.0 && threshold <= 1.0)) {
    throw std::invalid_argument("posterior threshold must lie in (0, 1], got " +
                                std::to_string(threshold));
  }
  LinkMethod method;
  method.threshold = threshold;
  if (name == "none") {
    method.kind = LinkMethod::kForward;
  } else if (name == "posterior") {
    method.kind = LinkMethod::kPosterior;
  } else {
    method.kind = LinkMethod::kHeuristic;
    method.heuristic = ParseSymmetrization(name);
  }
  return method;
}

Corpus SwapSides(const Vocab& from, const Corpus& corpus, Vocab* to) {
  const int32_t null_id = to->src.StrToId(kNullSymbol);
  Corpus out;
  std::vector<int32_t> src, trg;
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const IdSpan s = corpus.src(p), t = corpus.trg(p);
    src.assign(1, null_id);
    for (int32_t j = 0; j < t.size; ++j) {
      src.push_back(to->src.StrToId(from.trg.IdToStr(t[j])));
    }
    trg.clear();
    for (int32_t i = 1; i < s.size; ++i) {
      trg.push_back(to->trg.StrToId(from.src.IdToStr(s[i])));
    }
    out.AddPair(src.data(), static_cast<int32_t>(src.size()), trg.data(),
                static_cast<int32_t>(trg.size()));
    to->max_len_src = std::max(to->max_len_src, static_cast<int32_t>(src.size()));
    to->max_len_trg = std::max(to->max_len_trg, static_cast<int32_t>(trg.size()));
  }
  return out;
}

AppliedModel ApplyModel(const DirectionModel& direction,
                        const std::vector<std::string>& src,
                        const std::vector<std::string>& trg,
                        const Tokenization& tokens, const Parallel& parallel,
                        Reporter& log) {
  const Vocab& vocab = *direction.vocab;
  Vocab local;
  const Corpus raw = CorpusFromLines(&local, src, trg, tokens, log);
  // The pairs' words in the model's ids; new words take the next free ones.
  int32_t S = vocab.src.size(), T = vocab.trg.size();
  std::vector<int32_t> src_ids(static_cast<size_t>(local.src.size()));
  std::vector<int32_t> trg_ids(static_cast<size_t>(local.trg.size()));
  for (int32_t k = 0; k < local.src.size(); ++k) {
    const int32_t id = vocab.src.Find(local.src.IdToStr(k));
    src_ids[k] = id >= 0 ? id : S++;
  }
  for (int32_t k = 0; k < local.trg.size(); ++k) {
    const int32_t id = vocab.trg.Find(local.trg.IdToStr(k));
    trg_ids[k] = id >= 0 ? id : T++;
  }
  auto corpus = std::make_shared<Corpus>();
  std::vector<int32_t> s, t;
  for (int64_t p = 0; p < raw.size(); ++p) {
    const IdSpan rs = raw.src(p), rt = raw.trg(p);
    s.resize(static_cast<size_t>(rs.size));
    t.resize(static_cast<size_t>(rt.size));
    for (int32_t i = 0; i < rs.size; ++i) s[i] = src_ids[rs[i]];
    for (int32_t j = 0; j < rt.size; ++j) t[j] = trg_ids[rt[j]];
    corpus->AddPair(s.data(), rs.size, t.data(), rt.size);
  }

  // As the scoring command lays out a table for its corpus: every entry
  // 1/T, then the entries the model holds.
  AppliedModel applied;
  applied.corpus = corpus;
  applied.model.type = ModelType::kModel2;
  const TransTable& held = direction.model.Trans();
  auto table = TransTable::Build(S, T, corpus, {},
                                 1.0 / static_cast<double>(T), nullptr,
                                 &parallel);
  TransCell* cells = table->cells();
  const int32_t rows = std::min(held.S(), S);
  for (int32_t e = 0; e < rows; ++e) {
    uint64_t k_held = held.row_begin(e);
    const uint64_t held_end = held.row_end(e);
    for (uint64_t k = table->row_begin(e); k < table->row_end(e); ++k) {
      const int32_t f = table->cols()[k];
      while (k_held < held_end && held.cols()[k_held] < f) ++k_held;
      if (k_held < held_end && held.cols()[k_held] == f) {
        cells[k].p = held.cells()[k_held].p;
      }
    }
  }
  applied.model.trans = std::move(table);
  auto align = AlignTable::Build(std::max(local.max_len_src, 1),
                                 local.max_len_trg, *corpus);
  CopyShapes(direction.model.Align(), align.get());
  applied.model.align = std::move(align);
  applied.hmm = direction.hmm;
  return applied;
}

// ---------------------------------------------------------------- Aligner

Aligner::Aligner(const AlignerOptions& options)
    : options_(options), parallel_(options.threads) {
  if (options.memory_limit < 0) {
    throw std::invalid_argument("memory limit must not be negative");
  }
}

const DirectionModel& Aligner::forward() const {
  if (!forward_) throw std::logic_error("the aligner has no model yet");
  return *forward_;
}

const DirectionModel& Aligner::reverse() const {
  if (!reverse_) throw std::logic_error("the reverse model is not trained");
  return *reverse_;
}

int64_t Aligner::size() const { return forward().corpus->size(); }

MemoryPlan Aligner::StartDirection(const DirectionModel& direction,
                                   const char* name, double share,
                                   Reporter& log) const {
  ReportDirectionStart(name, direction.corpus->size(), *direction.vocab, log);
  MemoryPlan plan;
  const int64_t limit =
      options_.memory_limit > 0 ? options_.memory_limit : DefaultMemoryLimit();
  if (limit > 0) {
    const int64_t resident = ResidentBytes();
    plan.limit = resident + static_cast<int64_t>(
                                std::max<int64_t>(limit - resident, 0) * share);
    plan.stated_limit = limit;
  }
  return plan;
}

void Aligner::TrainDirection(DirectionModel* direction, const char* name,
                             const Parallel& parallel, Reporter& log,
                             double share,
                             const DirectionModel* next) const {
  const Vocab& vocab = *direction->vocab;
  const Corpus& corpus = *direction->corpus;
  // These two tables, with the corpus, are what a direction allocates; two
  // directions trained at once share what the limit leaves.
  const MemoryPlan plan = StartDirection(*direction, name, share, log);
  Model& model = direction->model;
  model.type = ModelType::kModel2;
  model.vocab = direction->vocab;
  model.memory = plan;
  model.trans = InitTransTable(vocab, direction->corpus, parallel, log, plan);
  model.align = InitAlignTable(vocab, corpus, log);
  if (next != nullptr) CheckRoomFor(*next, model, plan.limit);
  // The training command's schedule on the one Model 2: the Model 1 loop
  // trains t from the uniform start, the Model 2 loop goes on from there
  // with the still uniform alignment table.
  SweepScratch scratch;
  RunEmSchedule(EmSchedule(options_.iterations), &model, corpus, parallel,
                &scratch, log, log, [] {});
}

void Aligner::TrainBoth(std::shared_ptr<Vocab> vocab, Corpus corpus,
                        Reporter& log) {
  if (options_.memory_limit > 0) {
    const int64_t resident = ResidentBytes();
    if (resident >= options_.memory_limit) {
      throw MemoryError("a memory limit of " + FormatBytes(options_.memory_limit) +
                        " is below the " + FormatBytes(resident) +
                        " this process already holds");
    }
  }
  auto fwd = std::make_unique<DirectionModel>();
  fwd->vocab = std::move(vocab);
  fwd->corpus = std::make_shared<const Corpus>(std::move(corpus));
  forward_.reset();
  reverse_.reset();
  if (!options_.schedule.empty()) {
    TrainScheduled(std::move(fwd), log);
    return;
  }
  if (!options_.both_directions) {
    TrainDirection(fwd.get(), "forward", parallel_, log);
    forward_ = std::move(fwd);
    return;
  }
  auto rev = std::make_unique<DirectionModel>();
  rev->vocab = std::make_shared<Vocab>();
  rev->corpus = std::make_shared<const Corpus>(
      SwapSides(*fwd->vocab, *fwd->corpus, rev->vocab.get()));
  const int threads = parallel_.threads();
  if (!options_.concurrent || threads < 2) {
    TrainDirection(fwd.get(), "forward", parallel_, log, 1.0, rev.get());
    TrainDirection(rev.get(), "reverse", parallel_, log);
  } else {
    // The forward model on this thread (with the progress display), the
    // reverse one beside it; a failure of either stops the other.
    std::mutex mu;
    std::atomic<bool> stop{false};
    DirectionReporter fwd_log(log, &mu, "forward: ", true, &stop);
    DirectionReporter rev_log(log, &mu, "reverse: ", false, &stop);
    const Parallel fwd_threads(threads - threads / 2), rev_threads(threads / 2);
    std::exception_ptr rev_error;
    std::atomic<bool> rev_done{false};
    std::thread worker([&] {
      try {
        TrainDirection(rev.get(), "reverse", rev_threads, rev_log, 0.5);
      } catch (...) {
        rev_error = std::current_exception();
        stop = true;
      }
      rev_done = true;
    });
    std::exception_ptr fwd_error;
    try {
      TrainDirection(fwd.get(), "forward", fwd_threads, fwd_log, 0.5);
      // Still polled (an interrupt) while the reverse model finishes.
      while (!rev_done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        fwd_log.Poll();
      }
    } catch (...) {
      fwd_error = std::current_exception();
      stop = true;
    }
    worker.join();
    // The error that stopped the other direction, not its Cancelled.
    for (const std::exception_ptr& e : {fwd_error, rev_error}) {
      if (!e) continue;
      try {
        std::rethrow_exception(e);
      } catch (const Cancelled&) {
      }
    }
  }
  forward_ = std::move(fwd);
  reverse_ = std::move(rev);
}

void Aligner::SetUpScheduled(DirectionModel* direction, const char* name,
                             double share, const Parallel& parallel,
                             Reporter& log, bool through_forward) const {
  const Vocab& vocab = *direction->vocab;
  MemoryPlan plan = StartDirection(*direction, name, share, log);
  plan.align_to_come = false;
  if (through_forward) plan.layout = MemoryPlan::Layout::kNone;
  // Ten walks reading every cell of both tables: worth huge pages long
  // before the EM sweeps' size (15-20 % less time on the Hansards 100K).
  plan.huge_pages_from = size_t{16} << 20;
  Model& model = direction->model;
  model.type = ModelType::kModel2;
  model.vocab = direction->vocab;
  model.memory = plan;
  model.trans = InitTransTable(vocab, direction->corpus, parallel, log, plan);
  // Model 1 and the HMM read no alignment table: every shape reads 1/L.
  model.align = std::make_shared<AlignTable>(std::max(vocab.max_len_src, 1),
                                             vocab.max_len_trg);
}

void Aligner::TrainScheduled(std::unique_ptr<DirectionModel> fwd,
                             Reporter& log) {
  const bool both = options_.both_directions || options_.agreement;
  std::unique_ptr<DirectionModel> rev;
  if (both) {
    rev = std::make_unique<DirectionModel>();
    rev->vocab = std::make_shared<Vocab>();
    rev->corpus = std::make_shared<const Corpus>(
        SwapSides(*fwd->vocab, *fwd->corpus, rev->vocab.get()));
  }
  // In agreement the reverse table's cells are read through the forward
  // table's index (AgreementCells), so it needs none of its own (unless the
  // memory limit left the forward table without one).
  SetUpScheduled(fwd.get(), "forward", both ? 0.5 : 1.0, parallel_, log);
  const bool through = rev && options_.agreement && fwd->model.trans->has_cell_index();
  if (rev) SetUpScheduled(rev.get(), "reverse", 1.0, parallel_, log, through);
  JointDirection f{fwd->corpus.get(), fwd->model.trans.get(), nullptr};
  JointDirection r;
  std::shared_ptr<AgreementCells> pairing;
  if (rev) {
    if (through) {
      pairing = std::make_shared<AgreementCells>();
      if (!pairing->Pair(f, JointDirection{rev->corpus.get(), rev->model.trans.get(), nullptr}) ||
          !pairing->Reaches(*fwd->model.trans, *fwd->corpus, *rev->model.trans)) {
        // Not to be expected of tables built from the two corpora; the
        // reverse table then gets an index of its own after all.
        pairing.reset();
        MemoryPlan plan = rev->model.memory;
        plan.layout = MemoryPlan::Layout::kAuto;
        rev->model.trans =
            TransTable::Relayout(*rev->model.trans, rev->corpus, {}, &parallel_, &plan);
      }
    }
    r = JointDirection{rev->corpus.get(), rev->model.trans.get(), nullptr};
  }
  TrainJoint(&f, rev ? &r : nullptr, options_.schedule,
             JointOptionsOf(options_), parallel_, log, pairing.get());
  fwd->hmm = f.hmm;
  if (rev) rev->hmm = r.hmm;
  if (pairing && !rev->model.trans->has_cell_index()) rev->through_forward = pairing;
  forward_ = std::move(fwd);
  reverse_ = std::move(rev);
}

void Aligner::TrainFiles(const std::string& src_path,
                         const std::string& trg_path, Reporter& log) {
  auto vocab = std::make_shared<Vocab>();
  log.Info("loading files: " + src_path + " " + trg_path);
  Corpus corpus =
      LoadCorpus(vocab.get(), src_path, trg_path, options_.tokens(), log);
  if (corpus.size() == 0) {
    throw std::invalid_argument(src_path + " and " + trg_path +
                                " hold no sentence pair");
  }
  TrainBoth(std::move(vocab), std::move(corpus), log);
}

void Aligner::TrainJoined(const std::string& path, Reporter& log) {
  auto vocab = std::make_shared<Vocab>();
  log.Info("loading file: " + path);
  Corpus corpus = LoadJoinedCorpus(vocab.get(), path, options_.tokens(), log);
  if (corpus.size() == 0) {
    throw std::invalid_argument(path + " holds no sentence pair");
  }
  TrainBoth(std::move(vocab), std::move(corpus), log);
}

void Aligner::TrainLines(const std::vector<std::string>& src,
                         const std::vector<std::string>& trg, Reporter& log) {
  auto vocab = std::make_shared<Vocab>();
  Corpus corpus =
      CorpusFromLines(vocab.get(), src, trg, options_.tokens(), log);
  if (corpus.size() == 0) throw std::invalid_argument("no sentence pair to train on");
  TrainBoth(std::move(vocab), std::move(corpus), log);
}

void Aligner::TrainReverse(Reporter& log) {
  if (reverse_) return;
  const DirectionModel& fwd = forward();
  // Training needs at least one pair, so only a model read from files has
  // an empty corpus.
  if (fwd.corpus->size() == 0) {
    throw std::logic_error(
        "a model read from files has no training corpus for the reverse model");
  }
  auto rev = std::make_unique<DirectionModel>();
  rev->vocab = std::make_shared<Vocab>();
  rev->corpus = std::make_shared<const Corpus>(
      SwapSides(*fwd.vocab, *fwd.corpus, rev->vocab.get()));
  if (!options_.schedule.empty()) {
    SetUpScheduled(rev.get(), "reverse", 1.0, parallel_, log);
    JointDirection r{rev->corpus.get(), rev->model.trans.get(), nullptr};
    TrainJoint(&r, nullptr, options_.schedule, JointOptionsOf(options_),
               parallel_, log);
    rev->hmm = r.hmm;
  } else {
    TrainDirection(rev.get(), "reverse", parallel_, log);
  }
  reverse_ = std::move(rev);
}

void Aligner::Load(const std::string& trans_path,
                   const std::string* align_path, Reporter& log) {
  forward_ = ReadDirectionFiles(trans_path, align_path, parallel_, log);
  reverse_.reset();
}

std::unique_ptr<DirectionModel> ReadDirectionFiles(
    const std::string& trans_path, const std::string* align_path,
    const Parallel& parallel, Reporter& log) {
  // Every direction is decoded as Model 2 decodes, with 1/L for the shapes
  // its alignment table lacks.
  auto direction = std::make_unique<DirectionModel>();
  direction->model = ModelOf(ModelType::kModel2)
                         .ReadTables(trans_path, align_path, parallel, log);
  direction->vocab = direction->model.vocab;
  direction->corpus = direction->model.Trans().indexed_corpus_ptr();
  return direction;
}

void Aligner::Save(const std::string& trans_path, const std::string* align_path,
                   double threshold, std::optional<int64_t> nbest,
                   const std::string& threshold_text, Reporter& log) const {
  const Model& model = forward().model;
  WriteOptions options;
  options.threshold = threshold;
  options.nbest = nbest;
  ModelOf(model.type).WriteTables(model, trans_path, align_path, options,
                                  threshold_text, parallel_, log);
}

Links Aligner::ForwardLinks(int64_t p) const {
  const DirectionModel& f = forward();
  PairScratch s;
  Links out;
  LinkerOf(f, nullptr).Forward(p, &s, &out);
  return out;
}

Links Aligner::ReverseLinks(int64_t p) const {
  const DirectionModel& f = forward();
  const DirectionModel& r = reverse();
  PairScratch s;
  Links out;
  LinkerOf(f, &r).Reverse(p, &s, &out);
  return out;
}

Links Aligner::PairLinks(int64_t p, const LinkMethod& chosen) const {
  const LinkMethod method = Decoding(chosen);
  const DirectionModel& f = forward();
  const DirectionModel* r = method.NeedsReverse() ? &reverse() : nullptr;
  PairScratch s;
  Links out;
  LinkerOf(f, r).Combined(p, method, &s, &out);
  return out;
}

LinkMethod Aligner::Decoding(LinkMethod method) const {
  if (options_.posterior_product) method.product = true;
  return method;
}

void Aligner::WriteLinks(const Outputs& outputs, const LinkMethod& chosen,
                         Reporter& log) const {
  const LinkMethod method = Decoding(chosen);
  const std::vector<OutputSink> sinks = ResolveOutputs(outputs);
  const DirectionModel& f = forward();
  const bool need_reverse =
      method.NeedsReverse() || SinksNeedReverse(sinks, method.NeedsReverse());
  const DirectionModel* r = need_reverse ? &reverse() : nullptr;
  WriteSinks(LinkerOf(f, r), f.corpus->size(), sinks, method, parallel_, log);
}

void Aligner::WriteLinksOf(const std::string& src_path,
                           const std::string& trg_path, const Outputs& outputs,
                           const LinkMethod& chosen, Reporter& log) const {
  const LinkMethod method = Decoding(chosen);
  const std::vector<OutputSink> sinks = ResolveOutputs(outputs);
  const bool need_reverse =
      method.NeedsReverse() || SinksNeedReverse(sinks, method.NeedsReverse());
  const DirectionModel& f = forward();
  const DirectionModel* r = need_reverse ? &reverse() : nullptr;
  std::vector<std::string> src, trg;
  if (trg_path.empty()) {
    log.Info("loading file: " + src_path);
    ReadJoinedLines(src_path, &src, &trg);
  } else {
    log.Info("loading files: " + src_path + " " + trg_path);
    src = ReadTextLines(src_path);
    trg = ReadTextLines(trg_path);
  }
  if (src.size() != trg.size()) {
    // LoadCorpus's warning for the same files.
    const size_t pairs = std::min(src.size(), trg.size());
    log.Warning(src_path + " has " + std::to_string(src.size()) +
                " lines but " + trg_path + " has " +
                std::to_string(trg.size()) + "; only the first " +
                std::to_string(pairs) + " pairs are used");
    src.resize(pairs);
    trg.resize(pairs);
  }
  const AppliedPairs applied(f, r, src, trg, options_.tokens(), parallel_, log);
  WriteSinks(applied.linker(), applied.size(), sinks, method, parallel_, log);
}

std::vector<std::string> PairLines(
    const Model& fwd, const Corpus& fwd_corpus, const Model* rev,
    const Corpus* rev_corpus, const std::vector<std::string>& kinds,
    const LinkMethod& method, const Parallel& parallel, Reporter& log,
    const HmmParams* fwd_hmm, const HmmParams* rev_hmm) {
  std::vector<OutputSink> sinks;
  std::vector<const OutputKind*> found;
  for (const std::string& name : kinds) {
    found.push_back(&FindOutputKind(name));
    sinks.push_back(OutputSink{found.back(), name});
  }
  const bool need_reverse = SinksNeedReverse(sinks, method.NeedsReverse());
  if (need_reverse && (rev == nullptr || rev_corpus == nullptr)) {
    throw std::logic_error("the reverse model is not trained");
  }
  const PairLinker linker(fwd, fwd_corpus, need_reverse ? rev : nullptr,
                          need_reverse ? rev_corpus : nullptr, fwd_hmm,
                          need_reverse ? rev_hmm : nullptr);
  std::vector<std::string> out(kinds.size());
  MakePairLines(linker, fwd_corpus.size(), found, method, parallel, log,
                [&](const std::vector<std::string>& lines) {
                  for (size_t q = 0; q < out.size(); ++q) out[q] += lines[q];
                });
  return out;
}

std::vector<Links> Aligner::AlignLines(const std::vector<std::string>& src,
                                       const std::vector<std::string>& trg,
                                       const LinkMethod& chosen,
                                       Reporter& log) const {
  const LinkMethod method = Decoding(chosen);
  const bool both = method.NeedsReverse();
  const DirectionModel& f = forward();
  const DirectionModel* r = both ? &reverse() : nullptr;
  const AppliedPairs applied(f, r, src, trg, options_.tokens(), parallel_, log);
  const PairLinker& linker = applied.linker();
  const int64_t n = applied.size();
  std::vector<Links> out(static_cast<size_t>(n));
  ProgressTicker ticker(log, "progress", n, 4096);
  InOrder(
      n, kPairsPerChunk, WaveSize(parallel_), parallel_, log, &ticker,
      [&](int64_t b, int64_t e, int64_t) {
        PairScratch s;
        for (int64_t p = b; p < e; ++p) linker.Combined(p, method, &s, &out[p]);
      },
      [](int64_t) {});
  ticker.Flush();
  return out;
}

std::vector<double> Aligner::ScoreLines(const std::vector<std::string>& src,
                                        const std::vector<std::string>& trg,
                                        Reporter& log) const {
  AppliedModel fa = ApplyModel(forward(), src, trg, options_.tokens(),
                               parallel_, log);
  const Corpus& corpus = *fa.corpus;
  const PairCells cells(*fa.model.trans, corpus);
  const int64_t n = corpus.size();
  std::vector<double> out(static_cast<size_t>(n));
  ProgressTicker ticker(log, "progress", n, 4096);
  InOrder(
      n, kPairsPerChunk, WaveSize(parallel_), parallel_, log, &ticker,
      [&](int64_t b, int64_t e, int64_t) {
        std::vector<double> t, post;
        HmmScratch scratch;
        for (int64_t p = b; p < e; ++p) {
          cells.Gather(p, &t);
          const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
          if (fa.hmm) {
            post.resize(static_cast<size_t>(L) * m);
            const double ll = HmmPosteriors(*fa.hmm, t.data(), L, m,
                                            post.data(), nullptr, &scratch);
            out[p] = m > 0 ? -ll / m : 0.0;
          } else {
            out[p] = fa.model.PairEntropy(t.data(), L, m, true);
          }
        }
      },
      [](int64_t) {});
  ticker.Flush();
  return out;
}

std::vector<double> Aligner::Posteriors(const std::string& src,
                                        const std::string& trg, int64_t* I,
                                        int64_t* J, Reporter& log) const {
  AppliedModel fa = ApplyModel(forward(), {src}, {trg},
                               options_.tokens(), parallel_, log);
  const PairLinker linker(fa.model, *fa.corpus, nullptr, nullptr, fa.hmm.get());
  PairScratch s;
  std::vector<double> out;
  linker.ForwardPosteriors(0, &s, &out);
  *I = fa.corpus->src(0).size - 1;
  *J = fa.corpus->trg(0).size;
  return out;
}

double Aligner::TranslationProb(std::string_view e, std::string_view f) const {
  const DirectionModel& d = forward();
  const TransTable& table = d.model.Trans();
  const int32_t s = d.vocab->src.Find(e), t = d.vocab->trg.Find(f);
  if (s >= 0 && t >= 0 && s < table.S() && t < table.T()) {
    const int64_t k = table.Find(s, t);
    if (k >= 0) return table.cells()[k].p;
  }
  const int32_t T = d.vocab->trg.size() + (t >= 0 ? 0 : 1);
  return 1.0 / static_cast<double>(T);
}

// ------------------------------------------------------ sharded alignment

std::shared_ptr<AlignerShard> AlignerShard::Load(
    const std::string& src_path, const std::string& trg_path,
    int64_t src_offset, int64_t trg_offset, int64_t first_line, int64_t count,
    const Tokenization& tokens, bool both_directions) {
  // The warnings are the driver's to log, in shard order.
  auto shard = std::make_shared<AlignerShard>();
  CollectingReporter log;
  shard->vocab_[0] = std::make_shared<Vocab>();
  shard->corpus_[0] = std::make_shared<const Corpus>(
      LoadCorpusLines(shard->vocab_[0].get(), src_path, trg_path, src_offset,
                      trg_offset, first_line, count, tokens, log));
  shard->warnings_ = std::move(log.warnings);
  if (both_directions) {
    shard->vocab_[1] = std::make_shared<Vocab>();
    shard->corpus_[1] = std::make_shared<const Corpus>(SwapSides(
        *shard->vocab_[0], *shard->corpus_[0], shard->vocab_[1].get()));
  }
  return shard;
}

void AlignerShard::CheckDirection(int d) const {
  if (d < 0 || d >= directions()) {
    throw std::out_of_range("the shard has no direction " + std::to_string(d));
  }
}

const Vocab& AlignerShard::vocab(int d) const {
  CheckDirection(d);
  if (!vocab_[d]) throw std::logic_error("an indexed shard holds no words of its own");
  return *vocab_[d];
}

std::shared_ptr<AlignerShard> AlignerShard::Index(
    const std::vector<ShardIds>& ids, const Parallel& parallel) const {
  if (ids.size() != static_cast<size_t>(directions())) {
    throw std::invalid_argument("expected the ids of " +
                                std::to_string(directions()) + " directions");
  }
  auto out = std::make_shared<AlignerShard>();
  for (int d = 0; d < directions(); ++d) {
    const ShardIds& m = ids[d];
    auto corpus = std::make_shared<const Corpus>(
        RemapCorpus(*corpus_[d], m.src_map, m.trg_map));
    out->corpus_[d] = corpus;
    out->tables_[d] =
        std::make_shared<ShardTables>(corpus, m.S, m.T, m.A, m.B, parallel);
  }
  return out;
}

ShardTables& AlignerShard::tables(int d) {
  CheckDirection(d);
  if (!tables_[d]) throw std::logic_error("the shard has no tables yet");
  return *tables_[d];
}

const ShardTables& AlignerShard::tables(int d) const {
  return const_cast<AlignerShard*>(this)->tables(d);
}

std::vector<std::string> AlignerShard::Lines(
    const std::vector<std::string>& kinds, const LinkMethod& method,
    const Parallel& parallel, Reporter& log, const HmmParams* fwd_hmm,
    const HmmParams* rev_hmm) const {
  std::vector<OutputSink> sinks;
  for (const std::string& name : kinds) {
    sinks.push_back(OutputSink{&FindOutputKind(name), name});
  }
  const ShardTables& f = tables(0);
  const bool need_reverse = SinksNeedReverse(sinks, method.NeedsReverse());
  const Model fwd = f.AsModel();
  Model rev;
  if (need_reverse) rev = tables(1).AsModel();
  return PairLines(fwd, f.corpus(), need_reverse ? &rev : nullptr,
                   need_reverse ? &tables(1).corpus() : nullptr, kinds, method,
                   parallel, log, fwd_hmm, rev_hmm);
}

JointTotals AlignerShard::JointSweep(const double* fwd_p, size_t fwd_size,
                                     const double* rev_p, size_t rev_size,
                                     std::shared_ptr<HmmParams> fwd_hmm,
                                     std::shared_ptr<HmmParams> rev_hmm,
                                     bool hmm, bool agreement,
                                     const Parallel& parallel,
                                     std::vector<double> counts[2]) {
  const bool both = rev_p != nullptr;
  ShardTables* t[2] = {&tables(0), both ? &tables(1) : nullptr};
  t[0]->TakeTransValues(fwd_p, fwd_size);
  if (both) t[1]->TakeTransValues(rev_p, rev_size);
  JointDirection f{&t[0]->corpus(), t[0]->mutable_trans(), std::move(fwd_hmm)};
  JointDirection r;
  if (both) r = JointDirection{&t[1]->corpus(), t[1]->mutable_trans(), std::move(rev_hmm)};
  NullReporter quiet;
  if (both && agreement && !agreement_) agreement_ = std::make_shared<AgreementCells>();
  const JointTotals totals = JointExpect(&f, both ? &r : nullptr, hmm, agreement,
                                         parallel, quiet, agreement_.get());
  for (int d = 0; d < (both ? 2 : 1); ++d) {
    const TransTable& table = *t[d]->mutable_trans();
    counts[d].resize(static_cast<size_t>(table.nnz()));
    for (int64_t k = 0; k < table.nnz(); ++k) counts[d][k] = table.cells()[k].c;
  }
  return totals;
}

size_t AlignerShard::MemoryBytes() const {
  size_t n = 0;
  for (int d = 0; d < 2; ++d) {
    if (tables_[d]) {
      n += tables_[d]->MemoryBytes();
    } else if (corpus_[d]) {
      n += corpus_[d]->MemoryBytes();
    }
  }
  return n;
}

ShardedDirection::ShardedDirection(
    const char* name, const Vocab& vocab, int64_t pairs,
    const std::vector<std::vector<uint64_t>>& keys,
    std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes,
    Reporter& log, bool scheduled)
    : pairs_(pairs) {
  // The lines of TrainDirection, InitTransTable and InitAlignTable.
  ReportDirectionStart(name, pairs, vocab, log);
  const int32_t S = vocab.src.size(), T = vocab.trg.size();
  const int64_t A = vocab.max_len_src, B = vocab.max_len_trg;
  LogTransStart(log);
  tables_ = std::make_unique<ShardedTables>(
      S, T, vocab.max_len_src, vocab.max_len_trg, keys, std::move(shapes));
  ReportTransTable(*tables_->trans(), log);
  if (scheduled) return;
  LogAlignStart(log);
  ReportAlignTable(*tables_->align(), A, B, log);
}

void TrainShardedJoint(ShardedDirection* fwd, ShardedDirection* rev,
                       int64_t pairs, const Schedule& schedule,
                       const JointOptions& options, const JointWalker& walk,
                       Reporter& log) {
  JointDirection f{nullptr, fwd->tables().trans().get(), nullptr};
  JointDirection r{nullptr, rev ? rev->tables().trans().get() : nullptr, nullptr};
  const Parallel parallel(1);
  RunSchedule(&f, rev ? &r : nullptr, pairs, schedule, options, walk,
              parallel, log);
  fwd->hmm = f.hmm;
  if (rev) rev->hmm = r.hmm;
}

void ShardedDirection::Train(int32_t iterations, const Walk& walk,
                             Reporter& log) {
  Model model;
  model.type = ModelType::kModel2;
  model.trans = tables_->trans();
  model.align = tables_->align();
  RunEmSchedule(EmSchedule(iterations), &model, pairs_, walk, log, log, [] {});
}

}  // namespace qaz
