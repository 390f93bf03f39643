#include "align/shard.h"

#include <algorithm>
#include <stdexcept>

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

}  // namespace qaz
