"""Dask runs on a scheduler and worker processes of their own: lost workers, work stealing, relative paths.

The scheduler is started as ``dask scheduler`` starts it (work stealing on),
the workers without a nanny, so that a worker killed with SIGKILL stays dead.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import time

import pytest

distributed = pytest.importorskip("distributed")

from qaz import align_command  # noqa: E402
from qaz import distributed as qd  # noqa: E402
from qaz.smt.align import emcore  # noqa: E402

from conftest import sample_slice  # noqa: E402

LINES = 200
ITERATIONS = 3
FILES = ("t.txt", "a.txt", "s.txt", "d.txt")


class Cluster:
    """A scheduler and single-threaded worker processes on 127.0.0.1, none of them in the test's folder."""

    def __init__(self, folder):
        self.folder = folder
        self.elsewhere = folder / "elsewhere"
        self.elsewhere.mkdir()
        self.workers = []
        spec = folder / "scheduler.json"
        self.scheduler = subprocess.Popen(
            [sys.executable, "-m", "distributed.cli.dask_scheduler", "--host", "127.0.0.1", "--port", "0",
             "--no-dashboard", "--scheduler-file", str(spec)],
            cwd=self.elsewhere, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while True:
            try:
                self.address = json.loads(spec.read_text())["address"]
                break
            except (OSError, ValueError, KeyError):
                if time.monotonic() > deadline or self.scheduler.poll() is not None:
                    self.close()
                    raise RuntimeError("the Dask scheduler did not start") from None
                time.sleep(0.1)
        self.client = distributed.Client(self.address, timeout="30s")

    def alive(self):
        return [w for w in self.workers if w.poll() is None]

    def ensure(self, n):
        """Starts workers until n are alive and the scheduler knows exactly those."""
        for _ in range(n - len(self.alive())):
            self.workers.append(subprocess.Popen(
                [sys.executable, "-m", "distributed.cli.dask_worker", self.address, "--nthreads", "1",
                 "--no-nanny", "--no-dashboard", "--local-directory", str(self.folder / "space")],
                cwd=self.elsewhere, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 60
        while len(self.client.nthreads()) != n:
            assert time.monotonic() < deadline, "the workers did not join"
            time.sleep(0.1)

    def kill(self, count=1):
        """SIGKILLs `count` workers the scheduler knows; returns their process ids."""
        pids = sorted(self.client.run(os.getpid).values())[:count]
        for pid in pids:
            os.kill(pid, signal.SIGKILL)
        for w in self.workers:
            if w.pid in pids:
                w.wait()
        return pids

    def close(self):
        if getattr(self, "client", None) is not None:
            self.client.close()
        for p in self.workers + [self.scheduler]:
            if p.poll() is None:
                p.kill()
            p.wait()


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    c = Cluster(tmp_path_factory.mktemp("cluster"))
    try:
        c.ensure(2)
        yield c
    finally:
        c.close()


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    return sample_slice(tmp_path_factory.mktemp("corpus"), LINES)


def _conf(corpus, out):
    return dict(src_path=str(corpus[0]), trg_path=str(corpus[1]),
                save_trans_path=str(out / "t.txt"), save_align_path=str(out / "a.txt"),
                save_scores=str(out / "s.txt"), decode_align=str(out / "d.txt"),
                iteration_limit=ITERATIONS, threshold=0.001, nbest=None, character=False, threads=1)


def _read(out, names=FILES):
    return {name: (out / name).read_bytes() for name in names}


def _align(corpus, out, client):
    qd.align(corpus[0], corpus[1], out / "o.txt", forward=out / "f.txt", reverse=out / "r.txt",
             iterations=ITERATIONS, client=client, shards=2)
    return _read(out, ("o.txt", "f.txt", "r.txt"))


@pytest.fixture(scope="module")
def undisturbed(cluster, corpus, tmp_path_factory):
    """Training and alignment in two shards, nothing lost."""
    out = tmp_path_factory.mktemp("undisturbed")
    cluster.ensure(2)
    assert qd.train_status(_conf(corpus, out), client=cluster.client, shards=2) == 0
    return _read(out), _align(corpus, out, cluster.client)


def _killer(cluster, at, count=1):
    """A hook that SIGKILLs workers once the `at` = (stage, n)th submission of that stage is made."""
    seen, killed = [], []

    def hook(client, stage):
        seen.append(stage)
        if not killed and stage == at[0] and seen.count(stage) == at[1]:
            killed.extend(cluster.kill(count))

    return hook, killed


@pytest.fixture
def two_workers(cluster):
    cluster.ensure(2)
    return cluster


# Moments of a run: loading, the maps' set-up, the first walk's tables going
# out, a later walk, the output pass.
MOMENTS = [("words", 1), ("layout", 1), ("walk", 1), ("walk", 5), ("outputs", 1)]


@pytest.mark.parametrize("at", MOMENTS, ids=["{}{}".format(*m) for m in MOMENTS])
def test_training_survives_a_killed_worker(corpus, undisturbed, two_workers, tmp_path, monkeypatch, at):
    hook, killed = _killer(two_workers, at)
    monkeypatch.setattr(qd, "_after_submit", hook)
    assert qd.train_status(_conf(corpus, tmp_path), client=two_workers.client, shards=2) == 0
    assert killed
    assert _read(tmp_path) == undisturbed[0]


@pytest.mark.parametrize("at", [("words", 1), ("outputs", 1)], ids=["words1", "outputs1"])
def test_scoring_survives_a_killed_worker(corpus, undisturbed, two_workers, tmp_path, monkeypatch, at):
    for name in ("t.txt", "a.txt"):
        (tmp_path / name).write_bytes(undisturbed[0][name])
    conf = dict(src_path=str(corpus[0]), trg_path=str(corpus[1]), trans_path=str(tmp_path / "t.txt"),
                align_path=str(tmp_path / "a.txt"), save_scores=str(tmp_path / "s.txt"),
                decode_align=str(tmp_path / "d.txt"), character=False, threads=1)
    assert emcore.score_ibm_model(dict(conf, save_scores=str(tmp_path / "s1.txt"),
                                       decode_align=str(tmp_path / "d1.txt")))
    hook, killed = _killer(two_workers, at)
    monkeypatch.setattr(qd, "_after_submit", hook)
    assert qd.score_status(conf, client=two_workers.client, shards=2) == 0
    assert killed
    assert (tmp_path / "s.txt").read_bytes() == (tmp_path / "s1.txt").read_bytes()
    assert (tmp_path / "d.txt").read_bytes() == (tmp_path / "d1.txt").read_bytes()


ALIGN_MOMENTS = [("words", 1), ("layout", 2), ("walk", 2 * ITERATIONS + 3), ("outputs", 1)]


@pytest.mark.parametrize("at", ALIGN_MOMENTS, ids=["{}{}".format(*m) for m in ALIGN_MOMENTS])
def test_alignment_survives_a_killed_worker(corpus, undisturbed, two_workers, tmp_path, monkeypatch, at):
    hook, killed = _killer(two_workers, at)
    monkeypatch.setattr(qd, "_after_submit", hook)
    assert _align(corpus, tmp_path, two_workers.client) == undisturbed[1]
    assert killed


def test_a_run_without_workers_stops_in_bounded_time(corpus, two_workers, tmp_path, monkeypatch, capfd):
    monkeypatch.setattr(qd, "WORKERLESS_TIMEOUT", 2.0)
    hook, killed = _killer(two_workers, ("walk", 2), count=2)
    monkeypatch.setattr(qd, "_after_submit", hook)
    capfd.readouterr()
    start = time.monotonic()
    assert qd.train_status(_conf(corpus, tmp_path), client=two_workers.client, shards=2) == 1
    assert time.monotonic() - start < 30
    assert len(killed) == 2
    err = capfd.readouterr().err
    assert "no Dask worker is left at the scheduler {}".format(two_workers.address) in err
    assert "Traceback" not in err
    # The tables trained so far are written; the per-pair files need workers.
    assert (tmp_path / "t.txt").exists()
    assert not (tmp_path / "s.txt").exists()
    # The command: exit status 1 and the same message.
    two_workers.ensure(2)
    hook, killed = _killer(two_workers, ("walk", 1), count=2)
    monkeypatch.setattr(qd, "_after_submit", hook)
    start = time.monotonic()
    status = align_command.main(["--model", "2", str(corpus[0]), str(corpus[1]), "-I", str(ITERATIONS),
                                 "-o", str(tmp_path / "o.txt"), "--scheduler", two_workers.address])
    assert status == 1
    assert time.monotonic() - start < 30
    assert "no Dask worker is left at the scheduler" in capfd.readouterr().err


def test_walks_stolen_by_an_idle_worker(corpus, two_workers, tmp_path, monkeypatch):
    client = two_workers.client
    (tmp_path / "calm").mkdir()
    (tmp_path / "stolen").mkdir()
    assert qd.train_status(_conf(corpus, tmp_path / "calm"), client=client, shards=4) == 0
    # Slow sweeps, all asked for on one worker, kept busy at every walk: the
    # scheduler moves walks to the idle one, which has to build their shards.
    busy = sorted(client.nthreads())[0]
    submit = qd._Shards.submit

    def on_busy(self, *args, **kwargs):
        self.homes = [busy] * len(self.homes)
        return submit(self, *args, **kwargs)

    monkeypatch.setattr(qd._Shards, "submit", on_busy)

    idle = sorted(client.nthreads())[1]
    built_elsewhere = []

    def held_shards():
        from qaz import distributed as qd

        return len(qd._held)

    def occupy(client, stage):
        if stage == "walk":
            client.submit(time.sleep, 1.0, workers=[busy], priority=100, pure=False)
            built_elsewhere.append(client.run(held_shards, workers=[idle])[idle])

    def slow_sweeps(seconds):
        # Defined here, so that it travels by value to the workers.
        from qaz import distributed as qd

        sweep = getattr(qd._sweep, "unhurried", qd._sweep)
        if seconds is None:
            qd._sweep = sweep
            return

        def slow(*args):
            time.sleep(seconds)
            return sweep(*args)

        slow.unhurried = sweep
        qd._sweep = slow

    def steal_requests(dask_scheduler):
        return dask_scheduler.extensions["stealing"].count

    monkeypatch.setattr(qd, "_after_submit", occupy)
    before = client.run_on_scheduler(steal_requests)
    client.run(slow_sweeps, 0.2)
    try:
        assert qd.train_status(_conf(corpus, tmp_path / "stolen"), client=client, shards=4) == 0
    finally:
        client.run(slow_sweeps, None)
    assert client.run_on_scheduler(steal_requests) > before
    assert max(built_elsewhere) > 0
    assert _read(tmp_path / "stolen") == _read(tmp_path / "calm")


def _command(name, *args, cwd):
    code = "import sys; from qaz.smt.align.emcore import {0}; sys.argv[0] = 'x'; {0}()".format(name)
    return subprocess.run([sys.executable, "-c", code, *args], cwd=cwd, capture_output=True, text=True,
                          timeout=120)


def test_relative_paths_are_read_where_the_command_runs(corpus, two_workers, tmp_path, monkeypatch):
    # The workers run in another folder, where none of these names exists.
    for path in corpus:
        shutil.copy(path, tmp_path / path.name)
    one = tmp_path / "one"
    one.mkdir()
    assert emcore.train_emcore(_conf(corpus, one))
    address = two_workers.address
    r = _command("main_train", "c.f", "c.e", "t.txt", "a.txt", "-I", str(ITERATIONS), "-j", "1",
                 "--scheduler", address, "--shards", "1", cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert _read(tmp_path, FILES[:2]) == _read(one, FILES[:2])
    # Scoring reads the table files on the workers too.
    r = _command("main_score", "c.f", "c.e", "t.txt", "a.txt", "-s", "s.txt", "-d", "d.txt",
                 "--scheduler", address, cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    r = _command("main_score", "c.f", "c.e", "t.txt", "a.txt", "-s", "one/s.txt", "-d", "one/d.txt",
                 cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert _read(tmp_path, FILES[2:]) == _read(one, FILES[2:])
    monkeypatch.chdir(tmp_path)
    assert align_command.main(["--model", "2", "c.f", "c.e", "-I", str(ITERATIONS), "-o", "o.txt", "-q",
                               "--scheduler", address, "--shards", "1"]) == 0
    assert align_command.main(["--model", "2", "c.f", "c.e", "-I", str(ITERATIONS), "-o", "o1.txt", "-q"]) == 0
    assert (tmp_path / "o.txt").read_bytes() == (tmp_path / "o1.txt").read_bytes()
