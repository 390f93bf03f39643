"""The benchmark helpers: synthetic corpus generator and alignment error rate."""

import sys
from collections import Counter
from pathlib import Path

import numpy as np
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bench"))

import aer  # noqa: E402
import make_corpus  # noqa: E402

# ---------------------------------------------------------------------------
# Generator


def _write(tmp_path, pairs, seed, name, **kw):
    prefix = tmp_path / name
    stats = make_corpus.write_corpus(pairs, seed, prefix, **kw)
    src = Path(f"{prefix}.src").read_text(encoding="utf-8")
    trg = Path(f"{prefix}.trg").read_text(encoding="utf-8")
    return stats, src, trg, prefix


def test_same_seed_same_bytes_other_seed_other_text(tmp_path):
    # Small chunks so that the chunk boundary is crossed.
    a = _write(tmp_path, 700, 5, "a", chunk=300)
    b = _write(tmp_path, 700, 5, "b", chunk=300)
    c = _write(tmp_path, 700, 6, "c", chunk=300)
    assert a[1:3] == b[1:3]
    assert a[1] != c[1] and a[2] != c[2]


def test_corpus_shape(tmp_path):
    stats, src, trg, _ = _write(tmp_path, 3000, 1, "s")
    src_lines, trg_lines = src.split("\n"), trg.split("\n")
    assert src_lines[-1] == "" and trg_lines[-1] == ""  # every line ends with a line feed
    src_lines, trg_lines = src_lines[:-1], trg_lines[:-1]
    assert len(src_lines) == len(trg_lines) == 3000
    for lines in (src_lines, trg_lines):
        lens = np.array([len(line.split(" ")) for line in lines])
        # single spaces, no empty lines or tokens, lengths within 1..100
        assert all(tok for line in lines for tok in line.split(" "))
        assert lens.min() >= 1 and lens.max() <= make_corpus.MAX_LEN
    src_lens = np.array([len(line.split()) for line in src_lines])
    trg_lens = np.array([len(line.split()) for line in trg_lines])
    assert 19 < src_lens.mean() < 23 and 14 < trg_lens.mean() < 21
    assert np.percentile(src_lens, 95) > 1.8 * np.median(src_lens)  # a long tail
    # The statistics describe what was written.
    assert stats["pairs"] == 3000
    assert stats["src_tokens"] == src_lens.sum() and stats["trg_tokens"] == trg_lens.sum()
    assert stats["cells"] == ((src_lens + 1) * trg_lens).sum()
    assert stats["src_types"] == len(set(src.split()))
    # Zipfian: the commonest word is far more frequent than the median one.
    counts = sorted(Counter(src.split()).values(), reverse=True)
    assert counts[0] > 50 * counts[len(counts) // 2]
    assert not set(src.split()) & set(trg.split())


def test_vocabulary_grows_with_the_corpus():
    small, large = make_corpus.vocab_sizes(100_000), make_corpus.vocab_sizes(3_000_000)
    assert 20_000 < small[0] < 60_000 and 20_000 < small[1] < 60_000
    assert large[0] > 4 * small[0] and large[1] > 4 * small[1]


def test_lengths_capped_on_long_sentences(monkeypatch, tmp_path):
    # Push the mean far up so that many sentences hit the cap on both sides.
    monkeypatch.setattr(make_corpus, "LEN_MEAN", 150.0)
    monkeypatch.setattr(make_corpus, "SPONT_RATE", 0.3)
    _, src, trg, _ = _write(tmp_path, 300, 2, "long")
    for text in (src, trg):
        lens = [len(line.split()) for line in text.splitlines()]
        assert max(lens) == make_corpus.MAX_LEN
        assert sum(n == make_corpus.MAX_LEN for n in lens) > 30


def test_gold_links_follow_the_hidden_lexicon(tmp_path):
    _, src, trg, prefix = _write(tmp_path, 400, 3, "g", gold_pairs=50)
    src_lines, trg_lines = src.splitlines(), trg.splitlines()
    with open(f"{prefix}.wa", encoding="utf-8") as f:
        sure, possible = aer.read_gold(f)
    assert sure == possible and {k for k, _, _ in sure} <= set(range(1, 51))
    # Every link points inside its sentences, at most one source word per target word.
    for k, j, i in sure:
        assert 1 <= j <= len(trg_lines[k - 1].split()) and 1 <= i <= len(src_lines[k - 1].split())
    assert len({(k, j) for k, j, _ in sure}) == len(sure)
    # A linked pair of words is mostly one of the few translations of the source word.
    by_src = {}
    for k, j, i in sure:
        by_src.setdefault(src_lines[k - 1].split()[i - 1], Counter())[trg_lines[k - 1].split()[j - 1]] += 1
    frequent = [c for c in by_src.values() if sum(c.values()) >= 10]
    assert frequent and all(len(c) <= 3 for c in frequent)
    # Reordering is local: links stay near the diagonal.
    assert np.mean([abs(j - i) for _, j, i in sure]) < 3


# ---------------------------------------------------------------------------
# Alignment error rate

GOLD = """\
1 1 1 S
1 2 2 S
1 2 3 P
1 3 3 P
2 1 2 S
"""


def test_aer_worked_example():
    sure, possible = aer.read_gold(GOLD.splitlines())
    assert sure == {(1, 1, 1), (1, 2, 2), (2, 1, 2)}
    assert possible == sure | {(1, 2, 3), (1, 3, 3)}
    # A = {(1,1,1) sure, (1,2,3) possible, (1,3,1) wrong}, sentence 2 unaligned:
    # |A&S| = 1, |A&P| = 2, |A| = 3, |S| = 3 -> 1 - 3/6.
    links = {(1, 1, 1), (1, 2, 3), (1, 3, 1)}
    assert aer.aer(links, sure, possible) == pytest.approx(0.5)
    assert aer.aer(sure, sure, possible) == 0.0
    # Possible links alone: 1 - (0 + 2) / (2 + 3).
    assert aer.aer({(1, 2, 3), (1, 3, 3)}, sure, possible) == pytest.approx(0.6)
    # possible is taken as including sure even when given without it.
    assert aer.aer(sure, sure, possible - sure) == 0.0


@pytest.mark.parametrize(
    "src_lang, expected",
    [
        # French source: "j-i" is (English j, French i).
        ("f", {(1, 1, 1), (1, 2, 3), (2, 1, 2)}),
        # English source: "j-i" is (French j, English i).
        ("e", {(1, 1, 1), (1, 3, 2), (2, 2, 1)}),
    ],
)
def test_decoded_lines_of_trial_sentences(src_lang, expected):
    # Sentence k is line first_line + k; NULL links (i = 0) are dropped.
    lines = ["9-9", "1-1 2-3 3-0", "1-2", "7-7"]
    assert aer.read_decoded(lines, [1, 2], src_lang, first_line=1) == expected


def test_decoded_file_errors():
    with pytest.raises(ValueError, match="ends before trial sentence 3"):
        aer.read_decoded(["1-1", "1-1"], [1, 2, 3], "f", first_line=0)
    with pytest.raises(ValueError, match="expected 'j-i'"):
        aer.read_decoded(["1-1 2"], [1], "f", first_line=0)
    with pytest.raises(ValueError, match="src_lang"):
        aer.read_decoded(["1-1"], [1], "x", first_line=0)
    with pytest.raises(ValueError, match="gold line 2"):
        aer.read_gold(["1 1 1 S", "1 1 X"])


def test_score_file_both_directions(tmp_path):
    gold = tmp_path / "gold.wa"
    gold.write_text(GOLD)
    # The same links written once with French and once with English as source.
    fe = tmp_path / "fe"
    fe.write_text("1-1 2-2 3-1\n1-2\n")
    ef = tmp_path / "ef"
    ef.write_text("1-1 2-2 1-3\n2-1 0-0\n")
    for path, lang in ((fe, "f"), (ef, "e")):
        value, precision, recall, n = aer.score_file(path, lang, gold, first_line=0)
        # A = {(1,1,1), (1,2,2), (1,3,1), (2,1,2)}: 3 sure of 3, 3 of 4 in P.
        assert n == 4
        assert value == pytest.approx(1 - (3 + 3) / (4 + 3))
        assert precision == pytest.approx(0.75) and recall == 1.0


# ---------------------------------------------------------------------------
# Benchmark bookkeeping


@pytest.mark.parametrize("text, tokens, lines", [("a b c\nd\n", 4, 2), ("a b c\nd e", 5, 2), ("", 0, 0)])
def test_count_tokens(tmp_path, text, tokens, lines):
    import bench_align

    path = tmp_path / "c.txt"
    path.write_text(text)
    assert bench_align.count_tokens(path) == (tokens, lines)


def test_held_sparse_and_derived_figures(tmp_path):
    import bench_align

    log = tmp_path / "x.log"
    log.write_text(
        "2026-01-01 00:00:00 [INFO] qaz.smt.align.emlex: allocated: 376,004,960 [bytes] for 6,938,084"
        " co-occurring word pairs\n"
        "2026-01-01 00:00:00 [INFO] qaz.smt.align.empos: allocated: 114,174,080 [bytes] for 2,717 sentence shapes\n"
    )
    assert bench_align._held_sparse(log) == {"trans": (6938084, 376004960), "align": (2717, 114174080)}
    stages = {
        "load": [0.3, 0.2, 0.25],
        "setup": [1.0],
        "entropy": [0.4, 0.5, 0.6],
        "m1_loop1": [1.5, 1.4, 1.6],
        "m2_loop1": [2.0, 2.2, 2.1],
        "trans_writer": [0.1],
        "align_writer": [0.2],
        "scores": [0.3],
        "decode": [0.4],
    }
    rows = bench_align.derived({"stages": stages})
    assert rows["load"][0] == 0.2  # fastest load
    # E+M: the one-iteration loop minus two median entropy passes.
    assert rows["m1_em"][:3] == pytest.approx((0.5, 0.4, 0.6))
    assert rows["m2_em"][:3] == pytest.approx((1.1, 1.0, 1.2))
    assert rows["entropy"] == (0.5, 0.4, 0.6, 3)
