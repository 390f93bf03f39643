"""Sharded training and scoring on a local Dask cluster against the single-machine commands."""

import os
import random
import signal
import subprocess
import sys

import numpy as np
import pytest

distributed = pytest.importorskip("distributed")

from qaz import _links, align_command  # noqa: E402
from qaz import distributed as qd  # noqa: E402
from qaz.smt.align import emcore  # noqa: E402

from conftest import sample_slice  # noqa: E402

LINES = 240
ITERATIONS = 3


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    return sample_slice(tmp_path_factory.mktemp("corpus"), LINES)


@pytest.fixture(scope="module")
def client():
    with qd.local_cluster(2) as cluster, distributed.Client(cluster) as c:
        yield c


def _conf(corpus, out, **extra):
    conf = dict(src_path=str(corpus[0]), trg_path=str(corpus[1]),
                save_trans_path=str(out / "t.txt"), save_align_path=str(out / "a.txt"),
                save_scores=str(out / "s.txt"), decode_align=str(out / "d.txt"),
                iteration_limit=ITERATIONS, threshold=0.001, nbest=None, character=False,
                threads=1)
    conf.update(extra)
    return conf


FILES = ("t.txt", "a.txt", "s.txt", "d.txt")


@pytest.fixture(scope="module")
def single(corpus, tmp_path_factory):
    out = tmp_path_factory.mktemp("single")
    assert emcore.train_emcore(_conf(corpus, out))
    return out


def _read(out):
    return {name: (out / name).read_bytes() for name in FILES}


def _trans(path):
    table = {}
    for line in path.read_text().splitlines():
        src, trg, p = line.split("\t")[:3]
        table[src, trg] = float(p)
    return table


def test_one_shard_gives_the_files_of_one_machine(corpus, single, client, tmp_path):
    assert qd.train_emcore(_conf(corpus, tmp_path), client=client, shards=1)
    assert _read(tmp_path) == _read(single)


@pytest.mark.parametrize("shards", [2, 3])
def test_several_shards_agree_and_repeat(corpus, single, client, tmp_path, shards):
    runs = []
    for k in range(2):
        out = tmp_path / str(k)
        out.mkdir()
        assert qd.train_emcore(_conf(corpus, out), client=client, shards=shards)
        runs.append(_read(out))
    assert runs[0] == runs[1]
    # Same words and pairs, probabilities within reassociation.
    ours, theirs = _trans(tmp_path / "0" / "t.txt"), _trans(single / "t.txt")
    assert ours.keys() == theirs.keys()
    for key, p in theirs.items():
        assert ours[key] == pytest.approx(p, rel=1e-6), key
    ours_s = [float(x) for x in (tmp_path / "0" / "s.txt").read_text().split()]
    theirs_s = [float(x) for x in (single / "s.txt").read_text().split()]
    assert ours_s == pytest.approx(theirs_s, rel=1e-9)
    assert len((tmp_path / "0" / "d.txt").read_text().splitlines()) == LINES


@pytest.mark.parametrize("shards", [1, 2, 3])
def test_scoring_is_byte_identical(corpus, single, client, tmp_path, shards):
    conf = dict(src_path=str(corpus[0]), trg_path=str(corpus[1]), trans_path=str(single / "t.txt"),
                align_path=str(single / "a.txt"), save_scores=str(tmp_path / "s.txt"),
                decode_align=str(tmp_path / "d.txt"), character=False, threads=1)
    assert emcore.score_ibm_model(dict(conf, save_scores=str(tmp_path / "s1.txt"),
                                       decode_align=str(tmp_path / "d1.txt")))
    assert qd.score_ibm_model(conf, client=client, shards=shards)
    assert (tmp_path / "s.txt").read_bytes() == (tmp_path / "s1.txt").read_bytes()
    assert (tmp_path / "d.txt").read_bytes() == (tmp_path / "d1.txt").read_bytes()
    # The table file alone (Model 1 entries, 1/T elsewhere).
    conf.update(align_path=None, decode_align=None)
    assert emcore.score_ibm_model(dict(conf, save_scores=str(tmp_path / "s1.txt")))
    assert qd.score_ibm_model(conf, client=client, shards=shards)
    assert (tmp_path / "s.txt").read_bytes() == (tmp_path / "s1.txt").read_bytes()


def test_line_ranges_cover_the_files(tmp_path):
    src, trg = tmp_path / "a", tmp_path / "b"
    src.write_bytes(b"x\n\ny z\r\nlast")
    trg.write_bytes(b"1\n2\n3\n4\n5\n")
    ranges, pairs, n_src, n_trg = qd._shard_ranges(str(src), str(trg), 3)
    assert (pairs, n_src, n_trg) == (4, 4, 5)
    assert [(r[0], r[1]) for r in ranges] == [(0, 1), (1, 1), (2, 2)]
    assert [r[2] for r in ranges] == [0, 2, 3]
    assert [r[3] for r in ranges] == [0, 2, 4]
    ranges, *_ = qd._shard_ranges(str(src), str(trg), 9)
    assert len(ranges) == 4


def _command(name, *args, cwd):
    code = "import sys; from qaz.smt.align.emcore import {0}; sys.argv[0] = 'x'; {0}()".format(name)
    return subprocess.run([sys.executable, "-c", code, *args], cwd=cwd, capture_output=True, text=True,
                          timeout=120)


def test_command_lines(corpus, single, tmp_path):
    f, e = str(corpus[0]), str(corpus[1])
    r = _command("main_train", f, e, "t.txt", "a.txt", "-I", str(ITERATIONS), "-j", "1", "--shards", "1",
                 cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "t.txt").read_bytes() == (single / "t.txt").read_bytes()
    assert (tmp_path / "a.txt").read_bytes() == (single / "a.txt").read_bytes()
    # The log lines of a one-machine run, in order (the memory figures aside).
    log = [line.split(" ", 2)[2] for line in r.stderr.splitlines() if "[INFO]" in line]
    assert "cell layout: 1 shards, each indexed on its worker" in " ".join(log)
    assert sum("start training IBM Model" in line for line in log) == 2
    r = _command("main_score", f, e, "t.txt", "a.txt", "-s", "s.txt", "--shards", "2", cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert _command("main_score", f, e, "t.txt", "a.txt", "-s", "s1.txt", cwd=tmp_path).returncode == 0
    assert (tmp_path / "s.txt").read_bytes() == (tmp_path / "s1.txt").read_bytes()


def test_unreachable_scheduler_names_the_address(corpus, tmp_path):
    address = "tcp://127.0.0.1:9"
    r = _command("main_score", str(corpus[0]), str(corpus[1]), "t.txt", "-s", "s.txt",
                 "--scheduler", address, cwd=tmp_path)
    assert r.returncode == 1
    assert "cannot reach the Dask scheduler at " + address in r.stderr
    assert not (tmp_path / "s.txt").exists()


def test_a_worker_lost_mid_iteration_costs_a_recomputation(corpus, single, tmp_path, monkeypatch):
    walks = []

    def kill_one(client, stage):
        walks.append(stage)
        if walks.count("walk") == 3 and stage == "walk":
            pids = client.run(os.getpid)
            os.kill(sorted(pids.values())[0], signal.SIGKILL)

    monkeypatch.setattr(qd, "_after_submit", kill_one)
    with qd.local_cluster(2) as cluster, distributed.Client(cluster) as c:
        assert qd.train_emcore(_conf(corpus, tmp_path), client=c, shards=2)
    reference = tmp_path / "ref"
    reference.mkdir()
    monkeypatch.setattr(qd, "_after_submit", None)
    with qd.local_cluster(2) as cluster, distributed.Client(cluster) as c:
        assert qd.train_emcore(_conf(corpus, reference), client=c, shards=2)
    assert walks.count("walk") > 3
    assert _read(tmp_path) == _read(reference)


# ---------------------------------------------------------------------------
# Word alignment (qaz-align --shards)

LINK_FILES = ("o.txt", "f.txt", "r.txt", "p.txt")


@pytest.fixture(scope="module")
def aligned(corpus, tmp_path_factory):
    """qaz-align's four link files on one machine: symmetrised, forward, reverse, posterior."""
    out = tmp_path_factory.mktemp("aligned")
    f, e = str(corpus[0]), str(corpus[1])
    common = [f, e, "-I", str(ITERATIONS), "-q"]
    assert align_command.main(["--model", "2"] + common + ["-o", str(out / "o.txt"), "-f", str(out / "f.txt"),
                                        "-r", str(out / "r.txt")]) == 0
    posterior = ["--sym", "posterior", "-p", "0.4", "-o", str(out / "p.txt")]
    assert align_command.main(["--model", "2"] + common + posterior) == 0
    return out


def _align_sharded(corpus, out, client, shards):
    f, e = corpus
    qd.align(f, e, out / "o.txt", forward=out / "f.txt", reverse=out / "r.txt", iterations=ITERATIONS,
             client=client, shards=shards)
    qd.align(f, e, out / "p.txt", sym="posterior", posterior_threshold=0.4, iterations=ITERATIONS,
             client=client, shards=shards)
    return {name: (out / name).read_bytes() for name in LINK_FILES}


def test_align_one_shard_gives_the_links_of_one_machine(corpus, aligned, client, tmp_path, capfd):
    ours = _align_sharded(corpus, tmp_path, client, 1)
    for name in LINK_FILES:
        assert ours[name] == (aligned / name).read_bytes(), name
    assert all(len(_links.read_links(aligned / name)) == LINES for name in LINK_FILES)
    # The command line: --shards alone starts a local cluster.  --sym none
    # trains the forward model only.
    capfd.readouterr()
    out = tmp_path / "none.txt"
    assert align_command.main(["--model", "2", str(corpus[0]), str(corpus[1]), "-I", str(ITERATIONS), "--sym", "none",
                               "-o", str(out), "--shards", "1"]) == 0
    assert out.read_bytes() == ours["f.txt"]
    log = capfd.readouterr().err
    assert "training the forward model on {} sentence pairs".format(LINES) in log
    assert "training the reverse model" not in log
    assert "cell layout: 1 shards, each indexed on its worker" in log


def test_align_two_shards_repeat_and_stay_close(corpus, aligned, client, tmp_path):
    runs = []
    for k in range(2):
        out = tmp_path / str(k)
        out.mkdir()
        runs.append(_align_sharded(corpus, out, client, 2))
    assert runs[0] == runs[1]
    # Counts summed shard by shard only move near-ties.
    for name in LINK_FILES:
        ours, theirs = _links.read_links(tmp_path / "0" / name), _links.read_links(aligned / name)
        assert len(ours) == len(theirs) == LINES
        a = {(k, link) for k, links in enumerate(ours) for link in links}
        b = {(k, link) for k, links in enumerate(theirs) for link in links}
        assert len(a & b) >= 0.98 * len(a | b), name


def test_align_hmm_in_agreement_on_shards(corpus, client, tmp_path):
    """The default model of qaz-align, map-reduced: one shard gives the files of one machine, several
    repeat themselves and stay close to it."""
    f, e = str(corpus[0]), str(corpus[1])
    one = tmp_path / "one"
    one.mkdir()
    names = ("o.txt", "f.txt", "r.txt")
    assert align_command.main([f, e, "-I", "2", "-q", "-j", "1"] + [
        x for n, flag in zip(names, ("-o", "-f", "-r")) for x in (flag, str(one / n))]) == 0
    runs = []
    for shards in (1, 3, 3):
        out = tmp_path / "s{}-{}".format(shards, len(runs))
        out.mkdir()
        qd.align(f, e, out / "o.txt", forward=out / "f.txt", reverse=out / "r.txt", sym="posterior",
                 posterior_threshold=0.25, iterations=2, client=client, shards=shards, model="hmm")
        runs.append({n: (out / n).read_bytes() for n in names})
    assert runs[0] == {n: (one / n).read_bytes() for n in names}
    assert runs[1] == runs[2]
    # One direction alone (no agreement, forward links only).
    alone = [tmp_path / "alone1.txt", tmp_path / "alone2.txt"]
    assert align_command.main([f, e, "-I", "2", "-q", "-j", "1", "--no-agreement", "-s", "none",
                               "-o", str(alone[0])]) == 0
    qd.align(f, e, alone[1], sym="none", iterations=2, client=client, shards=2, model="hmm", agreement=False)
    ours, theirs = _links.read_links(alone[1]), _links.read_links(alone[0])
    assert len(ours) == len(theirs) == LINES
    a = {(k, link) for k, links in enumerate(ours) for link in links}
    b = {(k, link) for k, links in enumerate(theirs) for link in links}
    assert len(a & b) >= 0.98 * len(a | b)
    for n in names:
        ours, theirs = _links.read_links(tmp_path / "s3-1" / n), _links.read_links(one / n)
        a = {(k, link) for k, links in enumerate(ours) for link in links}
        b = {(k, link) for k, links in enumerate(theirs) for link in links}
        assert len(a & b) >= 0.98 * len(a | b), n


def test_align_rejects_bad_arguments_before_any_cluster(corpus, tmp_path):
    f, e = corpus
    with pytest.raises(ValueError, match="unknown symmetrisation method 'diag'"):
        qd.align(f, e, tmp_path / "o.txt", sym="diag")
    with pytest.raises(ValueError, match="shards must be a whole number of at least 1, got 0"):
        qd.align(f, e, tmp_path / "o.txt", shards=0)
    with pytest.raises(FileNotFoundError, match="missing.f"):
        qd.align(tmp_path / "missing.f", e, tmp_path / "o.txt")
    assert not (tmp_path / "o.txt").exists()


def test_align_unreachable_scheduler_names_the_address(corpus, tmp_path, capfd):
    address = "tcp://127.0.0.1:9"
    out = tmp_path / "o.txt"
    args = ["--model", "2", str(corpus[0]), str(corpus[1]), "-o", str(out), "--scheduler", address]
    assert align_command.main(args) == 1
    assert "cannot reach the Dask scheduler at " + address in capfd.readouterr().err
    assert not out.exists()



def test_align_survives_a_worker_lost_in_the_reverse_training(corpus, client, tmp_path, monkeypatch):
    walks, killed = [], []

    def kill_one(client, stage):
        walks.append(stage)
        if stage == "walk" and walks.count("walk") == 2 * ITERATIONS + 4:  # past the forward model's walks
            pids = client.run(os.getpid)
            killed.append(sorted(pids.values())[0])
            os.kill(killed[0], signal.SIGKILL)

    for name in ("ref", "lost"):
        (tmp_path / name).mkdir()
    qd.align(corpus[0], corpus[1], tmp_path / "ref" / "o.txt", reverse=tmp_path / "ref" / "r.txt",
             iterations=ITERATIONS, client=client, shards=2)
    monkeypatch.setattr(qd, "_after_submit", kill_one)
    with qd.local_cluster(2) as cluster, distributed.Client(cluster) as c:
        qd.align(corpus[0], corpus[1], tmp_path / "lost" / "o.txt", reverse=tmp_path / "lost" / "r.txt",
                 iterations=ITERATIONS, client=c, shards=2)
        assert killed and killed[0] not in c.run(os.getpid).values()
    assert walks.count("walk") > 2 * ITERATIONS + 4
    for name in ("o.txt", "r.txt"):
        assert (tmp_path / "lost" / name).read_bytes() == (tmp_path / "ref" / name).read_bytes()


def test_calls_placed_on_another_worker_rebuild_their_shards(corpus, client, tmp_path, monkeypatch):
    # As a scheduler that steals work or replaces a worker may do: each call
    # goes to a worker drawn at random (the same draws every run), wherever
    # its shard was built.
    workers = sorted(client.nthreads())
    draw = random.Random(7)
    reference, moved = tmp_path / "reference", tmp_path / "moved"
    reference.mkdir()
    moved.mkdir()
    assert qd.train_emcore(_conf(corpus, reference), client=client, shards=2)
    ref_links = _align_sharded(corpus, reference, client, 2)
    calls = []
    submit = client.submit

    def elsewhere(*args, **kwargs):
        calls.append(1)
        kwargs.update(workers=[draw.choice(workers)], allow_other_workers=False)
        return submit(*args, **kwargs)

    monkeypatch.setattr(client, "submit", elsewhere)
    assert qd.train_emcore(_conf(corpus, moved), client=client, shards=2)
    assert _read(moved) == _read(reference)
    assert _align_sharded(corpus, moved, client, 2) == ref_links
    assert len(calls) > 20


def test_a_scheduler_that_steals_work_gives_the_same_files(corpus, client, tmp_path):
    # The Dask default, as LocalCluster() and `dask scheduler` start it.
    (tmp_path / "calm").mkdir()
    (tmp_path / "stealing").mkdir()
    assert qd.train_emcore(_conf(corpus, tmp_path / "calm"), client=client, shards=3)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster, distributed.Client(cluster) as c:
        assert c.run_on_scheduler(lambda dask_scheduler: "stealing" in dask_scheduler.extensions)
        assert qd.train_emcore(_conf(corpus, tmp_path / "stealing"), client=c, shards=3)
    assert _read(tmp_path / "stealing") == _read(tmp_path / "calm")


def test_a_worker_rebuilds_a_shard_it_does_not_hold_as_asked(corpus, monkeypatch):
    # What a worker does with a shard's calls, outside any cluster.
    ranges, pairs, _, _ = qd._shard_ranges(str(corpus[0]), str(corpus[1]), 2)
    spec = qd._ShardSpec("test-run", "train", str(corpus[0]), str(corpus[1]), *ranges[1][:2],
                         *ranges[1][2:], False, 1)
    loads = []
    load = qd._load_spec
    monkeypatch.setattr(qd, "_load_spec", lambda s: loads.append(s) or load(s))
    try:
        words, _ = qd._on_held(spec, [], qd._words, [], False)
        assert words[5] == ranges[1][1] == pairs - ranges[1][0]
        S, T = len(words[0]), len(words[1])
        index = ["index", qd._train_index, (np.arange(S, dtype=np.int32), np.arange(T, dtype=np.int32),
                                            S, T, words[2], words[3])]
        layout, _ = qd._on_held(spec, [index], qd._layout, [], False)
        assert len(loads) == 1  # the loaded shard went on to its index
        assert qd._on_held(spec, [index], qd._layout, [], False)[0][2] == layout[2]
        assert len(loads) == 1
        # Asked for an earlier state than it holds (a call run again): built anew.
        assert qd._on_held(spec, [], qd._words, [], False)[0][:2] == words[:2]
        assert len(loads) == 2
        # A step that fails leaves nothing half built behind.
        bad = ["index", qd._train_index, (np.arange(1, dtype=np.int32), np.arange(1, dtype=np.int32),
                                          S, T, words[2], words[3])]
        with pytest.raises(IndexError):
            qd._on_held(spec, [bad], qd._layout, [], False)
        assert qd._held[spec].shard is None
        # The last call drops the shard.
        qd._on_held(spec, [index], qd._layout, [], True)
        assert spec not in qd._held
    finally:
        qd._forget("test-run")
    assert spec not in qd._held


def test_a_shard_refuses_values_that_do_not_cover_its_tables(corpus, tmp_path):
    # Values reach a shard by position: a transfer that stops short of its
    # cells or of its last sentence shape is refused before any walk or file.
    from qaz import _shard

    ranges, _, _, _ = qd._shard_ranges(str(corpus[0]), str(corpus[1]), 2)
    first, count, src_off, trg_off = ranges[1]
    shard = _shard.load(str(corpus[0]), str(corpus[1]), src_off, trg_off, first, count, False, 1)
    words = shard.words()
    S, T, A, B = len(words[0]), len(words[1]), words[2], words[3]
    shard = shard.remap(np.arange(S, dtype=np.int32), np.arange(T, dtype=np.int32)).index(S, T, A, B)
    keys, shapes, _, _ = shard.layout()
    sizes = [int(J) * (int(I) + 1) for I, J in shapes]
    with pytest.raises(ValueError, match="do not match"):
        shard.attach(np.arange(len(keys) - 1, dtype=np.uint32), np.zeros(len(sizes), dtype=np.uint64))
    shard.attach(np.arange(len(keys), dtype=np.uint32),
                 np.cumsum([0] + sizes[:-1]).astype(np.uint64))
    p, a = np.full(len(keys), 1.0 / T), np.full(sum(sizes), 0.25)
    with pytest.raises(IndexError, match="do not cover the shard's shapes"):
        shard.sweep(p, a[:-1], True, True, True, True)
    with pytest.raises(IndexError, match="do not cover the shard's cells"):
        shard.sweep(p[:-1], a, True, True, True, True)
    scores = tmp_path / "s.txt"
    with pytest.raises(IndexError, match="do not cover the shard's shapes"):
        shard.write_trained(p, a[:-1], True, str(scores), None)
    assert not scores.exists()
    total, counts, align_counts = shard.sweep(p, a, True, True, True, True)
    assert np.isfinite(total) and total > 0
    assert (len(counts), len(align_counts)) == (len(keys), sum(sizes))
    shard.write_trained(p, a, True, str(scores), None)
    assert len(scores.read_text().splitlines()) == count
