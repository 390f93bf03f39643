#include "tables/rule_table.h"

#include <cctype>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/text.h"
#include "tables/rule_line.h"
#include "testing/harness.h"
#include "testing/map_trie.h"

using namespace qaz::tables;
using qaz::testing::MapTrie;

namespace {

// Quotes as repr() does for the texts used here: NUL escaped.
std::string Quoted(std::string_view s) {
  std::string out = "'";
  for (char c : s) out += c == '\0' ? std::string("\\x00") : std::string(1, c);
  return out + "'";
}

std::string TrackOf(MapTrie& trie, const std::string& key) {
  std::string out;
  trie.AppendTrack(key, &out);
  return out;
}

FieldPassOptions Options(bool with_target) {
  FieldPassOptions options;
  options.with_target = with_target;
  options.key_type_shown = "'src'";
  options.quote = Quoted;
  return options;
}

const SourceKeyFn kSourceIsKey = [](std::string_view s) { return std::string(s); };

// The kind and message of the RuleError that `f` throws.
template <typename F>
std::pair<RuleError::Kind, std::string> Failure(F f) {
  const auto e = qaz::testing::Thrown<RuleError>(f);
  if (!e) return {RuleError::kValue, "no failure"};
  return {e->kind(), e->what()};
}

// A loaded table in engine terms: pass 1 and 2 on `lines`, pass 3 on every
// record, by tracks or by rebuilt line.
struct Loaded {
  MapTrie fields{100}, records{5000}, src{9000}, trg{9500};
  std::vector<MapTrie> columns;
  IndexTries indexes;

  Loaded(const std::vector<std::string>& lines, bool with_target, bool by_line = false) {
    columns.reserve(8);
    indexes.src = &src;
    indexes.trg = with_target ? &trg : nullptr;
    indexes.column = [this](size_t i) -> Trie& {
      while (columns.size() <= i) columns.emplace_back(20000 + 1000 * columns.size());
      return columns[i];
    };
    int64_t n = 0;
    for (const std::string& line : lines) {
      EnterFieldsOfLine(fields, line, {"t.rules", ++n}, kSourceIsKey, Options(with_target));
    }
    n = 0;
    for (const std::string& line : lines) {
      const std::string tracks = Line2Tracks(fields, StripOuter(line));
      CheckFieldsEntered(line, tracks, {"t.rules", ++n}, Quoted);
      records.Insert(tracks);
    }
    for (const std::string& tracks : records.Keys()) {
      const std::string record = TrackOf(records, tracks);
      if (by_line) {
        IndexRuleByLine(fields, indexes, Tracks2Line(fields, tracks), record,
                        [](std::string_view s) { return std::string(s); }, Quoted);
      } else {
        IndexRuleByTracks(fields, indexes, tracks, record, nullptr, Quoted);
      }
    }
  }

  static std::string StripOuter(const std::string& line) {
    return std::string(qaz::StripSpace(line));
  }

  // The rule lines an index holds under `key`.
  std::set<std::string> Find(MapTrie& index, const std::string& key) {
    std::set<std::string> out;
    const std::string key_track = TrackOf(fields, key);
    for (const std::string& pair : index.Keys()) {
      if (pair.compare(0, key_track.size() + 3, key_track + " | ") != 0) continue;
      out.insert(Tracks2Line(fields, KeyOfTrack(records, RecordTrackOfPairKey(pair))));
    }
    return out;
  }
};

}  // namespace

QAZ_TEST(TrackLinesRoundTripToTheNormalisedLine) {
  MapTrie fields;
  AddFields(fields, "  a |||b  ||| c ||| ");
  QAZ_EXPECT(fields.Keys() == (std::set<std::string>{"a", "b", "c"}));
  const std::string tracks = Line2Tracks(fields, "  a |||b  ||| c ");
  QAZ_EXPECT_EQ(tracks, TrackOf(fields, "a") + " | " + TrackOf(fields, "b") + " | " +
                            TrackOf(fields, "c"));
  QAZ_EXPECT_EQ(Tracks2Line(fields, tracks), "a ||| b ||| c");
  QAZ_EXPECT_EQ(Line2Tracks(fields, ""), "");
  QAZ_EXPECT_EQ(Tracks2Line(fields, ""), "");
  QAZ_EXPECT_EQ(Line2Tracks(fields, "a |||"), TrackOf(fields, "a") + " | ");
  QAZ_EXPECT_EQ(Tracks2Line(fields, TrackOf(fields, "a") + " | "), "a ||| ");
  QAZ_EXPECT_EQ(Line2Tracks(fields, "a ||| unseen ||| c"),
                TrackOf(fields, "a") + " | (-1,-1) | " + TrackOf(fields, "c"));
  // Unicode white space is stripped as str.strip() strips it.
  QAZ_EXPECT_EQ(Line2Tracks(fields, "\xe3\x80\x80" "a\xc2\xa0"), TrackOf(fields, "a"));
}

QAZ_TEST(FieldPassEntersFieldsSourceKeysAndColumns) {
  MapTrie fields;
  const SourceKeyFn lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::optional<std::string>(out);
  };
  EnterFieldsOfLine(fields, "Das Haus ||| the |COL| house ||| 0.5", {"t", 1}, lower,
                    Options(true));
  QAZ_EXPECT(fields.Keys() == (std::set<std::string>{"Das Haus", "das haus", "the |COL| house",
                                                     "the", "house", "0.5"}));
  MapTrie plain;
  EnterFieldsOfLine(plain, "x ||| a |COL| b", {"t", 1}, kSourceIsKey, Options(false));
  QAZ_EXPECT(plain.Keys() == (std::set<std::string>{"x", "a |COL| b"}));
}

QAZ_TEST(FieldPassRefusesLinesItCannotIndex) {
  MapTrie fields;
  struct Case {
    const char* line;
    bool with_target;
    RuleError::Kind kind;
    const char* message;
  } cases[] = {
      {" ||| c", false, RuleError::kValue, "t.rules:4: empty source side"},
      {"", false, RuleError::kValue, "t.rules:4: empty source side"},
      {"c |||  ||| 1", true, RuleError::kValue, "t.rules:4: empty target side"},
      {"a ||| b |COL|  ||| 1", true, RuleError::kValue, "t.rules:4: empty target column 1"},
      {"c", true, RuleError::kIndex, "t.rules:4: no target side (no \"|||\")"},
  };
  for (const Case& c : cases) {
    auto [kind, message] = Failure([&] {
      EnterFieldsOfLine(fields, c.line, {"t.rules", 4}, kSourceIsKey, Options(c.with_target));
    });
    QAZ_EXPECT_EQ(message, c.message);
    QAZ_EXPECT(kind == c.kind);
  }
  const SourceKeyFn none = [](std::string_view) { return std::optional<std::string>(); };
  auto [kind, message] = Failure([&] {
    EnterFieldsOfLine(fields, "a ||| b", {"t.rules", 1}, none, Options(false));
  });
  QAZ_EXPECT(kind == RuleError::kAttribute);
  QAZ_EXPECT_EQ(message, "t.rules:1: key type 'src' gives no source key");
  const SourceKeyFn blank = [](std::string_view) { return std::optional<std::string>(" \t"); };
  message = Failure([&] {
    EnterFieldsOfLine(fields, "a ||| b", {"t.rules", 2}, blank, Options(false));
  }).second;
  QAZ_EXPECT_EQ(message, "t.rules:2: empty source key for 'a'");
}

QAZ_TEST(RecordPassNamesAFieldTheTrieRefused) {
  MapTrie fields;
  const std::string line("c ||| x\0y", 9);
  EnterFieldsOfLine(fields, line, {"t.rules", 2}, kSourceIsKey, Options(false));
  QAZ_EXPECT_EQ(fields.refused.size(), 1u);
  const std::string tracks = Line2Tracks(fields, line);
  auto [kind, message] = Failure([&] { CheckFieldsEntered(line, tracks, {"t.rules", 2}, Quoted); });
  QAZ_EXPECT(kind == RuleError::kValue);
  QAZ_EXPECT_EQ(message, "t.rules:2: field 2 'x\\x00y' could not be entered into the field trie");
  CheckFieldsEntered("c ||| d", Line2Tracks(fields, "c ||| c"), {"t.rules", 3}, Quoted);
}

QAZ_TEST(IndexPassByTracksAndByLineAgree) {
  const std::vector<std::string> lines = {
      "a ||| b ||| 1", "  a ||| b|||1 ", "a ||| c |COL| d ||| 2", "e ||| c ||| 3",
      "e ||| x |COL| y |COL| z ||| 4"};
  for (bool by_line : {false, true}) {
    Loaded t(lines, true, by_line);
    QAZ_EXPECT_EQ(t.records.Keys().size(), 4u);  // the first two lines are one rule
    QAZ_EXPECT(t.Find(t.src, "a") == (std::set<std::string>{"a ||| b ||| 1",
                                                             "a ||| c |COL| d ||| 2"}));
    QAZ_EXPECT(t.Find(t.trg, "c") == (std::set<std::string>{"e ||| c ||| 3"}));
    QAZ_EXPECT_EQ(t.columns.size(), 3u);
    QAZ_EXPECT(t.Find(t.columns[0], "c") == (std::set<std::string>{"a ||| c |COL| d ||| 2"}));
    QAZ_EXPECT(t.Find(t.columns[2], "z") ==
               (std::set<std::string>{"e ||| x |COL| y |COL| z ||| 4"}));
    QAZ_EXPECT(t.Find(t.columns[0], "b").empty());  // no "|COL|": no column index
    QAZ_EXPECT_EQ(t.fields.wild_reads + t.records.wild_reads, 0);
  }
  Loaded plain(lines, false);
  QAZ_EXPECT(plain.trg.Keys().empty() && plain.columns.empty());
  QAZ_EXPECT_EQ(plain.Find(plain.src, "e").size(), 2u);
}

QAZ_TEST(IndexPassUsesTheSourceKeyWhenItDiffers) {
  MapTrie fields, src;
  IndexTries indexes;
  indexes.src = &src;
  EnterFieldsOfLine(fields, "Big ||| x", {"t", 1},
                    [](std::string_view) { return std::optional<std::string>("big"); },
                    Options(false));
  const std::string tracks = Line2Tracks(fields, "Big ||| x");
  const SourceKeyOf lower = [](std::string_view s) { return s == "Big" ? "big" : "?"; };
  IndexRuleByTracks(fields, indexes, tracks, "(7,1)", &lower, Quoted);
  QAZ_EXPECT(src.Keys() == (std::set<std::string>{PairKey(TrackOf(fields, "big"), "(7,1)")}));
  const SourceKeyOf unknown = [](std::string_view) { return std::string("not a field"); };
  auto [kind, message] = Failure([&] {
    IndexRuleByTracks(fields, indexes, tracks, "(7,1)", &unknown, Quoted);
  });
  QAZ_EXPECT(kind == RuleError::kValue);
  QAZ_EXPECT_EQ(message, "index key 'not a field' is not a field of the table");
}

QAZ_TEST(IndexPassNeedsATargetWithTheTargetIndex) {
  MapTrie fields, src, trg;
  IndexTries indexes;
  indexes.src = &src;
  indexes.trg = &trg;
  fields.Insert("a");
  const SourceKeyOf same = [](std::string_view s) { return std::string(s); };
  QAZ_EXPECT_THROW(IndexRuleByTracks(fields, indexes, TrackOf(fields, "a"), "(1,1)", nullptr,
                                     Quoted),
                   std::out_of_range);
  QAZ_EXPECT_THROW(IndexRuleByLine(fields, indexes, "a", "(1,1)", same, Quoted),
                   std::out_of_range);
}

QAZ_TEST(TriesOfOneTableHoldTogetherOthersDoNot) {
  const std::vector<std::string> lines = {"a ||| b |COL| c ||| 1", "d ||| e ||| 2"};
  Loaded t(lines, true);
  Loaded other({"x y ||| z ||| 3"}, true);
  auto check = [](Loaded& fields_of, Loaded& records_of, Loaded& src_of) {
    std::vector<NamedIndex> indexes = {{"the source index", &src_of.src},
                                       {"the target index", &src_of.trg}};
    for (MapTrie& column : src_of.columns) indexes.push_back({"a column index", &column});
    return qaz::testing::Thrown<std::invalid_argument>(
        [&] { CheckTriesHoldTogether(fields_of.fields, records_of.records, indexes); });
  };
  QAZ_EXPECT(!check(t, t, t));
  auto fields = check(other, t, t);
  QAZ_EXPECT(fields && std::string(fields->what()).find(
                           "the record trie holds the track ") == 0);
  QAZ_EXPECT(fields && std::string(fields->what()).find("no key of the field trie") !=
                           std::string::npos);
  auto records = check(t, other, t);
  QAZ_EXPECT(records && std::string(records->what()).find("names no key of the") !=
                            std::string::npos);
  auto index = check(t, t, other);
  QAZ_EXPECT(index && std::string(index->what()).find("the source index holds the track ") == 0);
  // Nothing was read through a track that names no key.
  QAZ_EXPECT_EQ(t.fields.wild_reads + t.records.wild_reads, 0);
  QAZ_EXPECT_EQ(other.fields.wild_reads + other.records.wild_reads, 0);

  // Pieces that read as no track (the absent field) are left to the lookup.
  MapTrie some_fields{100}, some_records{5000};
  some_fields.Insert("a");
  some_records.Insert(TrackOf(some_fields, "a") + " | (-1,-1) | ");
  QAZ_EXPECT(!qaz::testing::Thrown<std::invalid_argument>(
      [&] { CheckTriesHoldTogether(some_fields, some_records, {}); }));
}
