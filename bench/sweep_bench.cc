// Engine-only timings of the set-up and of each kind of walk over a corpus,
// without the interpreter:
//
//   cmake -S . -B build/bench -DQAZ_BUILD_BENCH=ON && cmake --build build/bench
//   build/bench/sweep_bench SRC TRG [--threads N] [--repeat R] [--lookup [CELLS]]
//
// Prints the corpus load, the translation table's build (fastest of R), and
// for each walk (entropy only, E-step with entropy, E-step alone, Model 1 and
// Model 2, and a Model 2 trainer's Model 1 walk: E-step of Model 1 with the
// entropy of Model 2, over the uniform start of the alignment table; the
// Model 2 walks read its values, as after a Model 2 M-step) the mean of R
// walks, in seconds and ns per cell.  --lookup builds
// the layout without the cell index (cells looked up CELLS at a time, by
// default 4,194,304).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "align/align_table.h"
#include "align/corpus.h"
#include "align/sweep.h"
#include "align/trans_table.h"
#include "common/parallel.h"
#include "common/reporter.h"

namespace {

double Now() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s SRC TRG [--threads N] [--repeat R] [--lookup [CELLS]]\n",
                 argv[0]);
    return 2;
  }
  int threads = 0, repeat = 5;
  bool lookup = false;
  int64_t lookup_cells = int64_t{1} << 22;
  for (int k = 3; k < argc; ++k) {
    if (!std::strcmp(argv[k], "--threads") && k + 1 < argc) {
      threads = std::atoi(argv[++k]);
    } else if (!std::strcmp(argv[k], "--repeat") && k + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++k]));
    } else if (!std::strcmp(argv[k], "--lookup")) {
      lookup = true;
      if (k + 1 < argc && argv[k + 1][0] != '-') lookup_cells = std::atoll(argv[++k]);
    } else {
      std::fprintf(stderr, "unknown argument: %s\n", argv[k]);
      return 2;
    }
  }
  qaz::NullReporter quiet;
  qaz::Parallel parallel(threads);
  qaz::Vocab vocab;
  double t0 = Now();
  auto corpus = std::make_shared<const qaz::Corpus>(
      qaz::LoadCorpus(&vocab, argv[1], argv[2], false, quiet));
  std::printf("threads %d, corpus load %.3f s\n", parallel.threads(), Now() - t0);
  uint64_t cells = 0;
  int32_t A = 0, B = 0;
  for (int64_t p = 0; p < corpus->size(); ++p) {
    cells += static_cast<uint64_t>(corpus->src(p).size) * corpus->trg(p).size;
    A = std::max(A, corpus->src(p).size);
    B = std::max(B, corpus->trg(p).size);
  }
  qaz::MemoryPlan plan;
  if (lookup) {
    plan.layout = qaz::MemoryPlan::Layout::kLookup;
    plan.lookup_cells = lookup_cells;
  }
  const int32_t S = vocab.src.size(), T = vocab.trg.size();
  std::shared_ptr<qaz::TransTable> table;
  double best = 1e30;
  for (int r = 0; r < repeat; ++r) {
    table.reset();
    t0 = Now();
    table = qaz::TransTable::Build(S, T, corpus, {}, 1.0 / T, nullptr,
                                   &parallel, &plan);
    best = std::min(best, Now() - t0);
  }
  std::printf("table build %.3f s (fastest of %d), %s\n", best, repeat,
              table->layout_note().c_str());
  auto align = qaz::AlignTable::Build(A, B, *corpus);
  qaz::SweepScratch scratch;
  struct Kind {
    const char* name;
    bool expect, entropy;
    qaz::ModelType model;
    // The entropy's model when it differs (a Model 2's Model 1 iterations).
    qaz::ModelType entropy_model = model;
  };
  const Kind kinds[] = {
      {"Model 1 entropy", false, true, qaz::ModelType::kModel1},
      {"Model 1 E-step + entropy", true, true, qaz::ModelType::kModel1},
      {"Model 1 E-step", true, false, qaz::ModelType::kModel1},
      {"M1 E-step + M2 entropy", true, true, qaz::ModelType::kModel1,
       qaz::ModelType::kModel2},
      {"Model 2 entropy", false, true, qaz::ModelType::kModel2},
      {"Model 2 E-step + entropy", true, true, qaz::ModelType::kModel2},
      {"Model 2 E-step", true, false, qaz::ModelType::kModel2},
  };
  for (const Kind& kind : kinds) {
    if (kind.model == qaz::ModelType::kModel2 && align->uniform()) {
      // After a Model 2 M-step the walks read the alignment values (these
      // stay 1/L, but no longer count as the uniform start).
      for (const qaz::AlignTable::Block& b : align->blocks()) align->values(b);
    }
    qaz::SweepRequest request;
    request.expect = kind.expect;
    request.expect_model = kind.model;
    request.entropy = kind.entropy;
    request.entropy_model = kind.entropy_model;
    double total = 0.0;
    for (int r = 0; r < repeat; ++r) {
      t0 = Now();
      qaz::Sweep(table.get(), align.get(), *corpus, request, parallel,
                 &scratch, quiet);
      total += Now() - t0;
    }
    const double mean = total / repeat;
    std::printf("%-26s %.3f s  %.2f ns/cell\n", kind.name, mean,
                mean * 1e9 / static_cast<double>(cells));
  }
  return 0;
}
