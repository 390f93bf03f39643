#include "align/models/model.h"

#include <algorithm>

#include "align/model.h"
#include "align/readers.h"
#include "align/writers.h"

namespace qaz {

double PairwiseSum(const double* x, int64_t n) {
  if (n < 8) {
    double res = 0.0;
    for (int64_t k = 0; k < n; ++k) res += x[k];
    return res;
  }
  if (n <= 128) {
    double r[8];
    for (int k = 0; k < 8; ++k) r[k] = x[k];
    int64_t k = 8;
    for (; k < n - (n % 8); k += 8) {
      for (int q = 0; q < 8; ++q) r[q] += x[k + q];
    }
    double res = ((r[0] + r[1]) + (r[2] + r[3])) + ((r[4] + r[5]) + (r[6] + r[7]));
    for (; k < n; ++k) res += x[k];
    return res;
  }
  int64_t n2 = n / 2;
  n2 -= n2 % 8;
  return PairwiseSum(x, n2) + PairwiseSum(x + n2, n - n2);
}

PairAlign PairAlignOf(const AlignTable* align, int32_t L, int32_t m,
                      std::vector<double>* uniform) {
  const AlignTable::Block* b = align ? align->PairBlock(L, m) : nullptr;
  if (b != nullptr) return PairAlign{align->values(*b), static_cast<size_t>(L)};
  uniform->assign(static_cast<size_t>(L), 1.0 / static_cast<double>(L));
  return PairAlign{uniform->data(), 0};
}

void AlignmentModel::WriteTables(const Model& model,
                                 const std::string& trans_path,
                                 const std::string* align_path,
                                 const WriteOptions& options,
                                 const std::string& threshold_text,
                                 const Parallel& parallel,
                                 Reporter& log) const {
  model.WriteTransFile(trans_path, options, threshold_text, parallel, log);
  if (align_path != nullptr && has_align_table()) {
    WriteOptions align_options = options;
    align_options.nbest.reset();
    model.WriteAlignFile(*align_path, align_options, parallel, log);
  }
}

Model AlignmentModel::ReadTables(const std::string& trans_path,
                                 const std::string* align_path,
                                 const Parallel& parallel,
                                 Reporter& log) const {
  Model model;
  model.type = type();
  model.vocab = std::make_shared<Vocab>();
  Vocab& vocab = *model.vocab;
  vocab.src.StrToId(kNullSymbol);
  log.Info("loading word translation distribution file: " + trans_path);
  const std::vector<TransEntry> entries = ReadTransFile(trans_path, &vocab, log);
  auto table = TransTable::Build(vocab.src.size(), vocab.trg.size(), nullptr,
                                 entries, 0.0, &log, &parallel);
  for (const TransEntry& e : entries) {  // a repeated pair: the last one wins
    table->cells()[table->Find(e.src, e.trg)].p = e.p;
  }
  std::shared_ptr<AlignTable> align;
  if (align_path != nullptr && has_align_table()) {
    log.Info("loading alignment distribution file: " + *align_path);
    std::vector<AlignEntry> cells = ReadAlignFile(*align_path, log);
    // Rows past the target length and cells past the source length name no
    // cell that a sentence can use.
    cells.erase(std::remove_if(cells.begin(), cells.end(),
                               [](const AlignEntry& c) {
                                 return c.j > c.J || c.i > c.I;
                               }),
                cells.end());
    int32_t A = 1, B = 0;
    for (const AlignEntry& c : cells) {
      A = std::max(A, c.I + 1);
      B = std::max(B, c.J);
    }
    align = std::make_shared<AlignTable>(A, B);
    for (const AlignEntry& c : cells) {
      const AlignTable::Block b = align->Add(c.I, c.J);
      align->values(b)[(c.j - 1) * (c.I + 1) + c.i] = c.p;
      // A row the file lists was re-estimated in training, which left its
      // padding cells at 0; no sentence reads them.
      align->padding(b)[c.j - 1] = 0.0;
    }
  } else {
    align = std::make_shared<AlignTable>(1, 0);
  }
  model.trans = std::move(table);
  model.align = std::move(align);
  return model;
}

}  // namespace qaz
