#include "align/shard.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qaz {

std::vector<uint64_t> CellKeys(const TransTable& table) {
  std::vector<uint64_t> keys(static_cast<size_t>(table.nnz()));
  const int32_t* cols = table.cols();
  for (int32_t s = 0; s < table.S(); ++s) {
    for (uint64_t k = table.row_begin(s); k < table.row_end(s); ++k) {
      keys[k] = static_cast<uint64_t>(s) << 32 | static_cast<uint32_t>(cols[k]);
    }
  }
  return keys;
}

CellUnion UnionCells(int32_t S, const std::vector<std::vector<uint64_t>>& shards) {
  std::vector<uint64_t> all;
  size_t total = 0;
  for (const auto& keys : shards) total += keys.size();
  all.reserve(total);
  for (const auto& keys : shards) all.insert(all.end(), keys.begin(), keys.end());
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  if (all.size() > 0xFFFFFFFFull) {
    throw std::length_error("translation table exceeds 2**32 entries");
  }
  CellUnion u;
  u.row_ptr.assign(static_cast<size_t>(S) + 1, 0);
  u.cols.resize(all.size());
  for (size_t k = 0; k < all.size(); ++k) {
    const uint64_t s = all[k] >> 32;
    if (s >= static_cast<uint64_t>(S)) throw std::out_of_range("source id out of range");
    ++u.row_ptr[s + 1];
    u.cols[k] = static_cast<int32_t>(all[k] & 0xFFFFFFFFu);
  }
  for (int32_t s = 0; s < S; ++s) u.row_ptr[s + 1] += u.row_ptr[s];
  for (const auto& keys : shards) {
    std::vector<uint32_t> map(keys.size());
    // Both lists ascend: one forward merge.
    size_t at = 0;
    for (size_t k = 0; k < keys.size(); ++k) {
      while (all[at] < keys[k]) ++at;
      map[k] = static_cast<uint32_t>(at);
    }
    u.maps.push_back(std::move(map));
  }
  return u;
}

std::vector<std::pair<int32_t, int32_t>> BlockShapes(const AlignTable& align) {
  std::vector<std::pair<int32_t, int32_t>> shapes;
  for (const AlignTable::Block& b : align.blocks()) shapes.emplace_back(b.I, b.J);
  return shapes;
}

std::shared_ptr<AlignTable> UnionShapes(
    int32_t A, int32_t B,
    const std::vector<std::vector<std::pair<int32_t, int32_t>>>& shards,
    std::vector<std::vector<uint64_t>>* offsets) {
  std::vector<std::pair<int32_t, int32_t>> all;
  for (const auto& shapes : shards) all.insert(all.end(), shapes.begin(), shapes.end());
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  auto table = std::make_shared<AlignTable>(A, B);
  for (const auto& sh : all) {
    table->CheckShape(sh.first + 1, sh.second);
    table->Add(sh.first, sh.second);
  }
  offsets->clear();
  for (const auto& shapes : shards) {
    std::vector<uint64_t> off;
    off.reserve(shapes.size());
    for (const auto& sh : shapes) off.push_back(table->Find(sh.first, sh.second)->offset);
    offsets->push_back(std::move(off));
  }
  return table;
}

uint64_t AlignCells(const AlignTable& align) {
  uint64_t n = 0;
  for (const AlignTable::Block& b : align.blocks()) {
    n += static_cast<uint64_t>(b.J) * static_cast<uint64_t>(b.I + 1);
  }
  return n;
}

void TakeValues(const double* whole_p, const std::vector<uint32_t>& map,
                const double* whole_a, const std::vector<uint64_t>& offsets,
                TransTable* table, AlignTable* align) {
  if (map.size() != static_cast<size_t>(table->nnz()) ||
      offsets.size() != align->blocks().size()) {
    throw std::logic_error("the shard's maps do not match its tables");
  }
  TransCell* cells = table->cells();
  for (size_t k = 0; k < map.size(); ++k) cells[k].p = whole_p[map[k]];
  for (size_t k = 0; k < offsets.size(); ++k) {
    const AlignTable::Block& b = align->blocks()[k];
    const size_t n = static_cast<size_t>(b.J) * static_cast<size_t>(b.I + 1);
    std::copy(whole_a + offsets[k], whole_a + offsets[k] + n, align->values(b));
  }
}

void AddCounts(const double* counts, const std::vector<uint32_t>& map,
               TransTable* whole) {
  TransCell* cells = whole->cells();
  for (size_t k = 0; k < map.size(); ++k) cells[map[k]].c += counts[k];
}

void AddAlignCounts(const double* counts,
                    const std::vector<std::pair<int32_t, int32_t>>& shapes,
                    const std::vector<uint64_t>& offsets, AlignTable* whole) {
  for (size_t k = 0; k < shapes.size(); ++k) {
    const size_t n = static_cast<size_t>(shapes[k].second) *
                     static_cast<size_t>(shapes[k].first + 1);
    double* out = whole->counts_at(offsets[k]);
    for (size_t x = 0; x < n; ++x) out[x] += counts[x];
    counts += n;
  }
}

Corpus RemapCorpus(const Corpus& corpus, const std::vector<int32_t>& src_map,
                   const std::vector<int32_t>& trg_map) {
  Corpus out;
  std::vector<int32_t> src, trg;
  const auto map = [](const IdSpan& ids, const std::vector<int32_t>& m,
                      const char* side, std::vector<int32_t>* to) {
    to->resize(static_cast<size_t>(ids.size));
    for (int32_t k = 0; k < ids.size; ++k) {
      if (ids[k] < 0 || static_cast<size_t>(ids[k]) >= m.size()) {
        throw std::out_of_range(std::string(side) + " id " +
                                std::to_string(ids[k]) + " outside the map");
      }
      (*to)[k] = m[ids[k]];
    }
  };
  for (int64_t p = 0; p < corpus.size(); ++p) {
    const IdSpan a = corpus.src(p), b = corpus.trg(p);
    map(a, src_map, "source", &src);
    map(b, trg_map, "target", &trg);
    out.AddPair(src.data(), a.size, trg.data(), b.size);
  }
  return out;
}

// ------------------------------------------------------------ ShardTables

ShardTables::ShardTables(std::shared_ptr<const Corpus> corpus, int32_t S,
                         int32_t T, int32_t A, int32_t B,
                         const Parallel& parallel)
    : corpus_(std::move(corpus)) {
  MemoryPlan plan;
  plan.layout = MemoryPlan::Layout::kIndex;
  trans_ = TransTable::Build(S, T, corpus_, {}, 0.0, nullptr, &parallel, &plan);
  align_ = AlignTable::Build(A, B, *corpus_);
}

void ShardTables::Attach(std::vector<uint32_t> cell_map,
                         std::vector<uint64_t> block_offsets) {
  if (cell_map.size() != static_cast<size_t>(trans_->nnz()) ||
      block_offsets.size() != align_->blocks().size()) {
    throw std::invalid_argument("the maps do not match the shard's tables");
  }
  cell_map_ = std::move(cell_map);
  block_offsets_ = std::move(block_offsets);
  attached_ = true;
}

void ShardTables::TakeValues(const double* p, size_t p_size, const double* a,
                             size_t a_size) {
  if (!attached_) throw std::logic_error("the shard has no maps yet");
  for (uint32_t k : cell_map_) {
    if (k >= p_size) {
      throw std::out_of_range("the values do not cover the shard's cells");
    }
  }
  const std::vector<AlignTable::Block>& blocks = align_->blocks();
  for (size_t k = 0; k < blocks.size(); ++k) {
    const uint64_t n = static_cast<uint64_t>(blocks[k].J) * (blocks[k].I + 1);
    if (block_offsets_[k] + n > a_size) {
      throw std::out_of_range("the values do not cover the shard's shapes");
    }
  }
  qaz::TakeValues(p, cell_map_, a, block_offsets_, trans_.get(), align_.get());
}

void ShardTables::TakeTransValues(const double* p, size_t p_size) {
  if (!attached_) throw std::logic_error("the shard has no maps yet");
  TransCell* cells = trans_->cells();
  for (size_t k = 0; k < cell_map_.size(); ++k) {
    if (cell_map_[k] >= p_size) {
      throw std::out_of_range("the values do not cover the shard's cells");
    }
    cells[k].p = p[cell_map_[k]];
  }
}

double ShardTables::Sweep(const SweepRequest& request,
                          const Parallel& parallel, std::vector<double>* counts,
                          std::vector<double>* align_counts) {
  NullReporter quiet;
  const double total = qaz::Sweep(trans_.get(), align_.get(), *corpus_,
                                  request, parallel, &scratch_, quiet);
  counts->clear();
  align_counts->clear();
  if (!request.expect) return total;
  const TransCell* cells = trans_->cells();
  counts->resize(static_cast<size_t>(trans_->nnz()));
  for (size_t k = 0; k < counts->size(); ++k) (*counts)[k] = cells[k].c;
  if (request.expect_model == ModelType::kModel2) {
    align_counts->reserve(static_cast<size_t>(AlignCells(*align_)));
    for (const AlignTable::Block& b : align_->blocks()) {
      const size_t n = static_cast<size_t>(b.J) * (b.I + 1);
      align_counts->insert(align_counts->end(), align_->counts(b),
                           align_->counts(b) + n);
    }
  }
  return total;
}

Model ShardTables::AsModel() const {
  Model model;
  model.type = ModelType::kModel2;
  model.trans = trans_;
  model.align = align_;
  return model;
}

size_t ShardTables::MemoryBytes() const {
  return corpus_->MemoryBytes() + trans_->MemoryBytes() +
         align_->MemoryBytes() + cell_map_.size() * sizeof(uint32_t) +
         block_offsets_.size() * sizeof(uint64_t);
}

// ---------------------------------------------------------- ShardedTables

ShardedTables::ShardedTables(
    int32_t S, int32_t T, int32_t A, int32_t B,
    const std::vector<std::vector<uint64_t>>& keys,
    std::vector<std::vector<std::pair<int32_t, int32_t>>> shapes)
    : shapes_(std::move(shapes)) {
  if (keys.size() != shapes_.size()) {
    throw std::invalid_argument("expected the cells and the shapes of as many shards");
  }
  CellUnion u = UnionCells(S, keys);
  maps_ = std::move(u.maps);
  trans_ = TransTable::FromRows(
      S, T, std::move(u.row_ptr), std::move(u.cols),
      1.0 / static_cast<double>(T),
      "cell layout: " + std::to_string(keys.size()) +
          " shards, each indexed on its worker");
  align_ = UnionShapes(A, B, shapes_, &offsets_);
}

std::vector<double> ShardedTables::TransValues() const {
  std::vector<double> p(static_cast<size_t>(trans_->nnz()));
  const TransCell* cells = trans_->cells();
  for (size_t k = 0; k < p.size(); ++k) p[k] = cells[k].p;
  return p;
}

std::vector<double> ShardedTables::AlignValues() const {
  std::vector<double> a;
  a.reserve(static_cast<size_t>(AlignCells(*align_)));
  for (const AlignTable::Block& b : align_->blocks()) {
    const size_t n = static_cast<size_t>(b.J) * (b.I + 1);
    a.insert(a.end(), align_->values(b), align_->values(b) + n);
  }
  return a;
}

double ShardedTables::Reduce(const std::vector<Part>& parts, bool expect,
                             bool model2) {
  if (parts.size() != maps_.size()) {
    throw std::invalid_argument("expected one result per shard");
  }
  if (expect) {
    for (size_t s = 0; s < parts.size(); ++s) {
      if (parts[s].counts_size != maps_[s].size()) {
        throw std::invalid_argument("a shard's counts do not match its cells");
      }
      if (model2) {
        uint64_t n = 0;
        for (const auto& sh : shapes_[s]) {
          n += static_cast<uint64_t>(sh.second) * (sh.first + 1);
        }
        if (parts[s].align_counts_size != n) {
          throw std::invalid_argument(
              "a shard's alignment counts do not match its shapes");
        }
      }
    }
    trans_->ZeroCounts();
    if (model2) align_->ZeroCounts();
  }
  double total = 0.0;
  for (size_t s = 0; s < parts.size(); ++s) {
    total += parts[s].total;
    if (!expect) continue;
    AddCounts(parts[s].counts, maps_[s], trans_.get());
    if (model2) {
      AddAlignCounts(parts[s].align_counts, shapes_[s], offsets_[s],
                     align_.get());
    }
  }
  return total;
}

}  // namespace qaz
