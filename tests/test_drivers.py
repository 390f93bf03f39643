"""The training and scoring drivers, their command lines and their failure handling."""

import math
import sys
from pathlib import Path

import pytest

from qaz.common.config import Config
from qaz.smt.align import _drivers, _one_machine, emcore, emlex, empos

from conftest import SMALL_SRC, SMALL_TRG, log_records, messages, run_command, write_lines

TRAIN_ARGS = [
    # (option strings, dest, default, help)
    ((), "src_path", None, "file containing source-side lines of parallel text"),
    ((), "trg_path", None, "file containing target-side lines of parallel text"),
    ((), "save_trans_path", None, "output file to save translation probabilities"),
    ((), "save_align_path", None, "output file to save alignment probabilities"),
    (("--save-scores", "--scores", "-s"), "save_scores", None, "output file to save entropy of each alignment"),
    (("--decode-align", "--decode", "-d"), "decode_align", None,
     "output file to save decoded alignment each alignment"),
    (("--iteration-limit", "-I"), "iteration_limit", 5,
     "maximum iteration number of EM algorithm (default: %(default)s)"),
    (("--threshold", "-t"), "threshold", 0.001, "threshold of translation distribution to save"),
    (("--nbest", "-n"), "nbest", 100, 'limit number of records to save, taking top-n of "p(trg|src)"'),
    (("--character", "-c"), "character", False, "chacacter based alignment mode"),
    (("--debug", "-D"), "debug", False, "debug mode"),
    (("--quiet", "-q"), "quiet", False, "not showing staging log"),
]
SCORE_ARGS = TRAIN_ARGS[:2] + [
    ((), "trans_path", None, "path to load trained translation probabilities"),
    ((), "align_path", None, "path to load trained alignment probabilities"),
] + TRAIN_ARGS[4:6] + TRAIN_ARGS[9:]


def read(path):
    return Path(path).read_text(encoding="utf-8")


def train_conf(tmp_path, src, trg, **kw):
    conf = dict(
        src_path=src, trg_path=trg, save_trans_path=str(tmp_path / "trans.txt"),
        save_align_path=None, save_scores=None, decode_align=None,
        iteration_limit=5, threshold=0.001, nbest=100, character=False,
        debug=False, quiet=False,
    )
    conf.update(kw)
    return conf


# ---------------------------------------------------------------------------
# Command lines


def test_emcore_exports_the_drivers_and_constants():
    for name in _drivers.__all__:
        assert getattr(emcore, name) is getattr(_drivers, name)
    assert (emcore.ITERATION_LIMIT, emcore.THRESHOLD, emcore.NBEST, emcore.NULL_SYMBOL) == (
        5, 0.001, 100, "__NULL__")


@pytest.mark.parametrize("make, table", [
    (_drivers.create_train_parser, TRAIN_ARGS),
    (_drivers.create_score_parser, SCORE_ARGS),
])
def test_parser_arguments_in_order(make, table):
    actions = [a for a in make()._actions if a.dest != "help"]
    got = [(tuple(a.option_strings), a.dest, a.default, a.help) for a in actions]
    assert got == table
    positional = [a for a in actions if not a.option_strings]
    assert positional[0].metavar == "src_path (in)"
    assert positional[3].nargs == "?"


def test_train_parser_values_and_types():
    p = _drivers.create_train_parser()
    args = p.parse_args(["s", "t", "out", "al", "--scores", "sc", "--decode", "dec",
                         "-I", "3", "-t", "0.25", "-n", "7", "-c", "-D", "-q"])
    assert vars(args) == dict(
        src_path="s", trg_path="t", save_trans_path="out", save_align_path="al",
        save_scores="sc", decode_align="dec", iteration_limit=3, threshold=0.25,
        nbest=7, character=True, debug=True, quiet=True)
    assert vars(p.parse_args(["s", "t", "out"]))["save_align_path"] is None


def test_help_texts(capsys):
    with pytest.raises(SystemExit) as e:
        _drivers.create_train_parser().parse_args(["--help"])
    assert e.value.code == 0
    out = " ".join(capsys.readouterr().out.split())
    assert "maximum iteration number of EM algorithm (default: 5)" in out
    assert 'limit number of records to save, taking top-n of "p(trg|src)"' in out
    assert "src_path (in)" in out


@pytest.mark.parametrize("make, argv", [
    (_drivers.create_train_parser, ["s", "t"]),
    (_drivers.create_train_parser, ["s", "t", "o", "-I", "x"]),
    (_drivers.create_train_parser, ["s", "t", "o", "a", "extra"]),
    (_drivers.create_score_parser, ["s", "t", "tr", "-I", "3"]),
    (_drivers.create_score_parser, ["s", "t", "tr", "--nbest", "3"]),
])
def test_bad_arguments_exit_2_with_usage(make, argv, capsys):
    with pytest.raises(SystemExit) as e:
        make().parse_args(argv)
    assert e.value.code == 2
    assert "usage:" in capsys.readouterr().err


def test_check_configs(capsys):
    with emcore_debug():
        assert _drivers.check_train_config(Config({"a": 1})) is True
        assert _drivers.check_test_config(Config({"decode_align": "d"})) is True
        assert _drivers.check_test_config(Config({"save_scores": "s"})) is True
        assert _drivers.check_test_config(Config({"save_scores": "", "decode_align": None})) is False
    recs = log_records(capsys.readouterr().err)
    assert recs[0] == ("DEBUG", "qaz.smt.align.emcore", "conf => Config({'a': 1})")
    assert [r for r in recs if r[0] == "ERROR"] == [
        ("ERROR", "qaz.smt.align.emcore", "At least one of following arguments is necessary:"),
        ("ERROR", "qaz.smt.align.emcore", "* --save-scores | --scores | -s"),
        ("ERROR", "qaz.smt.align.emcore", "* --decode-align | --decode | -d"),
    ]


def emcore_debug():
    from qaz.common import logging
    return logging.using_config(["qaz"], debug=True)


# ---------------------------------------------------------------------------
# Runners


@pytest.fixture
def recorded_config(monkeypatch):
    """Records the using_config calls of the drivers and the level changes made inside."""
    from qaz.common import logging

    calls = []
    real = logging.using_config

    class Recorder:
        def __init__(self, ctx):
            self.ctx = ctx

        def set_debug(self, b):
            calls.append(("set_debug", b))
            self.ctx.set_debug(b)

        def set_quiet(self, b):
            calls.append(("set_quiet", b))
            self.ctx.set_quiet(b)

    class Wrapped:
        def __init__(self, *a, **kw):
            calls.append(("using_config", a, kw))
            self.cm = real(*a, **kw)

        def __enter__(self):
            return Recorder(self.cm.__enter__())

        def __exit__(self, *exc):
            calls.append(("exit",))
            return self.cm.__exit__(*exc)

    monkeypatch.setattr(_drivers.logging, "using_config", Wrapped)
    return calls


def test_train_model_wiring(recorded_config, monkeypatch, capsys):
    seen = []

    def fake_train(conf):
        seen.append((conf.as_dict(), _drivers.logger.isEnabledFor(10)))
        return False

    monkeypatch.setattr(sys, "argv", ["qaz-train", "s", "t", "o", "-D"])
    assert _drivers.train_model(_drivers.create_train_parser(), fake_train) is None
    assert recorded_config == [
        ("using_config", (["qaz.smt.align.emcore", "__main__"],), {"debug": True, "quiet": False}),
        ("exit",),
    ]
    assert seen[0][0]["save_trans_path"] == "o" and seen[0][1] is True
    debug = messages(capsys.readouterr().err, "DEBUG")
    assert debug[0].startswith("Namespace(") and debug[1].startswith("Config(")


@pytest.mark.parametrize("flags, calls, enabled", [
    ([], [], 20),
    (["-D"], [("set_debug", True), ("set_quiet", False)], 10),
    (["-q"], [("set_quiet", True), ("set_debug", False)], 30),
    (["-D", "-q"], [("set_debug", True), ("set_quiet", False), ("set_quiet", True), ("set_debug", False)], 30),
])
def test_score_model_wiring(recorded_config, monkeypatch, capsys, flags, calls, enabled):
    levels = []

    def fake_score(conf):
        levels.append(min(lv for lv in (10, 20, 30) if _drivers.logger.isEnabledFor(lv)))

    monkeypatch.setattr(sys, "argv", ["qaz-score", "s", "t", "tr", "-d", "x"] + flags)
    assert _drivers.score_model(_drivers.create_score_parser(), fake_score) is None
    assert recorded_config == [("using_config", (["qaz", "__main__"],), {})] + calls + [("exit",)]
    assert levels == [enabled]
    debug = messages(capsys.readouterr().err, "DEBUG")
    assert debug == ([] if enabled > 10 else [repr(Config(vars(_drivers.create_score_parser().parse_args(
        ["s", "t", "tr", "-d", "x"] + flags))))])


def test_runner_restores_logging_on_error(monkeypatch):
    def boom(conf):
        raise RuntimeError("boom")

    monkeypatch.setattr(sys, "argv", ["qaz-train", "s", "t", "o", "-q"])
    with pytest.raises(RuntimeError):
        _drivers.train_model(_drivers.create_train_parser(), boom)
    assert _drivers.logger.isEnabledFor(20)


# ---------------------------------------------------------------------------
# Training driver


def test_train_writes_every_requested_file(tmp_path, small_corpus, capsys):
    src, trg = small_corpus
    conf = train_conf(tmp_path, src, trg, save_align_path=str(tmp_path / "align.txt"),
                      save_scores=str(tmp_path / "scores.txt"), decode_align=str(tmp_path / "dec.txt"))
    assert emcore.train_emcore(conf) is True
    info = messages(capsys.readouterr().err, "INFO")
    assert info.index("start training IBM Model 1") < info.index("start training IBM Model 2")
    assert info[info.index("start training IBM Model 2") + 1 :].count("----") == 1

    trans = [line.split("\t") for line in read(conf["save_trans_path"]).splitlines()]
    assert trans and all(len(f) == 4 for f in trans)
    assert trans[0][0] == "__NULL__"
    for f in trans:
        assert len(f[2].split(".")[1]) == 8 and len(f[3].split(".")[1]) == 2
    align = [line.split("\t") for line in read(tmp_path / "align.txt").splitlines()]
    assert align and all(len(f) == 6 for f in align)
    scores = read(tmp_path / "scores.txt").splitlines()
    assert len(scores) == len(SMALL_SRC) and all(float(s) >= 0 for s in scores)
    dec = read(tmp_path / "dec.txt").splitlines()
    assert [len(d.split(" ")) for d in dec] == [len(t.split(" ")) for t in SMALL_TRG]
    assert dec[0].startswith("1-")


def test_train_optional_outputs(tmp_path, small_corpus):
    src, trg = small_corpus
    conf = train_conf(tmp_path, src, trg, save_scores=str(tmp_path / "scores.txt"))
    assert emcore.train_emcore(conf)
    assert sorted(p.name for p in tmp_path.iterdir() if p.name.endswith(".txt")) == [
        "scores.txt", "trans.txt"]


def test_iteration_limit_zero(tmp_path, corpus, capsys):
    src, trg = corpus(["a b", "b"], ["x y", "z y"])
    conf = train_conf(tmp_path, src, trg, iteration_limit=0, threshold=0.0,
                      save_align_path=str(tmp_path / "align.txt"))
    assert emcore.train_emcore(conf)
    info = messages(capsys.readouterr().err, "INFO")
    assert not [m for m in info if m.startswith("step:")]
    assert len([m for m in info if m.startswith("initial entropy:")]) == 2
    # uniform start, counts 0.00 before any E-step; ties in ascending target id
    lines = read(conf["save_trans_path"]).splitlines()
    assert lines[:3] == ["__NULL__\tx\t0.33333334\t0.00", "__NULL__\ty\t0.33333334\t0.00",
                         "__NULL__\tz\t0.33333334\t0.00"]
    assert len(lines) == 9
    assert read(tmp_path / "align.txt") == ""


def test_overrides_and_script_call_errors(tmp_path, small_corpus, capsys):
    src, trg = small_corpus
    conf = train_conf(tmp_path, src, trg)
    assert emcore.train_emcore(Config(conf), iteration_limit=0)
    assert not [m for m in messages(capsys.readouterr().err) if m.startswith("step:")]
    with pytest.raises(TypeError):
        emcore.train_emcore(conf, conf)
    with pytest.raises(TypeError):
        emcore.train_emcore()


@pytest.mark.parametrize("limit, error", [("3", "TypeError"), (2**31, "OverflowError")])
def test_bad_iteration_limit_is_logged_and_nothing_written(tmp_path, small_corpus, capsys, limit, error):
    src, trg = small_corpus
    conf = train_conf(tmp_path, src, trg, iteration_limit=limit)
    # The limit is refused before the corpus is set up: there is no table, and
    # an empty file would pass for a model, so none is written.
    assert emcore.train_emcore(conf) is True
    err = capsys.readouterr().err
    assert [r[0] for r in log_records(err) if r[0] == "ERROR"] == ["ERROR"]
    assert "Traceback" in err and error in err
    assert messages(err, "INFO")[0] == "----"
    assert messages(err, "WARNING") == ["nothing was trained; no output file is written"]
    assert not Path(conf["save_trans_path"]).exists()


def test_character_mode(tmp_path, corpus):
    src, trg = corpus(["ab", "b a"], ["xy", "y"])
    conf = train_conf(tmp_path, src, trg, character=True, threshold=0.0,
                      save_scores=str(tmp_path / "s.txt"), decode_align=str(tmp_path / "d.txt"))
    assert emcore.train_emcore(conf)
    words = {tuple(line.split("\t")[:2]) for line in read(conf["save_trans_path"]).splitlines()}
    assert {w for w, _ in words} == {"__NULL__", "a", "b", " "}
    assert {w for _, w in words} == {"x", "y"}
    assert len(read(tmp_path / "s.txt").splitlines()) == 2
    assert [len(d.split(" ")) for d in read(tmp_path / "d.txt").splitlines()] == [2, 1]


def test_keyboard_interrupt_in_model1_loop_writes_what_was_trained(tmp_path, small_corpus, capsys, monkeypatch):
    real = emlex.Model1Trainer._train
    model2_runs = []

    def interrupted(trainer, n):
        real(trainer, n)
        raise KeyboardInterrupt

    monkeypatch.setattr(emlex.Model1Trainer, "_train", interrupted)
    monkeypatch.setattr(empos.Model2Trainer, "_train", lambda t, n: model2_runs.append(n))
    src, trg = small_corpus
    conf = train_conf(tmp_path, src, trg, save_align_path=str(tmp_path / "align.txt"),
                      save_scores=str(tmp_path / "scores.txt"), decode_align=str(tmp_path / "dec.txt"))
    assert emcore.train_emcore(conf) is True
    assert model2_runs == []
    recs = log_records(capsys.readouterr().err)
    i = recs.index(("WARNING", "qaz.smt.align.emcore", "interuppted by keyboard"))
    assert recs[i + 1] == ("INFO", "qaz.smt.align.emcore", "forcing to dump alignments and scores")
    assert recs[i + 2][2] == "----"
    assert read(conf["save_trans_path"])
    assert read(tmp_path / "align.txt") == ""  # still the uniform start
    assert len(read(tmp_path / "scores.txt").splitlines()) == len(SMALL_SRC)
    assert len(read(tmp_path / "dec.txt").splitlines()) == len(SMALL_SRC)


def _loops_replaced(monkeypatch):
    """The two training loops replaced by Python wrappers that call the originals."""
    for cls in (emlex.Model1Trainer, empos.Model2Trainer):
        real = cls._train
        monkeypatch.setattr(cls, "_train", lambda trainer, n, real=real: real(trainer, n))


@pytest.mark.parametrize("limit, save_files", [(3, True), (2, False), (0, True)])
def test_engine_schedule_equals_the_two_loops(tmp_path, small_corpus, capsys, monkeypatch, limit, save_files):
    # One engine call for Model 1 then Model 2: the same files byte for byte
    # and the same log records (logger, text, order) as the loops run one by
    # one from Python, which is what a replaced loop still gets.
    src, trg = small_corpus
    runs = {}
    for way in ("engine", "loops"):
        out = tmp_path / way
        out.mkdir()
        extra = {}
        if save_files:
            extra = dict(save_scores=str(out / "s.txt"), decode_align=str(out / "d.txt"))
        conf = train_conf(out, src, trg, iteration_limit=limit, threshold=0.0,
                          save_align_path=str(out / "a.txt"), **extra)
        if way == "loops":
            _loops_replaced(monkeypatch)
        assert _one_machine._engine_loops() is (way == "engine")
        capsys.readouterr()
        assert emcore.train_emcore(conf) is True
        recs = [r for r in log_records(capsys.readouterr().err) if "cell layout" not in r[2]]
        files = {p.name: p.read_bytes() for p in sorted(out.iterdir())}
        runs[way] = (recs, files)
    assert runs["engine"][1] == runs["loops"][1]
    assert set(runs["engine"][1]) == {"trans.txt", "a.txt"} | ({"s.txt", "d.txt"} if save_files else set())
    assert runs["engine"][0] == [(lvl, name, msg.replace("/loops/", "/engine/"))
                                 for lvl, name, msg in runs["loops"][0]]
    # Both loops logged, each under its own module.
    assert ("INFO", "qaz.smt.align.emlex", "start training IBM Model 1") in runs["engine"][0]
    assert ("INFO", "qaz.smt.align.empos", "start training IBM Model 2") in runs["engine"][0]


def test_missing_corpus_is_logged_with_traceback(tmp_path, capsys):
    missing = str(tmp_path / "nowhere.src")
    trg = write_lines(tmp_path / "c.trg", ["x"])
    conf = train_conf(tmp_path, missing, trg)
    assert emcore.train_emcore(conf) is True
    err = capsys.readouterr().err
    errors = [r for r in log_records(err) if r[0] == "ERROR"]
    assert len(errors) == 1 and "nowhere.src" in errors[0][2]
    assert "Traceback" in err and "FileNotFoundError" in err
    # the run went on to the writing stage, which finds nothing to write
    assert "----" in messages(err[err.index("Traceback"):], "INFO")
    assert "nothing was trained; no output file is written" in messages(err, "WARNING")
    assert not Path(conf["save_trans_path"]).exists()


# ---------------------------------------------------------------------------
# Scoring driver


def score_conf(src, trg, trans, align=None, **kw):
    conf = dict(src_path=src, trg_path=trg, trans_path=trans, align_path=align,
                save_scores=None, decode_align=None, character=False, debug=False, quiet=False)
    conf.update(kw)
    return conf


def test_score_translation_file_reading(tmp_path, corpus):
    src, trg = corpus(["a b"], ["x"])
    trans = write_lines(tmp_path / "t.txt", [
        "__NULL__\tx\t0.5\t12",  # four fields: the count is ignored
        "a\tx\t0.25",
        "",
        "b\tq",  # two fields: skipped in both passes (q would enlarge T)
        "b\tx\t0.75\t1\t2",  # five fields: skipped
        "  ",
    ])
    scores = tmp_path / "s.txt"
    assert emcore.score_ibm_model(score_conf(src, trg, trans, save_scores=str(scores))) is True
    # (b, x) is not listed: it keeps the uniform 1/T = 1; alignment uniform 1/3
    assert float(read(scores)) == pytest.approx(-math.log((0.5 + 0.25 + 1.0) / 3), rel=1e-12)

    write_lines(tmp_path / "t.txt", ["a\tx\t0.25", "c\tw\t0.125"])
    assert emcore.score_ibm_model(score_conf(src, trg, trans, save_scores=str(scores)))
    # w enters the target vocabulary: unlisted entries now start at 1/2
    assert float(read(scores)) == pytest.approx(-math.log((0.5 + 0.25 + 0.5) / 3), rel=1e-12)


@pytest.mark.parametrize("lines, expected", [
    (["1\t1\t1\t0\t0.25", "1\t1\t1\t1\t0.75"], 0.25 * 0.4 + 0.75 * 0.8),
    (["1\t1\t1\t0\t0.25\t3.00", "1\t1\t1\t1\t0.75\t9.00"], 0.25 * 0.4 + 0.75 * 0.8),  # six fields
    (["1\t1\t1\t0", "1\t1\t1\t1\t0.75\t9.00\t1", ""], 0.5 * 0.4 + 0.5 * 0.8),  # skipped
    # shapes beyond the scored corpus (trained on longer sentences) are ignored
    (["1\t1\t1\t0\t0.25", "1\t1\t1\t1\t0.75", "4\t6\t5\t3\t0.5", "1\t3\t2\t1\t0.5", "1\t1\t1\t7\t0.5"],
     0.25 * 0.4 + 0.75 * 0.8),
])
def test_score_alignment_file_reading(tmp_path, corpus, lines, expected, capsys):
    src, trg = corpus(["a"], ["x"])
    trans = write_lines(tmp_path / "t.txt", ["__NULL__\tx\t0.4", "a\tx\t0.8"])
    align = write_lines(tmp_path / "a.txt", lines)
    conf = score_conf(src, trg, trans, align, save_scores=str(tmp_path / "s.txt"),
                      decode_align=str(tmp_path / "d.txt"))
    assert emcore.score_ibm_model(conf) is True
    err = capsys.readouterr().err
    assert not [r for r in log_records(err) if r[0] == "ERROR"], err
    assert float(read(tmp_path / "s.txt")) == pytest.approx(-math.log(expected), rel=1e-12)
    assert read(tmp_path / "d.txt") == "1-1\n"
    info = messages(err, "INFO")
    assert info.index("loading word translation distribution file: " + trans) < info.index(
        "loading alignment distribution file: " + align)


def test_score_only_decodes_when_asked(tmp_path, corpus, capsys):
    src, trg = corpus(["a b", "b"], ["x y", "y"])
    trans = write_lines(tmp_path / "t.txt", ["a\tx\t0.9", "b\ty\t0.9", "__NULL__\tx\t0.05"])
    conf = score_conf(src, trg, trans, decode_align=str(tmp_path / "d.txt"))
    assert emcore.score_ibm_model(conf) is True
    assert read(tmp_path / "d.txt") == "1-1 2-2\n1-1\n"
    assert sorted(p.name for p in tmp_path.iterdir() if p.name.endswith(".txt")) == ["d.txt", "t.txt"]


def test_score_rejected_configuration_reads_nothing(tmp_path, capsys):
    conf = score_conf(str(tmp_path / "no.src"), str(tmp_path / "no.trg"), str(tmp_path / "no.t"))
    assert emcore.score_ibm_model(conf) is False
    assert emcore.score_ibm_model(conf, save_scores="") is False
    errors = messages(capsys.readouterr().err, "ERROR")
    assert errors == ["At least one of following arguments is necessary:",
                      "* --save-scores | --scores | -s", "* --decode-align | --decode | -d"] * 2


@pytest.mark.parametrize("trans_lines, align_lines, error, where", [
    (None, None, "FileNotFoundError", "missing.t"),
    (["a\tx\tabc"], None, "ValueError", "t.txt"),
    (["a\tx\t0.5"], ["1\t1\tone\t0\t0.5"], "ValueError", "a.txt"),
])
def test_score_bad_input_is_logged(tmp_path, corpus, capsys, trans_lines, align_lines, error, where):
    src, trg = corpus(["a"], ["x"])
    trans = str(tmp_path / "missing.t") if trans_lines is None else write_lines(tmp_path / "t.txt", trans_lines)
    align = align_lines and write_lines(tmp_path / "a.txt", align_lines)
    conf = score_conf(src, trg, trans, align, save_scores=str(tmp_path / "s.txt"))
    assert emcore.score_ibm_model(conf) is True
    err = capsys.readouterr().err
    errors = [r for r in log_records(err) if r[0] == "ERROR"]
    assert len(errors) == 1 and where in errors[0][2]
    assert "Traceback" in err and error in err
    assert not (tmp_path / "s.txt").exists()


def test_score_interrupt_logs_and_writes_nothing_more(tmp_path, corpus, capsys, monkeypatch):
    def interrupted(self, path, pairs, character_based):
        raise KeyboardInterrupt

    monkeypatch.setattr(empos.Model2, "_calc_and_save_scores", interrupted)
    src, trg = corpus(["a"], ["x"])
    trans = write_lines(tmp_path / "t.txt", ["a\tx\t0.5"])
    conf = score_conf(src, trg, trans, save_scores=str(tmp_path / "s.txt"),
                      decode_align=str(tmp_path / "d.txt"))
    assert emcore.score_ibm_model(conf) is True
    err = capsys.readouterr().err
    assert "KeyboardInterrupt" in err and "Traceback" in err
    assert "interuppted by keyboard" not in err
    assert not (tmp_path / "d.txt").exists()


def test_score_character_mode(tmp_path, corpus):
    src, trg = corpus(["ab"], ["xy"])
    trans = write_lines(tmp_path / "t.txt", ["a\tx\t0.9", "b\ty\t0.9"])
    conf = score_conf(src, trg, trans, character=True, save_scores=str(tmp_path / "s.txt"),
                      decode_align=str(tmp_path / "d.txt"))
    assert emcore.score_ibm_model(conf)
    assert read(tmp_path / "d.txt") == "1-1 2-2\n"
    assert len(read(tmp_path / "s.txt").splitlines()) == 1


def test_score_reads_a_space_word(tmp_path, corpus):
    # In character mode a space is a word; its table line starts with it.
    src, trg = corpus(["a b"], ["x"])
    trans = write_lines(tmp_path / "t.txt", [" \tx\t0.5\t1.00", "a\tx\t0.25", "b\tx\t0.25", "__NULL__\tx\t0.1"])
    conf = score_conf(src, trg, trans, character=True, save_scores=str(tmp_path / "s.txt"))
    assert emcore.score_ibm_model(conf)
    assert float(read(tmp_path / "s.txt")) == pytest.approx(-math.log((0.1 + 0.25 + 0.5 + 0.25) / 4), rel=1e-12)


# ---------------------------------------------------------------------------
# Command entries: in-process exit statuses, then real processes


def test_main_exit_statuses(tmp_path, small_corpus, run_main, capsys):
    src, trg = small_corpus
    trans = tmp_path / "trans.txt"
    assert run_main(emcore.main_train, [src, trg, trans, "-I", "1", "-q"]) == 0
    assert run_main(emcore.main_train, [tmp_path / "none", trg, tmp_path / "t2", "-q"]) in (1,)
    assert run_main(emcore.main_score, [src, trg, trans, "-s", tmp_path / "s"]) == 0
    assert run_main(emcore.main_score, [src, trg, trans]) == 2
    assert run_main(emcore.main_score, [src, trg, tmp_path / "none", "-d", tmp_path / "d"]) == 1
    assert run_main(emcore.main_score, [src, trg]) == 2
    capsys.readouterr()


def test_interrupted_runs_exit_1(tmp_path, small_corpus, run_main, monkeypatch, capsys):
    def interrupted(*args):
        raise KeyboardInterrupt

    src, trg = small_corpus
    trans = tmp_path / "trans.txt"
    monkeypatch.setattr(empos.Model2Trainer, "_train", interrupted)
    assert run_main(emcore.main_train, [src, trg, trans, "-I", "1"]) == 1
    assert trans.read_text(encoding="utf-8")  # what Model 1 trained is kept
    monkeypatch.setattr(empos.Model2, "_decode_and_save_align", interrupted)
    assert run_main(emcore.main_score, [src, trg, trans, "-s", tmp_path / "s", "-d", tmp_path / "d"]) == 1
    assert (tmp_path / "s").exists() and not (tmp_path / "d").exists()
    capsys.readouterr()


def test_commands_in_child_processes(tmp_path, small_corpus):
    src, trg = small_corpus
    trans, align, scores = tmp_path / "trans.txt", tmp_path / "align.txt", tmp_path / "scores.txt"
    score_cmd = ["-c", "from qaz.smt.align.emcore import main_score; main_score()"]

    r = run_command(["-m", "qaz.smt.align.emcore", src, trg, trans, align, "-I", "2"])
    assert r.returncode == 0, r.stderr
    info = messages(r.stderr, "INFO")
    assert "start training IBM Model 2" in info
    assert {name for _, name, _ in log_records(r.stderr)} >= {"qaz.smt.align.emcore"}
    assert trans.exists() and align.exists()

    r = run_command(["-m", "qaz.smt.align.emcore", src, trg, tmp_path / "t2", "-I", "1", "-q"])
    assert r.returncode == 0 and messages(r.stderr, "INFO") == [], r.stderr

    r = run_command(["-m", "qaz.smt.align.emcore", "--help"])
    assert r.returncode == 0 and "(default: 5)" in r.stdout

    r = run_command(["-m", "qaz.smt.align.emcore", src])
    assert r.returncode == 2 and "usage:" in r.stderr

    r = run_command(["-m", "qaz.smt.align.emcore", tmp_path / "none", trg, tmp_path / "t3"])
    assert r.returncode == 1 and "FileNotFoundError" in r.stderr

    r = run_command(score_cmd + [src, trg, trans, align, "-s", scores])
    assert r.returncode == 0, r.stderr
    assert len(read(scores).splitlines()) == len(SMALL_SRC)

    r = run_command(score_cmd + [src, trg, trans, align])
    assert r.returncode == 2
    assert messages(r.stderr, "ERROR")[0] == "At least one of following arguments is necessary:"

    r = run_command(score_cmd + [src, trg, tmp_path / "none", "-d", tmp_path / "d"])
    assert r.returncode == 1 and "FileNotFoundError" in r.stderr

    r = run_command(score_cmd + [src, trg, trans, "--iteration-limit", "3", "-s", scores])
    assert r.returncode == 2 and "usage:" in r.stderr
