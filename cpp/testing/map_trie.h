// A Trie on a std::map for the unit tests of the rule-table engine.
//
// Every key gets two tracks, as pycedar may name one node in two ways: the
// first from AppendTrack, the second only through TracksOf and ForEachKey.
// Renumber() moves every node, as inserting into a real trie may, so that
// tracks taken before go stale.  Key() of a track that names no key records
// the fact (a real trie would read arbitrary memory) and returns "?".
#ifndef QAZ_TESTING_MAP_TRIE_H_
#define QAZ_TESTING_MAP_TRIE_H_

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tables/rule_line.h"
#include "tables/trie.h"

namespace qaz::testing {

class MapTrie : public qaz::tables::Trie {
 public:
  // `first_id` keeps the tracks of two tries apart.
  explicit MapTrie(uint64_t first_id = 100) : next_id_(first_id) {}

  // Keys holding a NUL are refused, as pycedar refuses them.
  bool Insert(std::string_view key) override {
    ++inserts;
    if (key.find('\0') != std::string_view::npos) {
      refused.emplace_back(key);
      return false;
    }
    auto it = keys_.find(std::string(key));
    if (it == keys_.end()) keys_.emplace(std::string(key), next_id_++);
    return true;
  }

  bool AppendTrack(std::string_view key, std::string* out) override {
    auto it = keys_.find(std::string(key));
    if (it == keys_.end()) return false;
    qaz::tables::AppendTrack(it->second, key.size(), out);
    return true;
  }

  std::string Key(qaz::tables::Track track) override {
    for (const auto& [key, id] : keys_) {
      if ((track.id == id || track.id == Alias(id)) && track.length == key.size()) return key;
    }
    ++wild_reads;
    return "?";
  }

  void ForEachKey(const std::function<void(std::string_view)>& f) override {
    ++walks;
    for (const auto& entry : keys_) f(entry.first);
  }

  std::vector<qaz::tables::Track> TracksOf(std::string_view key) override {
    auto it = keys_.find(std::string(key));
    if (it == keys_.end()) return {};
    return {{it->second, key.size()}, {Alias(it->second), key.size()}};
  }

  void Renumber() {
    for (auto& entry : keys_) entry.second = next_id_++;
  }

  // The second track of `key`.
  qaz::tables::Track AliasTrack(const std::string& key) const {
    return {Alias(keys_.at(key)), key.size()};
  }

  std::set<std::string> Keys() const {
    std::set<std::string> out;
    for (const auto& entry : keys_) out.insert(entry.first);
    return out;
  }

  int inserts = 0;
  int walks = 0;
  int wild_reads = 0;
  std::vector<std::string> refused;

 private:
  static uint64_t Alias(uint64_t id) { return id | (uint64_t{1} << 40); }

  std::map<std::string, uint64_t> keys_;
  uint64_t next_id_;
};

}  // namespace qaz::testing

#endif  // QAZ_TESTING_MAP_TRIE_H_
