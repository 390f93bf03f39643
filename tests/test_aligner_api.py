"""qaz.aligner.Aligner: training and applying alignment models on lines held in memory."""

import itertools
import math
import sys
from pathlib import Path

import numpy as np
import pytest

from qaz import _links, align_command
from qaz.aligner import Aligner, parse_size
from qaz.smt.align import emcore

from conftest import SMALL_SRC, SMALL_TRG, run_command, write_lines

# The bundled sample: the first 1,000 Hansards pairs.
EXAMPLES = Path(__file__).resolve().parents[1] / "examples"


def lines_of(path):
    return Path(path).read_text(encoding="utf-8").splitlines()


def run_entry(entry, args):
    """Run a command entry that reads sys.argv, in-process; returns its exit status."""
    saved = sys.argv
    sys.argv = ["qaz"] + [str(a) for a in args]
    try:
        status = entry()
    except SystemExit as e:
        status = e.code
    finally:
        sys.argv = saved
    return status or 0


@pytest.fixture(scope="module")
def hansards_lines():
    out = []
    for name in ("hansards.1k.f", "hansards.1k.e"):
        with open(EXAMPLES / name, encoding="utf-8") as f:
            out.append([line.rstrip("\n") for line in itertools.islice(f, 400)])
    return out


@pytest.fixture
def hansards_files(tmp_path, hansards_lines):
    return write_lines(tmp_path / "h.f", hansards_lines[0]), write_lines(tmp_path / "h.e", hansards_lines[1])


def score_file(path):
    return np.array([float(x) for x in lines_of(path)])


# ---------------------------------------------------------------------------
# The same model and results as the command lines


def test_fit_gives_the_training_commands_model(tmp_path, hansards_lines, hansards_files):
    src, trg = hansards_files
    scores, decoded = tmp_path / "train.scores", tmp_path / "train.decoded"
    assert run_entry(emcore.main_train, [src, trg, tmp_path / "t.txt", "-I", "3", "-s", scores,
                                         "-d", decoded, "-q"]) == 0
    aligner = Aligner(iterations=3).fit(*hansards_lines)
    assert aligner.align(*hansards_lines) == _links.read_decoded(decoded)
    # Exactly the doubles the score file holds (written in shortest form).
    got = aligner.score(*hansards_lines)
    assert got.dtype == np.float64 and got.shape == (400,)
    assert [repr(float(x)) for x in got] == lines_of(scores)


def test_loaded_tables_score_and_align_as_qaz_score(tmp_path, hansards_lines):
    train_src, train_trg = hansards_lines[0][:300], hansards_lines[1][:300]
    # Test pairs the model never saw: new words, new sentence shapes.
    test_src, test_trg = hansards_lines[0][300:], hansards_lines[1][300:]
    trans, align = tmp_path / "m.trans", tmp_path / "m.align"
    Aligner(iterations=2).fit(train_src, train_trg).save(trans, align)
    src = write_lines(tmp_path / "test.f", test_src)
    trg = write_lines(tmp_path / "test.e", test_trg)
    for align_path in (align, None):
        scores, decoded = tmp_path / "s.txt", tmp_path / "d.txt"
        args = [src, trg, trans] + ([align_path] if align_path else []) + ["-s", scores, "-d", decoded, "-q"]
        assert run_entry(emcore.main_score, args) == 0
        loaded = Aligner.load(trans, align_path)
        assert [repr(float(x)) for x in loaded.score(test_src, test_trg)] == lines_of(scores)
        assert loaded.align(test_src, test_trg) == _links.read_decoded(decoded)
    # The training command's own files (probabilities in "%.8f" with a count
    # column) are read the same way.
    train_src, train_trg = write_lines(tmp_path / "train.f", train_src), write_lines(tmp_path / "train.e", train_trg)
    trans, align = tmp_path / "t.trans", tmp_path / "t.align"
    assert run_entry(emcore.main_train, [train_src, train_trg, trans, align, "-I", "2", "-q"]) == 0
    scores = tmp_path / "s2.txt"
    assert run_entry(emcore.main_score, [src, trg, trans, align, "-s", scores, "-q"]) == 0
    assert [repr(float(x)) for x in Aligner.load(trans, align).score(test_src, test_trg)] == lines_of(scores)


def test_save_writes_the_training_commands_probabilities(tmp_path, small_corpus):
    # qaz-train writes the trainer variant ("%.8f" and a count); save writes
    # the model variant (shortest form): the same 32-bit probabilities.
    src, trg = small_corpus
    assert run_entry(emcore.main_train, [src, trg, tmp_path / "t.txt", tmp_path / "a.txt", "-I", "3", "-q"]) == 0
    aligner = Aligner(iterations=3).fit(SMALL_SRC, SMALL_TRG)
    aligner.save(tmp_path / "mt.txt", tmp_path / "ma.txt")
    trainer = [line.split("\t") for line in lines_of(tmp_path / "t.txt")]
    model = [line.split("\t") for line in lines_of(tmp_path / "mt.txt")]
    assert [f[:2] for f in model] == [f[:2] for f in trainer]
    assert ["%.8f" % float(f[2]) for f in model] == [f[2] for f in trainer]
    assert all(float(np.float32(float(f[2]))) == float(f[2]) for f in model)
    trainer = [line.split("\t") for line in lines_of(tmp_path / "a.txt")]
    model = [line.split("\t") for line in lines_of(tmp_path / "ma.txt")]
    assert [f[:4] for f in model] == [f[:4] for f in trainer]
    assert ["%.8f" % float(f[4]) for f in model] == [f[4] for f in trainer]
    # nbest and threshold as the training command's options.
    aligner.save(tmp_path / "top1.txt", nbest=1, threshold=0.0)
    rows = [line.split("\t")[0] for line in lines_of(tmp_path / "top1.txt")]
    assert len(rows) == len(set(rows))


@pytest.mark.parametrize("sym", ["grow-diag-final-and", "intersect", "union", "posterior", "none"])
def test_symmetrised_links_are_qaz_aligns(tmp_path, small_corpus, sym):
    src, trg = small_corpus
    out = tmp_path / "out.txt"
    args = [src, trg, "--model", "2", "-o", str(out), "--sym", sym, "-p", "0.4", "-I", "4", "-q"]
    assert align_command.main(args) == 0
    aligner = Aligner(iterations=4).fit(SMALL_SRC, SMALL_TRG)
    assert aligner.align(SMALL_SRC, SMALL_TRG, sym=sym, posterior_threshold=0.4) == _links.read_links(out)


def test_character_mode_matches_the_training_command(tmp_path, corpus):
    src_lines, trg_lines = ["abc", "ab", "ca b", ""], ["xyz", "xy", "zx y", "y"]
    src, trg = corpus(src_lines, trg_lines)
    decoded = tmp_path / "d.txt"
    assert run_entry(emcore.main_train, [src, trg, tmp_path / "t.txt", "-c", "-I", "2", "-d", decoded, "-q"]) == 0
    aligner = Aligner(iterations=2, character=True).fit(src_lines, trg_lines)
    assert aligner.align(src_lines, trg_lines) == _links.read_decoded(decoded)
    assert aligner.posteriors("", "y").shape == (0, 1)


# ---------------------------------------------------------------------------
# Values worked out by hand


def test_uniform_model_by_hand():
    # No EM iteration: t = 1/T and a = 1/L everywhere, so every posterior of
    # a pair of I words is 1/(I + 1), and the entropy is ln T a word.
    aligner = Aligner(iterations=0).fit(["a b", "c"], ["x y", "z"])
    np.testing.assert_array_equal(aligner.posteriors("a b", "x"), np.full((2, 1), 1 / 3))
    assert aligner.translation_prob("a", "z") == 1 / 3
    assert aligner.score(["a b"], ["x y"])[0] == pytest.approx(math.log(3), rel=1e-15)
    # Every candidate ties, and ties go to the lowest position: NULL.
    assert aligner.align(["a b", "c"], ["x y", "z"]) == [[], []]


def test_unknown_words_read_one_over_t():
    aligner = Aligner(iterations=3).fit(["a b", "a", "b"], ["x y", "x", "y"])
    t_ax = aligner.translation_prob("a", "x")
    assert 0.5 < t_ax <= 1.0
    assert aligner.translation_prob("__NULL__", "x") > 0.0  # the NULL word by its name
    # x and y are the model's 2 target words; a new target word makes 3.
    assert aligner.translation_prob("a", "new") == 1 / 3
    assert aligner.translation_prob("new", "x") == 1 / 2
    # A pair of a shape never seen (a = 1/L) with new words q and w (T = 3):
    # x goes to a, whose t beats NULL's and 1/3; every candidate of w reads
    # 1/3, a tie, which goes to NULL.
    assert t_ax > aligner.translation_prob("__NULL__", "x")
    assert aligner.align(["q q a"], ["x w"]) == [[(2, 0)]]
    h = aligner.score(["q q a"], ["x w"])[0]
    t_null = aligner.translation_prob("__NULL__", "x")
    assert h == pytest.approx(-(math.log((t_null + 2 / 3 + t_ax) / 4) + math.log(1 / 3)) / 2, rel=1e-12)
    # Nothing of a call stays: the next call reads as before.
    assert aligner.translation_prob("a", "new") == 1 / 3


def test_posteriors_are_normalised_columns_with_the_null_word(hansards_lines):
    aligner = Aligner(iterations=2).fit(*hansards_lines)
    src, trg = hansards_lines[0][11], hansards_lines[1][11]
    post = aligner.posteriors(src, trg)
    assert post.shape == (len(src.split(" ")), len(trg.split(" ")))
    assert post.dtype == np.float64 and post.flags.c_contiguous
    columns = post.sum(axis=0)
    assert ((columns > 0) & (columns <= 1 + 1e-12)).all()
    # Where the forward Viterbi link of j goes to word i, i is the best
    # real word of column j.
    for i, j in aligner.align([src], [trg])[0]:
        assert post[i, j] == post[:, j].max()


# ---------------------------------------------------------------------------
# Lines and arguments


def test_lines_are_split_at_runs_of_white_space(tmp_path, corpus):
    src_lines = ["le chat\n", "le chien\r\n", "un chat"]
    trg_lines = ["the cat\n", "the dog\r\n", "a cat"]
    src, trg = corpus([s.rstrip("\r\n") for s in src_lines], [t.rstrip("\r\n") for t in trg_lines])
    decoded = tmp_path / "d.txt"
    assert run_entry(emcore.main_train, [src, trg, tmp_path / "t.txt", "-d", decoded, "-q"]) == 0
    # Lines as readlines() gives them, and any iterable of str: with single
    # spaces, the model of the training command.
    aligner = Aligner().fit(iter(src_lines), tuple(trg_lines))
    assert aligner.align(src_lines, trg_lines) == _links.read_decoded(decoded)
    # Runs of white space separate two words; an empty line is an empty sentence.
    assert aligner.posteriors(" le  chien\t", "the dog").shape == (2, 2)
    assert aligner.align(["le \t chien", "", "le chat"], ["the dog", "the cat", ""]) == [
        aligner.align(["le chien"], ["the dog"])[0], [], []]
    spaced = Aligner().fit(["le  chat", "le chien  "], ["the cat", "the   dog"])
    plain = Aligner().fit(["le chat", "le chien"], ["the cat", "the dog"])
    assert spaced.align(["le chat"], ["the cat"]) == plain.align(["le chat"], ["the cat"])
    assert spaced.translation_prob("chat", "cat") == plain.translation_prob("chat", "cat")


@pytest.mark.parametrize("call, error, message", [
    (lambda a: a.fit(["a", "b"], ["x"]), ValueError, "the source side has 2 lines but the target side has 1"),
    (lambda a: a.fit("a b", ["x"]), TypeError, "src_lines must be a sequence of str lines, got str"),
    (lambda a: a.fit(["a"], [b"x"]), TypeError, r"trg_lines\[0\] must be str, got bytes"),
    (lambda a: a.fit(["a\nb"], ["x"]), ValueError, "source line 1 holds a line feed inside it"),
    (lambda a: a.fit([], []), ValueError, "no sentence pair to train on"),
    (lambda a: a.align(["a"], ["x"]), RuntimeError, r"call fit\(\) or Aligner.load\(\) first"),
])
def test_bad_lines_and_calls(call, error, message):
    with pytest.raises(error, match=message):
        call(Aligner())


def test_bad_align_arguments():
    aligner = Aligner(iterations=1).fit(SMALL_SRC, SMALL_TRG)
    with pytest.raises(ValueError, match="unknown symmetrisation method 'diag'"):
        aligner.align(SMALL_SRC, SMALL_TRG, sym="diag")
    with pytest.raises(ValueError, match=r"posterior threshold must lie in \(0, 1\]"):
        aligner.align(SMALL_SRC, SMALL_TRG, sym="posterior", posterior_threshold=0)
    with pytest.raises(ValueError, match="the source side has 5 lines but the target side has 4"):
        aligner.score(SMALL_SRC, SMALL_TRG[:4])
    with pytest.raises(TypeError, match="src must be str"):
        aligner.posteriors(["le"], "the")


def test_a_loaded_model_has_no_reverse_direction(tmp_path):
    Aligner(iterations=1).fit(SMALL_SRC, SMALL_TRG).save(tmp_path / "t.txt")
    loaded = Aligner.load(tmp_path / "t.txt")
    assert loaded.align(SMALL_SRC[:1], SMALL_TRG[:1])  # the forward links
    with pytest.raises(RuntimeError, match="a model read from files has no training corpus"):
        loaded.align(SMALL_SRC, SMALL_TRG, sym="union")
    with pytest.raises(FileNotFoundError):
        Aligner.load(tmp_path / "missing.txt")


@pytest.mark.parametrize("kwargs, error, message", [
    (dict(iterations=-1), ValueError, "iterations must not be negative"),
    (dict(iterations=2.5), TypeError, "iterations must be an int"),
    (dict(threads=0), ValueError, "threads must be at least 1"),
    (dict(memory_limit=0), ValueError, "memory_limit must be at least 1 byte"),
    (dict(memory_limit="lots"), ValueError, "invalid size 'lots'"),
    (dict(memory_limit=1.5), TypeError, "memory_limit must be a byte count"),
])
def test_bad_constructor_arguments(kwargs, error, message):
    with pytest.raises(error, match=message):
        Aligner(**kwargs)


def test_options_are_kept():
    a = Aligner(iterations=2, character=True, threads=3, memory_limit="1G")
    assert (a.iterations, a.character, a.threads, a.memory_limit) == (2, True, 3, 1 << 30)
    assert Aligner().memory_limit is None and Aligner().threads >= 1
    assert parse_size("7k") == 7 << 10
    for bad in ("", "M", "1.5G", "1T", "٣"):
        with pytest.raises(ValueError):
            parse_size(bad)


def test_import_qaz_stays_cheap():
    r = run_command(["-c", "import sys, qaz; print(sorted(m for m in sys.modules if m.startswith('qaz')))"])
    assert r.returncode == 0 and r.stdout.strip() == "['qaz']"
    r = run_command(["-c", "from qaz import Aligner; import qaz.aligner; print(Aligner is qaz.aligner.Aligner)"])
    assert r.stdout.strip() == "True"
    r = run_command(["-c", "import qaz; qaz.Nothing"])
    assert "module 'qaz' has no attribute 'Nothing'" in r.stderr


def test_docstring_examples_hold():
    import doctest

    from qaz import aligner
    from qaz.common import logging

    with logging.using_config(["qaz"], quiet=True):
        failed, tried = doctest.testmod(aligner, optionflags=doctest.ELLIPSIS)
    assert tried >= 15 and failed == 0
