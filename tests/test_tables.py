"""Rule tables: tracks, loading, lookups against a plain reading of real tables, pickling."""

import hashlib
import inspect
import pickle
import random
import re
from collections import defaultdict
from pathlib import Path

import pytest

pycedar = pytest.importorskip("pycedar")
tables = pytest.importorskip("qaz.smt.trans_models.tables")
from qaz.smt.trans_models import records  # noqa: E402
from qaz.smt.trans_models.records import MosesRecord, TravatarRecord  # noqa: E402

from conftest import data_dirs, run_command  # noqa: E402

TABLE_DIRS = data_dirs("tables")

SMALL_TABLES = [
    ("moses-hierarchical/europarl-en-de.score-inverse.half-table", "MosesTable"),
    ("moses-hierarchical/sample-string-to-tree.rule-table", "MosesTable"),
    ("moses-hierarchical/sample-tree-to-tree.rule-table", "MosesTable"),
    ("moses-hierarchical/target-syntax-de.glue-grammar", "MosesTable"),
    ("moses-phrase/nc-es-en.phrase-table", "MosesTable"),
    ("travatar/geoquery-kb.rule", "TravatarTable"),
    ("travatar/geoquery-kb.2col.rule", "TravatarTable"),
    ("travatar/kftt-enja.t2s-rules", "TravatarTable"),
    ("travatar/kftt-jaen.t2s-rules", "TravatarTable"),
]


class Reference:
    """A plain Python reading of a rule table: normalised lines and dict-of-sets indexes."""

    def __init__(self, path, record_class, key_type="src"):
        self.rules = set()
        self.by_src = defaultdict(set)
        self.by_trg = defaultdict(set)
        self.by_col = defaultdict(lambda: defaultdict(set))
        self.sources = set()
        for line in Path(path).read_text(encoding="utf-8").splitlines():
            fields = [f.strip() for f in line.split("|||")]
            norm = " ||| ".join(fields)
            self.rules.add(norm)
            self.sources.add(fields[0])
            self.by_src[src_key(record_class, fields[0], key_type)].add(norm)
            trg = fields[1]
            self.by_trg[trg].add(norm)
            if "|COL|" in trg:
                for i, col in enumerate(trg.split("|COL|")):
                    self.by_col[i][col.strip()].add(norm)


def src_key(record_class, src, key_type):
    if key_type == "src":
        return src
    return " ".join(record_class.getSymbols(src, hiero=key_type == "src_hiero"))


def lines_of(records_iter):
    out = [r.line for r in records_iter]
    assert len(out) == len(set(out)), "a rule came back twice"
    return set(out)


def write(tmp_path, text, name="t.rules"):
    p = tmp_path / name
    p.write_text(text, encoding="utf-8")
    return str(p)


class FakeLogger:
    def __init__(self):
        self.records = []

    def warning(self, x):
        self.records.append(("warning", x))

    def debug(self, x):
        self.records.append(("debug", x))

    def texts(self, level):
        return [str(x) for lvl, x in self.records if lvl == level]


@pytest.fixture
def log(monkeypatch):
    fake = FakeLogger()
    monkeypatch.setattr(tables, "logger", fake)
    return fake


# ---------------------------------------------------------------------------
# The trie library, as this module relies on it.


def test_pycedar_behaviour_relied_on():
    d = pycedar.dict(str)
    assert d.update("ab", 1) == 1 and d.update("ab", 1) == 2  # update adds
    assert d.get_node("") is None and d.get_node("a") is None and "" not in d
    # loading asks get_node instead of `in`: both must agree, NUL included
    for probe in ("ab", "a", "abc", "a\x00b", "b"):
        assert (d.get_node(probe) is None) == (probe not in d)
    track = d.get_node("ab").track()
    assert len(track) == 3 and d.trie.suffix(track[0], track[1]) == "ab"

    rng = random.Random(7)
    words = sorted({"".join(rng.choice("abcd日") for _ in range(rng.randint(1, 12))) for _ in range(3000)})
    d = pycedar.dict(str)
    first_tracks = {}
    for w in words:
        d.update(w, 1)
        first_tracks[w] = d.get_node(w).track()[:2]
    # node ids move while the trie is filled
    assert any(d.get_node(w).track()[:2] != t for w, t in first_tracks.items())

    tracks = {w: d.get_node(w).track()[:2] for w in words}
    pickle.dumps(d)  # pickling compacts in place and moves tail nodes
    assert any(d.trie.suffix(*t) != w for w, t in tracks.items() if _safe(d, t))
    # once compacted, later compactions keep every node where it is
    tracks = {w: d.get_node(w).track()[:2] for w in words}
    copy = pickle.loads(pickle.dumps(d))
    for w, t in tracks.items():
        assert d.trie.suffix(*t) == w and copy.trie.suffix(*t) == w
    # nodes() and get_node() may give different tracks for one key; both name it
    assert all(d.trie.suffix(*n.track()[:2]) == n.key() for n in d.nodes())


def _safe(d, t):
    try:
        d.trie.suffix(*t)
        return True
    except UnicodeDecodeError:
        return False


# ---------------------------------------------------------------------------
# Tracks and keys on a small table.


@pytest.fixture
def abc_table(tmp_path):
    path = write(tmp_path, "a ||| b ||| c\nx y |||  ||| 1 2\n")
    return tables.Table(path, MosesRecord)


def test_track_notation_and_round_trips(abc_table):
    t = abc_table
    a = tables.get_track_str(t.field_dict.get_node("a"))
    assert a.startswith("(") and a.endswith(")") and " " not in a
    assert tables.track2key(t.field_dict, a) == "a"
    assert t.line2tracks("") == "" and t.tracks2line("") == ""
    assert t.line2tracks("a |||") == a + " | "
    assert t.tracks2line(a + " | ") == "a ||| "
    assert t.tracks2line(t.line2tracks("  a |||b  ||| c ")) == "a ||| b ||| c"
    tracks = t.line2tracks("a ||| unseen ||| c").split(" | ")
    assert tracks[1] == "(-1,-1)" and tracks[0] == a
    assert t.line2tracks("x y |||  ||| 1 2").split(" | ")[1] == ""
    with pytest.raises(OverflowError):
        t.tracks2line(t.line2tracks("a ||| unseen"))
    with pytest.raises(IndexError):
        tables.track2key(t.field_dict, "(12)")
    with pytest.raises(ValueError):
        tables.track2key(t.field_dict, "(1,z)")
    with pytest.raises(TypeError):
        tables.track2key(t.field_dict, None)
    with pytest.raises(AttributeError):
        t.Table_line2tracks = None  # plain Table has no instance dictionary
    # the interpreter's integer forms are honoured
    first, second = a[1:-1].split(",")
    assert tables.track2key(t.field_dict, "( %s , +%s )" % (first, second)) == "a"


# Tracks from callers: pycedar reads wherever a track's numbers point, so a
# forged, stale or foreign track must be refused before it reaches the trie.

FORGED = ["(99999999999,5)", "(0,99999)", "(18446744073709551615,18446744073709551615)"]


def _tracks_of(d):
    """Both ways pycedar names each key's node: get_node() and nodes()."""
    out = {}
    for n in d.nodes():
        out.setdefault(n.key(), set()).update({tables.get_track_str(n), tables.get_track_str(d.get_node(n.key()))})
    return out


def test_track2key_refuses_forged_tracks(abc_table):
    d = abc_table.field_dict
    a = tables.get_track_str(d.get_node("a"))
    first, second = a[1:-1].split(",")
    for track in FORGED + ["(%s,%d)" % (first, int(second) + 1), "(%d,%s)" % (int(first) + 7, second)]:
        with pytest.raises(ValueError, match=re.escape("track %s names no key of the trie" % track)):
            tables.track2key(d, track)
    with pytest.raises(ValueError, match="names no key"):
        tables.track2key(d, "( 99999999999 , +5 )")  # the interpreter's forms are checked too
    for key, tracks in _tracks_of(d).items():  # every track of every key still works
        assert {tables.track2key(d, t) for t in tracks} == {key}


def test_track2key_refuses_tracks_of_another_trie(abc_table):
    other = pycedar.dict(str)
    for w in ("zebra", "a", "a b c d e f g", "日本語"):
        other.update(w, 1)
    refused = 0
    for tracks in _tracks_of(other).values():
        for t in tracks:
            try:
                assert tables.track2key(abc_table.field_dict, t) in abc_table.field_dict
            except ValueError:
                refused += 1
    assert refused > 0


def test_track2key_notices_stale_tracks():
    rng = random.Random(3)
    words = sorted({"".join(rng.choice("abc") for _ in range(rng.randint(1, 6))) for _ in range(300)})
    d = pycedar.dict(str)
    taken = {}
    for w in words:  # nodes move while the trie is filled
        d.update(w, 1)
        taken[w] = tables.get_track_str(d.get_node(w))
        assert tables.track2key(d, taken[w]) == w
    moved = [w for w in words if tables.get_track_str(d.get_node(w)) != taken[w]]
    assert moved
    now = _tracks_of(d)
    refused = 0
    for w in moved:  # an old track gives the key it names now, or nothing
        try:
            assert taken[w] in now[tables.track2key(d, taken[w])]
        except ValueError:
            refused += 1
    assert refused > 0
    assert all(tables.track2key(d, tables.get_track_str(d.get_node(w))) == w for w in words)
    gone = tables.get_track_str(d.get_node(words[0]))
    del d[words[0]]  # an erased key's track names nothing
    with pytest.raises(ValueError, match="names no key"):
        tables.track2key(d, gone)


def test_known_tracks_go_with_their_trie():
    import gc
    import weakref

    class Dict(pycedar.dict):
        pass

    d = Dict(str)
    d.update("a", 1)
    assert tables.track2key(d, tables.get_track_str(d.get_node("a"))) == "a"
    ref = weakref.ref(d)
    del d
    gc.collect()
    assert ref() is None


def test_tracks_from_script_code_are_checked(tmp_path, log):
    path = write(tmp_path, "a ||| b ||| 1\nc ||| d ||| 2\n")
    t = tables.Table(path, MosesRecord)
    a = tables.get_track_str(t.field_dict.get_node("a"))
    with pytest.raises(ValueError, match="names no key"):
        t.tracks2line(a + " | (99999999999,5)")
    assert t.tracks2line(t.line2tracks("c ||| d")) == "c ||| d"

    # an index trie that is not the table's own
    forged = pycedar.dict(str)
    forged.update(a + " | (99999999999,5)", 1)
    with pytest.raises(ValueError, match="names no key"):
        list(t._Table__find_key(forged, "a"))
    assert lines_of(t._Table__find_key(t.src_record_dict, "a")) == {"a ||| b ||| 1"}

    class Forging(tables.Table):
        def line2tracks(self, line):
            return re.sub(r"\((\d)", r"(9\1", tables.Table.line2tracks(self, line))

    with pytest.raises(ValueError, match="names no key"):
        list(Forging(path, MosesRecord))
    with pytest.raises(ValueError, match="names no key"):
        Forging(path, MosesRecord, trg_key=True)
    assert log.texts("warning")[0].startswith("line_tracks: (9")

    class Honest(tables.Table):
        def line2tracks(self, line):
            return tables.Table.line2tracks(self, line)

    assert lines_of(Honest(path, MosesRecord, trg_key=True)) == {"a ||| b ||| 1", "c ||| d ||| 2"}


def test_forged_track_does_not_kill_the_interpreter(tmp_path):
    script = tmp_path / "forge.py"
    script.write_text(
        "import pycedar\n"
        "from qaz.smt.trans_models import tables\n"
        "d = pycedar.dict(str)\n"
        "d.update('a', 1)\n"
        "for t in %r:\n"
        "    try:\n"
        "        tables.track2key(d, t)\n"
        "    except ValueError as e:\n"
        "        print(e)\n" % FORGED
    )
    done = run_command([str(script)])
    assert done.returncode == 0, done.stderr
    assert done.stdout.count("names no key of the trie") == len(FORGED)


def test_get_track_str_removes_every_space():
    class Node:
        def track(self):
            return (" 1", "2 ", 0)

    assert tables.get_track_str(Node()) == "('1','2')"


def test_format_src_key_per_key_type(tmp_path):
    path = write(tmp_path, "der [X][X] pass [X] ||| le [X][X] col [X] ||| 1\n")
    keys = {kt: tables.MosesTable(path, key_type=kt) for kt in ("src", "src_hiero", "src_symbols")}
    src = "der  [X][X] pass [X]"
    assert keys["src"].format_src_key(src) == src
    assert keys["src_hiero"].format_src_key(src) == "der [X] pass"
    assert keys["src_symbols"].format_src_key(src) == "der [X][X] pass [X]"
    assert keys["src"].format_src_key(None) is None
    assert tables.key_types == ["src", "src_hiero", "src_symbols", "src_tree"]
    # the source index is keyed by the formatted key, so raw sources find the rule
    for kt, t in keys.items():
        assert len(list(t.find_src("der [X][X] pass [X]"))) == 1, kt
    assert "der [X] pass" in keys["src_hiero"].field_dict


def test_loading_normalises_and_merges_duplicates(tmp_path, log):
    messy = write(tmp_path, "  a ||| b|||1 \na|||b ||| 1\nc ||| d |COL| e ||| 2\n", "messy")
    clean = write(tmp_path, "a ||| b ||| 1\nc ||| d |COL| e ||| 2\n", "clean")
    t1, t2 = tables.Table(messy, MosesRecord, True), tables.Table(clean, MosesRecord, True)
    assert len(t1) == len(t2) == 2
    assert sorted(r.line for r in t1) == sorted(r.line for r in t2) == ["a ||| b ||| 1", "c ||| d |COL| e ||| 2"]
    assert len(t1.trg_field_record_dicts) == 2
    assert lines_of(t1.find_trg("d", 0)) == {"c ||| d |COL| e ||| 2"}
    assert lines_of(t1.find_trg("e", -1)) == lines_of(t1.find_trg("e", 1))
    assert lines_of(t1.find_trg("b", 0)) == set()  # no "|COL|": no column index
    assert lines_of(t1.find_trg("b")) == {"a ||| b ||| 1"}
    with pytest.raises(IndexError):
        t1.find_trg("b", 2)
    assert log.records == []

    plain = tables.Table(messy, MosesRecord)
    assert plain.trg_record_dict is None and plain.trg_field_record_dicts is None
    assert "d" not in plain.field_dict  # columns enter the field trie only with trg_key
    with pytest.raises(TypeError):
        plain.find_trg("b", 0)
    it = plain.find_trg("b")  # lazy: fails on first advance
    with pytest.raises(AttributeError):
        next(it)
    assert list(plain.find_trg("never seen")) == []

    empty = tables.Table(write(tmp_path, "", "empty"), MosesRecord, trg_key=True)
    assert len(empty) == 0 and list(empty) == [] and len(empty.field_dict) == 0


def test_find_by_leading_fields(tmp_path):
    t = tables.Table(write(tmp_path, "a ||| b ||| 1\na ||| b\na ||| bc ||| 1\nab ||| b ||| 2\n"), MosesRecord)
    assert lines_of(t.find("a ||| b")) == {"a ||| b ||| 1", "a ||| b"}
    assert lines_of(t.find("a ||| b |||")) == {"a ||| b ||| 1"}
    assert lines_of(t.find("a ||| b ||| 1")) == {"a ||| b ||| 1"}
    assert lines_of(t.find("a")) == {"a ||| b ||| 1", "a ||| b", "a ||| bc ||| 1"}
    assert lines_of(t.find("")) == lines_of(t) and len(t) == 4
    assert lines_of(t.find_src("")) == lines_of(t)
    r1, r2 = next(t.find_src("ab")), next(t.find("ab"))
    assert r1 == r2 and r1 is not r2
    it = t.find_src("a")
    a1, a2 = next(it), next(t.find_src("a"))  # interleaved iterators
    assert {a1.line, a2.line} <= lines_of(t.find_src("a"))
    rest = list(it)
    assert len(rest) == 2 and list(it) == []


# ---------------------------------------------------------------------------
# Real tables against a plain reading.


def _check_against_reference(t, ref, trg_key, key_type):
    assert len(t) == len(ref.rules)
    assert lines_of(t) == ref.rules
    for src in ref.sources:
        assert lines_of(t.find_src(src)) == ref.by_src[src_key(t.RecordClass, src, key_type)], src
    if trg_key:
        for trg, rules in ref.by_trg.items():
            assert lines_of(t.find_trg(trg)) == rules, trg
        assert len(t.trg_field_record_dicts) == len(ref.by_col)
        for i, cols in ref.by_col.items():
            for col, rules in cols.items():
                assert lines_of(t.find_trg(col, i)) == rules, (i, col)
    sample = sorted(ref.rules)[:: max(1, len(ref.rules) // 50)]
    for rule in sample:
        two = " ||| ".join(rule.split(" ||| ")[:2])
        expected = {r for r in ref.rules if r.split(" ||| ")[:2] == two.split(" ||| ")}
        assert lines_of(t.find(two)) == expected
        assert rule in lines_of(t.find(rule))


@pytest.mark.parametrize("where", TABLE_DIRS)
@pytest.mark.parametrize("name,cls", SMALL_TABLES)
@pytest.mark.parametrize("trg_key", [False, True])
def test_real_tables_match_plain_reading(where, name, cls, trg_key):
    path = str(where / name)
    table_cls = getattr(tables, cls)
    t = table_cls(path, trg_key=trg_key)
    ref = Reference(path, t.RecordClass)
    _check_against_reference(t, ref, trg_key, "src")
    for r in t.find_src(next(iter(ref.by_src))):
        assert isinstance(r, t.RecordClass)
        assert r.src and r.trg_columns


@pytest.mark.parametrize("where", TABLE_DIRS)
@pytest.mark.parametrize("name,cls", [SMALL_TABLES[0], SMALL_TABLES[2], SMALL_TABLES[7]])
@pytest.mark.parametrize("key_type", ["src_hiero", "src_symbols"])
def test_real_tables_by_key_type(where, name, cls, key_type):
    path = str(where / name)
    t = getattr(tables, cls)(path, key_type=key_type)
    ref = Reference(path, t.RecordClass, key_type)
    for key in ref.by_src:
        assert key in t.field_dict
    for src in ref.sources:  # queried with the raw source, formatted by the table
        assert lines_of(t.find_src(src)) == ref.by_src[src_key(t.RecordClass, src, key_type)]


@pytest.mark.parametrize("where", TABLE_DIRS)
def test_big_table_loads_once(where):
    path = where / "moses-phrase/multimodel-de-en.phrase-table"
    t = tables.MosesTable(str(path), trg_key=True)
    ref = Reference(path, MosesRecord)
    assert len(t) == len(ref.rules)
    for index, found in ((ref.by_src, t.find_src), (ref.by_trg, t.find_trg)):
        for key in list(index)[:: max(1, len(index) // 100)]:
            assert lines_of(found(key)) == index[key]


# ---------------------------------------------------------------------------
# Pickling.


@pytest.mark.parametrize("where", TABLE_DIRS)
@pytest.mark.parametrize("name,cls", [SMALL_TABLES[6], SMALL_TABLES[0]])
def test_pickle_round_trip_keeps_both_tables_working(where, name, cls):
    path = str(where / name)
    t = getattr(tables, cls)(path, trg_key=True, key_type="src_symbols")
    t.note = "kept"
    ref = Reference(path, t.RecordClass, "src_symbols")
    blob = pickle.dumps(t)
    restored = pickle.loads(blob)
    assert type(restored) is type(t) and restored.note == "kept"
    assert restored.RecordClass is t.RecordClass
    for table in (t, restored):
        _check_against_reference(table, ref, True, "src_symbols")
    assert pickle.dumps(restored) == blob or lines_of(pickle.loads(pickle.dumps(restored))) == ref.rules


TAMPER_SCRIPT = """
import pickle, sys
import pycedar
from qaz.smt.trans_models import tables

cls = getattr(tables, sys.argv[1])
table = cls(sys.argv[2], trg_key=True)
other = cls(sys.argv[3], trg_key=True)
fn, args, state = table.__reduce__()
theirs = other.__reduce__()[2]
src = next(iter(table)).line.split(" ||| ")[0]
trg = next(iter(table)).line.split(" ||| ")[1]
col = trg.split("|COL|")[0].strip()
# state: RecordClass, field_dict, key_type, record_dict, src_record_dict,
# table_file, table_path, trg_field_record_dicts, trg_key_enabled, trg_record_dict
cases = {
    "fresh field trie": {1: pycedar.dict()},
    "field trie of another table": {1: theirs[1]},
    "fresh record trie": {3: pycedar.dict()},
    "record trie of another table": {3: theirs[3]},
    "source index of another table": {4: theirs[4]},
    "target index of another table": {9: theirs[9]},
    "column indexes of another table": {7: theirs[7]},
    "field and record tries swapped": {1: state[3], 3: state[1]},
}
lookups = {
    "find_src": lambda t: t.find_src(src),
    "find_trg": lambda t: t.find_trg(trg),
    "find_trg column": lambda t: t.find_trg(col, 0),
    "find": lambda t: t.find(""),
    "iteration": lambda t: t,
}
for name, changes in cases.items():
    tampered = tuple(changes.get(k, v) for k, v in enumerate(state))
    restored = pickle.loads(pickle.dumps(fn(args[0], args[1], tampered)))
    for what, lookup in lookups.items():
        try:
            list(lookup(restored))
            print(name, what, "no error", flush=True)
        except ValueError as e:
            print(name, what, "ValueError" if "pickled table" in str(e) else repr(e), flush=True)
        except Exception as e:
            print(name, what, repr(e), flush=True)
"""


@pytest.mark.parametrize("cls", ["MosesTable", "TravatarTable"])
def test_tampered_pickled_state_raises_instead_of_crashing(cls, tmp_path):
    # The tries of a pickled table name each other's nodes; a state whose
    # tries do not belong together must fail with a Python error on every
    # lookup, never hand the trie ids it does not have.  A child process, so
    # that a crash fails the test instead of the run.
    script = tmp_path / "tamper.py"
    script.write_text(TAMPER_SCRIPT, encoding="utf-8")
    ours = write(tmp_path, "".join(f"a{i} b ||| x{i} |COL| y ||| {i}\n" for i in range(40)), "ours.rules")
    theirs = write(tmp_path, "".join(f"c ||| z{i} z |COL| w{i} ||| 1\n" for i in range(25)), "theirs.rules")
    done = run_command([str(script), cls, ours, theirs])
    assert done.returncode == 0, done.stdout[-2000:] + done.stderr[-2000:]
    lines = done.stdout.splitlines()
    assert len(lines) == 8 * 5, done.stdout
    assert [line for line in lines if not line.endswith(" ValueError")] == []


@pytest.mark.parametrize("cls, record", [("MosesTable", MosesRecord), ("TravatarTable", TravatarRecord)])
def test_the_moses_and_travatar_tables_are_plain_python_classes(tmp_path, cls, record):
    table_class = getattr(tables, cls)
    source = inspect.getsource(table_class)
    assert inspect.getsourcefile(table_class).endswith("tables.py") and "Table.__init__(self" in source
    assert (table_class.__module__, table_class.__qualname__, table_class.__doc__) == (tables.__name__, cls, None)
    assert table_class.__init__.__doc__ == cls + ".__init__(self, table_path, **options)"
    assert table_class.__mro__[1:2] == (tables.Table,) and tables.Table.__module__ == tables.__name__
    t = table_class(write(tmp_path, "a ||| b ||| c\n"))
    assert t.RecordClass is record and repr(t).startswith("<{}.{} object at ".format(tables.__name__, cls))
    # Pickles name the module users import, never the native one underneath.
    data = pickle.dumps(t)
    assert b"_tables" not in data and data.count(tables.__name__.encode()) == 2
    back = pickle.loads(data)
    assert type(back) is table_class and [str(r) for r in back] == [str(r) for r in t]
    assert tables.unpickle_Table.__module__ == tables.Table.__module__ == tables.__name__


def test_pickled_state_layout_and_checksums(abc_table, tmp_path):
    names = (
        "RecordClass field_dict key_type record_dict src_record_dict table_file table_path"
        " trg_field_record_dicts trg_key_enabled trg_record_dict"
    )
    assert sorted(names.split()) == names.split()
    digests = [int(h(names.encode()).hexdigest()[:7], 16) for h in (hashlib.sha256, hashlib.sha1, hashlib.md5)]
    assert digests == [0x262EBC1, 0x3A15322, 0x25CF22C]

    fn, args, state = abc_table.__reduce__()
    assert fn is tables.unpickle_Table and args == (tables.Table, 0x262EBC1, None)
    assert len(state) == 10 and state[0] is MosesRecord and state[1] is abc_table.field_dict
    assert state[2] == "src" and state[5] is None and state[8] is False and state[9] is None
    moses = tables.MosesTable(write(tmp_path, "a ||| b\n"))
    assert len(moses.__reduce__()[2]) == 11

    for checksum in digests:
        t = tables.unpickle_Table(tables.Table, checksum, state)
        assert len(t) == 2
    raw = tables.unpickle_Table(tables.MosesTable, 0x262EBC1, None)
    assert type(raw) is tables.MosesTable and raw.field_dict is None
    pair = tables.unpickle_Table(tables.Table, 0x262EBC1, None).__reduce__()
    assert len(pair) == 2 and pair[1][2][8] is False

    refusal = (r"Incompatible checksums \(0x1 vs \(0x262ebc1, 0x3a15322, 0x25cf22c\)"
               r" = \(RecordClass, field_dict, .*trg_record_dict\)\)")
    with pytest.raises(pickle.PickleError, match=refusal):
        tables.unpickle_Table(tables.Table, 1, state)
    with pytest.raises(OverflowError):
        tables.unpickle_Table(tables.Table, 2**40, state)
    with pytest.raises(TypeError, match="Argument 'state' has incorrect type"):
        tables.unpickle_Table(tables.Table, 0x262EBC1, [])
    with pytest.raises(TypeError, match="takes exactly 3 positional arguments"):
        tables.unpickle_Table(tables.Table, 0x262EBC1)
    with pytest.raises(TypeError, match="Expected str, got int"):
        tables.unpickle_Table(tables.Table, 0x262EBC1, state[:2] + (5,) + state[3:])
    with pytest.raises(IndexError):
        tables.unpickle_Table(tables.Table, 0x262EBC1, state[:6])
    with pytest.raises(AttributeError):
        tables.unpickle_Table(tables.Table, 0x262EBC1, state + ({"x": 1},))
    assert len(tables.unpickle_Table(tables.Table, 0x262EBC1, state + ({},))) == 2
    with pytest.raises(TypeError):
        abc_table.__setstate__(None)


# ---------------------------------------------------------------------------
# Bad input.


@pytest.mark.parametrize(
    "text,trg_key,error,message",
    [
        ("a ||| b\n ||| c\n", False, ValueError, r":2: empty source side"),
        ("a ||| b\n\n", False, ValueError, r":2: empty source side"),
        ("a ||| b\nc |||  ||| 1\n", True, ValueError, r":2: empty target side"),
        ("a ||| b |COL|  ||| 1\n", True, ValueError, r":1: empty target column 1"),
        ("a ||| b\nc\n", True, IndexError, r":2: no target side"),
        ("a ||| b\nc ||| x\x00y\n", False, ValueError, r":2: field 2 'x\\x00y' could not be entered"),
    ],
)
def test_unindexable_lines_fail_naming_the_line(tmp_path, log, text, trg_key, error, message):
    path = write(tmp_path, text)
    with pytest.raises(error, match=message):
        tables.Table(path, MosesRecord, trg_key)
    warnings = log.texts("warning")
    line_no = message.split(":")[1]
    assert warnings[0] == "file: %s, line: %s" % (path, line_no)
    assert len(warnings) == 2


def test_key_type_without_key_fails_on_first_line(tmp_path, log):
    path = write(tmp_path, "a ||| b\n")
    with pytest.raises(AttributeError, match="gives no source key"):
        tables.MosesTable(path, key_type="src_tree")
    assert log.texts("warning")[0] == "file: %s, line: 1" % path
    assert len(tables.MosesTable(write(tmp_path, "", "e"), key_type="src_tree")) == 0


def test_pass3_failure_logs_line_tracks_and_line(tmp_path, log):
    class BadKey(tables.Table):
        calls = 0

        def format_src_key(self, src):
            BadKey.calls += 1
            return src if BadKey.calls <= 1 else "not a field"

    with pytest.raises(ValueError, match="is not a field of the table"):
        BadKey(write(tmp_path, "a ||| b\n"), MosesRecord)
    w = log.texts("warning")
    assert w[0].startswith("line_tracks: (") and w[1] == "line: a ||| b"


def test_wrong_argument_types_fail_at_the_call(abc_table, tmp_path):
    t = abc_table
    for call in (
        lambda: t.find_src(1),
        lambda: t.find_trg(b"b"),
        lambda: t.find(1.5),
        lambda: t._Table__find_key(t.src_record_dict, 3),
        lambda: t.line2tracks(1),
        lambda: t.tracks2line([]),
        lambda: t.format_src_key(2),
        lambda: tables.Table(Path("x"), MosesRecord),
        lambda: tables.Table("x", MosesRecord, key_type=1),
    ):
        with pytest.raises(TypeError):
            call()

    class NoTruth:
        def __bool__(self):
            raise ZeroDivisionError

    with pytest.raises(ZeroDivisionError):
        t.find("a", force=NoTruth())
    with pytest.raises(AttributeError):
        t.RecordClass = TravatarRecord
    with pytest.raises(FileNotFoundError):
        tables.Table(str(tmp_path / "missing"), MosesRecord)


def test_script_overrides_reach_internal_calls(tmp_path):
    path = write(tmp_path, "A b ||| x ||| 1\na B ||| y ||| 2\n")
    seen = []

    class Lower(tables.Table):
        def format_src_key(self, src):
            return None if src is None else src.lower()

        def _Table__find_key(self, key_record_dict, key, force=True):
            seen.append(key)
            return tables.Table._Table__find_key(self, key_record_dict, key, force)

        def tracks2line(self, tracks):
            seen.append("t2l")
            return tables.Table.tracks2line(self, tracks)

    t = Lower(path, MosesRecord, trg_key=True)
    assert seen == ["t2l", "t2l"]  # pass 3 rebuilt both rules through the override
    assert lines_of(t.find_src("A B")) == {"A b ||| x ||| 1", "a B ||| y ||| 2"}
    assert lines_of(t.find_trg("x")) == {"A b ||| x ||| 1"}
    assert [s for s in seen if s != "t2l"] == ["a b", "x"]

    class Bad(tables.Table):
        def line2tracks(self, line):
            return 5

    with pytest.raises(TypeError, match="Expected str, got int"):
        Bad(path, MosesRecord)


def test_subclasses_look_up_record_classes_at_call_time(tmp_path, monkeypatch):
    path = write(tmp_path, '"a" @ X ||| "b" ||| p=1\n')

    class Mine(TravatarRecord):
        pass

    monkeypatch.setattr(records, "TravatarRecord", Mine)
    t = tables.TravatarTable(table_path=path, trg_key=True)
    assert t.RecordClass is Mine and type(next(iter(t))) is Mine
    assert tables.TravatarTable.__init__.__doc__ == "TravatarTable.__init__(self, table_path, **options)"
    with pytest.raises(TypeError):
        tables.MosesTable(path, True)


def test_reference_cycles_through_native_fields_are_collected(tmp_path):
    import gc
    import weakref

    class Rec(MosesRecord):
        pass

    t = tables.Table(write(tmp_path, "a ||| b\n"), Rec)
    Rec.table = t  # table -> RecordClass -> table
    ref = weakref.ref(t)
    del t, Rec
    gc.collect()
    assert ref() is None
