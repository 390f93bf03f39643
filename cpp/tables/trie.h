// What the rule-table passes need from a trie of text keys, and a check of
// tracks that come from outside before they reach one.
//
// The bindings implement `Trie` on pycedar dictionaries; the unit tests on a
// std::map.  A track names a key's node by two numbers, as the trie itself
// hands them out; a trie may name one node in more than one way.
//
// Usage:
//   std::string key = qaz::tables::KeyOfTrack(fields, "(1204,7)");
//   qaz::tables::KnownTracks known;                 // one per trie, kept
//   qaz::tables::CheckedTrie checked(fields, known);
//   qaz::tables::KeyOfTrack(checked, caller_track);  // UnknownTrack if forged
#ifndef QAZ_TABLES_TRIE_H_
#define QAZ_TABLES_TRIE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qaz::tables {

struct Track {
  uint64_t id = 0;
  uint64_t length = 0;
  bool operator==(const Track& o) const { return id == o.id && length == o.length; }
  bool operator<(const Track& o) const {
    return id < o.id || (id == o.id && length < o.length);
  }
};

class Trie {
 public:
  virtual ~Trie() = default;

  // Enters `key`.  Returns false when the trie refused the key and the
  // implementation chose to go on (it has reported why); other failures
  // propagate.
  virtual bool Insert(std::string_view key) = 0;

  // Appends the track text of `key`'s node to `out`; false when `key` is not
  // a key.
  virtual bool AppendTrack(std::string_view key, std::string* out) = 0;

  // The key of the node `track` names.  Only safe for tracks this trie handed
  // out for its present keys: a trie need not check (pycedar reads wherever
  // the numbers point).  Wrap the trie in a CheckedTrie for other tracks.
  virtual std::string Key(Track track) = 0;

  // Reads a track text that is not of the plain form "(digits,digits)", as
  // the host reads numbers.  The default refuses it with
  // std::invalid_argument.
  virtual Track ParseTrack(std::string_view text);

  // Calls `f` with every key.
  virtual void ForEachKey(const std::function<void(std::string_view)>& f) = 0;

  // Every track that names `key`'s node as the trie is now (none when `key`
  // is not a key), found from the root, so safe for any key.
  virtual std::vector<Track> TracksOf(std::string_view key) = 0;

  // Calls `f` with every key and its TracksOf(); a trie may do this in one
  // walk.
  virtual void ForEachKeyAndTracks(
      const std::function<void(std::string_view, const std::vector<Track>&)>& f);
};

// The track of a track text: the plain form read here, any other handed to
// the trie's own reading.
Track ParseTrackText(Trie& trie, std::string_view text);

// The key of the node that the track text `text` names.
std::string KeyOfTrack(Trie& trie, std::string_view text);

// A track that names no key of the trie it was checked against.
class UnknownTrack : public std::invalid_argument {
 public:
  explicit UnknownTrack(Track track);
  Track track() const { return track_; }

 private:
  Track track_;
};

// The tracks of every key of one trie with their keys, gathered once and
// kept, to check tracks that come from outside.  A track found here is
// confirmed against the trie as it is now before it counts, and a track not
// found sends for a new gathering (the trie may have changed since), so a
// stale or forged track never reaches the trie's unchecked Key().
class KnownTracks {
 public:

  // The key whose node `track` names in `trie`, or nothing.
  std::optional<std::string> KeyOf(Trie& trie, Track track);

  // Whether `track` names a node of `trie` as it was at the first
  // gathering: for a walk over a trie that does not change meanwhile.
  bool Contains(Trie& trie, Track track);

  bool gathered() const { return gathered_; }
  size_t size() const { return entries_.size(); }

 private:
  void Gather(Trie& trie);
  // Index into keys_ of the key `track` names, or -1.
  int64_t Find(Track track) const;
  std::string_view KeyAt(int64_t index) const;

  bool gathered_ = false;
  std::vector<std::pair<Track, uint32_t>> entries_;  // sorted; index of the key
  std::string arena_;                                // every key, back to back
  std::vector<size_t> key_ends_;                     // end of key i in arena_
};

// A trie whose Key() checks the track against the trie's known tracks first
// (UnknownTrack when it names no key); everything else goes straight through.
class CheckedTrie : public Trie {
 public:
  CheckedTrie(Trie& trie, KnownTracks& known) : trie_(trie), known_(known) {}

  bool Insert(std::string_view key) override { return trie_.Insert(key); }
  bool AppendTrack(std::string_view key, std::string* out) override {
    return trie_.AppendTrack(key, out);
  }
  std::string Key(Track track) override;
  Track ParseTrack(std::string_view text) override { return trie_.ParseTrack(text); }
  void ForEachKey(const std::function<void(std::string_view)>& f) override {
    trie_.ForEachKey(f);
  }
  std::vector<Track> TracksOf(std::string_view key) override {
    return trie_.TracksOf(key);
  }
  void ForEachKeyAndTracks(
      const std::function<void(std::string_view, const std::vector<Track>&)>& f)
      override {
    trie_.ForEachKeyAndTracks(f);
  }

 private:
  Trie& trie_;
  KnownTracks& known_;
};

}  // namespace qaz::tables

#endif  // QAZ_TABLES_TRIE_H_
