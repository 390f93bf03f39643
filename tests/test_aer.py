"""The qaz-aer command: scores, formats, options, exit statuses and messages."""

import importlib.util
import re
from pathlib import Path

import pytest

from qaz import _links
from qaz.aer import create_parser, main

from conftest import SHARED, run_bounded, run_command

DATA = Path(__file__).resolve().parent / "data" / "links"
GOLD_WA = str(DATA / "gold.wa")
GOLD_PHARAOH = str(DATA / "gold.pharaoh")
HYP_PHARAOH = str(DATA / "hyp.pharaoh")
HYP_DECODE = str(DATA / "hyp.decode")

# Worked out in tests/data/links/README.md.
SWAPPED = "precision 0.8000  recall 0.7500  F1 0.7742  AER 0.2222"
UNSWAPPED = "precision 0.6000  recall 0.7500  F1 0.6667  AER 0.3333"
# Sentence 1 only: |A| = 4, |S| = 2, |A&S| = 2, |A&P| = 3.
FIRST_ONE = "precision 0.7500  recall 1.0000  F1 0.8571  AER 0.1667"


def run(capsys, *args):
    status = main([str(a) for a in args])
    out, err = capsys.readouterr()
    return status, out, err


@pytest.mark.parametrize(
    "args, expected",
    [
        ([GOLD_WA, HYP_PHARAOH, "--swap-gold"], SWAPPED),
        ([GOLD_WA, HYP_PHARAOH], UNSWAPPED),
        ([GOLD_WA, HYP_DECODE, "-f", "decode", "-s"], SWAPPED),
        ([GOLD_PHARAOH, HYP_PHARAOH, "--gold-format", "pharaoh"], SWAPPED),
        ([GOLD_PHARAOH, HYP_DECODE, "-g", "pharaoh", "--hyp-format", "decode"], SWAPPED),
        ([GOLD_WA, HYP_PHARAOH, "--swap-gold", "--first", "1"], FIRST_ONE),
        ([GOLD_WA, HYP_DECODE, "-s", "-f", "decode", "-n", "3"], SWAPPED),
    ],
)
def test_scores_of_the_fixtures(capsys, args, expected):
    status, out, err = run(capsys, *args)
    assert (status, out, err) == (0, expected + "\n", "")


def test_first_reads_only_the_first_lines(capsys, tmp_path):
    # Lines past N are neither counted nor parsed.
    hyp = tmp_path / "hyp.txt"
    hyp.write_text("0-0 1-1 1-2 2-3\nnot a link line\n", encoding="utf-8")
    assert run(capsys, GOLD_WA, hyp, "-s", "--first", "1") == (0, FIRST_ONE + "\n", "")


@pytest.mark.parametrize(
    "hyp_text, args, message",
    [
        ("0-0\n0-1\n", [], r"hyp\.txt has 2 lines but .*gold\.wa has 3 sentences$"),
        ("0-0\n0-1\n\n\n", [], r"hyp\.txt has 4 lines but .*gold\.wa has 3 sentences$"),
        ("0-0\n", ["--first", "2"], r"hyp\.txt has 1 lines, fewer than --first 2$"),
        ("0-0\n0-0\n0-0\n", ["--first", "4"], r"--first 4: .*gold\.wa has only 3 sentences$"),
        ("0-0\n0-0 x\n\n", [], r"hyp\.txt:2: expected links 'i-j', got 'x'$"),
        ("1-1\n1-1 3-1\n1-0\n", ["-f", "decode"], r"hyp\.txt:2: decoded link 2 is '3-1', expected target position 2$"),
    ],
)
def test_bad_hypotheses_exit_1_with_one_message(capsys, tmp_path, hyp_text, args, message):
    hyp = tmp_path / "hyp.txt"
    hyp.write_text(hyp_text, encoding="utf-8")
    status, out, err = run(capsys, GOLD_WA, hyp, *args)
    assert (status, out) == (1, "")
    assert err.startswith("qaz-aer: error: ") and err.count("\n") == 1
    assert re.search(message, err.rstrip("\n")), err


def test_far_sentence_numbers_cost_no_memory(tmp_path):
    # Memory follows the links given, not the sentence numbers: a gold
    # sentence past --first is ignored, and without --first a sentence past
    # the hypothesis is the count mismatch.  The child runs under a memory cap.
    gold = tmp_path / "gold.wa"
    gold.write_text("1 1 1 S\n999999999 1 1 S\n10000000 2 2 P\n", encoding="utf-8")
    hyp = tmp_path / "hyp.txt"
    hyp.write_text("0-0 1-1\n", encoding="utf-8")
    code = (
        "import sys\nfrom qaz.aer import main\n"
        f"sys.exit(main([{str(gold)!r}, {str(hyp)!r}] + sys.argv[1:]))\n"
    )
    first = run_bounded(code, args=["-n", "1"])
    assert (first.returncode, first.stdout, first.stderr) == (
        0,
        "precision 0.5000  recall 1.0000  F1 0.6667  AER 0.3333\n",
        "",
    )
    whole = run_bounded(code)
    assert (whole.returncode, whole.stdout) == (1, "")
    assert whole.stderr == f"qaz-aer: error: {hyp} has 1 lines but {gold} has 999999999 sentences\n"
    many = run_bounded(code, args=["-n", "1000000000"])
    assert many.returncode == 1
    assert many.stderr == f"qaz-aer: error: --first 1000000000: {gold} has only 999999999 sentences\n"


@pytest.mark.parametrize(
    "gold_text, fmt, message",
    [
        ("1 1 1 S\n1 2 2 Q\n", "naacl", r"gold\.txt:2: expected 'sentence position position \[S\|P\] \[confidence\]'"),
        ("0-0\n0=1\n", "pharaoh", r"gold\.txt:2: expected links 'i-j' \(sure\) or 'i\?j', 'ipj' \(possible\)"),
    ],
)
def test_bad_gold_exits_1_naming_file_and_line(capsys, tmp_path, gold_text, fmt, message):
    gold = tmp_path / "gold.txt"
    gold.write_text(gold_text, encoding="utf-8")
    status, out, err = run(capsys, gold, HYP_PHARAOH, "--gold-format", fmt)
    assert (status, out) == (1, "")
    assert re.search(message, err), err


def test_unreadable_files_exit_1(capsys, tmp_path):
    status, _, err = run(capsys, tmp_path / "none.wa", HYP_PHARAOH)
    assert status == 1
    assert err == f"qaz-aer: error: cannot read {tmp_path / 'none.wa'}: No such file or directory\n"
    bad = tmp_path / "latin1.txt"
    bad.write_bytes(b"0-0\n\xe9-1\n\n")
    status, _, err = run(capsys, GOLD_WA, bad)
    assert status == 1
    assert "latin1.txt, line 2" in err


@pytest.mark.parametrize(
    "args, message",
    [
        (["--first", "0"], "argument -n/--first: expected a positive integer, got '0'"),
        (["--first", "two"], "argument -n/--first: expected a positive integer, got 'two'"),
        (["--hyp-format", "naacl"], "argument -f/--hyp-format: invalid choice: 'naacl'"),
        ([], None),  # HYP missing
    ],
)
def test_usage_errors_exit_2(capsys, args, message):
    positional = [GOLD_WA] if not args else [GOLD_WA, HYP_PHARAOH]
    with pytest.raises(SystemExit) as e:
        main(positional + args)
    assert e.value.code == 2
    err = capsys.readouterr().err
    assert err.startswith("usage: qaz-aer")
    if message:
        assert message in err


def test_help_explains_every_option(capsys):
    with pytest.raises(SystemExit) as e:
        main(["--help"])
    assert e.value.code == 0
    text = capsys.readouterr().out
    for action in create_parser()._actions:
        assert action.help, action.dest
    flat = " ".join(text.split())
    for option in ("-g", "--gold-format", "-f", "--hyp-format", "-s", "--swap-gold", "-n", "--first"):
        assert re.search(rf"(^|[ \[]){option}\b", flat), option
    for default in ("(default: naacl)", "(default: pharaoh)"):
        assert default in flat


def test_command_line_exit_statuses():
    # The module runs as a program with the statuses of the entry point.
    ok = run_command(["-m", "qaz.aer", GOLD_WA, HYP_DECODE, "--hyp-format", "decode", "--swap-gold"])
    assert (ok.returncode, ok.stdout, ok.stderr) == (0, SWAPPED + "\n", "")
    short = run_command(["-m", "qaz.aer", GOLD_WA, HYP_PHARAOH, "--first", "9"])
    assert short.returncode == 1 and "has only 3 sentences" in short.stderr
    assert "Traceback" not in short.stderr
    usage = run_command(["-m", "qaz.aer", GOLD_WA])
    assert usage.returncode == 2


# ---------------------------------------------------------------------------
# Real gold links, when the shared corpora are there

HANSARDS = SHARED / "data" / "hansards-fr-en"
TRIAL_FIRST_LINE = 448  # trial sentence 1 is corpus line 448 (of 484)


def _load_bench_aer():
    path = Path(__file__).resolve().parents[1] / "bench" / "aer.py"
    spec = importlib.util.spec_from_file_location("bench_aer", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def _train_decode(tmp_path, src, trg):
    from qaz.common import logging
    from qaz.smt.align import emcore

    files = {}
    for side in (src, trg):
        lines = (HANSARDS / f"hansards.{side}").read_text(encoding="utf-8").splitlines(keepends=True)
        files[side] = tmp_path / f"corpus.{side}"
        files[side].write_text("".join(lines[:484]), encoding="utf-8")
    decoded = tmp_path / f"{src}-{trg}.decode"
    conf = {
        "src_path": str(files[src]),
        "trg_path": str(files[trg]),
        "save_trans_path": str(tmp_path / f"{src}-{trg}.trans"),
        "decode_align": str(decoded),
        "iteration_limit": 5,
        "threshold": 0.001,
        "nbest": 100,
    }
    with logging.using_config(["qaz"], quiet=True):
        assert emcore.train_emcore(conf)
    return decoded


@pytest.mark.skipif(not (HANSARDS / "trial.wa").exists(), reason="needs ../shared/data/hansards-fr-en")
def test_agrees_with_bench_aer_on_the_trial_sentences(capsys, tmp_path):
    from test_links import reference_symmetrize

    gold = str(HANSARDS / "trial.wa")
    bench = _load_bench_aer()
    fe = _train_decode(tmp_path, "f", "e")
    ef = _train_decode(tmp_path, "e", "f")
    for decoded, src_lang, swap in ((fe, "f", ["--swap-gold"]), (ef, "e", [])):
        value, precision, recall, _ = bench.score_file(decoded, src_lang, gold)
        lines = decoded.read_text(encoding="utf-8").splitlines(keepends=True)
        trial = tmp_path / f"{src_lang}.trial"
        trial.write_text("".join(lines[TRIAL_FIRST_LINE - 1 :]), encoding="utf-8")
        status, out, _ = run(capsys, gold, trial, "--hyp-format", "decode", *swap)
        assert status == 0
        f1 = 2 * precision * recall / (precision + recall)
        assert out == f"precision {precision:.4f}  recall {recall:.4f}  F1 {f1:.4f}  AER {value:.4f}\n"
        # --first 37 on a file that goes on past the trial sentences.
        longer = tmp_path / f"{src_lang}.longer"
        longer.write_text("".join(lines[TRIAL_FIRST_LINE - 1 :] + lines[:10]), encoding="utf-8")
        assert run(capsys, gold, longer, "-f", "decode", "-n", "37", *swap)[1] == out

    # Both directions in French-English orientation, symmetrised as the
    # definitions say.
    forward = _links.read_decoded(tmp_path / "f.trial")
    reverse = _links.transpose(_links.read_decoded(tmp_path / "e.trial"))
    for method in ("grow-diag", "grow-diag-final", "grow-diag-final-and"):
        expected = [reference_symmetrize(f, r, method) for f, r in zip(forward, reverse)]
        assert _links.symmetrize(forward, reverse, method) == expected
