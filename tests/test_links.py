"""The link layer through qaz._links and qaz.aligner: symmetrisation, AER, link files."""

import random
import re
from pathlib import Path

import numpy as np
import pytest

from qaz import _links
from qaz.aligner import SYMMETRIZATION_METHODS, AlignmentScores, alignment_error_rate, symmetrize

from conftest import run_bounded

DATA = Path(__file__).resolve().parent / "data" / "links"

# ---------------------------------------------------------------------------
# Symmetrisation against a plain rendering of the definitions

NEIGHBOURS = [(di, dj) for di in (-1, 0, 1) for dj in (-1, 0, 1) if di or dj]


def reference_symmetrize(forward, reverse, method):
    f, r = set(forward), set(reverse)
    if method == "intersect":
        return sorted(f & r)
    if method == "union":
        return sorted(f | r)
    result = f & r
    src = {i for i, _ in result}
    trg = {j for _, j in result}

    def add(link):
        result.add(link)
        src.add(link[0])
        trg.add(link[1])

    candidates = sorted((f | r) - result)
    while True:
        added = []
        for i, j in candidates:
            free = i not in src or j not in trg
            if free and any((i + di, j + dj) in result for di, dj in NEIGHBOURS):
                add((i, j))
                added.append((i, j))
        if not added:
            break
        candidates = [c for c in candidates if c not in added]
    if method != "grow-diag":
        for side in (sorted(f), sorted(r)):
            for i, j in side:
                if (i, j) in result:
                    continue
                free = (i not in src, j not in trg)
                if all(free) if method == "grow-diag-final-and" else any(free):
                    add((i, j))
    return sorted(result)


def random_sentences(seed, count, offset=0):
    """Two link lists per sentence: a dense-ish forward and reverse with shared links."""
    rng = random.Random(seed)
    forward, reverse = [], []
    for _ in range(count):
        src_len, trg_len = rng.randint(1, 12), rng.randint(1, 12)
        cells = [(i + offset, j + offset) for i in range(src_len) for j in range(trg_len)]
        f = rng.sample(cells, rng.randint(0, min(len(cells), 14)))
        r = rng.sample(cells, rng.randint(0, min(len(cells), 14)))
        r += rng.sample(f, len(f) // 2)  # some agreement, so the grow steps have a start
        rng.shuffle(r)
        forward.append(f)
        reverse.append(r)
    return forward, reverse


@pytest.mark.parametrize("method", SYMMETRIZATION_METHODS)
@pytest.mark.parametrize("offset", [0, 2500])  # 2500: past the dense bitmap
def test_symmetrize_matches_reference(method, offset):
    forward, reverse = random_sentences(7, 300, offset)
    got = symmetrize(forward, reverse, method)
    expected = [reference_symmetrize(f, r, method) for f, r in zip(forward, reverse)]
    assert got == expected


def test_symmetrize_memory_follows_the_links():
    # Positions far apart must not size anything by the largest position;
    # the child fails under its memory cap if they do.
    top = 2**31 - 1
    forward = [[(0, 0), (2000000000, 2000000000)], [(0, 0), (top - 1, top - 1), (top, top)], [(5, top)]]
    reverse = [[(0, 0)], [(0, 0), (top - 1, top - 1), (top, top - 1)], [(top, 5)]]
    code = (
        "from qaz.aligner import SYMMETRIZATION_METHODS, symmetrize\n"
        "for m in SYMMETRIZATION_METHODS:\n"
        f"    print(m, symmetrize({forward!r}, {reverse!r}, m))\n"
    )
    result = run_bounded(code)
    assert result.returncode == 0, result.stderr
    expected = "".join(
        f"{m} {[reference_symmetrize(f, r, m) for f, r in zip(forward, reverse)]}\n" for m in SYMMETRIZATION_METHODS
    )
    assert result.stdout == expected


def test_random_data_separates_the_methods():
    # Every step (grow, final, final-and) changes some sentence of the data
    # compared above, so each method's comparison means something.
    forward, reverse = random_sentences(7, 300)
    results = [repr(symmetrize(forward, reverse, m)) for m in SYMMETRIZATION_METHODS]
    assert len(set(results)) == len(SYMMETRIZATION_METHODS)


def test_symmetrize_accepts_any_sequences_of_integer_pairs():
    forward = [np.array([[1, 1], [0, 0]], dtype=np.int64), ((0, 1),)]
    reverse = [[[0, 0]], [(np.int32(0), np.int32(1))]]
    assert symmetrize(forward, reverse, "intersect") == [[(0, 0)], [(0, 1)]]
    assert symmetrize([], [], "union") == []


@pytest.mark.parametrize(
    "forward, error, message",
    [
        ([[(0, -1)]], ValueError, r"forward sentence 1, link 1: expected a pair \(i, j\) of non-negative"),
        ([[(0, 0)], [(0, 0), (1.0, 2)]], ValueError, r"forward sentence 2, link 2: .* got \(1\.0, 2\)"),
        ([[(0, 2**31)]], ValueError, r"32-bit integers, got \(0, 2147483648\)"),
        ([None], TypeError, r"forward sentence 1: expected a list of \(i, j\) pairs, got None"),
        ("0-0", TypeError, r"forward must be a list of link lists"),
    ],
)
def test_symmetrize_rejects_bad_links(forward, error, message):
    with pytest.raises(error, match=message):
        symmetrize(forward, [[]] * (len(forward) if isinstance(forward, list) else 1), "union")


def test_symmetrize_rejects_bad_method_and_counts():
    with pytest.raises(ValueError, match=r"unknown symmetrisation method 'posterior'"):
        symmetrize([[]], [[]], "posterior")
    with pytest.raises(ValueError, match=r"unknown symmetrisation method 'grow'"):
        _links.symmetrize([[]], [[]], "grow")
    with pytest.raises(ValueError, match=r"forward has 2 sentences but reverse has 1"):
        symmetrize([[], []], [[]])


# ---------------------------------------------------------------------------
# Posterior combination


def test_posterior_matches_numpy():
    rng = np.random.default_rng(3)
    shapes = [(3, 4), (1, 1), (0, 5), (6, 2)]
    forward = [rng.random(s) for s in shapes]
    # Non-contiguous and float32 inputs are converted at the boundary.
    reverse = [np.ascontiguousarray(rng.random(s[::-1])).T for s in shapes]
    reverse[1] = reverse[1].astype(np.float32)
    for threshold in (0.3, 0.5, 0.9):
        got = _links.symmetrize_posterior(forward, reverse, threshold)
        expected = [
            [tuple(int(x) for x in ij) for ij in np.argwhere((f + r.astype(np.float64)) / 2 >= threshold)]
            for f, r in zip(forward, reverse)
        ]
        assert got == expected
    assert sum(len(s) for s in _links.symmetrize_posterior(forward, reverse, 0.5)) > 0


def test_posterior_threshold_is_inclusive_and_checked():
    f = np.array([[1.0, 0.25], [0.5, 0.75]])
    r = np.array([[0.5, 0.25], [0.5, 0.25]])
    assert _links.symmetrize_posterior([f], [r], 0.5) == [[(0, 0), (1, 0), (1, 1)]]
    assert _links.symmetrize_posterior([f], [r], 1.0) == [[]]
    for bad in (0.0, 1.5, float("nan")):
        with pytest.raises(ValueError, match=r"threshold must lie in \(0, 1\]"):
            _links.symmetrize_posterior([f], [r], bad)


def test_posterior_shape_errors():
    f = np.zeros((2, 3))
    with pytest.raises(ValueError, match=r"sentence 2: forward posterior has shape \(2, 3\) but reverse \(3, 2\)"):
        _links.symmetrize_posterior([f, f], [f, f.T], 0.5)
    with pytest.raises(ValueError, match=r"sentence 1: posteriors must be 2-D"):
        _links.symmetrize_posterior([np.zeros(3)], [np.zeros(3)], 0.5)
    with pytest.raises(ValueError, match=r"forward has 1 sentences but reverse has 0"):
        _links.symmetrize_posterior([f], [], 0.5)


# ---------------------------------------------------------------------------
# Alignment error rate


def test_alignment_error_rate_hand_worked():
    # Sentence 1: S = {0-0}, P = {0-0, 1-1, 1-2}, A = {0-0, 1-1, 2-2};
    # sentence 2: two sure links, no hypothesis.  |A| = 3, |S| = 3,
    # |A&S| = 1, |A&P| = 2.
    sure = [[(0, 0)], [(0, 0), (1, 1)]]
    possible = [[(0, 0), (1, 1), (1, 2)], [(0, 0), (1, 1)]]
    hyp = [[(2, 2), (0, 0), (1, 1)], []]
    s = alignment_error_rate(sure, possible, hyp)
    assert isinstance(s, AlignmentScores)
    assert (s.hypothesis, s.sure, s.hypothesis_and_sure, s.hypothesis_and_possible) == (3, 3, 1, 2)
    assert s.precision == pytest.approx(2 / 3)
    assert s.recall == pytest.approx(1 / 3)
    assert s.f1 == pytest.approx(4 / 9)
    assert s.aer == pytest.approx(0.5)
    # Sure links count as possible even when the possible list leaves them out.
    t = alignment_error_rate([[(0, 0)]], [[(1, 1)]], [[(0, 0), (1, 1)]])
    assert (t.precision, t.aer) == (1.0, 0.0)


def test_alignment_error_rate_of_an_empty_test_set():
    s = alignment_error_rate([], [], [])
    assert (s.precision, s.recall, s.f1, s.aer) == (1.0, 1.0, 1.0, 0.0)


def test_alignment_error_rate_needs_equal_sentence_counts():
    with pytest.raises(ValueError, match=r"hypothesis has 1 sentences but sure has 2"):
        alignment_error_rate([[], []], [[], []], [[]])
    with pytest.raises(ValueError, match=r"sure has 1 sentences but possible has 0"):
        alignment_error_rate([[]], [], [[]])


# ---------------------------------------------------------------------------
# Files


def test_readers_of_the_fixture_files():
    sure, possible = _links.read_naacl(DATA / "gold.wa", swap=True)
    assert sure == [[(0, 0), (1, 1)], [(0, 1), (1, 0)], []]
    assert possible == [[(0, 0), (1, 1), (1, 2), (2, 2)], [(0, 1), (1, 0)], [(0, 0)]]
    # Unswapped, the first position is the source.
    assert _links.read_naacl(str(DATA / "gold.wa"))[1][0] == [(0, 0), (1, 1), (2, 1), (2, 2)]
    # The Pharaoh gold holds the same links in source-target form.
    assert _links.read_gold_links(DATA / "gold.pharaoh") == (sure, possible)
    assert _links.read_gold_links(DATA / "gold.pharaoh", swap=True)[1] == _links.transpose(possible)
    hyp = _links.read_links(DATA / "hyp.pharaoh")
    assert hyp == [[(0, 0), (1, 1), (1, 2), (2, 3)], [(0, 1)], []]
    assert _links.read_decoded(DATA / "hyp.decode") == hyp
    assert _links.read_decoded(DATA / "hyp.decode", limit=1) == hyp[:1]
    assert _links.read_links(DATA / "hyp.pharaoh", 0) == []


def test_format_links_round_trip(tmp_path):
    sentences = [[(2, 1), (0, 0), (0, 0)], [], [(10, 12)]]
    lines = _links.format_links(sentences)
    assert lines == ["0-0 2-1", "", "10-12"]
    path = tmp_path / "links.txt"
    path.write_text("".join(line + "\n" for line in lines), encoding="utf-8")
    assert _links.read_links(path) == [sorted(set(s)) for s in sentences]
    assert _links.transpose(sentences) == [[(0, 0), (1, 2)], [], [(12, 10)]]


@pytest.mark.parametrize(
    "reader, text, message",
    [
        (_links.read_links, "0-0\n0-0 1:1\n", r":2: expected links 'i-j', got '1:1'"),
        (_links.read_decoded, "1-1\n0-1\n", r":2: decoded link 1 is '0-1', expected target position 1"),
        (_links.read_gold_links, "0-0\n\n0x0\n", r":3: expected links 'i-j' \(sure\) or 'i\?j', 'ipj'"),
        (_links.read_naacl, "1 1 1 S\n1 1\n", r":2: expected 'sentence position position \[S\|P\] \[confidence\]'"),
    ],
)
def test_parse_errors_name_file_and_line(tmp_path, reader, text, message):
    path = tmp_path / "bad.txt"
    path.write_text(text, encoding="utf-8")
    with pytest.raises(ValueError, match=re.escape(str(path)) + message):
        reader(path)


def test_io_and_decode_errors(tmp_path):
    with pytest.raises(FileNotFoundError) as e:
        _links.read_links(tmp_path / "missing.txt")
    assert e.value.filename == str(tmp_path / "missing.txt")
    with pytest.raises(IsADirectoryError):
        _links.read_naacl(tmp_path)
    path = tmp_path / "latin1.txt"
    path.write_bytes(b"0-0\n0-1 \xe9\n")
    with pytest.raises(UnicodeDecodeError, match=r"latin1\.txt, line 2"):
        _links.read_links(path)
