"""Models: pair and corpus entropy, score and decoded-alignment files, distribution files.

The models are built from hand-made dense tables the way unpickling restores
them, with the vocabulary of a tiny corpus, so every expected line is known
exactly.
"""

import math
import re

import numpy as np
import pytest

from qaz.common import logging as qlog
from qaz.smt.align import emcore, emlex, empos

from conftest import messages, write_lines

NULL = "__NULL__"


def r32(p):
    """A probability as the model-variant files print it."""
    return repr(float(np.float32(p)))


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read().split("\n")[:-1]


MODEL_CHECKSUM = 0xFB35628
TRAINER_CHECKSUM = 0x83F4426
RESTORE = {
    emlex.Model1: emlex.unpickle_Model1,
    empos.Model2: empos.unpickle_Model2,
    emlex.Model1Trainer: emlex.unpickle_Model1Trainer,
    empos.Model2Trainer: empos.unpickle_Model2Trainer,
}


def restored(cls, state):
    """An object of ``cls`` holding ``state``, made the way unpickling makes it."""
    checksum = TRAINER_CHECKSUM if issubclass(cls, emcore.Trainer) else MODEL_CHECKSUM
    return RESTORE[cls](cls, checksum, state)


def trainer_with(cls, model, count_cooc=None, count_align=None):
    return restored(cls, (False, count_align, count_cooc, model, None, None, None))


@pytest.fixture
def make_model(tmp_path):
    """make_model(cls, src_lines, trg_lines, trans=None, align=None) -> (model, sent_pairs).

    The vocabulary is that of the corpus; the tables are the given dense arrays.
    """
    count = [0]

    def make(cls, src_lines, trg_lines, trans=None, align=None):
        count[0] += 1
        src = write_lines(tmp_path / f"m{count[0]}.src", src_lines)
        trg = write_lines(tmp_path / f"m{count[0]}.trg", trg_lines)
        vocab = emcore.Vocab()
        pairs = vocab._load_sent_pairs(src, trg, False)
        return restored(cls, (align, trans, vocab)), pairs

    return make


# ---------------------------------------------------------------------------
# Construction and the abstract base


@pytest.mark.parametrize("cls", [emcore.Model, emlex.Model1, empos.Model2])
def test_construction(cls, capsys):
    with qlog.using_config(["qaz"], debug=True):
        m = cls()
    assert messages(capsys.readouterr().err, "DEBUG") == ["base model cinit"]
    assert isinstance(m._vocab, emcore.Vocab)
    assert m._vocab._sizes() == (0, 0, 0, 0)
    assert (m._has_trans_dist, m._has_align_dist) == (False, False)
    assert m._trans_dist() is None and m._align_dist() is None


def test_base_model_is_abstract(tmp_path):
    m = emcore.Model()
    with pytest.raises(NotImplementedError) as info:
        m._calc_pair_entropy([0, 1], [0], True)
    assert str(info.value) == ""
    with pytest.raises(NotImplementedError):
        m._calc_entropy([([0, 1], [0])])
    path = tmp_path / "scores.txt"
    with pytest.raises(NotImplementedError):
        m._calc_and_save_scores(str(path), [([0, 1], [0])], False)
    assert not path.exists()  # a failed writer leaves no file


def test_base_trainer_is_abstract(capsys):
    with qlog.using_config(["qaz"], debug=True):
        with pytest.raises(NotImplementedError) as info:
            emcore.Trainer({"src_path": "s", "trg_path": "t"})
    assert str(info.value) == ""
    assert messages(capsys.readouterr().err, "DEBUG") == ["base trainer __init__"]


# ---------------------------------------------------------------------------
# Pair and corpus entropy

# The state after the first Model 1 iteration on the corpus (a / x, a b / x y):
# source ids NULL 0, a 1, b 2; target ids x 0, y 1.
WORKED_TRANS = np.array([[5 / 7, 2 / 7], [5 / 7, 2 / 7], [0.5, 0.5]])
WORKED = (["a", "a b"], ["x", "x y"])


def test_model1_worked_example(make_model):
    m, pairs = make_model(emlex.Model1, *WORKED, trans=WORKED_TRANS)
    assert pairs.to_list() == [([0, 1], [0]), ([0, 1, 2], [0, 1])]
    assert m._calc_pair_entropy([0, 1], [0], True) == pytest.approx(0.3364722366212129, rel=1e-15)
    assert m._calc_pair_entropy([0, 1, 2], [0, 1], True) == pytest.approx(0.7357260847300986, rel=1e-15)
    assert m._calc_pair_entropy([0, 1, 2], [0, 1], False) == pytest.approx(1.4714521694601972, rel=1e-15)
    assert m._calc_pair_entropy([0, 1], [0], True) == pytest.approx(-math.log(5 / 7), rel=1e-15)
    mean = (0.3364722366212129 + 0.7357260847300986) / 2
    assert m._calc_entropy(pairs) == float(np.float32(mean))  # narrowed to 32-bit float
    assert m._calc_entropy(pairs.to_list()) == float(np.float32(mean))


@pytest.mark.parametrize(
    "src, trg", [([0], [0]), ([0, 1], [0]), ([0, 1, 2, 3], [0, 1, 2]), ([0, 3, 3], [3, 3, 1, 0, 2])]
)
def test_model1_uniform_table_gives_log_t(make_model, src, trg):
    m, _ = make_model(emlex.Model1, ["a b c"], ["w x y z"], trans=np.full((4, 4), 0.25))
    assert m._calc_pair_entropy(src, trg, True) == pytest.approx(1.3862943611198906, rel=1e-15)
    assert m._calc_pair_entropy(src, trg, False) == pytest.approx(len(trg) * 1.3862943611198906, rel=1e-15)


def test_model1_repeated_source_word_counts_twice(make_model):
    trans = np.array([[0.1, 0.9], [0.6, 0.4], [0.3, 0.7]])
    m, _ = make_model(emlex.Model1, ["a b"], ["x y"], trans=trans)
    h = m._calc_pair_entropy([0, 1, 1], [0, 1], False)
    want = -(math.log((0.1 + 0.6 + 0.6) / 3) + math.log((0.9 + 0.4 + 0.4) / 3))
    assert h == pytest.approx(want, rel=1e-15)


def test_model1_zero_probability_and_empty_target(make_model):
    trans = np.array([[0.0, 1.0], [0.0, 1.0]])
    m, _ = make_model(emlex.Model1, ["a"], ["x y"], trans=trans)
    assert m._calc_pair_entropy([0, 1], [0, 1], True) == math.inf
    assert math.isnan(m._calc_pair_entropy([0, 1], [], True))
    assert m._calc_pair_entropy([0, 1], [], False) == 0.0


def test_model2_uniform_alignment_equals_model1(make_model):
    src, trg = ["a b", "c"], ["x y z", "y"]
    trans = np.array([[0.2, 0.3, 0.5], [0.6, 0.3, 0.1], [0.1, 0.1, 0.8], [1 / 3, 1 / 3, 1 / 3]])
    align = np.empty((2, 3, 3, 3))
    align[0], align[1] = 1 / 2, 1 / 3
    m1, pairs = make_model(emlex.Model1, src, trg, trans=trans)
    m2, _ = make_model(empos.Model2, src, trg, trans=trans, align=align)
    for s, t in pairs:
        for average in (True, False):
            want = m1._calc_pair_entropy(s, t, average)
            assert m2._calc_pair_entropy(s, t, average) == pytest.approx(want, rel=1e-14)
    assert m2._calc_entropy(pairs) == m1._calc_entropy(pairs)


def test_model2_entropy_weighs_positions(make_model):
    trans = np.array([[0.2, 0.8], [0.6, 0.4], [0.3, 0.7]])
    align = np.empty((2, 2, 2, 3))
    align[0], align[1] = 1 / 2, 1 / 3
    align[1, 1, 0] = [0.0, 1.0, 0.0]  # I = 2, J = 2: target word 1 takes source word 1
    align[1, 1, 1] = [0.5, 0.25, 0.25]
    m, _ = make_model(empos.Model2, ["a b"], ["x y"], trans=trans, align=align)
    first = -math.log(0.6)  # -ln t(x | a)
    second = -math.log(0.5 * 0.8 + 0.25 * 0.4 + 0.25 * 0.7)
    assert m._calc_pair_entropy([0, 1, 2], [0, 1], False) == pytest.approx(first + second, rel=1e-15)
    assert m._calc_pair_entropy([0, 1, 2], [0, 1], True) == pytest.approx((first + second) / 2, rel=1e-15)


def test_corpus_entropy_total_in_double_precision(make_model):
    """A 32-bit running total would stop growing by these increments beyond 2**24."""
    tiny = 1e-300
    m, _ = make_model(emlex.Model1, ["a"], ["x"], trans=np.array([[tiny], [tiny]]))
    h = m._calc_pair_entropy([0, 1], [0], True)
    assert h == pytest.approx(-math.log(tiny), rel=1e-15)
    n = 30000  # total about 2.07e7
    pairs = [([0, 1], [0])] * n
    total = 0.0
    for _ in range(n):
        total += h
    assert m._calc_entropy(pairs) == float(np.float32(total / n))
    single = np.float32(0.0)
    for _ in range(n):
        single = np.float32(float(single) + h)
    assert float(np.float32(float(single) / n)) != float(np.float32(total / n))  # the case tells them apart


@pytest.mark.parametrize(
    "pairs, error, text",
    [
        ([], ZeroDivisionError, "float division"),
        ([([0, 1],)], ValueError, None),
        ([([0, 1], [0], [0])], ValueError, None),
        ([([0, 1], (0,))], TypeError, "Expected list, got tuple"),
        ([((0, 1), [0])], TypeError, "Expected list, got tuple"),
        ([([0, 1], [0]), ([0, 9], [0])], IndexError, None),
        (None, TypeError, None),
    ],
    ids=["empty", "one element", "three elements", "target tuple", "source tuple", "id", "None"],
)
def test_corpus_entropy_errors(make_model, pairs, error, text):
    m, _ = make_model(emlex.Model1, *WORKED, trans=WORKED_TRANS)
    with pytest.raises(error) as info:
        m._calc_entropy(pairs)
    if text is not None:
        assert str(info.value) == text


@pytest.mark.parametrize(
    "src, trg, error, text",
    [
        (None, [0], TypeError, "object of type 'NoneType' has no len()"),
        ([0, 1], None, TypeError, "object of type 'NoneType' has no len()"),
        ([0, 3], [0], IndexError, None),
        ([0, 1], [2], IndexError, None),
    ],
)
def test_pair_entropy_errors(make_model, src, trg, error, text):
    m, _ = make_model(emlex.Model1, *WORKED, trans=WORKED_TRANS)
    with pytest.raises(error) as info:
        m._calc_pair_entropy(src, trg, True)
    if text is not None:
        assert str(info.value) == text


def test_pair_entropy_without_table(make_model):
    m, _ = make_model(emlex.Model1, *WORKED)
    with pytest.raises(TypeError):
        m._calc_pair_entropy([0, 1], [0], True)


# ---------------------------------------------------------------------------
# Score file


def test_score_file(make_model, tmp_path, capsys):
    trans = np.array([[0.5, 0.0], [0.5, 0.0], [0.5, 0.0]])
    m, _ = make_model(emlex.Model1, *WORKED, trans=trans)
    capsys.readouterr()
    pairs = [([0, 1], [0]), ([0, 1, 2], [0, 1]), ([0, 2], []), ([0, 2, 2], [0, 0])]
    path = str(tmp_path / "scores.txt")
    m._calc_and_save_scores(path, pairs, True)
    assert read(path) == [repr(-math.log(0.5)), "inf", "nan", repr(m._calc_pair_entropy([0, 2, 2], [0, 0], True))]
    assert messages(capsys.readouterr().err, "INFO") == ["calculating and storing alignment scores into file: " + path]


def test_score_file_shortest_forms(make_model, tmp_path):
    m, pairs = make_model(emlex.Model1, *WORKED, trans=WORKED_TRANS)
    path = str(tmp_path / "scores.txt")
    m._calc_and_save_scores(path, pairs, False)
    got = read(path)
    assert [float(x) for x in got] == [m._calc_pair_entropy(s, t, True) for s, t in pairs]
    assert got == [repr(float(x)) for x in got]
    assert float(got[0]) == pytest.approx(0.3364722366212129, rel=1e-15)


# ---------------------------------------------------------------------------
# Decoded-alignment file


@pytest.fixture
def decoder(make_model):
    """A Model 2 over source a b c and target x y z w (A = 4, B = 3)."""
    trans = np.array([
        [0.1, 0.6, 0.2, 0.1],  # NULL
        [0.7, 0.1, 0.3, 0.4],  # a
        [0.1, 0.1, 0.3, 0.4],  # b
        [0.4, 0.1, 0.2, 0.3],  # c
    ])
    align = np.empty((3, 3, 3, 4))
    for u in range(3):
        align[u] = 1 / (u + 2)
    align[0, 0, 0] = [0.1, 0.9, 0.0, 0.0]  # I = 1, J = 1
    align[1, 0, 0] = [0.9, 0.05, 0.05, 0.0]  # I = 2, J = 1
    m, _ = make_model(empos.Model2, ["a b c", "a", "b c"], ["x y z", "x", "y w"], trans=trans, align=align)
    return m


@pytest.mark.parametrize(
    "src, trg, line",
    [
        ([0, 1, 2], [0, 1, 2], "1-1 2-0 3-1"),  # y best from NULL; z ties between a and b
        ([0, 3], [0], "1-1"),  # the table of I = 1: 0.9 * 0.4 beats 0.1 * 0.1
        ([0, 3, 1], [0], "1-0"),  # the table of I = 2: 0.9 * 0.1 beats 0.05 * 0.7
        ([0, 2, 2, 2], [3, 3], "1-1 2-1"),  # exact ties go to the lowest source position
        ([0, 1], [], ""),
        ([0], [0, 1], "1-0 2-0"),  # no source word: everything aligns to NULL
    ],
)
def test_decoded_alignment_lines(decoder, tmp_path, src, trg, line):
    path = str(tmp_path / "dec.txt")
    decoder._decode_and_save_align(path, [(src, trg)], False)
    assert read(path) == [line]


def test_decoded_alignment_file(decoder, tmp_path, capsys):
    path = str(tmp_path / "dec.txt")
    pairs = [([0, 1, 2], [0, 1, 2]), ([0, 1], []), ([0, 3], [0])]
    decoder._decode_and_save_align(path, pairs, True)
    assert read(path) == ["1-1 2-0 3-1", "", "1-1"]
    assert messages(capsys.readouterr().err, "INFO") == ["decoding and storing alignment into file: " + path]


def test_model1_cannot_decode_without_alignment_table(make_model, tmp_path):
    m, pairs = make_model(emlex.Model1, *WORKED, trans=WORKED_TRANS)
    with pytest.raises(TypeError):
        m._decode_and_save_align(str(tmp_path / "dec.txt"), pairs, False)


# ---------------------------------------------------------------------------
# Failures keep what was written


@pytest.mark.parametrize("bad", [([0, 9], [0]), ([0, 1], [7]), ([0, 1, 2, 3, 1], [0]), ([0, 1], [0, 1, 2, 3])],
                         ids=["source id", "target id", "source length", "target length"])
@pytest.mark.parametrize("writer", ["_calc_and_save_scores", "_decode_and_save_align"])
def test_error_leaves_the_previous_file(decoder, tmp_path, writer, bad):
    good = ([0, 1, 2], [0, 1, 2])
    path = tmp_path / "out.txt"
    path.write_text("the previous file\n")
    with pytest.raises(IndexError):
        getattr(decoder, writer)(str(path), [good, good, bad, good], False)
    # No part of the new file replaces the previous one, and no temporary stays.
    assert read(path) == ["the previous file"]
    assert [p.name for p in tmp_path.iterdir() if p.name.endswith(".tmp")] == []


def missing_dir_writers(decoder, trainer):
    return {
        "scores": lambda p: decoder._calc_and_save_scores(p, [([0, 1], [0])], False),
        "decode": lambda p: decoder._decode_and_save_align(p, [([0, 1], [0])], False),
        "model trans": lambda p: decoder._save_trans_dist(p, 0.001, 100),
        "model align": lambda p: decoder._save_align_dist(p, 0.001),
        "trainer trans": lambda p: trainer._save_trans_dist(p, 0.001, 100),
        "trainer align": lambda p: trainer._save_align_dist(p, 0.001),
    }


@pytest.mark.parametrize("which", ["scores", "decode", "model trans", "model align", "trainer trans", "trainer align"])
def test_output_in_missing_directory(decoder, tmp_path, which):
    trainer = trainer_with(empos.Model2Trainer, decoder)
    path = str(tmp_path / "no" / "such" / "out.txt")
    with pytest.raises(FileNotFoundError, match=re.escape(path)):
        missing_dir_writers(decoder, trainer)[which](path)


# ---------------------------------------------------------------------------
# Word translation distribution file

# Source ids NULL 0, a 1, b 2, c 3; target ids w 0, x 1, y 2, z 3.
TRANS_CORPUS = (["a b c"], ["w x y z"])
TRANS = np.array([
    [0.5, 0.0005, 0.3, 0.2],  # sorted: w y z x
    [0.25, 0.25, 0.25, 0.25],  # ties: w x y z
    [0.0, 0.1, 1.0, 0.0],  # sorted: y x w z
    [0.0005, 0.0, 0.0, 0.0009],  # sorted: z w x y; nothing above 0.001
])
WORDS_SRC = [NULL, "a", "b", "c"]
WORDS_TRG = ["w", "x", "y", "z"]
COUNTS = np.array([
    [12.5, 0.0, 3.0, 0.004],
    [0.375, 1e6, 0.005, 1 / 3],
    [0.0, 0.125, 2.675, 7.0],
    [0.0, 0.0, 0.0, 0.0],
])
MODEL_FORM = {0.5: "0.5", 0.3: "0.30000001192092896", 0.2: "0.20000000298023224", 0.25: "0.25",
              1.0: "1.0", 0.1: "0.10000000149011612", 0.0: "0.0", 0.0005: r32(0.0005), 0.0009: r32(0.0009)}
TRAINER_FORM = {0.5: "0.50000000", 0.3: "0.30000001", 0.2: "0.20000000", 0.25: "0.25000000",
                1.0: "1.00000000", 0.1: "0.10000000", 0.0: "0.00000000", 0.0005: "0.00050000", 0.0009: "0.00090000"}
COUNT_FORM = {12.5: "12.50", 0.0: "0.00", 3.0: "3.00", 0.004: "0.00", 0.375: "0.38", 1e6: "1000000.00",
              0.005: "0.01", 1 / 3: "0.33", 0.125: "0.12", 2.675: "2.67", 7.0: "7.00"}


def trans_cells(spec):
    """'N:wyz a:wx' -> [(0, 0), (0, 2), (0, 3), (1, 0), (1, 1)]."""
    out = []
    for part in spec.split():
        s, ts = part.split(":")
        for t in ts:
            out.append(("Nabc".index(s), "wxyz".index(t)))
    return out


TRANS_CASES = [
    (0.001, 100, "N:wyz a:wxyz b:yx"),
    (0.001, None, "N:wyz a:wxyz b:yx"),
    (0.001, 2, "N:wy a:wx b:yx"),
    (0.001, 0, ""),
    (0.001, -1, "N:wyz a:wxy b:yx"),
    (0.001, -3, "N:w a:w b:y"),
    (0.001, 1, "N:w a:w b:y"),
    (0.25, None, "N:wy b:y"),  # 0.25 equals the threshold: not written
    (float(np.float32(0.1)), None, "N:wyz a:wxyz b:y"),  # 0.1 narrowed equals the threshold
    (0.1, None, "N:wyz a:wxyz b:yx"),  # 0.1 narrowed is above 0.1
    (0.0, None, "N:wyzx a:wxyz b:yx c:zw"),
    (-1.0, None, "N:wyzx a:wxyz b:yxwz c:zwxy"),  # zeros too, ties in target id order
    (-1.0, -2, "N:wy a:wx b:yx c:zw"),
    (0.001, 2**70, "N:wyz a:wxyz b:yx"),
    (-1.0, -(2**70), ""),
]


@pytest.mark.parametrize("threshold, nbest, cells", TRANS_CASES)
def test_model_trans_file(make_model, tmp_path, threshold, nbest, cells):
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS, trans=TRANS)
    path = str(tmp_path / "trans.txt")
    m._save_trans_dist(path, threshold, nbest)
    want = ["%s\t%s\t%s" % (WORDS_SRC[s], WORDS_TRG[t], MODEL_FORM[TRANS[s, t]]) for s, t in trans_cells(cells)]
    assert read(path) == want


@pytest.mark.parametrize("threshold, nbest, cells", TRANS_CASES)
def test_trainer_trans_file(make_model, tmp_path, threshold, nbest, cells):
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS, trans=TRANS)
    trainer = trainer_with(emlex.Model1Trainer, m, count_cooc=COUNTS)
    path = str(tmp_path / "trans.txt")
    trainer._save_trans_dist(path, threshold, nbest)
    want = ["%s\t%s\t%s\t%s" % (WORDS_SRC[s], WORDS_TRG[t], TRAINER_FORM[TRANS[s, t]], COUNT_FORM[COUNTS[s, t]])
            for s, t in trans_cells(cells)]
    assert read(path) == want


def test_trans_file_log_line(make_model, tmp_path, capsys):
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS, trans=TRANS)
    capsys.readouterr()
    path = str(tmp_path / "trans.txt")
    m._save_trans_dist(path, 0.001, 100)
    m._save_trans_dist(path, 1e-05, 100)
    assert messages(capsys.readouterr().err, "INFO") == [
        "storing translation probabilities into file (threshold=0.001): " + path,
        "storing translation probabilities into file (threshold=1e-05): " + path,
    ]


def test_trans_file_narrowing_forms(make_model, tmp_path):
    """Shortest forms of the narrowed value, with a decimal point or an exponent."""
    trans = np.array([[1e-05, 0.999, 1 - 1e-05 - 0.999], [2 ** -30, 0.75, 0.25 - 2 ** -30]])
    m, _ = make_model(emlex.Model1, ["a"], ["x y z"], trans=trans)
    path = str(tmp_path / "trans.txt")
    m._save_trans_dist(path, -1.0, None)
    got = [line.split("\t") for line in read(path)]
    assert [g[:2] for g in got] == [[NULL, "y"], [NULL, "z"], [NULL, "x"], ["a", "y"], ["a", "z"], ["a", "x"]]
    assert got[0][2] == "0.9990000128746033"
    assert got[2][2] == "9.999999747378752e-06"
    assert got[3][2] == "0.75"
    assert got[5][2] == "9.313225746154785e-10"
    assert all(float(g[2]) == float(np.float32(float(g[2]))) for g in got)


def test_trans_file_error_keeps_earlier_rows(make_model, tmp_path):
    """A vocabulary larger than the table: the missing row fails after the earlier rows were written."""
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS, trans=TRANS[:2])
    path = str(tmp_path / "trans.txt")
    with pytest.raises(IndexError):
        m._save_trans_dist(path, 0.001, 100)
    assert read(path) == ["__NULL__\tw\t0.5", "__NULL__\ty\t0.30000001192092896", "__NULL__\tz\t0.20000000298023224",
                          "a\tw\t0.25", "a\tx\t0.25", "a\ty\t0.25", "a\tz\t0.25"]


def test_writers_without_tables(make_model, tmp_path):
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS)
    trans_path, align_path = tmp_path / "trans.txt", tmp_path / "align.txt"
    with pytest.raises((TypeError, AttributeError)):
        m._save_trans_dist(str(trans_path), 0.001, 100)
    assert not trans_path.exists()
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS, trans=TRANS)
    with pytest.raises((TypeError, AttributeError)):
        m._save_align_dist(str(align_path), 0.001)
    assert not align_path.exists()


@pytest.mark.parametrize("writer", ["_save_trans_dist", "_save_align_dist"])
def test_threshold_must_be_a_number(make_model, tmp_path, writer):
    m, _ = make_model(empos.Model2, *ALIGN_CORPUS, trans=np.full((3, 3), 1 / 3), align=align_table())
    args = ("0.1", 100) if writer == "_save_trans_dist" else ("0.1",)
    with pytest.raises(TypeError):
        getattr(m, writer)(str(tmp_path / "out.txt"), *args)


@pytest.mark.parametrize("nbest", [1.5, "2"])
def test_trans_file_nbest_must_be_an_integer(make_model, tmp_path, nbest):
    m, _ = make_model(emlex.Model1, *TRANS_CORPUS, trans=TRANS)
    with pytest.raises(TypeError):
        m._save_trans_dist(str(tmp_path / "trans.txt"), 0.001, nbest)


# ---------------------------------------------------------------------------
# Alignment distribution file

# A = 3 (two source words and NULL), B = 3: shape (2, 3, 3, 3), [I-1, J-1, j, i].
ALIGN_CORPUS = (["a b", "a"], ["x y z", "x"])


def align_table():
    align = np.empty((2, 3, 3, 3))
    align[0], align[1] = 1 / 2, 1 / 3  # uniform start: constant rows write nothing
    align[0, 0, 0] = [0.5, 0.5, 0.0]  # uniform over I = 1, padded with a zero: written
    align[0, 1, 0] = [0.3, 0.7, 0.0]
    align[0, 1, 1] = [0.5, 0.5, 0.0]
    align[1, 2, 0] = [0.5, 0.25, 0.25]
    align[1, 2, 1] = [0.0005, 0.9995, 0.0]
    # align[1, 2, 2] stays uniform over the largest source length: skipped
    return align


ALIGN_COUNTS = np.zeros((2, 3, 3, 3))
ALIGN_COUNTS[0, 0, 0] = [1.5, 1.5, 0.0]
ALIGN_COUNTS[1, 2, 0] = [2.675, 0.125, 0.0]
ALIGN_COUNTS[1, 2, 1] = [0.005, 3.0, 0.0]

ALIGN_CASES = [
    (0.001, ["1110", "1111", "1210", "1211", "1220", "1221", "2310", "2311", "2312", "2321"]),
    (0.5, ["1211", "2321"]),
    (-1.0, ["1110", "1111", "1112", "1210", "1211", "1212", "1220", "1221", "1222",
            "2310", "2311", "2312", "2320", "2321", "2322"]),
]


@pytest.mark.parametrize("threshold, cells", ALIGN_CASES)
def test_model_align_file(make_model, tmp_path, threshold, cells):
    align = align_table()
    m, _ = make_model(empos.Model2, *ALIGN_CORPUS, trans=np.full((3, 3), 1 / 3), align=align)
    path = str(tmp_path / "align.txt")
    m._save_align_dist(path, threshold)
    want = []
    for c in cells:
        I, J, j, i = (int(x) for x in c)
        want.append("%d\t%d\t%d\t%d\t%s" % (I, J, j, i, r32(align[I - 1, J - 1, j - 1, i])))
    assert read(path) == want


def test_model_align_file_literal_lines(make_model, tmp_path):
    m, _ = make_model(empos.Model2, *ALIGN_CORPUS, trans=np.full((3, 3), 1 / 3), align=align_table())
    path = str(tmp_path / "align.txt")
    m._save_align_dist(path, 0.001)
    got = read(path)
    assert got[:4] == [
        "1\t1\t1\t0\t0.5", "1\t1\t1\t1\t0.5", "1\t2\t1\t0\t0.30000001192092896", "1\t2\t1\t1\t0.699999988079071",
    ]
    assert got[6] == "2\t3\t1\t0\t0.5"


@pytest.mark.parametrize("threshold, cells", ALIGN_CASES)
def test_trainer_align_file(make_model, tmp_path, threshold, cells):
    align = align_table()
    m, _ = make_model(empos.Model2, *ALIGN_CORPUS, trans=np.full((3, 3), 1 / 3), align=align)
    trainer = trainer_with(empos.Model2Trainer, m, count_align=ALIGN_COUNTS)
    path = str(tmp_path / "align.txt")
    trainer._save_align_dist(path, threshold)
    want = []
    for c in cells:
        I, J, j, i = (int(x) for x in c)
        k = (I - 1, J - 1, j - 1, i)
        want.append("%d\t%d\t%d\t%d\t%.8f\t%.2f" % (I, J, j, i, float(np.float32(align[k])), ALIGN_COUNTS[k]))
    assert read(path) == want
    if threshold == 0.001:
        assert read(path)[6:8] == ["2\t3\t1\t0\t0.50000000\t2.67", "2\t3\t1\t1\t0.25000000\t0.12"]


def test_align_file_log_line(make_model, tmp_path, capsys):
    m, _ = make_model(empos.Model2, *ALIGN_CORPUS, trans=np.full((3, 3), 1 / 3), align=align_table())
    capsys.readouterr()
    path = str(tmp_path / "align.txt")
    m._save_align_dist(path, 0.001)
    assert messages(capsys.readouterr().err, "INFO") == ["storing alignment probabilities into file: " + path]


def test_untrained_alignment_table_writes_nothing(make_model, tmp_path):
    align = np.empty((2, 3, 3, 3))
    align[0], align[1] = 1 / 2, 1 / 3
    m, _ = make_model(empos.Model2, *ALIGN_CORPUS, trans=np.full((3, 3), 1 / 3), align=align)
    path = str(tmp_path / "align.txt")
    m._save_align_dist(path, -1.0)
    assert read(path) == []
