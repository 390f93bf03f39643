#include "tables/trie.h"

#include <algorithm>

#include "tables/rule_line.h"

namespace qaz::tables {

Track Trie::ParseTrack(std::string_view text) {
  throw std::invalid_argument("not a track: " + std::string(text));
}

Track ParseTrackText(Trie& trie, std::string_view text) {
  Track t;
  if (ParsePlainTrack(text, &t.id, &t.length)) return t;
  return trie.ParseTrack(text);
}

std::string KeyOfTrack(Trie& trie, std::string_view text) {
  return trie.Key(ParseTrackText(trie, text));
}

UnknownTrack::UnknownTrack(Track track)
    : std::invalid_argument("track " + FormatTrack(track.id, track.length) +
                            " names no key of the trie"),
      track_(track) {}

void Trie::ForEachKeyAndTracks(
    const std::function<void(std::string_view, const std::vector<Track>&)>& f) {
  ForEachKey([&](std::string_view key) { f(key, TracksOf(key)); });
}

void KnownTracks::Gather(Trie& trie) {
  entries_.clear();
  arena_.clear();
  key_ends_.clear();
  trie.ForEachKeyAndTracks([&](std::string_view key, const std::vector<Track>& tracks) {
    const auto index = static_cast<uint32_t>(key_ends_.size());
    arena_ += key;
    key_ends_.push_back(arena_.size());
    for (const Track& t : tracks) entries_.emplace_back(t, index);
  });
  std::sort(entries_.begin(), entries_.end());
  entries_.erase(std::unique(entries_.begin(), entries_.end()), entries_.end());
  gathered_ = true;
}

int64_t KnownTracks::Find(Track track) const {
  auto it = std::lower_bound(
      entries_.begin(), entries_.end(), track,
      [](const std::pair<Track, uint32_t>& e, const Track& t) { return e.first < t; });
  if (it == entries_.end() || !(it->first == track)) return -1;
  return it->second;
}

std::string_view KnownTracks::KeyAt(int64_t index) const {
  const size_t begin = index == 0 ? 0 : key_ends_[index - 1];
  return std::string_view(arena_).substr(begin, key_ends_[index] - begin);
}

std::optional<std::string> KnownTracks::KeyOf(Trie& trie, Track track) {
  if (gathered_) {
    const int64_t index = Find(track);
    if (index >= 0) {
      const std::string_view key = KeyAt(index);
      const std::vector<Track> now = trie.TracksOf(key);
      if (std::find(now.begin(), now.end(), track) != now.end()) {
        return std::string(key);
      }
    }
  }
  // Not known, or known from a trie that has changed since: look again.
  Gather(trie);
  const int64_t index = Find(track);
  if (index < 0) return std::nullopt;
  return std::string(KeyAt(index));
}

bool KnownTracks::Contains(Trie& trie, Track track) {
  if (!gathered_) Gather(trie);
  return Find(track) >= 0;
}

std::string CheckedTrie::Key(Track track) {
  if (!known_.KeyOf(trie_, track)) throw UnknownTrack(track);
  return trie_.Key(track);
}

}  // namespace qaz::tables
