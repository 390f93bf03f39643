"""The qaz-align command: links of both directions, symmetrised, in Pharaoh format."""

import itertools
import sys
from pathlib import Path

import numpy as np
import pytest

from qaz import _aligner, _links, align_command
from qaz.aligner import SYMMETRIZATION_METHODS, Aligner, symmetrize
from qaz.smt.align import emcore

from conftest import SMALL_SRC, SMALL_TRG, log_records, messages, run_command, write_lines

# The bundled sample: the first 1,000 Hansards pairs.
EXAMPLES = Path(__file__).resolve().parents[1] / "examples"
METHODS = SYMMETRIZATION_METHODS + ("posterior", "none")


def read(path):
    return Path(path).read_text(encoding="utf-8")


def lines_of(path):
    return read(path).splitlines()


def align(run_main, args):
    """qaz-align with Model 2, trained as qaz-train trains it (the model these tests check)."""
    return run_main(align_command.main, ["--model", "2"] + list(args))


@pytest.fixture
def run_main(monkeypatch):
    """Run qaz-align's entry in-process; returns its exit status (argparse's exit included)."""

    def run(entry, args):
        try:
            return entry([str(a) for a in args])
        except SystemExit as e:
            return e.code

    return run


@pytest.fixture
def hansards_slice(tmp_path):
    """The first 600 pairs of the Hansards, French source (real words, long and short lines)."""
    out = []
    for name in ("hansards.1k.f", "hansards.1k.e"):
        with open(EXAMPLES / name, encoding="utf-8") as f:
            text = "".join(itertools.islice(f, 600))
        path = tmp_path / name.replace(".1k", "")
        path.write_text(text, encoding="utf-8")
        out.append(str(path))
    return out


def qaz_train(args):
    """Run qaz-train's entry in-process; returns its exit status."""
    saved = sys.argv
    sys.argv = ["qaz-train"] + [str(a) for a in args]
    try:
        emcore.main_train()
    except SystemExit as e:
        return e.code
    finally:
        sys.argv = saved
    return 0


def train_decoded(tmp_path, src, trg, *extra):
    """qaz-train -d's links, turned from 1-based 'j-i' into 0-based Pharaoh 'i-j' lines."""
    decoded = tmp_path / "train.decoded"
    assert qaz_train([src, trg, tmp_path / "train.trans", "-d", decoded, "-q", *extra]) == 0
    pharaoh = []
    for line in lines_of(decoded):
        links = []
        for token in line.split():
            j, i = (int(x) for x in token.split("-"))
            if i > 0:
                links.append((i - 1, j - 1))
        pharaoh.append(" ".join(f"{i}-{j}" for i, j in sorted(links)))
    return pharaoh


# ---------------------------------------------------------------------------
# What comes out


def test_small_corpus_links_by_hand(tmp_path, small_corpus, run_main):
    # Every pair but the fourth is word for word: le/un - the/a, chat - cat,
    # chien - dog, noir - black (placed before its noun in English).  Both
    # models find that, so every method writes the same links there.
    src, trg = small_corpus
    obvious = {0: "0-0 1-2 2-1", 1: "0-0 1-1", 2: "0-0 1-1", 4: "0-0 1-2 2-1"}
    outputs = {}
    for method in METHODS:
        out = tmp_path / f"{method}.txt"
        assert align(run_main, [src, trg, "-o", out, "--sym", method, "-q"]) == 0
        outputs[method] = lines_of(out)
        assert len(outputs[method]) == len(SMALL_SRC)
        for k, want in obvious.items():
            assert outputs[method][k] == want, method
    # "le chat et le chien" / "the cat and the dog": both "le" compete for
    # both "the".  The words in between are found by every method, and the
    # heuristics nest as they must.
    sets = {m: set(_links.read_links(tmp_path / f"{m}.txt")[3]) for m in METHODS}
    assert {(1, 1), (2, 2), (4, 4)} <= sets["intersect"]
    assert sets["intersect"] <= sets["grow-diag"] <= sets["grow-diag-final-and"] <= sets["grow-diag-final"]
    assert sets["grow-diag-final"] <= sets["union"]
    assert sets["intersect"] < sets["union"]


def test_sym_none_is_qaz_train_decoded(tmp_path, hansards_slice, run_main):
    src, trg = hansards_slice
    want = train_decoded(tmp_path, src, trg, "-I", "3")
    out = tmp_path / "none.txt"
    assert align(run_main, [src, trg, "--sym", "none", "-I", "3", "-o", out, "-q"]) == 0
    assert lines_of(out) == want
    # The forward file of a symmetrised run is the same.
    fwd = tmp_path / "fwd.txt"
    assert align(run_main, [src, trg, "-I", "3", "-o", tmp_path / "gdfa.txt", "-f", fwd, "-q"]) == 0
    assert lines_of(fwd) == want


def test_sym_none_in_character_mode(tmp_path, corpus, run_main):
    src, trg = corpus(["abc", "ab", "", "ca b"], ["xyz", "xy", "z", "zx y"])
    want = train_decoded(tmp_path, src, trg, "-c", "-I", "2")
    out = tmp_path / "c.txt"
    assert align(run_main, [src, trg, "-c", "-I", "2", "--sym", "none", "-o", out, "-q"]) == 0
    assert lines_of(out) == want
    assert lines_of(out)[2] == ""  # an empty source line has no word to link


def test_heuristics_combine_the_two_direction_files(tmp_path, hansards_slice, run_main):
    src, trg = hansards_slice
    fwd, rev = tmp_path / "fwd.txt", tmp_path / "rev.txt"
    for method in SYMMETRIZATION_METHODS:
        out = tmp_path / f"{method}.txt"
        assert align(run_main, [src, trg, "-I", "2", "--sym", method, "-o", out, "-f", fwd, "-r", rev, "-q"]) == 0
        f, r = _links.read_links(fwd), _links.read_links(rev)
        assert _links.read_links(out) == symmetrize(f, r, method)
    # The reverse links are in source-target order: within the positions of
    # each pair, i indexes the source line.
    src_len = [len(line.split(" ")) for line in lines_of(src)]
    trg_len = [len(line.split(" ")) for line in lines_of(trg)]
    for links, I, J in zip(_links.read_links(rev), src_len, trg_len):
        assert all(i < I and j < J for i, j in links)
    assert _links.read_links(rev) != _links.read_links(fwd)


def test_posterior_links_are_the_mean_of_both_posteriors(tmp_path, small_corpus, run_main):
    # The reverse model is the forward model of the exchanged corpus, so the
    # API gives both posterior matrices.
    src, trg = small_corpus
    forward = Aligner(iterations=3).fit(SMALL_SRC, SMALL_TRG)
    reverse = Aligner(iterations=3).fit(SMALL_TRG, SMALL_SRC)
    for threshold in ("0.3", "0.5", "1"):
        out = tmp_path / f"post{threshold}.txt"
        assert align(run_main, [src, trg, "-I", "3", "--sym", "posterior", "-p", threshold, "-o", out, "-q"]) == 0
        got = _links.read_links(out)
        for k, (s, t) in enumerate(zip(SMALL_SRC, SMALL_TRG)):
            mean = (forward.posteriors(s, t) + reverse.posteriors(t, s).T) / 2
            want = [(int(i), int(j)) for i, j in zip(*np.nonzero(mean >= float(threshold)))]
            assert got[k] == want
    # At 1 only certain links survive; at 0.3 some pair has links.
    assert any(_links.read_links(tmp_path / "post0.3.txt"))


def test_outputs_do_not_depend_on_threads(tmp_path, hansards_slice, run_main):
    src, trg = hansards_slice
    runs = []
    for threads in (1, 2, 3):
        names = [tmp_path / f"{kind}{threads}.txt" for kind in ("gdfa", "fwd", "rev", "post")]
        assert align(run_main, [src, trg, "-j", threads, "-I", "3", "-o", names[0], "-f", names[1],
                                "-r", names[2], "-q"]) == 0
        assert align(run_main, [src, trg, "-j", threads, "-I", "3", "--sym", "posterior", "-p", "0.4",
                                "-o", names[3], "-q"]) == 0
        runs.append([Path(n).read_bytes() for n in names])
    assert all(len(b) > 600 * 3 for b in runs[0])
    assert runs[1] == runs[0] and runs[2] == runs[0]


def test_standard_output_and_logs(tmp_path, small_corpus):
    src, trg = small_corpus
    r = run_command(["-m", "qaz.align_command", "--model", "2", src, trg, "-I", "2"])
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines()[0] == "0-0 1-2 2-1"
    assert len(r.stdout.splitlines()) == len(SMALL_SRC)
    # With two threads or more the two directions train at the same time,
    # their lines marked by direction.
    info = [m.removeprefix("forward: ").removeprefix("reverse: ") for m in messages(r.stderr, "INFO")]
    assert "training the forward model on 5 sentence pairs" in info
    assert "training the reverse model on 5 sentence pairs" in info
    assert info.count("start training IBM Model 2") == 2
    for threads, marked in (("1", False), ("2", True)):
        r = run_command(["-m", "qaz.align_command", "--model", "2", src, trg, "-I", "1", "-j", threads])
        lines = messages(r.stderr, "INFO")
        assert ("reverse: start training IBM Model 1" in lines) == marked
        assert ("start training IBM Model 1" in lines) != marked
    assert {name for _, name, _ in log_records(r.stderr)} <= {"qaz.aligner", "qaz.align_command"}
    # -q keeps the warnings only; --sym none trains one direction.
    r = run_command(["-m", "qaz.align_command", "--model", "2", src, trg, "--sym", "none", "-q"])
    assert r.returncode == 0 and r.stderr == ""
    r = run_command(["-m", "qaz.align_command", "--model", "2", src, trg, "--sym", "none", "-I", "1"])
    assert messages(r.stderr, "INFO").count("start training IBM Model 1") == 1
    r = run_command(["-m", "qaz.align_command", "--model", "2", src, trg, "-I", "1", "-D"])
    assert any(lvl == "DEBUG" for lvl, _, _ in log_records(r.stderr))


def test_differing_line_counts_use_the_common_prefix(tmp_path, corpus, run_main, capfd):
    src, trg = corpus(SMALL_SRC, SMALL_TRG[:3])
    out = tmp_path / "out.txt"
    assert align(run_main, [src, trg, "-o", out, "-I", "2"]) == 0
    assert len(lines_of(out)) == 3
    warnings = messages(capfd.readouterr().err, "WARNING")
    assert warnings == [f"{src} has 5 lines but {trg} has 3; only the first 3 pairs are used"]


# ---------------------------------------------------------------------------
# Arguments and failures


def test_help_explains_every_option(capsys, run_main, monkeypatch):
    monkeypatch.setenv("COLUMNS", "400")  # no line breaks inside the texts below
    assert align(run_main, ["--help"]) == 0
    text = " ".join(capsys.readouterr().out.split())
    for option in ("--output OUT", "--forward FILE", "--reverse FILE", "--sym METHOD",
                   "--posterior-threshold P", "--iteration-limit N", "--character", "--threads N",
                   "--memory-limit SIZE", "--quiet", "--debug", "--scheduler ADDRESS", "--shards N"):
        assert option in text
    assert "split the corpus into N shards of lines on a Dask cluster" in text
    assert "(default: posterior with models 1 and hmm, grow-diag-final-and with model 2)" in text
    assert "(default: 0.25 with models 1 and hmm, 0.5 with model 2)" in text and "(default: 5)" in text
    assert "--model {1,2,hmm}" in text and "(default: hmm)" in text and "--no-agreement" in text
    parser = align_command.create_parser()
    assert all(a.help for a in parser._actions)


@pytest.mark.parametrize("args, message", [
    (["--posterior-threshold", "0"], "must lie in (0, 1], got 0"),
    (["--posterior-threshold", "1.5"], "must lie in (0, 1], got 1.5"),
    (["-p", "nan"], "must lie in (0, 1], got nan"),
    (["-p", "x"], "invalid float value: 'x'"),
    (["--memory-limit", "abc"], "invalid size 'abc'"),
    (["--memory-limit=-5M"], "invalid size '-5M'"),
    (["--memory-limit", "-5M"], "expected one argument"),
    (["--memory-limit", "0"], "invalid size '0'"),
    (["-j", "0"], "must be at least 1, got 0"),
    (["-I", "-1"], "must be at least 0, got -1"),
    (["--sym", "diag"], "invalid choice: 'diag'"),
    (["-f", ""], "expected a file name, got an empty one"),
])
def test_bad_arguments_exit_2(tmp_path, small_corpus, run_main, capsys, args, message):
    src, trg = small_corpus
    out = tmp_path / "out.txt"
    assert align(run_main, [src, trg, "-o", out, *args]) == 2
    assert message in capsys.readouterr().err
    assert not out.exists()


def test_importing_the_command_loads_no_dask():
    r = run_command(["-c", "import sys, qaz, qaz.aligner, qaz.align_command; "
                     "print(sorted(m for m in sys.modules if m.split('.')[0] in ('dask', 'distributed')))"])
    assert r.returncode == 0 and r.stdout.strip() == "[]", r.stderr


def test_missing_positional_exits_2(small_corpus):
    r = run_command(["-m", "qaz.align_command", small_corpus[0]])
    assert r.returncode == 2 and "the following arguments are required: TRG" in r.stderr


def test_memory_limit_is_accepted_and_reaches_the_engine(tmp_path, small_corpus, run_main, capfd):
    src, trg = small_corpus
    out = tmp_path / "out.txt"
    assert align(run_main, [src, trg, "-o", out, "-m", "2G", "-D", "-I", "1"]) == 0
    assert "threads: " in capfd.readouterr().err
    parser = align_command.create_parser()
    for text, value in (("4096", 4096), ("8K", 8192), ("3M", 3 << 20), ("2g", 2 << 30)):
        assert parser.parse_args(["s", "t", "-m", text]).memory_limit == value


@pytest.mark.parametrize("which", ["-o", "-f", "-r"])
def test_bad_output_paths_fail_before_training(tmp_path, small_corpus, run_main, capfd, which):
    src, trg = small_corpus
    for bad, error in ((tmp_path / "no" / "dir" / "out.txt", "FileNotFoundError"),
                       (tmp_path, "IsADirectoryError")):
        assert align(run_main, [src, trg, which, bad]) == 1
        err = capfd.readouterr().err
        assert error in err and str(bad) in err
        assert "start training IBM Model 1" not in err
        assert "Traceback" in err


def test_bad_inputs_exit_1(tmp_path, small_corpus, run_main, capfd):
    src, trg = small_corpus
    out = tmp_path / "out.txt"
    assert align(run_main, [tmp_path / "missing.txt", trg, "-o", out]) == 1
    assert "No such file or directory" in capfd.readouterr().err
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"le chat\nle \xff chien\nun chat\nx\ny\n")
    assert align(run_main, [bad, trg, "-o", out]) == 1
    err = capfd.readouterr().err
    assert "UnicodeDecodeError" in err and f"{bad}, line 2" in err


def test_interrupt_exits_1(tmp_path, small_corpus, run_main, capfd, monkeypatch):
    from qaz import _aligner

    def interrupted(self, src, trg):
        raise KeyboardInterrupt

    monkeypatch.setattr(_aligner.Engine, "train_files", interrupted, raising=True)
    src, trg = small_corpus
    assert align(run_main, [src, trg, "-o", tmp_path / "out.txt"]) == 1
    assert messages(capfd.readouterr().err, "WARNING") == [
        "interrupted by keyboard; the link files are incomplete or not written"]


def test_empty_corpus_exits_1(tmp_path, run_main, capfd):
    src = write_lines(tmp_path / "e.src", [])
    trg = write_lines(tmp_path / "e.trg", [])
    assert align(run_main, [src, trg, "-o", tmp_path / "out.txt"]) == 1
    assert f"{src} and {trg} hold no sentence pair" in capfd.readouterr().err


def test_engine_refuses_unknown_output_kinds_before_writing(tmp_path, small_corpus):
    src, trg = small_corpus
    engine = _aligner.Engine(iterations=2, threads=1)
    engine.train_files(src, trg)
    refused = tmp_path / "refused"
    with pytest.raises(ValueError, match="unknown output kind 'scores'"):
        engine.write_links(str(refused), "", "", "none", 0.5, scores=str(tmp_path / "s"))
    with pytest.raises(ValueError, match="unknown output kind 'posteriors'"):
        engine.write_links_of(src, trg, str(refused), "", "", "none", 0.5, posteriors="p")
    assert not refused.exists() and not (tmp_path / "s").exists()
    # Without further kinds the three files are written as before.
    engine.write_links(str(refused), "", "", "none", 0.5)
    assert len(lines_of(refused)) == len(SMALL_SRC)
