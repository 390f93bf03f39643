"""What the training and scoring commands make of unusual input: stored tables given
through pipes, impossible probabilities, alignment tables of shapes the corpus never
uses, and empty corpora."""

import os
import subprocess
import sys
import threading
from pathlib import Path

import pytest

from qaz.smt.align import emcore

from conftest import log_records, messages, run_bounded, write_lines

SRC = ["a b", "b c a", "c"]
TRG = ["x y", "y z x", "z"]
TRANS = ["__NULL__\tx\t0.125", "a\tx\t0.75", "b\ty\t0.5", "c\tz\t0.875", "b\tz\t0.25"]
ALIGN = ["2\t2\t1\t1\t0.5", "2\t2\t2\t2\t0.25", "3\t3\t1\t2\t0.125"]


def errors(err):
    return [msg for level, _, msg in log_records(err) if level == "ERROR"]


@pytest.fixture
def stored(tmp_path, corpus):
    """A small corpus with a translation and an alignment table for it, and the
    score and decoded-alignment files of a run on plain files."""
    src, trg = corpus(SRC, TRG)
    trans = write_lines(tmp_path / "trans.txt", TRANS)
    align = write_lines(tmp_path / "align.txt", ALIGN)
    scores, decoded = tmp_path / "plain.s", tmp_path / "plain.d"
    status = emcore.score_ibm_model(
        dict(src_path=src, trg_path=trg, trans_path=trans, align_path=align, save_scores=str(scores),
             decode_align=str(decoded), character=False, debug=False, quiet=True)
    )
    assert status is True
    return src, trg, trans, align, scores.read_text(encoding="utf-8"), decoded.read_text(encoding="utf-8")


SCORE = "from qaz.smt.align.emcore import main_score; main_score()"


def _score_child(args, **kw):
    import qaz

    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        p for p in [str(Path(qaz.__file__).resolve().parents[1]), env.get("PYTHONPATH", "")] if p
    )
    return subprocess.run([sys.executable, "-c", SCORE] + [str(a) for a in args], env=env,
                          capture_output=True, text=True, timeout=30, **kw)


# ---------------------------------------------------------------------------
# Stored tables read once: pipes and FIFOs


@pytest.mark.parametrize("which", ["trans", "align"])
def test_stored_tables_through_an_inherited_pipe(tmp_path, stored, which):
    # As the shell's <(cat file) hands them: /dev/fd/N of a pipe, which can
    # be read only once.
    src, trg, trans, align, plain_scores, plain_decoded = stored
    read_end, write_end = os.pipe()
    os.write(write_end, Path(trans if which == "trans" else align).read_bytes())
    os.close(write_end)
    piped = f"/dev/fd/{read_end}"
    args = [src, trg, piped, align] if which == "trans" else [src, trg, trans, piped]
    try:
        done = _score_child(args + ["-s", tmp_path / "s", "-d", tmp_path / "d", "-q"], pass_fds=(read_end,))
    finally:
        os.close(read_end)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "s").read_text(encoding="utf-8") == plain_scores
    assert (tmp_path / "d").read_text(encoding="utf-8") == plain_decoded


def test_translation_table_through_a_named_fifo(tmp_path, stored):
    src, trg, trans, align, plain_scores, _ = stored
    fifo = tmp_path / "trans.fifo"
    os.mkfifo(fifo)
    content = Path(trans).read_bytes()

    def feed():
        # Opening blocks until the reader opens; a second open by the reader
        # would wait for a writer that never comes.
        with open(fifo, "wb") as out:
            out.write(content)

    writer = threading.Thread(target=feed, daemon=True)
    writer.start()
    try:
        done = _score_child([src, trg, fifo, align, "-s", tmp_path / "s", "-q"])
    except subprocess.TimeoutExpired:
        pytest.fail("qaz-score hung on a translation table given through a FIFO")
    finally:
        if writer.is_alive():  # release the writer if the reader never came
            with open(fifo, "rb"):
                pass
        writer.join(5)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "s").read_text(encoding="utf-8") == plain_scores


def test_a_fifo_table_is_refused_on_a_cluster(tmp_path, stored, capfd):
    # The workers read the stored tables themselves: a FIFO would give them
    # nothing, so the run stops before any cluster starts.
    pytest.importorskip("distributed")
    from qaz import distributed

    src, trg, _, align, _, _ = stored
    fifo = tmp_path / "trans.fifo"
    os.mkfifo(fifo)
    conf = dict(src_path=src, trg_path=trg, trans_path=str(fifo), align_path=align,
                save_scores=str(tmp_path / "s"), character=False, debug=False, quiet=True)
    assert distributed.score_status(conf, shards=1) == 2
    assert "is not a regular file" in capfd.readouterr().err
    assert not (tmp_path / "s").exists()


# ---------------------------------------------------------------------------
# Impossible probabilities


@pytest.mark.parametrize("value", ["nan", "NaN", "inf", "-inf", "Infinity", "-0.5", "-1e-300"])
@pytest.mark.parametrize("which", ["trans", "align"])
def test_impossible_probabilities_are_errors_naming_file_and_line(tmp_path, stored, run_main, capsys, value,
                                                                  which):
    src, trg, trans, align, _, _ = stored
    if which == "trans":
        bad = write_lines(tmp_path / "bad.txt", TRANS[:2] + [f"b\ty\t{value}"] + TRANS[3:])
        args = [src, trg, bad, align]
    else:
        bad = write_lines(tmp_path / "bad.txt", ALIGN[:2] + [f"2\t2\t2\t1\t{value}"] + ALIGN[2:])
        args = [src, trg, trans, bad]
    capsys.readouterr()
    assert run_main(emcore.main_score, args + ["-s", tmp_path / "s", "-d", tmp_path / "d"]) == 1
    err = capsys.readouterr().err
    found = errors(err)
    assert len(found) == 1 and found[0].startswith(f"{bad}:3: "), err
    assert "not a finite probability" in found[0] and repr(value) in found[0]
    assert not (tmp_path / "s").exists() and not (tmp_path / "d").exists()


def test_possible_extremes_and_skipped_lines_still_read(tmp_path, stored, run_main, capsys):
    # 0, -0 and huge finite values are numbers >= 0; lines of another field
    # count are skipped whatever they hold.
    src, trg, trans, align, _, _ = stored
    table = write_lines(tmp_path / "t.txt", TRANS + ["a\ty\t0", "a\tz\t-0.0", "c\tx\t1e308", "b\tx\tnan\t1\t2",
                                                     "c\ty\t-inf\t1\t2\t3"])
    alignment = write_lines(tmp_path / "a.txt", ALIGN + ["2\t2\t1\t0\t-0.0", "2\t2\t1\t1\tnan\t1\t2"])
    assert run_main(emcore.main_score, [src, trg, table, alignment, "-s", tmp_path / "s", "-q"]) == 0
    assert len((tmp_path / "s").read_text(encoding="utf-8").splitlines()) == len(SRC)


# ---------------------------------------------------------------------------
# Alignment tables of shapes the corpus never uses


def test_unused_alignment_shapes_cost_no_memory(tmp_path, stored):
    # 400 square shapes of 1000-1399 words would take about 10 GiB; the
    # corpus uses none of them, so scoring under a 1 GiB cap must give what
    # the table without them gives.
    src, trg, trans, align, plain_scores, plain_decoded = stored
    big = tmp_path / "big.txt"
    lines = list(ALIGN)
    for n in range(1000, 1400):
        lines += [f"{n}\t{n}\t1\t0\t0.5", f"{n}\t{n}\t{n}\t{n}\t0.5"]
    write_lines(big, lines)
    code = "import sys\nfrom qaz.smt.align.emcore import main_score\nmain_score()\n"
    done = run_bounded(code, memory_mib=1024,
                       args=[src, trg, trans, str(big), "-s", str(tmp_path / "s"), "-d", str(tmp_path / "d"), "-q"])
    assert done.returncode == 0, done.stderr[-3000:]
    assert (tmp_path / "s").read_text(encoding="utf-8") == plain_scores
    assert (tmp_path / "d").read_text(encoding="utf-8") == plain_decoded


# ---------------------------------------------------------------------------
# Empty corpora


@pytest.mark.parametrize("src_lines, trg_lines", [([], []), ([], ["x"]), (["a"], [])])
def test_empty_corpus_is_refused_and_touches_nothing(tmp_path, corpus, run_main, capsys, src_lines, trg_lines):
    src, trg = corpus(src_lines, trg_lines)
    keep_t, keep_a, keep_s = tmp_path / "keep.t", tmp_path / "keep.a", tmp_path / "keep.s"
    for path in (keep_t, keep_a, keep_s):
        path.write_text("kept\n", encoding="utf-8")
    trans = write_lines(tmp_path / "trans.txt", TRANS)
    capsys.readouterr()

    assert run_main(emcore.main_train, [src, trg, keep_t, keep_a, "-s", keep_s, "-d", tmp_path / "d"]) == 1
    err = capsys.readouterr().err
    assert errors(err) == [f"no sentence pairs in {src} and {trg}"], err
    assert "nothing was trained; no output file is written" in messages(err, "WARNING")

    assert run_main(emcore.main_score, [src, trg, trans, keep_a, "-s", keep_s, "-d", tmp_path / "d"]) == 1
    err = capsys.readouterr().err
    assert errors(err) == [f"no sentence pairs in {src} and {trg}"], err

    for path in (keep_t, keep_a, keep_s):
        assert path.read_text(encoding="utf-8") == "kept\n"
    assert not (tmp_path / "d").exists()
