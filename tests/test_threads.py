"""Threads never change a result; output paths are checked before any work."""

import argparse
import filecmp
from pathlib import Path

import numpy as np
import pytest

from qaz import align_command
from qaz.aligner import parse_size
from qaz.smt.align import _drivers, _run, emcore, emlex, empos

from conftest import write_lines

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"
FILES = ("trans.txt", "align.txt", "scores.txt", "decoded.txt")


def corpus_slice(tmp_path, n, name="c"):
    """The first n pairs of the bundled sample."""
    src = (EXAMPLES / "hansards.1k.f").read_text(encoding="utf-8").splitlines()[:n]
    trg = (EXAMPLES / "hansards.1k.e").read_text(encoding="utf-8").splitlines()[:n]
    return (write_lines(tmp_path / f"{name}.f", src), write_lines(tmp_path / f"{name}.e", trg))


def train(tmp_path, src, trg, threads, tag, **kw):
    out = tmp_path / tag
    out.mkdir()
    conf = dict(src_path=src, trg_path=trg, save_trans_path=str(out / FILES[0]),
                save_align_path=str(out / FILES[1]), save_scores=str(out / FILES[2]),
                decode_align=str(out / FILES[3]), iteration_limit=3, threshold=0.001,
                nbest=100, character=False, quiet=True, threads=threads)
    conf.update(kw)
    assert emcore.train_emcore(conf)
    return out


def score(tmp_path, src, trg, model_dir, threads, tag, **kw):
    out = tmp_path / tag
    out.mkdir()
    conf = dict(src_path=src, trg_path=trg, trans_path=str(model_dir / "trans.model.txt"),
                align_path=str(model_dir / "align.model.txt"), save_scores=str(out / "scores.txt"),
                decode_align=str(out / "decoded.txt"), character=False, threads=threads)
    conf.update(kw)
    assert emcore.score_ibm_model(conf)
    return out


def same_files(a, b, names):
    for name in names:
        assert filecmp.cmp(a / name, b / name, shallow=False), name


@pytest.mark.parametrize("character, pairs", [(False, 1000), (True, 120)], ids=["words", "characters"])
def test_training_files_identical_for_every_thread_count(tmp_path, character, pairs):
    src, trg = corpus_slice(tmp_path, pairs)
    runs = [train(tmp_path, src, trg, n, f"j{n}-{k}", character=character)
            for k, n in enumerate([1, 2, 3, 7, 3])]
    for other in runs[1:]:
        same_files(runs[0], other, FILES)
    assert len((runs[0] / "decoded.txt").read_text().splitlines()) == pairs


def test_scoring_files_identical_for_every_thread_count(tmp_path):
    src, trg = corpus_slice(tmp_path, 1000)
    model = tmp_path / "model"
    model.mkdir()
    trainer = empos.Model2Trainer({"src_path": src, "trg_path": trg, "threads": 2})
    emlex.Model1Trainer._train(trainer, 2)
    empos.Model2Trainer._train(trainer, 2)
    trainer._model._save_trans_dist(str(model / "trans.model.txt"), 0.0, None)
    trainer._model._save_align_dist(str(model / "align.model.txt"), 0.0)
    # Score another slice too, so that words outside the table are met.
    other_src, other_trg = corpus_slice(tmp_path, 300, "other")
    for s, t, tag in [(src, trg, "same"), (other_src, other_trg, "other")]:
        runs = [score(tmp_path, s, t, model, n, f"{tag}-j{n}") for n in (1, 2, 5)]
        for r in runs[1:]:
            same_files(runs[0], r, ("scores.txt", "decoded.txt"))


def test_one_walk_equals_the_separate_writers(tmp_path):
    src, trg = corpus_slice(tmp_path, 400)
    trainer = empos.Model2Trainer({"src_path": src, "trg_path": trg})
    emlex.Model1Trainer._train(trainer, 2)
    empos.Model2Trainer._train(trainer, 2)
    m, pairs = trainer._model, trainer._sent_pairs
    m._calc_and_save_scores(str(tmp_path / "s1"), pairs, False)
    m._decode_and_save_align(str(tmp_path / "d1"), pairs, False)
    m._score_and_decode(str(tmp_path / "s2"), str(tmp_path / "d2"), pairs)
    assert (tmp_path / "s1").read_bytes() == (tmp_path / "s2").read_bytes()
    assert (tmp_path / "d1").read_bytes() == (tmp_path / "d2").read_bytes()


@pytest.mark.parametrize("character, pairs", [(False, 600), (True, 80)], ids=["words", "characters"])
def test_training_scores_from_its_last_walk_equal_a_fresh_walk(tmp_path, character, pairs):
    # The training command writes both files from its last Model 2 walk; a
    # trainer that did not keep that walk walks the corpus for them.
    src, trg = corpus_slice(tmp_path, pairs)
    run = train(tmp_path, src, trg, 2, "cmd", character=character)
    trainer = empos.Model2Trainer({"src_path": src, "trg_path": trg, "threads": 1,
                                   "character": character})
    emlex.Model1Trainer._train(trainer, 3)
    empos.Model2Trainer._train(trainer, 3)
    model = trainer._model
    assert model._keep_final_walk is False
    model._score_and_decode(str(tmp_path / "s"), str(tmp_path / "d"), trainer._sent_pairs)
    assert (tmp_path / "s").read_bytes() == (run / "scores.txt").read_bytes()
    assert (tmp_path / "d").read_bytes() == (run / "decoded.txt").read_bytes()
    # A kept walk no longer serves once a table was changed after it.
    model._keep_final_walk = True
    emlex.Model1Trainer._train(trainer, 0)
    empos.Model2Trainer._train(trainer, 0)
    model._score_and_decode(str(tmp_path / "s2"), None, trainer._sent_pairs)
    assert (tmp_path / "s2").read_bytes() == (run / "scores.txt").read_bytes()
    model._load_trans_dist(str(run / "trans.txt"))
    model._score_and_decode(str(tmp_path / "s3"), None, trainer._sent_pairs)
    fresh = empos.Model2Trainer({"src_path": src, "trg_path": trg, "character": character})
    emlex.Model1Trainer._train(fresh, 3)
    empos.Model2Trainer._train(fresh, 3)
    fresh._model._load_trans_dist(str(run / "trans.txt"))
    fresh._model._score_and_decode(str(tmp_path / "s4"), None, fresh._sent_pairs)
    assert (tmp_path / "s3").read_bytes() == (tmp_path / "s4").read_bytes()
    assert (tmp_path / "s3").read_bytes() != (run / "scores.txt").read_bytes()


def test_loop_counts_are_those_of_the_last_e_step(tmp_path):
    # The loop's walks collect the next E-step's counts beside the entropy;
    # the counts a trainer keeps must be those of the last E-step that ran,
    # as stepping by hand gives them.
    src, trg = corpus_slice(tmp_path, 200)
    looped = emlex.Model1Trainer({"src_path": src, "trg_path": trg, "threads": 3})
    emlex.Model1Trainer._train(looped, 2)
    stepped = emlex.Model1Trainer({"src_path": src, "trg_path": trg, "threads": 1})
    stepped._setup()
    for _ in range(2):
        stepped._train_step()
    assert np.array_equal(looped._count_cooc(), stepped._count_cooc())
    assert np.array_equal(looped._model._trans_dist(), stepped._model._trans_dist())


def test_errors_on_worker_threads_reach_the_caller(tmp_path):
    src, trg = corpus_slice(tmp_path, 10)
    trainer = empos.Model2Trainer({"src_path": src, "trg_path": trg, "threads": 4})
    emlex.Model1Trainer._train(trainer, 1)
    m = trainer._model
    m._threads = 4
    good = ([0, 1, 2], [0, 1])
    bad = ([0, 10 ** 6], [0])
    pairs = [good] * 5000 + [bad] + [good] * 100
    path = tmp_path / "scores.txt"
    path.write_text("the previous file\n")
    with pytest.raises(IndexError):
        m._calc_and_save_scores(str(path), pairs, False)
    # The file is replaced only when complete: the previous one stays.
    assert path.read_text() == "the previous file\n"
    assert [p.name for p in tmp_path.iterdir() if p.name.endswith(".tmp")] == []


# ---------------------------------------------------------------------------
# Output paths


@pytest.mark.parametrize("where", ["directory", "missing directory"])
@pytest.mark.parametrize("option", ["save_trans_path", "save_align_path", "save_scores", "decode_align"])
def test_training_refuses_unwritable_outputs_before_training(tmp_path, small_corpus, capsys, where, option):
    src, trg = small_corpus
    keep = tmp_path / "kept.txt"
    keep.write_text("old\n")
    bad = tmp_path if where == "directory" else tmp_path / "no" / "such" / "f.txt"
    conf = dict(src_path=src, trg_path=trg, save_trans_path=str(keep), save_align_path=None,
                save_scores=None, decode_align=None, iteration_limit=5, threshold=0.001, nbest=100)
    conf[option] = str(bad)
    if option != "save_trans_path":
        conf["save_trans_path"] = str(keep)
    assert emcore.train_emcore(conf) is True
    err = capsys.readouterr().err
    error = "IsADirectoryError" if where == "directory" else "FileNotFoundError"
    assert error in err and str(bad) in err
    assert "setting up to train/score IBM Models" not in err  # nothing ran
    assert keep.read_text() == "old\n"  # nothing truncated


def test_commands_exit_1_on_unwritable_outputs(tmp_path, small_corpus, run_main, capsys):
    src, trg = small_corpus
    trans = tmp_path / "trans.txt"
    assert run_main(emcore.main_train, [src, trg, tmp_path / "none" / "t.txt", "-q"]) == 1
    assert run_main(emcore.main_train, [src, trg, trans, "-I", "1", "-q", "-j", "2"]) == 0
    assert run_main(emcore.main_score, [src, trg, trans, "-s", tmp_path, "-q"]) == 1
    assert run_main(emcore.main_score, [src, trg, trans, "-s", tmp_path / "s", "-j", "1"]) == 0
    capsys.readouterr()


@pytest.mark.parametrize("value", ["0", "-2", "x"])
def test_bad_thread_counts_are_usage_errors(small_corpus, tmp_path, run_main, capsys, value):
    src, trg = small_corpus
    assert run_main(emcore.main_train, [src, trg, tmp_path / "t", "-j", value]) == 2
    assert "usage:" in capsys.readouterr().err


# ---------------------------------------------------------------------------
# Memory layouts and limits


@pytest.mark.parametrize("character, pairs", [(False, 600), (True, 80)], ids=["words", "characters"])
def test_every_cell_layout_writes_the_same_files(tmp_path, character, pairs):
    src, trg = corpus_slice(tmp_path, pairs)
    runs = [train(tmp_path, src, trg, threads, tag, character=character, cell_layout=layout)
            for tag, layout, threads in [("index", "index", 2), ("lookup", "lookup", 2),
                                         ("small-runs", "lookup:500", 3), ("one", "lookup:1", 1)]]
    for other in runs[1:]:
        same_files(runs[0], other, FILES)


def test_scoring_is_the_same_in_every_layout(tmp_path):
    src, trg = corpus_slice(tmp_path, 500)
    model = train(tmp_path, src, trg, 2, "model", iteration_limit=2)
    (model / "trans.model.txt").write_bytes((model / "trans.txt").read_bytes())
    (model / "align.model.txt").write_bytes((model / "align.txt").read_bytes())
    runs = [score(tmp_path, src, trg, model, 2, layout.replace(":", "-"), cell_layout=layout)
            for layout in ("index", "lookup", "lookup:300")]
    for other in runs[1:]:
        same_files(runs[0], other, ("scores.txt", "decoded.txt"))


def test_a_limit_that_cannot_be_met_is_refused(tmp_path, small_corpus, run_main, capsys):
    src, trg = small_corpus
    trans = tmp_path / "trans.txt"
    assert run_main(emcore.main_train, [src, trg, trans, "--memory-limit", "5M"]) == 1
    err = capsys.readouterr().err
    assert "MemoryError" in err and "more than the memory limit of 5.0 MiB" in err
    assert "nothing was trained" in err
    assert not trans.exists()


def test_the_layout_is_logged_once(tmp_path, small_corpus, capsys):
    src, trg = small_corpus
    conf = dict(src_path=src, trg_path=trg, save_trans_path=str(tmp_path / "t.txt"),
                iteration_limit=1, threshold=0.001, nbest=100, cell_layout="lookup")
    assert emcore.train_emcore(conf)
    lines = [line for line in capsys.readouterr().err.splitlines() if "cell layout:" in line]
    assert len(lines) == 1 and "no cell index, cells looked up" in lines[0]


@pytest.mark.parametrize("value", ["abc", "-5M", "0", "5X", ""])
def test_memory_limits_that_are_not_sizes_are_usage_errors(small_corpus, tmp_path, run_main, capsys, value):
    src, trg = small_corpus
    for entry, args in [(emcore.main_train, [src, trg, tmp_path / "t"]),
                        (emcore.main_score, [src, trg, tmp_path / "t", "-s", tmp_path / "s"])]:
        assert run_main(entry, args + ["--memory-limit", value]) == 2
        assert "usage:" in capsys.readouterr().err


def test_sizes():
    assert emcore._parse_size("320M") == 320 << 20
    assert emcore._parse_size("1.5g") == 3 << 29
    assert emcore._parse_size("2048") == 2048
    assert emcore._parse_size("8KiB") == 8192
    assert emcore._parse_size("-1K") is None and emcore._parse_size("0") is None
    assert emcore._default_memory_limit() > 0


def test_one_size_parser_each_caller_its_form_and_message(small_corpus, tmp_path, run_main, capsys):
    # The engine reads every size; digits alone are counted exactly (beyond
    # a double's 53 bits too), in both forms.
    exact = (1 << 53) + 1
    for whole in (False, True):
        assert _run.parse_size(str(exact), whole) == exact
        assert _run.parse_size(" 3m\n", whole) == 3 << 20 and _run.parse_size("0", whole) is None
    assert emcore._parse_size(str(exact)) == exact == parse_size(str(exact))
    # qaz-train, qaz-score and the trainers' memory_limit take fractions and
    # a trailing B or iB; qaz-align and qaz.Aligner take whole numbers only.
    for text, value in (("1.5G", 3 << 29), ("8KiB", 8192), ("320MB", 320 << 20)):
        assert _run.parse_size(text) == value and _run.parse_size(text, whole_number=True) is None
        assert _run.memory_size(text) == value
        assert _drivers.command_score_parser().parse_args(["s", "t", "tr", "--memory-limit",
                                                           text]).memory_limit == value
        empos.Model2Trainer({"memory_limit": text})
        with pytest.raises(ValueError, match="^invalid size '{}' \\(expected a positive whole number with an "
                                             "optional K, M or G suffix\\)$".format(text)):
            parse_size(text)
        with pytest.raises(SystemExit):
            align_command.create_parser().parse_args(["s", "t", "-m", text])
        assert "argument -m/--memory-limit: invalid size '{}' (expected".format(text) in capsys.readouterr().err
    # Each caller keeps its own message for what is not a size.
    with pytest.raises(argparse.ArgumentTypeError, match=r"^invalid size: '5X' \(a positive number, optionally "
                                                         r"with K, M or G\)$"):
        _run.memory_size("5X")
    with pytest.raises(ValueError, match=r"^memory_limit: not a size: '5X' \(a positive number with K, M or G\)$"):
        empos.Model2Trainer({"memory_limit": "5X"})
    src, trg = small_corpus
    assert run_main(emcore.main_train, [src, trg, tmp_path / "t", "--memory-limit", "1.5X"]) == 2
    assert "argument --memory-limit: invalid size: '1.5X' (a positive number" in capsys.readouterr().err


def test_huge_alignment_shape_the_corpus_lacks_costs_nothing(tmp_path, corpus, capsys):
    # A shape the corpus never uses is skipped as the file is read: no
    # memory for it, and the scores of the table without it.
    src, trg = corpus(["a b"], ["x"])
    trans = write_lines(tmp_path / "t.txt", ["a\tx\t0.5"])
    scores = []
    for lines in (["2\t1\t1\t1\t0.75"], ["2\t1\t1\t1\t0.75", "99999999\t99999999\t1\t0\t0.5"]):
        align = write_lines(tmp_path / "a.txt", lines)
        conf = dict(src_path=src, trg_path=trg, trans_path=trans, align_path=align,
                    save_scores=str(tmp_path / "s.txt"), memory_limit="1G")
        assert emcore.score_ibm_model(conf)
        err = capsys.readouterr().err
        assert "ERROR" not in err, err
        scores.append((tmp_path / "s.txt").read_text(encoding="utf-8"))
    assert scores[0] == scores[1] and scores[0]
