#include "align/model.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "align/models/factory.h"
#include "align/readers.h"
#include "common/errors.h"
#include "common/float_format.h"
#include "common/memory.h"

namespace qaz {

namespace {

constexpr int64_t kPairsPerChunk = 1024;

// Formats items [0, n) in chunks on the threads and writes them in order.
template <typename Format>
void WriteInOrder(OutputFile* out, int64_t n, int64_t chunk,
                  const Parallel& parallel, Reporter& reporter,
                  ProgressTicker* ticker, Format format) {
  const int64_t wave = static_cast<int64_t>(parallel.threads()) * 4;
  std::vector<std::string> bufs(static_cast<size_t>(wave));
  InOrder(n, chunk, wave, parallel, reporter, ticker,
          [&](int64_t b, int64_t e, int64_t k) {
            bufs[k].clear();
            format(b, e, &bufs[k]);
          },
          [&](int64_t k) {
            out->buffer().append(bufs[k]);
            out->MaybeFlush();
          });
}

// Mixes 64-bit words into a running fingerprint.
struct Fingerprint {
  uint64_t h = 0x9e3779b97f4a7c15ULL;
  void Add(uint64_t x) {
    h ^= x + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    h *= 0xff51afd7ed558ccdULL;
  }
  void Add(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof(bits));
    Add(bits);
  }
  // Four independent lanes over `n` words, word k in lane k % 4, so that
  // the multiplications overlap; word(k) gives the bits of word k.
  template <typename Word>
  void AddWords(size_t n, const Word& word) {
    uint64_t lane[4] = {1, 2, 3, 4};
    for (size_t k = 0; k < n; ++k) {
      uint64_t& l = lane[k & 3];
      l = (l ^ word(k)) * 0x100000001b3ULL;
      l ^= l >> 29;
    }
    for (uint64_t l : lane) Add(l);
    Add(static_cast<uint64_t>(n));
  }
  void AddArray(const double* x, size_t n) {
    AddWords(n, [x](size_t k) {
      uint64_t bits;
      std::memcpy(&bits, &x[k], sizeof(bits));
      return bits;
    });
  }
};

}  // namespace

uint64_t Model::TablesStamp() const {
  Fingerprint f;
  f.Add(static_cast<uint64_t>(type));
  if (trans) {
    const TransTable& t = *trans;
    f.Add(static_cast<uint64_t>(t.S()));
    f.Add(static_cast<uint64_t>(t.T()));
    f.Add(static_cast<uint64_t>(t.nnz()));
    for (int32_t s = 0; s < t.S(); ++s) f.Add(t.row_default(s));
    const TransCell* cells = t.cells();
    f.AddWords(static_cast<size_t>(t.nnz()), [cells](size_t k) {
      uint64_t bits;
      std::memcpy(&bits, &cells[k].p, sizeof(bits));
      return bits;
    });
    const int32_t* cols = t.cols();
    f.AddWords(static_cast<size_t>(t.nnz()), [cols](size_t k) {
      return static_cast<uint64_t>(static_cast<uint32_t>(cols[k]));
    });
    for (int32_t s = 0; s < t.S(); ++s) f.Add(t.row_begin(s));
    if (t.S() > 0) f.Add(t.row_end(t.S() - 1));
  }
  if (align) {
    const AlignTable& a = *align;
    f.Add(static_cast<uint64_t>(a.A()));
    f.Add(static_cast<uint64_t>(a.B()));
    for (const AlignTable::Block& b : a.blocks()) {
      f.Add(static_cast<uint64_t>(b.I));
      f.Add(static_cast<uint64_t>(b.J));
      f.AddArray(a.values(b), static_cast<size_t>(b.I + 1) * b.J);
      f.AddArray(a.padding(b), static_cast<size_t>(b.J));
    }
  }
  return f.h;
}

bool Model::RoomToKeepWalk(const Corpus& corpus) const {
  const int64_t bytes =
      corpus.size() * 8 +
      static_cast<int64_t>(corpus.trg_offset(corpus.size())) * 4;
  const int64_t limit = memory.limit > 0 ? memory.limit : DefaultMemoryLimit();
  if (limit <= 0) return true;
  // Keep it only when it takes a small share of what is left.
  return bytes < (limit - ResidentBytes()) / 8;
}

const TransTable& Model::Trans() const {
  if (!trans) throw TypeError("'NoneType' object is not subscriptable");
  return *trans;
}

const AlignTable& Model::Align() const {
  if (!align) throw TypeError("'NoneType' object is not subscriptable");
  return *align;
}

const Vocab& Model::Words() const {
  if (!vocab) throw TypeError("the model has no vocabulary");
  return *vocab;
}

double Model::PairEntropy(const double* t, int32_t L, int32_t m,
                          bool average) const {
  if (type == ModelType::kAbstract) throw NotImplementedError();
  const AlignmentModel& model = ModelOf(type);
  return model.PairEntropy(t, model.has_align_table() ? &Align() : nullptr, L,
                           m, average);
}

double Model::CorpusEntropy(const Corpus& corpus, const Parallel& parallel,
                            Reporter& log) const {
  double total = 0.0;
  if (corpus.size() > 0) {
    if (type == ModelType::kAbstract) throw NotImplementedError();
    const TransTable& table = Trans();
    if (ModelOf(type).has_align_table()) Align();
    if (table.IndexedFor(corpus)) {
      SweepRequest request;
      request.entropy = true;
      request.entropy_model = type;
      SweepScratch scratch;
      total = Sweep(const_cast<TransTable*>(&table), align.get(), corpus,
                    request, parallel, &scratch, log);
    } else {
      // Another corpus: gather each pair's values by search.
      const int64_t n = corpus.size();
      const int64_t chunks = (n + kPairsPerChunk - 1) / kPairsPerChunk;
      std::vector<double> part(static_cast<size_t>(n));
      PairCells cells(table, corpus);
      ProgressTicker ticker(log, "progress", n, 4096);
      parallel.For(chunks, [&](int64_t c) -> int64_t {
        std::vector<double> t;
        const int64_t b = c * kPairsPerChunk, e = std::min(n, b + kPairsPerChunk);
        for (int64_t p = b; p < e; ++p) {
          cells.Gather(p, &t);
          part[p] = PairEntropy(t.data(), corpus.src(p).size,
                                corpus.trg(p).size, true);
        }
        return e - b;
      }, log, &ticker);
      for (int64_t p = 0; p < n; ++p) total += part[p];
    }
  }
  if (corpus.size() == 0) throw ZeroDivisionError("float division");
  return Narrow(total / static_cast<double>(corpus.size()));
}

void Model::WritePairOutputs(const OutputRequests& requests,
                             const Corpus& corpus, const Parallel& parallel,
                             Reporter& log) const {
  const std::vector<ModelOutputSink> sinks = ResolveModelOutputs(requests);
  const unsigned reads = SinksRead(sinks);
  const bool entropy = (reads & ModelOutputKind::kEntropy) != 0;
  const bool best_links = (reads & ModelOutputKind::kBest) != 0;
  std::vector<std::unique_ptr<OutputFile>> files;
  for (const ModelOutputSink& sink : sinks) {
    log.Info(std::string(sink.kind->log_prefix) + sink.path);
    files.push_back(std::make_unique<OutputFile>(sink.path));
  }
  const int64_t n = corpus.size();
  if (n > 0) {
    // The checks a first pair would make, before any thread starts.
    if (entropy && type == ModelType::kAbstract) throw NotImplementedError();
    Trans();
    if (best_links || type == ModelType::kModel2) Align();
  }
  // The walk that ended training already has every value of the files
  // when its corpus and tables are the ones at hand.
  const PairOutcome* kept = nullptr;
  if (n > 0 && final_walk != nullptr &&
      (final_walk->corpus.get() == &corpus || *final_walk->corpus == corpus) &&
      final_walk->stamp == TablesStamp()) {
    kept = &final_walk->outcome;
  }
  // Otherwise a Model 2 walk over the corpus the table is laid out for
  // gives the same values through the cell index, when they fit beside the
  // tables.
  PairOutcome walked;
  if (n > 0 && kept == nullptr && type == ModelType::kModel2 &&
      trans->IndexedFor(corpus) && RoomToKeepWalk(corpus)) {
    SweepRequest request;
    request.entropy = true;
    request.entropy_model = ModelType::kModel2;
    request.outcome = &walked;
    SweepScratch scratch;
    Sweep(const_cast<TransTable*>(trans.get()), align.get(), corpus, request,
          parallel, &scratch, log);
    kept = &walked;
  }
  std::optional<PairCells> cells;
  if (n > 0 && kept == nullptr) cells.emplace(*trans, corpus);
  // The best links are each word's best a * t under the alignment table
  // held (1/L for the shapes it lacks), as Model 2 decodes.
  const AlignmentModel& decoder = ModelOf(ModelType::kModel2);
  const size_t kinds = sinks.size();
  const int64_t wave = static_cast<int64_t>(parallel.threads()) * 4;
  // Chunk slot k's lines of sink s in bufs[k * kinds + s].
  std::vector<std::string> bufs(static_cast<size_t>(wave) * kinds);
  ProgressTicker ticker(log, "progress", n, 4096);
  auto format = [&](int64_t b, int64_t e, int64_t k) {
    std::string* chunk = bufs.data() + static_cast<size_t>(k) * kinds;
    for (size_t s = 0; s < kinds; ++s) chunk[s].clear();
    std::vector<double> t;
    std::vector<int32_t> best;
    ModelPairView pair;
    for (int64_t p = b; p < e; ++p) {
      const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
      pair.m = m;
      if (kept != nullptr) {
        pair.entropy = kept->entropy[p];
        pair.best = kept->best.data() + corpus.trg_offset(p);
      } else {
        cells->Gather(p, &t);
        if (entropy) pair.entropy = PairEntropy(t.data(), L, m, true);
        if (best_links) {
          decoder.Viterbi(t.data(), align.get(), L, m, &best);
          pair.best = best.data();
        }
      }
      for (size_t s = 0; s < kinds; ++s) sinks[s].kind->append(pair, &chunk[s]);
    }
  };
  auto emit = [&](int64_t k) {
    const std::string* chunk = bufs.data() + static_cast<size_t>(k) * kinds;
    for (size_t s = 0; s < kinds; ++s) {
      files[s]->buffer().append(chunk[s]);
      files[s]->MaybeFlush();
    }
  };
  InOrder(n, kPairsPerChunk, wave, parallel, log, &ticker, format, emit);
  ticker.Flush();
  for (const std::unique_ptr<OutputFile>& file : files) file->Close();
}

void Model::WriteTransFile(const std::string& path, const WriteOptions& options,
                           const std::string& threshold_text,
                           const Parallel& parallel, Reporter& log) const {
  OutputFile out(path);
  log.Info("storing translation probabilities into file (threshold=" +
           threshold_text + "): " + path);
  const TransTable& table = Trans();
  const Vocab& words = Words();
  const int32_t rows = std::min<int32_t>(table.S(), words.src.size());
  ProgressTicker ticker(log, "storing", words.src.size(), 256);
  WriteInOrder(&out, rows, 64, parallel, log, &ticker,
               [&](int64_t b, int64_t e, std::string* buf) {
                 AppendTransRows(table, words, options,
                                 static_cast<int32_t>(b),
                                 static_cast<int32_t>(e), buf);
               });
  ticker.Flush();
  out.Close();
  if (words.src.size() > table.S()) ThrowOutOfBounds(table.S(), 0, table.S());
}

void Model::WriteAlignFile(const std::string& path, const WriteOptions& options,
                           const Parallel& parallel, Reporter& log) const {
  const AlignTable& table = Align();
  OutputFile out(path);
  log.Info("storing alignment probabilities into file: " + path);
  ProgressTicker ticker(log, "storing", AlignCandidates(table), 4096);
  const int64_t blocks = static_cast<int64_t>(table.blocks().size());
  WriteInOrder(&out, blocks, 16, parallel, log, nullptr,
               [&](int64_t b, int64_t e, std::string* buf) {
                 AppendAlignBlocks(table, options, b, e, buf);
               });
  ticker.Tick(AlignCandidates(table));
  ticker.Flush();
  out.Close();
}

void Model::LoadTransFile(const std::string& path, const Parallel& parallel,
                          Reporter& log) {
  Trans();
  if (!vocab) throw TypeError("the model has no vocabulary");
  LoadTransEntries(ReadTransFile(path, vocab.get(), log), parallel);
}

void Model::LoadTransEntries(const std::vector<TransEntry>& entries,
                             const Parallel& parallel) {
  Trans();
  // Tables stored from the corpus the table is laid out for name only its
  // cells: the values go in place, index and layout stay.
  if (trans.use_count() == 1 && trans->indexed_corpus() != nullptr &&
      trans->AssignInPlace(entries)) {
    return;
  }
  // The table is replaced: its index (and, when it was never trained, its
  // cells, which read as their rows' defaults) need not outlive the new
  // one's build.
  if (trans.use_count() == 1 && !trans->ReleaseCellsIfUniform()) {
    trans->ReleaseIndex();
  }
  MemoryPlan plan = memory;
  plan.align_to_come = !align;
  trans = TransTable::Relayout(*trans, trans->indexed_corpus_ptr(), entries,
                               &parallel, &plan);
}

void Model::LoadAlignFile(const std::string& path, Reporter& log) {
  Align();
  ForEachAlignEntry(path, log, [&](const AlignEntry& e) {
    // Rows past the target length and padding cells past the source length
    // name no cell that a sentence can use, nor do shapes the table was not
    // laid out with.
    if (e.j > e.J || e.i > e.I) return;
    const AlignTable::Block* b = align->Find(e.I, e.J);
    if (b == nullptr) return;
    align->values(*b)[(e.j - 1) * (e.I + 1) + e.i] = e.p;
  });
}

}  // namespace qaz
