#include "common/string_enumerator.h"

#include <cstring>
#include <stdexcept>

namespace qaz {

namespace {
constexpr size_t kInitialSlots = 1024;
}  // namespace

StringEnumerator::StringEnumerator() { Clear(); }

void StringEnumerator::Clear() {
  arena_.clear();
  offsets_.assign(1, 0);
  slots_.assign(kInitialSlots, Slot{0, -1});
  mask_ = kInitialSlots - 1;
}

uint64_t StringEnumerator::Hash(std::string_view s) {
  // 64-bit multiply-xorshift over 8-byte words; tokens are short, so this
  // costs a few cycles per token.
  const uint64_t kMul = 0x9E3779B97F4A7C15ULL;
  uint64_t h = 0x243F6A8885A308D3ULL ^ (s.size() * kMul);
  const char* p = s.data();
  size_t n = s.size();
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  h *= kMul;
  return h ^ (h >> 32);
}

int32_t StringEnumerator::Find(std::string_view s) const {
  uint64_t h = Hash(s);
  uint32_t lo = static_cast<uint32_t>(h);
  for (uint64_t pos = h & mask_;; pos = (pos + 1) & mask_) {
    const Slot& slot = slots_[pos];
    if (slot.id < 0) return -1;
    if (slot.hash_lo == lo && Entry(slot.id) == s) return slot.id;
  }
}

int32_t StringEnumerator::StrToId(std::string_view s) {
  uint64_t h = Hash(s);
  uint32_t lo = static_cast<uint32_t>(h);
  uint64_t pos = h & mask_;
  for (;; pos = (pos + 1) & mask_) {
    const Slot& slot = slots_[pos];
    if (slot.id < 0) break;
    if (slot.hash_lo == lo && Entry(slot.id) == s) return slot.id;
  }
  if (offsets_.size() > 0x7FFFFFFEu) {
    throw std::length_error("string enumerator is full (2**31 - 1 entries)");
  }
  int32_t id = size();
  arena_.append(s.data(), s.size());
  offsets_.push_back(arena_.size());
  slots_[pos] = Slot{lo, id};
  // Keep the load factor below 1/2.
  if (static_cast<uint64_t>(size()) * 2 > slots_.size()) Grow();
  return id;
}

void StringEnumerator::Grow() {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(old.size() * 2, Slot{0, -1});
  mask_ = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.id < 0) continue;
    uint64_t pos = Hash(Entry(slot.id)) & mask_;
    while (slots_[pos].id >= 0) pos = (pos + 1) & mask_;
    slots_[pos] = slot;
  }
}

std::string_view StringEnumerator::IdToStr(int64_t id) const {
  if (id < 0 || id >= size()) {
    throw std::out_of_range("id " + std::to_string(id) +
                            " is out of range for a vocabulary of size " +
                            std::to_string(size()));
  }
  return Entry(static_cast<int32_t>(id));
}

size_t StringEnumerator::MemoryBytes() const {
  return arena_.capacity() + offsets_.capacity() * sizeof(uint64_t) +
         slots_.capacity() * sizeof(Slot);
}

}  // namespace qaz
