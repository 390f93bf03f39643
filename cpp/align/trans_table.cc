#include "align/trans_table.h"

#include "common/errors.h"
#include "common/memory.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qaz {

namespace {


struct Occurrence {
  uint32_t pair;
  uint32_t pos;  // source position a
};

}  // namespace

void TransTable::CheckRange(int64_t s, int64_t t) const {
  if (s < -S_ || s >= S_) ThrowOutOfBounds(s, 0, S_);
  if (t < -T_ || t >= T_) ThrowOutOfBounds(t, 1, T_);
}

int64_t TransTable::Find(int32_t s, int32_t t) const {
  const int32_t* begin = cols_.data() + row_ptr_[s];
  const int32_t* end = cols_.data() + row_ptr_[s + 1];
  const int32_t* it = std::lower_bound(begin, end, t);
  if (it == end || *it != t) return -1;
  return it - cols_.data();
}

double TransTable::Get(int64_t s, int64_t t) const {
  CheckRange(s, t);
  if (s < 0) s += S_;
  if (t < 0) t += T_;
  int64_t k = Find(static_cast<int32_t>(s), static_cast<int32_t>(t));
  return k < 0 ? default_[s] : cells_[k].p;
}

std::shared_ptr<TransTable> TransTable::Build(
    int32_t S, int32_t T, std::shared_ptr<const Corpus> corpus_ptr,
    std::vector<TransEntry> extra, double initial, Reporter* reporter) {
  if (!corpus_ptr) corpus_ptr = std::make_shared<const Corpus>();
  NullReporter quiet;
  // Three sweeps over the source words: count, fill, then the per-pair
  // transpose, shown as one display over the cells.
  ProgressTicker ticker(reporter ? *reporter : quiet, "initializing",
                        3 * static_cast<int64_t>(corpus_ptr->Cells()),
                        int64_t{1} << 22);
  const Corpus& corpus = *corpus_ptr;
  auto table = std::make_shared<TransTable>(S, T);
  const int64_t n = corpus.size();

  // Occurrences of every source id, grouped by id (counting sort).
  std::vector<uint64_t> occ_start(static_cast<size_t>(S) + 1, 0);
  std::vector<uint64_t> cell_offsets(static_cast<size_t>(n) + 1, 0);
  for (int64_t p = 0; p < n; ++p) {
    IdSpan src = corpus.src(p), trg = corpus.trg(p);
    for (int32_t a = 0; a < src.size; ++a) {
      if (src[a] < 0 || src[a] >= S) ThrowOutOfBounds(src[a], 0, S);
      ++occ_start[src[a] + 1];
    }
    for (int32_t b = 0; b < trg.size; ++b) {
      if (trg[b] < 0 || trg[b] >= T) ThrowOutOfBounds(trg[b], 1, T);
    }
    cell_offsets[p + 1] = cell_offsets[p] + static_cast<uint64_t>(src.size) *
                                                static_cast<uint64_t>(trg.size);
  }
  for (int32_t e = 0; e < S; ++e) occ_start[e + 1] += occ_start[e];
  std::vector<Occurrence> occ(occ_start[S]);
  {
    std::vector<uint64_t> fill(occ_start.begin(), occ_start.end() - 1);
    for (int64_t p = 0; p < n; ++p) {
      IdSpan src = corpus.src(p);
      for (int32_t a = 0; a < src.size; ++a) {
        occ[fill[src[a]]++] =
            Occurrence{static_cast<uint32_t>(p), static_cast<uint32_t>(a)};
      }
    }
  }
  for (const TransEntry& x : extra) {
    if (x.src < 0 || x.src >= S) ThrowOutOfBounds(x.src, 0, S);
    if (x.trg < 0 || x.trg >= T) ThrowOutOfBounds(x.trg, 1, T);
  }
  // Group the extra entries by source id (a counting sort: the rows only
  // need them together, the targets are deduplicated and sorted per row).
  {
    std::vector<uint64_t> start(static_cast<size_t>(S) + 1, 0);
    for (const TransEntry& x : extra) ++start[x.src + 1];
    for (int32_t e = 0; e < S; ++e) start[e + 1] += start[e];
    std::vector<TransEntry> grouped(extra.size());
    for (const TransEntry& x : extra) grouped[start[x.src]++] = x;
    extra.swap(grouped);
  }

  const uint64_t total_cells = cell_offsets[n];
  std::vector<int32_t> mark(static_cast<size_t>(T), -1);

  // Count the entries first, so that a corpus too large for this machine is
  // refused before the big arrays are touched.
  uint64_t nnz = 0;
  {
    size_t y = 0;
    for (int32_t e = 0; e < S; ++e) {
      for (uint64_t k = occ_start[e]; k < occ_start[e + 1]; ++k) {
        IdSpan trg = corpus.trg(occ[k].pair);
        for (int32_t b = 0; b < trg.size; ++b) {
          if (mark[trg[b]] != e) {
            mark[trg[b]] = e;
            ++nnz;
          }
        }
        ticker.Tick(trg.size);
      }
      for (; y < extra.size() && extra[y].src == e; ++y) {
        if (mark[extra[y].trg] != e) {
          mark[extra[y].trg] = e;
          ++nnz;
        }
      }
    }
    std::fill(mark.begin(), mark.end(), -1);
  }
  CheckMemory(static_cast<int64_t>(total_cells * sizeof(uint32_t) +
                                   nnz * (sizeof(int32_t) + sizeof(TransCell))),
              "the translation table (" + std::to_string(nnz) +
                  " co-occurring word pairs) and its index of " +
                  std::to_string(total_cells) + " corpus cells");
  table->cols_.reserve(nnz);
  table->cells_.reserve(nnz);
  table->cell_index_.reserve(total_cells + kIndexPadding);
  AdviseHugePages(table->cols_.data(), nnz * sizeof(int32_t));
  AdviseHugePages(table->cells_.data(), nnz * sizeof(TransCell));
  AdviseHugePages(table->cell_index_.data(),
                  (total_cells + kIndexPadding) * sizeof(uint32_t));
  table->cell_index_.assign(total_cells + kIndexPadding, 0);
  std::vector<uint32_t> where(static_cast<size_t>(T), 0);
  std::vector<int32_t> row;
  size_t x = 0;
  for (int32_t e = 0; e < S; ++e) {
    row.clear();
    for (uint64_t k = occ_start[e]; k < occ_start[e + 1]; ++k) {
      IdSpan trg = corpus.trg(occ[k].pair);
      for (int32_t b = 0; b < trg.size; ++b) {
        int32_t f = trg[b];
        if (mark[f] != e) {
          mark[f] = e;
          row.push_back(f);
        }
      }
    }
    for (; x < extra.size() && extra[x].src == e; ++x) {
      int32_t f = extra[x].trg;
      if (mark[f] != e) {
        mark[f] = e;
        row.push_back(f);
      }
    }
    std::sort(row.begin(), row.end());
    const uint64_t base = table->cols_.size();
    if (base + row.size() > 0xFFFFFFFFull) {
      throw std::length_error("translation table exceeds 2**32 entries");
    }
    table->row_ptr_[e] = base;
    for (size_t k = 0; k < row.size(); ++k) {
      where[row[k]] = static_cast<uint32_t>(base + k);
    }
    table->cols_.insert(table->cols_.end(), row.begin(), row.end());
    for (uint64_t k = occ_start[e]; k < occ_start[e + 1]; ++k) {
      const uint32_t p = occ[k].pair;
      IdSpan trg = corpus.trg(p);
      uint32_t* dst = table->cell_index_.data() + cell_offsets[p] +
                      static_cast<uint64_t>(occ[k].pos) * trg.size;
      for (int32_t b = 0; b < trg.size; ++b) dst[b] = where[trg[b]];
      ticker.Tick(trg.size);
    }
  }
  table->row_ptr_[S] = table->cols_.size();
  // The rows were filled source-position-major (contiguous writes); the
  // sweeps read target-position-major, so transpose each pair's block.
  std::vector<uint32_t> block;
  for (int64_t p = 0; p < n; ++p) {
    const int32_t L = corpus.src(p).size, m = corpus.trg(p).size;
    uint32_t* idx = table->cell_index_.data() + cell_offsets[p];
    block.assign(idx, idx + static_cast<size_t>(L) * m);
    for (int32_t i = 0; i < L; ++i) {
      for (int32_t j = 0; j < m; ++j) idx[j * L + i] = block[i * m + j];
    }
    ticker.Tick(static_cast<int64_t>(L) * m);
  }
  ticker.Flush();
  table->cells_.assign(table->cols_.size(), TransCell{initial, 0.0});
  table->default_.assign(static_cast<size_t>(S), initial);
  table->cell_offsets_ = std::move(cell_offsets);
  table->indexed_corpus_ = std::move(corpus_ptr);
  return table;
}

std::shared_ptr<TransTable> TransTable::Relayout(
    const TransTable& old, std::shared_ptr<const Corpus> corpus,
    const std::vector<TransEntry>& entries) {
  std::vector<TransEntry> extra(entries);
  extra.reserve(old.cols_.size() + entries.size());
  for (int32_t s = 0; s < old.S_; ++s) {
    for (uint64_t k = old.row_ptr_[s]; k < old.row_ptr_[s + 1]; ++k) {
      extra.push_back(TransEntry{s, old.cols_[k], old.cells_[k].p});
    }
  }
  auto table = Build(old.S_, old.T_, std::move(corpus), extra, 0.0);
  for (int32_t s = 0; s < old.S_; ++s) {
    table->default_[s] = old.default_[s];
    uint64_t k_old = old.row_ptr_[s];
    for (uint64_t k = table->row_ptr_[s]; k < table->row_ptr_[s + 1]; ++k) {
      while (k_old < old.row_ptr_[s + 1] && old.cols_[k_old] < table->cols_[k]) {
        ++k_old;
      }
      bool present = k_old < old.row_ptr_[s + 1] &&
                     old.cols_[k_old] == table->cols_[k];
      table->cells_[k].p = present ? old.cells_[k_old].p : old.default_[s];
    }
  }
  for (const TransEntry& x : entries) {
    table->cells_[table->Find(x.src, x.trg)].p = x.p;
  }
  return table;
}

void TransTable::AppendRow(
    int32_t s, double default_value,
    const std::vector<std::pair<int32_t, double>>& cells) {
  row_ptr_[s] = cols_.size();
  for (const auto& cell : cells) {
    cols_.push_back(cell.first);
    cells_.push_back(TransCell{cell.second, 0.0});
  }
  row_ptr_[s + 1] = cols_.size();
  default_[s] = default_value;
}

void TransTable::ZeroCounts() {
  for (TransCell& cell : cells_) cell.c = 0.0;
}

void TransTable::Normalize() {
  for (int32_t s = 0; s < S_; ++s) {
    double total = 0.0;
    for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
      total += cells_[k].c;
    }
    if (!(total > 0.0)) continue;  // zero or NaN: the row stays as it is
    for (uint64_t k = row_ptr_[s]; k < row_ptr_[s + 1]; ++k) {
      cells_[k].p = cells_[k].c / total;
    }
    default_[s] = 0.0;
  }
}

void TransTable::DropCellIndex() {
  indexed_corpus_.reset();
  std::vector<uint32_t>().swap(cell_index_);
  std::vector<uint64_t>().swap(cell_offsets_);
}

size_t TransTable::MemoryBytes() const {
  return row_ptr_.capacity() * sizeof(uint64_t) +
         cols_.capacity() * sizeof(int32_t) +
         cells_.capacity() * sizeof(TransCell) +
         default_.capacity() * sizeof(double) +
         cell_index_.capacity() * sizeof(uint32_t) +
         cell_offsets_.capacity() * sizeof(uint64_t);
}

PairCells::PairCells(const TransTable& table, const Corpus& corpus)
    : table_(table), corpus_(corpus),
      indexed_(table.IndexedFor(corpus)) {}

void PairCells::Gather(int64_t p, std::vector<double>* out) const {
  IdSpan src = corpus_.src(p), trg = corpus_.trg(p);
  const size_t cells = static_cast<size_t>(src.size) * trg.size;
  out->resize(cells);
  if (indexed_) {
    const uint32_t* idx = table_.cell_index().data() + table_.cell_offsets()[p];
    const TransCell* tc = table_.cells();
    const int32_t L = src.size, m = trg.size;
    for (int32_t j = 0; j < m; ++j) {
      for (int32_t i = 0; i < L; ++i) (*out)[i * m + j] = tc[idx[j * L + i]].p;
    }
    return;
  }
  for (int32_t a = 0; a < src.size; ++a) {
    for (int32_t b = 0; b < trg.size; ++b) {
      (*out)[static_cast<size_t>(a) * trg.size + b] = table_.Get(src[a], trg[b]);
    }
  }
}

}  // namespace qaz
