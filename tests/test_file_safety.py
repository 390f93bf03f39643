"""Files users can trust: outputs never clobber inputs or each other, outputs
appear whole or not at all, gzip input reads as the plain file, and bad
options or schedulers are refused clearly."""

import errno
import gzip
import os
import resource
import signal
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

from qaz.common import files
from qaz.smt.align import _run, emcore

from conftest import SMALL_SRC, SMALL_TRG, run_command

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
TABLES = Path(__file__).resolve().parent / "data" / "tables"


def _train(args):
    return run_command(["-m", "qaz.smt.align.emcore"] + [str(a) for a in args])


def _score(args):
    return run_command(["-c", "from qaz.smt.align import _drivers; _drivers.main_score()"]
                       + [str(a) for a in args])


def _align(args, **kw):
    return run_command(["-m", "qaz.align_command"] + [str(a) for a in args], **kw)


def _temporaries(folder):
    return sorted(p.name for p in Path(folder).iterdir() if p.name.endswith(".tmp"))


@pytest.fixture
def tables(tmp_path, small_corpus):
    """A small corpus with its trained tables."""
    src, trg = small_corpus
    trans, align = tmp_path / "trans.txt", tmp_path / "align.txt"
    assert emcore.train_emcore(dict(src_path=src, trg_path=trg, save_trans_path=str(trans),
                                    save_align_path=str(align), iteration_limit=2,
                                    threshold=0.001, nbest=100))
    return Path(src), Path(trg), trans, align


# ---------------------------------------------------------------------------
# An output path that is an input path or another output path.


def _clash_cases(tmp_path, src, trg, trans):
    os.symlink(src, tmp_path / "link.f")
    os.link(trans, tmp_path / "hard.txt")
    dot = "./" + os.path.relpath(src, os.getcwd()) if os.path.isabs(src) else "./" + src
    return [
        # qaz-train
        (_train, [src, trg, tmp_path / "same.txt", tmp_path / "same.txt"], "same.txt"),
        (_train, [src, trg, src], src.name),
        (_train, [src, trg, tmp_path / "t", "-s", tmp_path / "x", "-d", tmp_path / "x"], "x"),
        (_train, [src, trg, tmp_path / "link.f"], "link.f"),
        (_train, [src, trg, tmp_path / "t", "-d", dot], src.name),
        # qaz-score
        (_score, [src, trg, trans, "-s", trans], trans.name),
        (_score, [src, trg, trans, "-s", tmp_path / "hard.txt"], "hard.txt"),
        (_score, [src, trg, trans, "-s", tmp_path / "y", "-d", tmp_path / "y"], "y"),
        # qaz-align
        (_align, [src, trg, "-o", src], src.name),
        (_align, [src, trg, "-o", tmp_path / "z", "-f", tmp_path / "z"], "z"),
        (_align, [src, trg, "-r", trg], trg.name),
        (_align, [src, trg, "-o", tmp_path / "link.f"], "link.f"),
    ]


def test_an_output_that_is_an_input_or_another_output_is_refused(tmp_path, tables):
    src, trg, trans, align = tables
    before = {p: p.read_bytes() for p in (src, trg, trans, align)}
    for run, args, named in _clash_cases(tmp_path, src, trg, trans):
        r = run(args)
        assert r.returncode == 2, (args, r.stderr)
        assert named in r.stderr and "same file" in r.stderr, (args, r.stderr)
        assert "Traceback" not in r.stderr
        for p, data in before.items():
            assert p.read_bytes() == data, (args, p)
        for name in ("same.txt", "x", "y", "z", "t"):
            assert not (tmp_path / name).exists(), (args, name)


def test_library_drivers_refuse_clashing_paths(tmp_path, tables, capsys):
    src, trg, trans, align = tables
    data = trans.read_bytes()
    conf = dict(src_path=str(src), trg_path=str(trg), save_trans_path=str(trans),
                save_align_path=os.path.join(str(tmp_path), ".", trans.name), iteration_limit=1)
    assert emcore.train_emcore(conf) is False
    conf = dict(src_path=str(src), trg_path=str(trg), trans_path=str(trans), save_scores=str(trg))
    assert emcore.score_ibm_model(conf) is False
    assert trans.read_bytes() == data
    assert "same file" in capsys.readouterr().err
    from qaz import Aligner

    aligner = Aligner(iterations=1).fit(SMALL_SRC, SMALL_TRG)
    with pytest.raises(ValueError, match="same file"):
        aligner.save(str(tmp_path / "m.txt"), os.path.join(str(tmp_path), ".", "m.txt"))
    pytest.importorskip("distributed")
    from qaz import distributed

    with pytest.raises(ValueError, match="same file"):
        distributed.align(str(src), str(trg), str(src))


def test_distinct_outputs_and_special_files_are_not_clashes(tmp_path, tables):
    src, trg, trans, align = tables
    assert _run.path_clash([("a", "-"), ("b", "-")], [("c", str(src))]) is None
    assert _run.path_clash([("a", "/dev/null"), ("b", "/dev/null")]) is None
    assert _run.path_clash([("a", str(tmp_path / "p")), ("b", str(tmp_path / "q"))],
                           [("c", str(src)), ("d", str(src))]) is None
    r = _score([src, trg, trans, align, "-s", "/dev/null", "-d", "/dev/null"])
    assert r.returncode == 0, r.stderr


# ---------------------------------------------------------------------------
# Outputs appear whole or not at all.


def test_replacing_file_puts_the_file_in_place_only_when_complete(tmp_path):
    path = tmp_path / "out.txt"
    path.write_bytes(b"previous\n")
    os.chmod(path, 0o640)
    with files.open_output(path) as f:
        f.write(b"new\n")
        assert path.read_bytes() == b"previous\n"
        assert len(_temporaries(tmp_path)) == 1
    assert path.read_bytes() == b"new\n"
    assert (path.stat().st_mode & 0o777) == 0o640
    with pytest.raises(RuntimeError):
        with files.open_output(path) as f:
            f.write(b"half")
            raise RuntimeError("stop")
    assert path.read_bytes() == b"new\n"
    assert _temporaries(tmp_path) == []
    # Written through a link, which stays a link.
    os.symlink("out.txt", tmp_path / "link")
    with files.open_output(tmp_path / "link") as f:
        f.write(b"through\n")
    assert os.path.islink(tmp_path / "link") and path.read_bytes() == b"through\n"
    # A missing folder names the path asked for.
    with pytest.raises(FileNotFoundError) as e:
        files.open_output(tmp_path / "nowhere" / "x")
    assert e.value.filename == str(tmp_path / "nowhere" / "x")
    # A full device still fails.
    if os.access("/dev/full", os.W_OK):
        with pytest.raises(OSError) as e:
            with files.open_output("/dev/full") as f:
                f.write(b"x" * 100000)
        assert e.value.errno == errno.ENOSPC


def _limit_file_size(limit):
    def set_limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))
    return set_limit


def test_a_failed_write_leaves_the_previous_files(tmp_path):
    src, trg = str(EXAMPLES / "hansards.1k.f"), str(EXAMPLES / "hansards.1k.e")
    out = tmp_path / "out"
    out.mkdir()
    names = ("t.txt", "a.txt", "s.txt", "d.txt")
    for name in names:
        (out / name).write_bytes(b"the previous file\n")
    args = [src, trg, out / "t.txt", out / "a.txt", "-s", out / "s.txt", "-d", out / "d.txt", "-I", "1", "-q"]
    # Every file larger than the limit fails to be written (EFBIG).
    r = run_command(["-m", "qaz.smt.align.emcore"] + [str(a) for a in args],
                    preexec_fn=_limit_file_size(20000))
    assert r.returncode != 0
    for name in names:
        assert (out / name).read_bytes() == b"the previous file\n", name
    assert _temporaries(out) == []
    # qaz-align and a full device: the error, exit status 1.
    for args in ([src, trg, "-I", "1", "-q", "-o", out / "links.txt"], [src, trg, "-I", "1", "-q", "-o", "/dev/full"]):
        (out / "links.txt").write_bytes(b"the previous file\n")
        r = _align(args, preexec_fn=_limit_file_size(20000))
        assert r.returncode == 1, r.stderr
        assert (out / "links.txt").read_bytes() == b"the previous file\n"
    assert "No space left on device" in r.stderr
    assert _temporaries(out) == []


@pytest.mark.parametrize("sig", [signal.SIGKILL, signal.SIGTERM])
def test_a_killed_run_leaves_the_previous_file(tmp_path, sig):
    """Killed while the table is being written: the previous table stays."""
    src, trg = str(EXAMPLES / "hansards.1k.f"), str(EXAMPLES / "hansards.1k.e")
    trans = tmp_path / "t.txt"
    trans.write_bytes(b"the previous file\n")
    # Every target of every source word, so the writing takes a while.
    args = ["-m", "qaz.smt.align.emcore", src, trg, str(trans), "-I", "1", "-t", "-1", "-n", "100000",
            "-q", "-j", "1"]
    import qaz

    env = dict(os.environ, PYTHONPATH=str(Path(qaz.__file__).resolve().parents[1]))
    p = subprocess.Popen([sys.executable] + args, env=env, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while not _temporaries(tmp_path) and p.poll() is None and time.monotonic() < deadline:
            time.sleep(0.001)
        assert _temporaries(tmp_path), "the table was never being written"
        time.sleep(0.05)
        p.send_signal(sig)
        p.wait(timeout=60)
    finally:
        if p.poll() is None:
            p.kill()
            p.wait()
    assert p.returncode == -sig
    assert trans.read_bytes() == b"the previous file\n"


def test_interrupted_training_still_writes_in_place(tmp_path, small_corpus, monkeypatch, capsys):
    """The documented path: training interrupted, what was trained is written (whole)."""
    from qaz.smt.align import empos

    src, trg = small_corpus
    trans = tmp_path / "t.txt"
    trans.write_bytes(b"the previous file\n")

    def interrupted(self, limit):
        raise KeyboardInterrupt

    monkeypatch.setattr(empos.Model2Trainer, "_train", interrupted)
    conf = dict(src_path=src, trg_path=trg, save_trans_path=str(trans), iteration_limit=1,
                threshold=0.001, nbest=100)
    assert emcore.train_emcore(conf)
    assert trans.read_bytes() != b"the previous file\n" and trans.read_bytes().count(b"\t") > 3
    assert _temporaries(tmp_path) == []


# ---------------------------------------------------------------------------
# Options.


def test_bad_counts_are_usage_errors(tmp_path, small_corpus):
    src, trg = small_corpus
    for run, args in [
        (_train, [src, trg, tmp_path / "t", "-I", "-3"]),
        (_train, [src, trg, tmp_path / "t", "-j", "99999999999"]),
        (_score, [src, trg, tmp_path / "t", "-s", tmp_path / "s", "-j", "99999999999"]),
        (_align, [src, trg, "-j", "99999999999"]),
        (_align, [src, trg, "-I", "99999999999"]),
    ]:
        r = run(args)
        assert r.returncode == 2, (args, r.stderr)
        assert "usage:" in r.stderr and "Traceback" not in r.stderr, (args, r.stderr)
    assert not (tmp_path / "t").exists()


def test_a_memory_limit_below_the_process_names_the_given_size(small_corpus):
    src, trg = small_corpus
    r = _align([src, trg, "-m", "1K", "-q"])
    assert r.returncode == 1
    assert "memory limit of 1.0 KiB" in r.stderr
    assert "limit of 17" not in r.stderr


def _serve(behaviour):
    """A local server that is not a Dask scheduler; returns its address."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen()
    held = []

    def run():
        while True:
            try:
                conn, _ = server.accept()
            except OSError:
                return
            held.append(conn)
            if behaviour == "banner":
                conn.sendall(b"SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n")

    threading.Thread(target=run, daemon=True).start()
    return "tcp://127.0.0.1:{}".format(server.getsockname()[1]), server


@pytest.mark.parametrize("behaviour", ["banner", "silent"])
def test_a_server_that_is_no_scheduler_is_named(tmp_path, small_corpus, behaviour):
    pytest.importorskip("distributed")
    src, trg = small_corpus
    address, server = _serve(behaviour)
    try:
        start = time.monotonic()
        for args in (["--model", "2", src, trg, "-o", tmp_path / "out", "--scheduler", address],):
            r = _align(args)
            assert r.returncode == 1, r.stderr
            assert "Dask scheduler at " + address in r.stderr
            assert "allocate" not in r.stderr and "Traceback" not in r.stderr
        r = _train([src, trg, tmp_path / "t", "--scheduler", address])
        assert r.returncode == 1 and "Dask scheduler at " + address in r.stderr
        assert time.monotonic() - start < 60
    finally:
        server.close()
    assert not (tmp_path / "out").exists() and not (tmp_path / "t").exists()


# ---------------------------------------------------------------------------
# gzip input.


def _gzip(path, to):
    to.write_bytes(gzip.compress(Path(path).read_bytes()))
    return to


def test_gzip_corpora_and_tables_give_the_plain_results(tmp_path, tables):
    src, trg, trans, align = tables
    gz = {p: _gzip(p, tmp_path / (p.name + ".gz")) for p in (src, trg, trans, align)}
    plain, packed = tmp_path / "plain", tmp_path / "packed"
    plain.mkdir()
    packed.mkdir()
    for ins, out in (((src, trg, trans, align), plain), ((gz[src], gz[trg], gz[trans], gz[align]), packed)):
        r = _train([ins[0], ins[1], out / "t", out / "a", "-s", out / "s", "-d", out / "d", "-I", "2"])
        assert r.returncode == 0, r.stderr
        r = _score([ins[0], ins[1], ins[2], ins[3], "-s", out / "s2", "-d", out / "d2"])
        assert r.returncode == 0, r.stderr
        r = _align([ins[0], ins[1], "-o", out / "l", "-I", "2"])
        assert r.returncode == 0, r.stderr
    for name in ("t", "a", "s", "d", "s2", "d2", "l"):
        assert (plain / name).read_bytes() == (packed / name).read_bytes(), name
    # Through a pipe: the magic bytes are read, not the name.
    with open(gz[src], "rb") as f:
        r = _align(["/dev/stdin", trg, "-o", tmp_path / "piped", "-I", "2"], stdin=f)
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "piped").read_bytes() == (plain / "l").read_bytes()


def test_gzip_input_errors_name_the_file_and_line(tmp_path, small_corpus):
    src, trg = small_corpus
    bad = tmp_path / "bad.f.gz"
    lines = Path(src).read_bytes().split(b"\n")
    lines[2] = b"caf\xe9"
    bad.write_bytes(gzip.compress(b"\n".join(lines)))
    r = _train([bad, trg, tmp_path / "t"])
    assert r.returncode == 1
    assert "{}, line 3".format(bad) in r.stderr
    cut = tmp_path / "cut.f.gz"
    cut.write_bytes(gzip.compress(Path(src).read_bytes())[:-12])
    r = _align([cut, trg, "-o", tmp_path / "l"])
    assert r.returncode == 1
    assert str(cut) + ", line " in r.stderr and "gzip" in r.stderr
    assert not (tmp_path / "t").exists() and not (tmp_path / "l").exists()


def test_gzip_rule_tables_read_as_the_plain_ones(tmp_path):
    rule_tables = pytest.importorskip("qaz.smt.trans_models.tables")
    for name, cls in (("moses-phrase/nc-es-en.phrase-table", "MosesTable"),
                      ("travatar/geoquery-kb.rule", "TravatarTable")):
        path = TABLES / name
        gz = _gzip(path, tmp_path / (path.name + ".gz"))
        plain = getattr(rule_tables, cls)(str(path), trg_key=True)
        packed = getattr(rule_tables, cls)(str(gz), trg_key=True)
        assert len(packed) == len(plain)
        assert sorted(map(str, packed)) == sorted(map(str, plain))
        first = path.read_text(encoding="utf-8").split("\n", 1)[0].split(" ||| ")
        assert [str(r) for r in packed.find_src(first[0])] == [str(r) for r in plain.find_src(first[0])]
    # A bad byte in a gzip table: the same located error as in the plain file.
    text = (TABLES / "moses-phrase/nc-es-en.phrase-table").read_bytes().split(b"\n")
    text[4] = b"\xff" + text[4]
    (tmp_path / "bad.pt").write_bytes(b"\n".join(text))
    (tmp_path / "bad.pt.gz").write_bytes(gzip.compress(b"\n".join(text)))
    errors = []
    for name in ("bad.pt", "bad.pt.gz"):
        with pytest.raises(UnicodeDecodeError) as e:
            rule_tables.MosesTable(str(tmp_path / name))
        errors.append(e.value.reason.replace(name, "X"))
    assert errors[0] == errors[1] and "line 5" in errors[0]


def test_text_reader_reads_gzip_and_names_broken_data(tmp_path):
    data = "".join("line {}\n".format(k) for k in range(5000)).encode()
    (tmp_path / "x.gz").write_bytes(gzip.compress(data))
    with files.open(tmp_path / "x.gz") as f:
        assert "".join(f).encode() == data
    with files.open_binary(tmp_path / "x.gz") as f:
        assert f.read() == data
    (tmp_path / "cut.gz").write_bytes(gzip.compress(data)[:-100])
    with pytest.raises(ValueError, match=r"cut\.gz, line \d+: the gzip data"):
        list(files.open(tmp_path / "cut.gz"))


def test_sharded_runs_read_gzip_corpora(tmp_path):
    pytest.importorskip("distributed")
    lines = {ext: (EXAMPLES / "hansards.1k.{}".format(ext)).read_bytes().split(b"\n")[:120] for ext in "fe"}
    plain = {ext: tmp_path / "c.{}".format(ext) for ext in "fe"}
    for ext in "fe":
        plain[ext].write_bytes(b"\n".join(lines[ext]) + b"\n")
    gz = {ext: _gzip(plain[ext], tmp_path / "c.{}.gz".format(ext)) for ext in "fe"}
    # Two shards: the second starts inside the inflated text.
    for name, (f, e) in (("plain", (plain["f"], plain["e"])), ("gz", (gz["f"], gz["e"]))):
        r = _align(["--model", "2", f, e, "-o", tmp_path / name, "-I", "2", "-q", "--shards", "2"])
        assert r.returncode == 0, r.stderr
    assert (tmp_path / "gz").read_bytes() == (tmp_path / "plain").read_bytes()
    assert (tmp_path / "gz").read_bytes().count(b"\n") == 120


def test_aer_reads_gzip_link_files(tmp_path):
    links = Path(__file__).resolve().parent / "data" / "links"
    gold = _gzip(links / "gold.wa", tmp_path / "gold.wa.gz")
    hyp = _gzip(links / "hyp.decode", tmp_path / "hyp.gz")
    runs = [run_command(["-m", "qaz.aer", str(g), str(h), "--hyp-format", "decode", "--swap-gold"])
            for g, h in ((links / "gold.wa", links / "hyp.decode"), (gold, hyp))]
    assert runs[0].returncode == 0 and runs[0].stdout.startswith("precision ")
    assert runs[1].returncode == 0 and runs[1].stdout == runs[0].stdout
