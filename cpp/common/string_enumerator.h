// StringEnumerator: a string <-> dense integer id map.
//
// Ids are handed out densely from 0 in order of first entry, so the size of
// the enumerator bounds every id it has given.  Strings are kept in one
// arena; the index is an open-addressing hash table of (hash, id) slots.
//
// Usage:
//   qaz::StringEnumerator e;
//   int32_t a = e.StrToId("a");   // 0, entered
//   e.StrToId("a");               // 0 again
//   e.IdToStr(0);                 // "a"
#ifndef QAZ_COMMON_STRING_ENUMERATOR_H_
#define QAZ_COMMON_STRING_ENUMERATOR_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qaz {

class StringEnumerator {
 public:
  StringEnumerator();

  // Returns the id of `s`, entering it with the next free id when new.
  int32_t StrToId(std::string_view s);
  // Returns the id of `s` or -1 when it was never entered.
  int32_t Find(std::string_view s) const;
  // The text of `id`; throws std::out_of_range for an id never given.
  std::string_view IdToStr(int64_t id) const;

  int32_t size() const { return static_cast<int32_t>(offsets_.size()) - 1; }
  // Bytes held by the arena, the offsets and the index.
  size_t MemoryBytes() const;
  void Clear();

  static uint64_t Hash(std::string_view s);

 private:
  struct Slot {
    uint32_t hash_lo;  // low bits of the hash, to skip most string compares
    int32_t id;        // -1 when empty
  };
  std::string_view Entry(int32_t id) const {
    return std::string_view(arena_.data() + offsets_[id],
                            offsets_[id + 1] - offsets_[id]);
  }
  void Grow();

  std::string arena_;
  std::vector<uint64_t> offsets_;  // size() + 1 entries
  std::vector<Slot> slots_;        // power-of-two size
  uint64_t mask_;
};

}  // namespace qaz

#endif  // QAZ_COMMON_STRING_ENUMERATOR_H_
