"""Training and scoring on a Dask cluster, the corpus split into shards of lines.

Usage::

    from distributed import Client
    from qaz import distributed
    distributed.train_emcore(conf, client=Client("tcp://host:8786"), shards=8)

``conf`` holds the configuration keys of ``qaz.smt.align.emcore.train_emcore``
and ``score_ibm_model``; both functions return the same boolean.  Without a
client a local cluster of one single-threaded worker process per CPU runs
the work and is closed afterwards; without ``shards``, one shard per worker.

Training is map-reduce EM.  Each shard is a line range of both files, read by
a worker into a vocabulary of its own and kept there for the whole run.  The
driver merges the shards' words in shard order, so every id is the one a
single-machine run gives, and each shard remaps its pairs to those ids.  The
driver's translation table holds the union of the shards' co-occurring pairs;
each shard's table is laid out for its own pairs, its cells mapped once onto
the driver's.  Every walk of the engine's EM loop sends the driver's current
values to the workers (one copy each), lets every shard run the engine's
sweep, and sums the shards' counts and entropy totals in shard order.  With
one shard the files are those of ``qaz-train``, byte for byte.

Scoring maps the shards, each scoring its lines as ``qaz-score`` would score
the whole corpus (entries missing from the table file read 1/T, T counting
the target words of the whole corpus and of the file); the outputs are the
shards' outputs in corpus order, byte for byte those of ``qaz-score``.

Word alignment (:func:`align`, ``qaz-align --shards``) trains both
directions as training does, one after the other.  Each shard reads its line
range once, forward and with its sides exchanged as the one-machine aligner
exchanges the whole corpus; the words of each direction are merged in shard
order, so the ids, and with one shard every link, are those of ``qaz-align``.
The links (symmetrised, forward, reverse) are a map over the shards under
the trained tables, written in corpus order.

A shard is defined by its lines: the two files (absolute paths, resolved
where the run starts), its first line and count, the byte offsets of that
line and the loading options.  Every task on a shard gets that definition
and the steps that bring a freshly loaded shard to the state the task needs
(its ids in the whole corpus, its cells' maps onto the driver's tables);
each worker keeps the shards it has built in a cache keyed by their
definitions and rebuilds a shard it does not hold.  The steps' data and each
walk's tables are ordinary task results, which the scheduler recomputes
when the worker holding them is lost.  A walk moved to another worker (work
stealing), a lost worker or a restarted one cost a rebuild, never the run,
and the results stay those of an undisturbed run.  When the cluster has had
no worker at all for ``WORKERLESS_TIMEOUT`` seconds the run stops with
:class:`NoWorkerLeft`.
"""

import collections
import contextlib
import os
import tempfile
import threading
import time
import uuid

import numpy as np

from qaz import _aligner, _shard
from qaz.common import files, logging
from qaz.common.config import Config
from qaz.smt.align import emcore, empos
from qaz.smt.align._run import (
    EXIT_FAILED,
    EXIT_OK,
    EXIT_REJECTED,
    check_output_paths,
    check_threads,
    model_schedule,
    path_clash,
    score_config_refused,
    train_config_refused,
)

__all__ = ["train_emcore", "score_ibm_model", "align"]

# Dask (``dask`` and ``distributed``, the dask extra) is imported inside the
# functions that use it: the package works without it, and the commands load
# this module on one machine too.  asyncio serves the scheduler probe alone.

logger = logging.getColorLogger("qaz.smt.align.emcore")

# How long to wait for a scheduler named on the command line.
CONNECT_TIMEOUT = "5s"
# How long (seconds) a run waits while its cluster has no worker at all.
WORKERLESS_TIMEOUT = 60.0
# How often (seconds) a waiting run looks at the cluster's workers.
_POLL = 1.0
_CHUNK = 1 << 24

# Called (if set) as _after_submit(client, stage) right after the tasks of a
# stage ("words", "layout", "walk", "outputs") are submitted; tests use it to
# disturb a run.
_after_submit = None


def _submitted(client, stage):
    if _after_submit is not None:
        _after_submit(client, stage)


# ---------------------------------------------------------------------------
# Line ranges


def _count_lines(path):
    """Lines as the engine counts them: "\\n" ends a line, a last line without one counts."""
    n = 0
    last = b"\n"
    with files.open_binary(path) as f:
        while True:
            block = f.read(_CHUNK)
            if not block:
                break
            n += block.count(b"\n")
            last = block[-1:]
    return n + (last != b"\n")


def _line_offsets(path, lines):
    """Byte offsets of the starts of the given (ascending, 0-based) lines."""
    out = []
    want = iter(lines)
    target = next(want, None)
    seen = 0  # lines ended before `pos`
    pos = 0
    with files.open_binary(path) as f:
        while target is not None:
            while target is not None and target == seen:
                out.append(pos)
                target = next(want, None)
            if target is None:
                break
            block = f.read(_CHUNK)
            if not block:
                # Lines past the end start at the end.
                out.extend([pos] * (1 + sum(1 for _ in want)))
                break
            start = 0
            while target is not None:
                k = block.find(b"\n", start)
                if k < 0:
                    break
                seen += 1
                start = k + 1
                if seen == target:
                    out.append(pos + start)
                    target = next(want, None)
                    while target is not None and target == seen:
                        out.append(pos + start)
                        target = next(want, None)
            if target is not None:
                seen += block.count(b"\n", start)
            pos += len(block)
    return out


def _shard_ranges(src_path, trg_path, shards):
    """(first line, count, src offset, trg offset) per shard, the pairs and the two line counts."""
    n_src, n_trg = _count_lines(src_path), _count_lines(trg_path)
    pairs = min(n_src, n_trg)
    k = max(1, min(shards, pairs))
    firsts = [i * pairs // k for i in range(k)]
    src_off = _line_offsets(src_path, firsts)
    trg_off = _line_offsets(trg_path, firsts)
    bounds = firsts + [pairs]
    ranges = [(firsts[i], bounds[i + 1] - firsts[i], src_off[i], trg_off[i]) for i in range(k)]
    return ranges, pairs, n_src, n_trg


def _log_line_counts(src_path, trg_path, pairs, n_src, n_trg, log=logger):
    if n_src != n_trg:
        log.warning("{} has {} lines but {} has {}; only the first {} pairs are used".format(
            src_path, n_src, trg_path, n_trg, pairs))


# ---------------------------------------------------------------------------
# Shards on the workers

_ShardSpec = collections.namedtuple(
    "_ShardSpec", "run kind src trg first count src_off trg_off character option")
_ShardSpec.__doc__ = """The definition of a shard: its lines and how they are read.

``run`` tells the runs apart (a worker may serve several), ``kind`` is
"train" (a ``qaz._shard.Shard``, ``option`` its engine threads) or "align" (a
``qaz._aligner.Shard``, ``option`` whether it holds both directions).
"""


class _Held:
    """A worker's shard of one definition and the names of the steps it went through."""

    __slots__ = ("lock", "shard", "steps")

    def __init__(self):
        self.lock = threading.Lock()
        self.shard = None
        self.steps = ()


_held = {}
_held_lock = threading.Lock()


def _load_spec(spec):
    if spec.kind == "align":
        return _aligner.load_shard(spec.src, spec.trg, spec.src_off, spec.trg_off, spec.first,
                                   spec.count, spec.character, spec.option)
    return _shard.load(spec.src, spec.trg, spec.src_off, spec.trg_off, spec.first, spec.count,
                       spec.character, spec.option)


def _worker_address():
    from distributed import get_worker

    try:
        return get_worker().address
    except ValueError:  # not on a worker
        return None


def _on_held(spec, steps, fn, args, last):
    """(fn(shard, *args), this worker's address) on the shard of `spec` brought through `steps`.

    `steps` are [name, step, data] lists, step(shard, data) giving the next
    state.  The worker's shard is used when the steps it went through begin
    the wanted ones; otherwise the shard is loaded again from its lines.
    `last` drops the shard afterwards (its last use in the run).
    """
    with _held_lock:
        held = _held.setdefault(spec, _Held())
    with held.lock:
        try:
            names = tuple(name for name, _, _ in steps)
            if held.shard is None or names[:len(held.steps)] != held.steps:
                held.shard, held.steps = None, ()
                held.shard = _load_spec(spec)
            for name, step, data in steps[len(held.steps):]:
                held.shard = step(held.shard, data)
                held.steps += (name,)
            result = fn(held.shard, *args)
        except BaseException:
            held.shard, held.steps = None, ()
            raise
        if last:
            held.shard, held.steps = None, ()
            with _held_lock:
                if _held.get(spec) is held:
                    del _held[spec]
    return result, _worker_address()


def _forget(run):
    """Drops this worker's shards of `run`."""
    with _held_lock:
        for spec in [spec for spec in _held if spec.run == run]:
            del _held[spec]


def _value(data):
    return data


# Steps and calls of training and scoring (qaz._shard.Shard).


def _train_index(shard, data):
    src_map, trg_map, S, T, A, B = data
    return shard.remap(src_map, trg_map).index(S, T, A, B)


def _train_attach(shard, data):
    shard.attach(*data)
    return shard


def _words(shard):
    return shard.words()


def _layout(shard):
    return shard.layout()


def _sweep(shard, tables, entropy, expect, expect_model2):
    p, a = tables
    # The model is a Model 2 in both loops: its entropy is Model 2's.
    return shard.sweep(p, a, entropy, expect, expect_model2, True)


def _read_back(path):
    if path is None:
        return None
    with open(path, "rb") as f:
        return f.read()


@contextlib.contextmanager
def _scratch_paths(scores, decode):
    with tempfile.TemporaryDirectory(prefix="qaz-shard-") as tmp:
        yield (os.path.join(tmp, "scores") if scores else None,
               os.path.join(tmp, "decoded") if decode else None)


def _write_trained(shard, tables, scores, decode):
    p, a = tables
    with _scratch_paths(scores, decode) as (s, d):
        shard.write_trained(p, a, True, s, d)
        return _read_back(s), _read_back(d)


def _score_stored(shard, trans_path, align_path, T, scores, decode):
    with _scratch_paths(scores, decode) as (s, d):
        info = shard.score_stored(trans_path, align_path, T, s, d)
        return _read_back(s), _read_back(d), info


# ---------------------------------------------------------------------------
# Cluster


def _cpus():
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


class SchedulerUnreachable(ConnectionError):
    """The scheduler named on the command line did not answer."""


def _probe_scheduler(address):
    """Raises SchedulerUnreachable unless a Dask scheduler answers at `address` in time.

    The client's own connection waits for ever on a server that accepts
    and stays silent, and reads the bytes of another protocol as absurd
    message sizes; one identity call, bounded in time, tells first.
    """
    import asyncio

    from dask.utils import parse_timedelta
    from distributed.comm import connect

    timeout = parse_timedelta(CONNECT_TIMEOUT)

    async def identity():
        comm = await connect(address, timeout=timeout)
        try:
            await comm.write({"op": "identity", "reply": True})
            return await comm.read()
        finally:
            comm.abort()

    try:
        reply = asyncio.run(asyncio.wait_for(identity(), timeout))
    except (OSError, TimeoutError) as e:
        raise SchedulerUnreachable("cannot reach the Dask scheduler at {}: {}".format(
            address, str(e) or "no answer within {}".format(CONNECT_TIMEOUT))) from None
    except Exception as e:
        raise SchedulerUnreachable("cannot reach the Dask scheduler at {}: the server there does not "
                                   "answer as a Dask scheduler ({})".format(address, type(e).__name__)) from None
    if not isinstance(reply, dict) or reply.get("type") != "Scheduler":
        kind = reply.get("type") if isinstance(reply, dict) else None
        raise SchedulerUnreachable("the server at {} is not a Dask scheduler{}".format(
            address, " (it is a Dask {})".format(kind) if kind else ""))


@contextlib.contextmanager
def _cluster(client, scheduler=None):
    """Yields (client, local): the given client, one connected to `scheduler`, or a local cluster's."""
    if client is not None:
        yield client, False
        return
    from distributed import Client

    if scheduler:
        try:
            if not scheduler.startswith("inproc://"):  # in-process addresses need the caller's loop
                _probe_scheduler(scheduler)
            c = Client(scheduler, timeout=CONNECT_TIMEOUT)
        except SchedulerUnreachable:
            raise
        except (OSError, TimeoutError) as e:
            raise SchedulerUnreachable(
                "cannot reach the Dask scheduler at {}: {}".format(scheduler, e)) from None
        except Exception as e:
            raise SchedulerUnreachable(
                "cannot reach the Dask scheduler at {}: {}: {}".format(scheduler, type(e).__name__, e)) from None
        with c:
            yield c, False
        return
    with local_cluster(_cpus()) as cluster, Client(cluster) as c:
        yield c, True


@contextlib.contextmanager
def local_cluster(workers):
    """A local cluster of single-threaded worker processes, without work stealing.

    A walk moved to another worker would cost a rebuild of its shard there;
    the shards, one per worker, keep their workers busy alike.
    """
    import dask
    from distributed import LocalCluster

    with dask.config.set({"distributed.scheduler.work-stealing": False}):
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=":0")
    with cluster:
        yield cluster


def _worker_count(client):
    return max(1, len(client.scheduler_info().get("workers", {})))


def _engine_threads(conf, local):
    threads = conf.get("threads", None)
    if threads:
        return int(threads)
    # One worker per CPU locally; elsewhere every CPU of the worker.
    return 1 if local else 0


# ---------------------------------------------------------------------------
# Shared set-up


class NoWorkerLeft(RuntimeError):
    """The cluster has had no worker for longer than a run waits for one."""


def _wait_for(client, futures):
    """Waits until `futures` are done; NoWorkerLeft once the cluster has had no worker for too long.

    A lost worker's tasks are run again on the others (or on the worker that
    replaces it); only a cluster without any worker can keep them waiting.
    """
    from distributed import wait

    alone_since = None
    while True:
        try:
            wait(futures, timeout=_POLL)
            return
        except TimeoutError:
            pass
        if client.nthreads():
            alone_since = None
        elif alone_since is None:
            alone_since = time.monotonic()
        elif time.monotonic() - alone_since >= WORKERLESS_TIMEOUT:
            raise NoWorkerLeft("no Dask worker is left at the scheduler {}: the run stopped after "
                               "waiting {:g} s for one".format(client.scheduler.address, WORKERLESS_TIMEOUT))


def _put(client, data):
    """A future of `data`, held by a worker and sent as the input of the tasks that take it.

    The data travel in the task graph, so the scheduler can compute them
    again when their worker is lost (a scattered copy could not be).
    """
    import dask

    with dask.config.set({"distributed.admin.large-graph-warning-threshold": "1PiB"}):
        return client.submit(_value, data, pure=False)


class _Shards:
    """The shards of one run as the driver knows them: their definitions, their steps, their workers."""

    def __init__(self, client, kind, src, trg, ranges, character, option):
        self.client = client
        self.run = uuid.uuid4().hex
        # Workers resolve paths from their own folder: send absolute ones.
        src, trg = os.path.abspath(src), os.path.abspath(trg)
        self.specs = [_ShardSpec(self.run, kind, src, trg, first, count, so, to, character, option)
                      for first, count, so, to in ranges]
        self.steps = [[] for _ in self.specs]
        self.homes = [None] * len(self.specs)

    def __len__(self):
        return len(self.specs)

    def add_step(self, name, step, data):
        """Adds step(shard, data[k]) to each shard k's steps (done where the shard is next used)."""
        for k, d in enumerate(data):
            self.steps[k] = self.steps[k] + [[name, step, _put(self.client, d)]]

    def submit(self, fn, *args, per_shard=None, last=False):
        """Futures of fn(shard, *args, *per_shard(k)) for each shard k, each placed where its shard is.

        The placement is loose: a shard whose worker is gone, or whose task
        another worker takes, is rebuilt there.
        """
        futures = []
        for k, spec in enumerate(self.specs):
            place = {}
            if self.homes[k] is not None:
                place = dict(workers=[self.homes[k]], allow_other_workers=True)
            call_args = list(args) + list(per_shard(k) if per_shard else ())
            futures.append(self.client.submit(_on_held, spec, self.steps[k], fn, call_args, last,
                                              pure=False, **place))
        return futures

    def gather(self, futures):
        """The results of `futures` (one a shard, in shard order), noting where each shard now is."""
        _wait_for(self.client, futures)
        return list(self.results(futures))

    def results(self, futures):
        """The results of `futures` one at a time, in shard order."""
        for k, future in enumerate(futures):
            result, self.homes[k] = _result(self.client, future)
            yield result

    def forget(self):
        """Drops the run's shards from the workers (those still there)."""
        try:
            self.client.run(_forget, self.run)
        except Exception:  # a lost worker has nothing left to drop
            pass


def _result(client, future):
    """The result of `future`, waited for as _wait_for waits."""
    while True:
        _wait_for(client, [future])
        try:
            return future.result(timeout=_POLL)
        except UnicodeDecodeError as e:
            # The error comes back from the worker rebuilt without its fields.
            if str(e) or len(e.args) != 5:
                raise
            raise UnicodeDecodeError(*e.args) from None
        except TimeoutError:
            # Done, then lost with its worker before it could be fetched.
            if future.status == "error":
                raise


def _load_shards(client, conf, shards, threads):
    """The run's shards and their word infos, pairs and line counts."""
    src, trg = conf.data.src_path, conf.data.trg_path
    character = bool(conf.get("character", False))
    ranges, pairs, n_src, n_trg = _shard_ranges(src, trg, shards)
    run = _Shards(client, "train", src, trg, ranges, character, threads)
    try:
        futures = run.submit(_words)
        _submitted(client, "words")
        return run, run.gather(futures), pairs, n_src, n_trg
    except BaseException:
        run.forget()
        raise


def _log_loading(conf, pairs, n_src, n_trg, infos):
    src, trg = conf.data.src_path, conf.data.trg_path
    logger.info("loading files: {} {}".format(src, trg))
    _log_line_counts(src, trg, pairs, n_src, n_trg)
    for info in infos:
        if info[4]:
            logger.warning(info[4][0])
            break


def _merge(infos, side):
    """The words of all shards in shard order, and each shard's map to their ids."""
    index, words, maps = {}, [], []
    for info in infos:
        m = np.empty(len(info[side]), dtype=np.int32)
        for k, w in enumerate(info[side]):
            i = index.get(w)
            if i is None:
                i = index[w] = len(words)
                words.append(w)
            m[k] = i
        maps.append(m)
    return words, maps


def _setup_log():
    logger.info("----")
    logger.info("setting up to train/score IBM Models")


# ---------------------------------------------------------------------------
# Training


class _Training:
    def __init__(self, client, conf, trainer, shards, threads):
        self.client = client
        _setup_log()
        self.shards, infos, self.pairs, n_src, n_trg = _load_shards(client, conf, shards, threads)
        _log_loading(conf, self.pairs, n_src, n_trg, infos)
        src_words, src_maps = _merge(infos, 0)
        trg_words, trg_maps = _merge(infos, 1)
        A = max(info[2] for info in infos)
        B = max(info[3] for info in infos)
        S, T = len(src_words), len(trg_words)
        try:
            self._index(trainer, src_words, trg_words, src_maps, trg_maps, S, T, A, B)
        except BaseException:
            self.shards.forget()
            raise

    def _index(self, trainer, src_words, trg_words, src_maps, trg_maps, S, T, A, B):
        client = self.client
        self.shards.add_step("index", _train_index,
                             [(src_maps[k], trg_maps[k], S, T, A, B) for k in range(len(self.shards))])
        futures = self.shards.submit(_layout)
        _submitted(client, "layout")
        layouts = self.shards.gather(futures)
        self.driver = _shard.Driver(trainer, src_words, trg_words, A, B,
                                    [lay[0] for lay in layouts], [lay[1] for lay in layouts],
                                    len(layouts))
        self.shards.add_step("attach", _train_attach,
                             [(self.driver.cell_map(k), self.driver.block_offsets(k))
                              for k in range(len(self.shards))])

    def _tables(self):
        return _put(self.client, self.driver.values())

    def train(self, limit):
        """Model 1 then Model 2, each at most ``limit`` iterations (the engine's schedule)."""
        def walk(entropy, expect, model2):
            tables = self._tables()
            futures = self.shards.submit(_sweep, tables, entropy, expect, model2)
            _submitted(self.client, "walk")
            return self.shards.gather(futures)

        self.driver.run_schedule(limit, self.pairs, walk)

    def write_outputs(self, scores, decode):
        if scores:
            logger.info("calculating and storing alignment scores into file: {}".format(scores))
        if decode:
            logger.info("decoding and storing alignment into file: {}".format(decode))
        tables = self._tables()
        futures = self.shards.submit(_write_trained, tables, bool(scores), bool(decode), last=True)
        _submitted(self.client, "outputs")
        _concatenate(self.shards.results(futures), scores, decode)


def _concatenate(results, scores, decode):
    """Writes the shards' outputs in corpus order; returns the shards' other results."""
    outputs = [files.open_output(p) if p else None for p in (scores, decode)]
    extra = []
    try:
        for result in results:
            for f, data in zip(outputs, result[:2]):
                if f is not None:
                    f.write(data)
            extra.append(result[2:])
    except BaseException:
        for f in outputs:
            if f is not None:
                f.discard()
        raise
    for f in outputs:
        if f is not None:
            f.close()
    return extra


def train_status(conf, client=None, shards=None, scheduler=None):
    """Runs train_emcore; returns the exit status of qaz-train."""
    conf = Config(conf)
    if train_config_refused(conf):
        return EXIT_REJECTED
    trainer = empos.Model2Trainer(conf)
    status = EXIT_OK
    try:
        cluster = _cluster(client, scheduler or conf.get("scheduler", None))
        client, local = cluster.__enter__()
    except SchedulerUnreachable as e:
        logger.error(str(e))
        return EXIT_FAILED
    run, lost = None, False
    try:
        try:
            check_output_paths([conf.get("save_trans_path"), conf.get("save_align_path"),
                                conf.get("save_scores"), conf.get("decode_align")])
            n = shards or conf.get("shards", None) or _worker_count(client)
            run = _Training(client, conf, trainer, int(n), _engine_threads(conf, local))
            limit = conf.data.iteration_limit
            run.train(limit)
        except KeyboardInterrupt:
            logger.warning("interuppted by keyboard")
            logger.info("forcing to dump alignments and scores")
            status = EXIT_FAILED
        except NoWorkerLeft as e:
            logger.error(str(e))
            status = EXIT_FAILED
            lost = True
        except Exception as e:
            logger.exception(e)
            status = EXIT_FAILED
        logger.info("----")
        model = trainer._model
        if model is None or not model._has_trans_dist or run is None:
            logger.warning("nothing was trained; no output file is written")
            return status
        trainer._save_trans_dist(conf.data.save_trans_path, conf.data.threshold, conf.data.nbest)
        if conf.get("save_align_path"):
            trainer._save_align_dist(conf.get("save_align_path"), conf.data.threshold)
        outputs = [p for p in (conf.get("save_scores"), conf.get("decode_align")) if p]
        if outputs and lost:
            # The shards are gone with the workers: the tables are all there is.
            logger.warning("no worker is left to write {}".format(" ".join(outputs)))
        elif outputs:
            try:
                run.write_outputs(conf.get("save_scores"), conf.get("decode_align"))
            except NoWorkerLeft as e:
                logger.error(str(e))
                return EXIT_FAILED
        return status
    finally:
        if run is not None:
            run.shards.forget()
        cluster.__exit__(None, None, None)


def train_emcore(conf, client=None, shards=None):
    """Train IBM Model 1 then Model 2 on a Dask cluster as ``conf`` says; see the module."""
    return train_status(conf, client, shards) != EXIT_REJECTED


# ---------------------------------------------------------------------------
# Scoring


def score_status(conf, client=None, shards=None, scheduler=None):
    """Runs score_ibm_model; returns the exit status of qaz-score."""
    conf = Config(conf)
    if score_config_refused(conf):
        return EXIT_REJECTED
    empos.Model2Trainer(conf)  # rejects what the single-machine driver rejects
    for path in (conf.get("trans_path"), conf.get("align_path")):
        # Every worker reads the stored tables itself: a pipe would give
        # them nothing (and the scores of empty tables).
        if path and os.path.exists(path) and not os.path.isfile(path):
            logger.error("{} is not a regular file: on a cluster every worker reads the stored tables "
                         "itself".format(path))
            return EXIT_REJECTED
    try:
        cluster = _cluster(client, scheduler or conf.get("scheduler", None))
        client, local = cluster.__enter__()
    except SchedulerUnreachable as e:
        logger.error(str(e))
        return EXIT_FAILED
    run = None
    try:
        scores, decode = conf.get("save_scores"), conf.get("decode_align")
        check_output_paths([scores, decode])
        n = shards or conf.get("shards", None) or _worker_count(client)
        run, infos, pairs, n_src, n_trg = _load_shards(client, conf, int(n), _engine_threads(conf, local))
        # The driver's own load, then the set-up's, as the single-machine run logs them.
        _log_loading(conf, pairs, n_src, n_trg, infos)
        _setup_log()
        _log_loading(conf, pairs, n_src, n_trg, infos)
        trans_path, align_path = conf.data.trans_path, conf.get("align_path")
        vocab = emcore.Vocab()
        for w in _merge(infos, 0)[0]:
            vocab._src_str2id(w)
        for w in _merge(infos, 1)[0]:
            vocab._trg_str2id(w)
        vocab._enter_trans_file_words(trans_path)
        S, T, _, _ = vocab._sizes()
        A = max(info[2] for info in infos)
        B = max(info[3] for info in infos)
        for line in ("source vocabulary size: {:,}".format(S), "target vocabulary size: {:,}".format(T),
                     "max source length: {:,}".format(A), "max target length: {:,}".format(B)):
            logger.info(line)
        # The workers read the tables too, from their own folder.
        on_workers = [os.path.abspath(p) if p else None for p in (trans_path, align_path)]
        futures = run.submit(_score_stored, *on_workers, T, bool(scores), bool(decode), last=True)
        _submitted(client, "outputs")
        with tempfile.TemporaryDirectory(prefix="qaz-score-") as tmp:
            # Collected first, so that the files appear after the log lines.
            staged = [os.path.join(tmp, "s") if scores else None, os.path.join(tmp, "d") if decode else None]
            infos = _concatenate(run.results(futures), *staged)
            nnz = sum(i[0][0] for i in infos)
            _log_tables(S, T, A, B, nnz, sum(i[0][1] for i in infos), sum(i[0][2] for i in infos),
                        sum(i[0][3] for i in infos), len(infos))
            logger.info("loading word translation distribution file: {}".format(trans_path))
            if align_path:
                logger.info("loading alignment distribution file: {}".format(align_path))
            if scores:
                logger.info("calculating and storing alignment scores into file: {}".format(scores))
            if decode:
                logger.info("decoding and storing alignment into file: {}".format(decode))
            for staged_path, path in zip(staged, (scores, decode)):
                if path:
                    with open(staged_path, "rb") as src, files.open_output(path) as dst:
                        while True:
                            block = src.read(_CHUNK)
                            if not block:
                                break
                            dst.write(block)
    except KeyboardInterrupt as e:
        logger.exception(e)
        return EXIT_FAILED
    except NoWorkerLeft as e:
        logger.error(str(e))
        return EXIT_FAILED
    except Exception as e:
        logger.exception(e)
        return EXIT_FAILED
    finally:
        if run is not None:
            run.forget()
        cluster.__exit__(None, None, None)
    return EXIT_OK


def _log_tables(S, T, A, B, nnz, trans_bytes, align_bytes, shapes, shard_count):
    lex = logging.getColorLogger("qaz.smt.align.emlex")
    pos = logging.getColorLogger("qaz.smt.align.empos")
    lex.info("initializing word translation probabilities as uniform distribution")
    lex.info("word translation distribution matrix size: {} [src words] x {} [trg words] x 8 [bytes] = "
             "{:,} [bytes]".format(S, T, S * T * 8))
    lex.info("allocated: {:,} [bytes] for {:,} co-occurring word pairs".format(trans_bytes, nnz))
    lex.info("cell layout: {} shards, each indexed on its worker".format(shard_count))
    pos.info("initializing index alignment probabilities as uniform distribution")
    pos.info("word alignment distribution matrix size: {} [src len] x {} [trg len] x {} [trg index] x {} "
             "[src index] x 8 [bytes] = {:,} [bytes]".format(A - 1, B, B, A, (A - 1) * B * B * A * 8))
    pos.info("allocated: {:,} [bytes] for {:,} sentence shapes".format(align_bytes, shapes))


def score_ibm_model(conf, client=None, shards=None):
    """Score and/or decode a corpus on a Dask cluster with stored tables; see the module."""
    return score_status(conf, client, shards) != EXIT_REJECTED


# ---------------------------------------------------------------------------
# Word alignment


alog = logging.getColorLogger("qaz.aligner")

_DIRECTIONS = ("forward", "reverse")


def _align_index(shard, data):
    ids, threads = data
    return shard.index(ids, threads)


def _align_attach(shard, data):
    direction, cell_map, block_offsets = data
    return shard.attach(direction, cell_map, block_offsets)


def _align_words(shard):
    return [shard.words(d) for d in range(shard.directions)], list(shard.warnings)


def _align_layout(shard, direction):
    return shard.layout(direction)


def _align_sweep(shard, direction, tables, entropy, expect, expect_model2, threads):
    p, a = tables
    return shard.sweep(direction, p, a, entropy, expect, expect_model2, threads)


def _align_joint_sweep(shard, tables, hmm, agreement, threads):
    fwd_p, rev_p, fwd_hmm, rev_hmm = tables
    return shard.joint_sweep(fwd_p, rev_p, fwd_hmm, rev_hmm, hmm, agreement, threads)


def _align_joint_links(shard, tables, method, threshold, kinds, threads):
    fwd_p, rev_p, fwd_hmm, rev_hmm = tables
    return shard.joint_links(fwd_p, rev_p, fwd_hmm, rev_hmm, method, threshold, True, kinds, threads)


def _align_links(shard, fwd, rev, method, threshold, kinds, threads):
    rev_p, rev_a = rev if rev is not None else (None, None)
    return shard.links(fwd[0], fwd[1], rev_p, rev_a, method, threshold, kinds, threads)


class _Alignment:
    """The shards of a corpus on the cluster and the driver's trained directions."""

    def __init__(self, client, src, trg, shards, threads, character, both):
        """``character``: the tokenisation flags of qaz._aligner.load_shard."""
        self.client, self.threads = client, threads
        alog.info("loading files: {} {}".format(src, trg))
        ranges, self.pairs, n_src, n_trg = _shard_ranges(src, trg, shards)
        self.shards = _Shards(client, "align", src, trg, ranges, character, both)
        try:
            self._index(src, trg, n_src, n_trg, threads, both)
        except BaseException:
            self.shards.forget()
            raise

    def _index(self, src, trg, n_src, n_trg, threads, both):
        client = self.client
        futures = self.shards.submit(_align_words)
        _submitted(client, "words")
        infos = self.shards.gather(futures)
        _log_line_counts(src, trg, self.pairs, n_src, n_trg, alog)
        for _, warnings in infos:
            if warnings:
                alog.warning(warnings[0])
                break
        if self.pairs == 0:
            raise ValueError("{} and {} hold no sentence pair".format(src, trg))
        # Per direction: the merged words (shard order) and each shard's maps.
        self.words, ids = [], []
        for d in range(2 if both else 1):
            side = [info[0][d] for info in infos]
            src_words, src_maps = _merge(side, 0)
            trg_words, trg_maps = _merge(side, 1)
            A, B = max(w[2] for w in side), max(w[3] for w in side)
            self.words.append((src_words, trg_words, A, B))
            ids.append((src_maps, trg_maps, len(src_words), len(trg_words), A, B))
        self.shards.add_step("index", _align_index,
                             [([(sm[k], tm[k], S, T, A, B) for sm, tm, S, T, A, B in ids], threads)
                              for k in range(len(self.shards))])
        self.trained = []

    def train(self, d, iterations):
        client, shards = self.client, self.shards
        futures = shards.submit(_align_layout, d)
        _submitted(client, "layout")
        layouts = shards.gather(futures)
        src_words, trg_words, A, B = self.words[d]
        direction = _aligner.ShardedDirection(_DIRECTIONS[d], src_words, trg_words, A, B, self.pairs,
                                              [lay[0] for lay in layouts], [lay[1] for lay in layouts])
        shards.add_step("attach{}".format(d), _align_attach,
                        [(d, direction.cell_map(k), direction.block_offsets(k)) for k in range(len(shards))])

        def walk(entropy, expect, expect_model2):
            tables = _put(client, direction.values())
            futures = shards.submit(_align_sweep, d, tables, entropy, expect, expect_model2, self.threads)
            _submitted(client, "walk")
            return shards.gather(futures)

        direction.train(iterations, walk)
        self.trained.append(direction)

    def train_scheduled(self, schedule, agreement, p0):
        """Both directions (or the forward one) by a schedule of Model 1 and HMM steps."""
        client, shards = self.client, self.shards
        directions = []
        for d in range(len(self.words)):
            futures = shards.submit(_align_layout, d)
            _submitted(client, "layout")
            layouts = shards.gather(futures)
            src_words, trg_words, A, B = self.words[d]
            direction = _aligner.ShardedDirection(_DIRECTIONS[d], src_words, trg_words, A, B, self.pairs,
                                                  [lay[0] for lay in layouts], [lay[1] for lay in layouts],
                                                  scheduled=True)
            shards.add_step("attach{}".format(d), _align_attach,
                            [(d, direction.cell_map(k), direction.block_offsets(k)) for k in range(len(shards))])
            directions.append(direction)

        def walk(hmm, fwd_p, rev_p, fwd_hmm, rev_hmm):
            tables = _put(client, (fwd_p, rev_p, fwd_hmm, rev_hmm))
            futures = shards.submit(_align_joint_sweep, tables, hmm, agreement, self.threads)
            _submitted(client, "walk")
            return shards.gather(futures)

        _aligner.train_sharded_joint(directions[0], directions[1] if len(directions) > 1 else None, self.pairs,
                                     schedule, agreement, p0, walk)
        self.trained = directions
        self.scheduled = True

    def links(self, method, threshold, kinds):
        """Each shard's lines of each output kind in ``kinds``, in corpus order, as they come."""
        if getattr(self, "scheduled", False):
            rev = self.trained[1] if len(self.trained) > 1 else None
            tables = _put(self.client, (self.trained[0].trans_values(), rev.trans_values() if rev else None,
                                        self.trained[0].hmm, rev.hmm if rev else None))
            futures = self.shards.submit(_align_joint_links, tables, method, threshold, kinds, self.threads,
                                         last=True)
            _submitted(self.client, "outputs")
            return self.shards.results(futures)
        fwd = _put(self.client, self.trained[0].values())
        rev = _put(self.client, self.trained[1].values()) if len(self.trained) > 1 else None
        futures = self.shards.submit(_align_links, fwd, rev, method, threshold, kinds, self.threads,
                                     last=True)
        _submitted(self.client, "outputs")
        return self.shards.results(futures)


def _open_link_file(path):
    return files.open_output(path)


def _link_outputs(paths):
    """(kind, what, path) of each link file asked for, in the engine's order of output kinds.

    ``paths``: the files of the links, forward and reverse kinds ('' or None: not written).
    """
    asked = dict(zip(("links", "forward", "reverse"), paths))
    return [(kind, what, asked[kind]) for kind, what in _aligner.output_kinds() if asked.get(kind)]


def _write_link_files(results, outputs):
    """Writes the shards' lines of each of ``outputs`` (``_link_outputs``) in corpus order; '-' is standard output."""
    files_ = []
    try:
        for _, what, path in outputs:
            alog.info("storing {} into file: {}".format(what, path))
            files_.append(_open_link_file(path))
        for result in results:
            for f, data in zip(files_, result):
                f.write(data)
    except BaseException:
        for f in files_:
            f.discard()
        raise
    for f in files_:
        f.close()


def _check_align_arguments(sym, posterior_threshold, iterations, threads, shards):
    if isinstance(iterations, bool) or not isinstance(iterations, int):
        raise TypeError("iterations must be an int, not {}".format(type(iterations).__name__))
    if iterations < 0:
        raise ValueError("iterations must not be negative, got {}".format(iterations))
    if shards is not None and (isinstance(shards, bool) or not isinstance(shards, int) or shards < 1):
        raise ValueError("shards must be a whole number of at least 1, got {!r}".format(shards))
    _aligner.check_link_method(sym, posterior_threshold)
    return check_threads(threads)


def _align(src_path, trg_path, output, forward, reverse, sym, posterior_threshold, iterations, character,
           threads, client=None, shards=None, scheduler=None, schedule="", agreement=False, lowercase=False,
           p0=0.2):
    threads = _check_align_arguments(sym, posterior_threshold, iterations, threads, shards)
    src_path, trg_path = os.fspath(src_path), os.fspath(trg_path)
    paths = [os.fspath(p) if p else "" for p in (output, forward, reverse)]
    clash = path_clash(list(zip(("output", "forward links", "reverse links"), paths)),
                                 [("source", src_path), ("target", trg_path)])
    if clash:
        raise ValueError(clash)
    check_output_paths([p for p in paths if p and p != "-"])
    for path in (src_path, trg_path):
        open(path, "rb").close()  # a missing file fails before any cluster starts
    if schedule:
        _aligner.check_schedule(schedule)
    both = sym != "none" or bool(paths[2]) or (bool(schedule) and agreement)
    tokens = (1 if character else 0) | 2 | (4 if lowercase else 0)
    with _cluster(client, scheduler) as (client, local):
        n = shards or _worker_count(client)
        engine_threads = threads or (1 if local else 0)
        alog.debug("shards: {}, engine threads per shard: {}".format(n, engine_threads or "every CPU"))
        run = _Alignment(client, src_path, trg_path, int(n), engine_threads, tokens, both)
        try:
            if schedule:
                run.train_scheduled(schedule, agreement, p0)
            else:
                for d in range(2 if both else 1):
                    run.train(d, iterations)
            alog.info("----")
            outputs = _link_outputs(paths)
            _write_link_files(run.links(sym, posterior_threshold, [kind for kind, _, _ in outputs]), outputs)
        finally:
            run.shards.forget()


def align(src_path, trg_path, output="-", forward=None, reverse=None, sym="grow-diag-final-and",
          posterior_threshold=0.5, iterations=5, character=False, threads=None, client=None, shards=None, *,
          model="2", agreement=None, lowercase=False):
    """Word-align two files on a Dask cluster as ``qaz-align`` does, and write the link files.

    ``output`` gets the links of ``sym`` ("-" for standard output, None for
    none), ``forward`` and ``reverse`` (when given) each direction's Viterbi
    links; ``sym``, ``posterior_threshold``, ``iterations``, ``character``
    and ``threads`` (engine threads of each shard) mean what they mean for
    ``qaz.aligner.Aligner`` and ``qaz-align``.  Without a client a local
    cluster runs the work; without ``shards``, one shard per worker (see the
    module).  ``model`` "1" or "hmm" trains Model 1 (then the HMM) on both
    directions together, in agreement unless ``agreement=False``, as
    ``qaz-align --model`` does ("posterior" links then take the product of
    the two posteriors); ``lowercase`` folds case as ``--lowercase``.
    Errors propagate: ValueError for a bad argument, OSError for a file that
    cannot be read or written, NoWorkerLeft when the cluster has had no
    worker for ``WORKERLESS_TIMEOUT`` seconds.
    """
    schedule, agreement = model_schedule(model, iterations, agreement)
    _align(src_path, trg_path, output, forward, reverse, sym, posterior_threshold, iterations, character,
           threads, client=client, shards=shards, schedule=schedule, agreement=agreement, lowercase=lowercase)


def align_status(args, schedule=""):
    """qaz-align with --scheduler or --shards; returns the exit status (exceptions propagate).

    ``schedule``: the steps of models 1 and hmm ('' for Model 2)."""
    try:
        _align(args.src_path, args.trg_path, args.output, args.forward, args.reverse, args.sym,
               args.posterior_threshold, args.iteration_limit, args.character, args.threads,
               shards=args.shards, scheduler=args.scheduler, schedule=schedule,
               agreement=args.agreement and bool(schedule), lowercase=args.lowercase)
    except (SchedulerUnreachable, NoWorkerLeft) as e:
        alog.error(str(e))
        return 1
    return 0
