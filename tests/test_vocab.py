"""Vocab: tokenisation of a parallel corpus, ids, maxima, id-to-text, bad input."""

import re

import pytest

from qaz.smt.align import emcore

from conftest import messages

NULL = "__NULL__"


@pytest.fixture
def load(tmp_path):
    """load(src_bytes, trg_bytes, character=False, vocab=None) -> (vocab, pairs as lists, paths)."""
    count = [0]

    def run(src, trg, character=False, vocab=None):
        count[0] += 1
        sp = tmp_path / f"c{count[0]}.src"
        tp = tmp_path / f"c{count[0]}.trg"
        sp.write_bytes(src if isinstance(src, bytes) else src.encode("utf-8"))
        tp.write_bytes(trg if isinstance(trg, bytes) else trg.encode("utf-8"))
        v = emcore.Vocab() if vocab is None else vocab
        pairs = v._load_sent_pairs(str(sp), str(tp), character)
        return v, pairs, (str(sp), str(tp))

    return run


def words(vocab, pair):
    src, trg = pair
    return [vocab._src_id2str(i) for i in src], [vocab._trg_id2str(i) for i in trg]


def test_first_pair_on_fresh_vocab(load):
    v, pairs, _ = load("a b\n", "x y z\n")
    assert pairs.to_list() == [([0, 1, 2], [0, 1, 2])]
    assert words(v, pairs[0]) == ([NULL, "a", "b"], ["x", "y", "z"])
    assert v._src_str2id(NULL) == 0
    assert v._sizes() == (3, 3, 3, 3)


@pytest.mark.parametrize(
    "line, tokens",
    [
        ("a  b", ["a", "", "b"]),
        ("", [""]),
        (" a ", ["", "a", ""]),
        ("a\r", ["a"]),  # CR LF
        ("a\r\r", ["a"]),
        ("\ra b", ["a", "b"]),
        ("a\rb c", ["a\rb", "c"]),
        ("a\t", ["a\t"]),
        ("a\tb c", ["a\tb", "c"]),
        ("\ta", ["\ta"]),
        ("é ü 日本", ["é", "ü", "日本"]),
    ],
    ids=repr,
)
def test_word_mode_tokens(load, line, tokens):
    """Single spaces separate tokens; only CR and LF are stripped, and only at the ends."""
    v, pairs, _ = load(line + "\n" + "z\n", line + "\n" + "z\n")
    src, trg = words(v, pairs[0])
    assert src == [NULL] + tokens
    assert trg == tokens
    # the line after a CR-carrying line is still the second pair
    assert words(v, pairs[1]) == ([NULL, "z"], ["z"])


@pytest.mark.parametrize(
    "line, tokens",
    [
        ("ab c", ["a", "b", " ", "c"]),
        ("", []),
        ("  ", [" ", " "]),
        ("日本\r", ["日", "本"]),
        ("a\tb", ["a", "\t", "b"]),
        ("a\rb\r", ["a", "\r", "b"]),
    ],
    ids=repr,
)
def test_character_mode_tokens(load, line, tokens):
    v, pairs, _ = load(line + "\n", line + "\n", character=True)
    assert words(v, pairs[0]) == ([NULL] + tokens, tokens)


def test_last_line_without_line_feed_and_empty_files(load):
    v, pairs, _ = load("a\nb", "x\ny")
    assert [words(v, p) for p in pairs] == [([NULL, "a"], ["x"]), ([NULL, "b"], ["y"])]
    v, pairs, _ = load("", "")
    assert len(pairs) == 0 and pairs.to_list() == []
    assert v._sizes() == (1, 0, 0, 0)


@pytest.mark.parametrize(
    "src, trg, maxima",
    [
        (["a b c d", "a"], ["x", "x y z w v u t"], (5, 7)),  # longest lines in different pairs
        (["a b c d"], ["x y"], (5, 2)),
        (["", "a"], ["", ""], (2, 1)),
    ],
)
def test_maxima(load, src, trg, maxima):
    v, _, _ = load("".join(s + "\n" for s in src), "".join(t + "\n" for t in trg))
    assert v._sizes()[2:] == maxima


def test_second_load_into_same_vocab(load):
    v, first, _ = load("a b c d\n", "x y z w v\n")
    v, second, _ = load("b e\n", "y q\n", vocab=v)
    assert second.to_list() == [([0, 2, 5], [1, 5])]  # known words keep their ids, NULL stays 0
    assert v._sizes() == (6, 6, 5, 5)  # maxima are only raised
    assert first.to_list() == [([0, 1, 2, 3, 4], [0, 1, 2, 3, 4])]


def test_init_discards_words_and_keeps_maxima(load):
    v, _, _ = load("a b\n", "x y z\n")
    v._init()
    assert v._sizes() == (0, 0, 3, 3)
    v, pairs, _ = load("c\n", "w\n", vocab=v)
    assert pairs.to_list() == [([0, 1], [0])]
    assert v._src_id2str(1) == "c"
    assert v._sizes() == (2, 1, 3, 3)


def test_sent_pairs_sequence(load):
    _, pairs, _ = load("a b\nc\n\n", "x\ny z\nw\n")
    expected = [([0, 1, 2], [0]), ([0, 3], [1, 2]), ([0, 4], [3])]
    assert len(pairs) == 3
    assert [pairs[k] for k in range(3)] == [tuple(p) for p in expected]
    assert pairs[-1] == tuple(expected[-1])
    assert list(pairs) == [tuple(p) for p in expected]
    assert pairs.to_list() == expected
    assert pairs.cells() == 3 * 1 + 2 * 2 + 2 * 1
    with pytest.raises(IndexError):
        pairs[3]


@pytest.mark.parametrize(
    "src_ids, trg_ids, character, expected",
    [
        ([0, 5, 7], [3, 4], False, ("e g", "d e")),
        ([0, 5, 7], [3, 4], True, ("eg", "de")),
        ([0], [], False, ("", "")),
        ([0, 1, 1], [0], False, ("a a", "a")),
    ],
)
def test_ids_pair_to_str_pair(load, src_ids, trg_ids, character, expected):
    v, _, _ = load("a b c d e f g\n", "a b c d e\n")
    assert v._ids_pair_to_str_pair(src_ids, trg_ids, character) == expected


def test_loading_log_line(load, capsys):
    _, _, (sp, tp) = load("a\n", "x\n")
    assert messages(capsys.readouterr().err, "INFO") == ["loading files: %s %s" % (sp, tp)]


@pytest.mark.parametrize("src_lines, trg_lines", [(3, 5), (5, 3)])
def test_different_line_counts_warn_once(load, capsys, src_lines, trg_lines):
    src = "".join("s%d\n" % k for k in range(src_lines))
    trg = "".join("t%d\n" % k for k in range(trg_lines))
    v, pairs, (sp, tp) = load(src, trg)
    assert [words(v, p) for p in pairs] == [([NULL, "s%d" % k], ["t%d" % k]) for k in range(3)]
    warnings = messages(capsys.readouterr().err, "WARNING")
    assert len(warnings) == 1
    assert sp in warnings[0] and tp in warnings[0]
    assert re.search(r"\b%d\b" % src_lines, warnings[0].replace(sp, "").replace(tp, ""))
    assert re.search(r"\b%d\b" % trg_lines, warnings[0].replace(sp, "").replace(tp, ""))


def test_equal_line_counts_do_not_warn(load, capsys):
    load("a\nb\n", "x\ny\n")
    assert messages(capsys.readouterr().err, "WARNING") == []


def test_tab_in_token_warns_once_naming_file_and_line(load, capsys):
    v, pairs, (sp, tp) = load("a\nb\nc\nd\n", "x\ny\nq\tr\ns\tt\n")
    assert words(v, pairs[2]) == ([NULL, "c"], ["q\tr"])
    warnings = messages(capsys.readouterr().err, "WARNING")
    assert len(warnings) == 1
    assert tp in warnings[0]
    assert re.search(r"\b3\b", warnings[0].replace(tp, ""))


@pytest.mark.parametrize("missing", ["src", "trg"])
def test_missing_file(tmp_path, missing):
    present = tmp_path / "present.txt"
    present.write_text("a\n", encoding="utf-8")
    absent = str(tmp_path / "no" / "such.txt")
    args = (absent, str(present)) if missing == "src" else (str(present), absent)
    with pytest.raises(FileNotFoundError, match=re.escape(absent)):
        emcore.Vocab()._load_sent_pairs(*args, False)


@pytest.mark.parametrize("side", ["src", "trg"])
@pytest.mark.parametrize("character", [False, True])
def test_undecodable_bytes_name_file_and_line(load, side, character):
    good = b"a\nb\nc\n"
    bad = b"a\nb\xff c\nc\n"
    with pytest.raises(UnicodeDecodeError) as info:
        load(bad, good, character) if side == "src" else load(good, bad, character)
    text = str(info.value)
    assert ("c1." + side) in text
    assert re.search(r"line 2\b|:2\b", text)
