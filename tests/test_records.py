"""Record classes: parsing of the Moses and Travatar layouts, symbols, equality."""

import pytest

from qaz.smt.trans_models.records import MosesRecord, TravatarRecord

from conftest import data_dirs


@pytest.mark.parametrize(
    "line,scores,alignment,counts",
    [
        ("das haus ||| the house ||| 0.8 0.5 2.718 ||| 0-0 1-1 ||| 10 12 8",
         [0.8, 0.5, 2.718], [(0, 0), (1, 1)], [10.0, 12.0, 8.0]),
        # half table: alignment before the single score, trailing empty field
        ("( [X][X] [X] ||| ( [X][X] [X] ||| 0-0 1-1  ||| 1 ||| 0.576191 0.576191 |||",
         [1.0], [(0, 0), (1, 1)], [0.576191, 0.576191]),
        ("<s> [X] ||| <s> [Q] ||| 1 ||| ", [1.0], [], []),
        ("a ||| b", [], [], []),
    ],
)
def test_moses_fields(line, scores, alignment, counts):
    r = MosesRecord(line)
    assert (r.scores, r.alignment, r.counts) == (scores, alignment, counts)


def test_moses_sides_labels_and_sparse_features():
    r = MosesRecord("! ||| !|PER ||| 0.8 ||| 0-0 ||| 18 19 16 ||| dom_nc-5k 1 ||| {{k v}}")
    assert r.src == "!" and r.trg == "!|PER" and r.trg_columns == ["!|PER"]
    assert r.sparse == {"dom_nc-5k": 1.0} and r.properties == "{{k v}}"
    assert r.src_lhs is None
    h = MosesRecord("macht [X][NP] auf [X] ||| opens [X][NP] [VP] ||| 0.8 ||| 1-1 ||| 5442.66 323.246")
    assert (h.src_lhs, h.trg_lhs) == ("[X]", "[VP]")


@pytest.mark.parametrize(
    "phrase,hiero,symbols",
    [
        ("der  [X][X] pass [X]", False, ["der", "[X][X]", "pass", "[X]"]),
        ("der  [X][X] pass [X]", True, ["der", "[X]", "pass"]),
        ("[NS][NT] in the [NS][NT] [NS]", True, ["[NS]", "in", "the", "[NS]"]),
        ("gesicht ist zerschlagen", True, ["gesicht", "ist", "zerschlagen"]),
    ],
)
def test_moses_symbols(phrase, hiero, symbols):
    assert MosesRecord.getSymbols(phrase, hiero=hiero) == symbols


def test_travatar_fields_and_columns():
    r = TravatarRecord('"a" x0:NP @ S ||| x0 "b" @ S |COL| "c" x0 ||| 0egfp=-1.5 w=2 a=b=3 ||| 2 3 4 ||| 0-1')
    assert r.features == {"0egfp": -1.5, "w": 2.0, "a=b": 3.0} and r.scores is r.features
    assert r.counts == [2.0, 3.0, 4.0] and r.alignment == [(0, 1)]
    assert r.trg_columns == ['x0 "b" @ S', '"c" x0'] and r.src_head == "S"
    tree = TravatarRecord('np ( x0:np x1:pp ) ||| x0 x1')
    assert tree.features == {} and tree.src_head == "np"


@pytest.mark.parametrize(
    "phrase,hiero,symbols",
    [
        ('vp ( vbd ( "expected" ) x0:sbar )', True, ['"expected"', "x0:sbar"]),
        ('vp ( vbd ( "expected" ) x0:sbar )', False, ["vp", "(", "vbd", "(", '"expected"', ")", "x0:sbar", ")"]),
        ('"the" x0:NN x1:VP @ S', True, ['"the"', "x0:NN", "x1:VP"]),
        ('\'\' ( "\'" )', True, ['"\'"']),
        ('x ( "a b" "(" "\\"q\\"" x0:: )', True, ['"a b"', '"("', '"\\"q\\""', "x0::"]),
    ],
)
def test_travatar_symbols(phrase, hiero, symbols):
    assert TravatarRecord.getSymbols(phrase, hiero=hiero) == symbols


def test_equality_repr_and_errors():
    a, b = MosesRecord(" a|||b ||| 1"), MosesRecord("a ||| b ||| 1")
    assert a == b and hash(a) == hash(b) and a == TravatarRecord("a ||| b ||| 1")
    assert a != MosesRecord("a ||| b ||| 2") and a != "a ||| b ||| 1"
    assert repr(a) == "MosesRecord('a ||| b ||| 1')" and eval(repr(a)) == a
    with pytest.raises(ValueError, match=r"field 3 of 'a \|\|\| b \|\|\| kb=1'"):
        _ = MosesRecord("a ||| b ||| kb=1").scores
    with pytest.raises(ValueError, match="name=value"):
        _ = TravatarRecord("a ||| b ||| 0.5").features
    with pytest.raises(TypeError):
        MosesRecord(None)


@pytest.mark.parametrize("where", data_dirs("tables"))
@pytest.mark.parametrize(
    "name,cls",
    [
        ("moses-hierarchical/fyp-en-en.rule-table", MosesRecord),
        ("moses-hierarchical/europarl-en-de.score-inverse.half-table", MosesRecord),
        ("moses-hierarchical/sample-string-to-tree.rule-table", MosesRecord),
        ("moses-phrase/sparse-factored-en-de.phrase-table", MosesRecord),
        ("travatar/geoquery-kb.2col.rule", TravatarRecord),
        ("travatar/kftt-jaen.t2s-rules", TravatarRecord),
    ],
)
def test_every_line_of_real_tables_parses(where, name, cls):
    for line in (where / name).read_text(encoding="utf-8").splitlines():
        r = cls(line)
        _ = r.scores, r.alignment, r.counts  # every field parses
        assert r.src and r.trg
        assert all(i >= 0 and j >= 0 for i, j in r.alignment)
        if cls is MosesRecord and "[X]" in r.src:
            assert r.src_lhs is not None and "[X][X]" not in cls.getSymbols(r.src, hiero=True)
