#include "tables/trie.h"

#include <stdexcept>
#include <string>

#include "tables/rule_line.h"
#include "testing/harness.h"
#include "testing/map_trie.h"

using qaz::tables::CheckedTrie;
using qaz::tables::KeyOfTrack;
using qaz::tables::KnownTracks;
using qaz::tables::Track;
using qaz::tables::UnknownTrack;
using qaz::testing::MapTrie;

namespace {

std::string TrackOf(MapTrie& trie, const std::string& key) {
  std::string out;
  trie.AppendTrack(key, &out);
  return out;
}

MapTrie Filled(uint64_t first_id) {
  MapTrie trie(first_id);
  for (const char* k : {"a", "b", "das Haus", "\xe6\x97\xa5\xe6\x9c\xac"}) trie.Insert(k);
  return trie;
}

}  // namespace

QAZ_TEST(KeyOfTrackReadsPlainAndOtherForms) {
  MapTrie trie = Filled(100);
  QAZ_EXPECT_EQ(KeyOfTrack(trie, TrackOf(trie, "das Haus")), "das Haus");
  // Other forms go to the trie's own reading; the map trie has none.
  QAZ_EXPECT_THROW(KeyOfTrack(trie, "( 100,1)"), std::invalid_argument);
}

QAZ_TEST(KnownTracksAcceptEveryTrackOfEveryKey) {
  MapTrie trie = Filled(100);
  KnownTracks known;
  for (const std::string& key : trie.Keys()) {
    uint64_t id, length;
    QAZ_EXPECT(qaz::tables::ParsePlainTrack(TrackOf(trie, key), &id, &length));
    QAZ_EXPECT(known.KeyOf(trie, {id, length}) == key);
    QAZ_EXPECT(known.KeyOf(trie, trie.AliasTrack(key)) == key);
  }
  QAZ_EXPECT_EQ(known.size(), 8u);
  QAZ_EXPECT_EQ(trie.walks, 1);  // gathered once, then kept
}

QAZ_TEST(KnownTracksRefuseForgedIdsAndLengths) {
  MapTrie trie = Filled(100);
  KnownTracks known;
  CheckedTrie checked(trie, known);
  const std::string a = TrackOf(trie, "a");  // (100,1) or so
  uint64_t id, length;
  qaz::tables::ParsePlainTrack(a, &id, &length);
  for (Track forged : {Track{99999999999, 5}, Track{id, length + 1}, Track{id + 1000, length},
                       Track{id, 0}, Track{~uint64_t{0}, ~uint64_t{0}}}) {
    QAZ_EXPECT(!known.KeyOf(trie, forged));
    QAZ_EXPECT_THROW(checked.Key(forged), UnknownTrack);
  }
  QAZ_EXPECT_EQ(trie.wild_reads, 0);
  const auto e = qaz::testing::Thrown<UnknownTrack>([&] { KeyOfTrack(checked, "(99999999999,5)"); });
  QAZ_EXPECT(e && std::string(e->what()) == "track (99999999999,5) names no key of the trie");
  QAZ_EXPECT(e && e->track() == (Track{99999999999, 5}));
  QAZ_EXPECT_EQ(KeyOfTrack(checked, a), "a");
}

QAZ_TEST(KnownTracksNoticeTracksThatWentStale) {
  MapTrie trie = Filled(100);
  KnownTracks known;
  CheckedTrie checked(trie, known);
  const std::string old_b = TrackOf(trie, "b");
  QAZ_EXPECT_EQ(KeyOfTrack(checked, old_b), "b");  // gathers
  trie.Renumber();                                 // every node moves
  QAZ_EXPECT_THROW(KeyOfTrack(checked, old_b), UnknownTrack);
  const std::string new_b = TrackOf(trie, "b");
  QAZ_EXPECT_EQ(KeyOfTrack(checked, new_b), "b");
  // A key entered after the gathering is found by gathering again.
  trie.Insert("new key");
  QAZ_EXPECT_EQ(KeyOfTrack(checked, TrackOf(trie, "new key")), "new key");
  QAZ_EXPECT_EQ(trie.wild_reads, 0);
}

QAZ_TEST(KnownTracksRefuseTracksOfAnotherTrie) {
  MapTrie mine = Filled(100);
  MapTrie other = Filled(5000);
  KnownTracks known;
  CheckedTrie checked(mine, known);
  for (const std::string& key : other.Keys()) {
    QAZ_EXPECT_THROW(KeyOfTrack(checked, TrackOf(other, key)), UnknownTrack);
  }
  QAZ_EXPECT_EQ(mine.wild_reads, 0);
  // The unchecked trie reads wherever the numbers point.
  KeyOfTrack(mine, TrackOf(other, "a"));
  QAZ_EXPECT_EQ(mine.wild_reads, 1);
}

QAZ_TEST(CheckedTriePassesEverythingElseThrough) {
  MapTrie trie = Filled(100);
  KnownTracks known;
  CheckedTrie checked(trie, known);
  QAZ_EXPECT(checked.Insert("c") && trie.Keys().count("c") == 1);
  QAZ_EXPECT(!checked.Insert(std::string("x\0y", 3)));
  std::string out;
  QAZ_EXPECT(checked.AppendTrack("c", &out) && out == TrackOf(trie, "c"));
  QAZ_EXPECT(!checked.AppendTrack("absent", &out));
  QAZ_EXPECT_EQ(checked.TracksOf("c").size(), 2u);
  QAZ_EXPECT_THROW(checked.ParseTrack("(1)"), std::invalid_argument);
  int keys = 0;
  checked.ForEachKey([&](std::string_view) { ++keys; });
  QAZ_EXPECT_EQ(keys, 5);
  QAZ_EXPECT(!known.gathered());
}
