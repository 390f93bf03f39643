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

Everything a shard needs to rebuild itself (file paths, line range, byte
offsets, its id maps and cell maps) is in the task graph, so a lost worker
costs a recomputation of its shards on another worker, not the run.
"""

import contextlib
import os
import tempfile

import numpy as np

from qaz.common import files, logging
from qaz.common.config import Config

__all__ = ["train_emcore", "score_ibm_model", "align"]

logger = logging.getColorLogger("qaz.smt.align.emcore")

# How long to wait for a scheduler named on the command line.
CONNECT_TIMEOUT = "5s"
_CHUNK = 1 << 24

# Called (if set) right after each walk's sweeps are submitted; tests use it
# to disturb a run.
_after_submit = None


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
# Tasks (run on the workers)


def _load(src, trg, first, count, src_off, trg_off, character, threads):
    from qaz import _shard

    return _shard.load(src, trg, src_off, trg_off, first, count, character, threads)


def _words(shard):
    return shard.words()


def _remap(shard, src_map, trg_map):
    return shard.remap(src_map, trg_map)


def _index(shard, S, T, A, B):
    return shard.index(S, T, A, B)


def _layout(shard):
    return shard.layout()


def _attach(shard, cell_map, block_offsets):
    shard.attach(cell_map, block_offsets)
    return shard


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


def _register_sizeof():
    # The scheduler keeps a shard's tasks where the shard is: it knows its size.
    try:
        from dask.sizeof import sizeof

        from qaz import _aligner, _shard
    except ImportError:
        return
    for cls in (_shard.Shard, _aligner.Shard):
        sizeof.register(cls)(lambda s: s.memory_bytes)


_register_sizeof()


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
        _warn_if_stealing(client)
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
            _warn_if_stealing(c)
            yield c, False
        return
    with local_cluster(_cpus()) as cluster, Client(cluster) as c:
        yield c, True


def _scheduler_steals(dask_scheduler=None):
    return "stealing" in dask_scheduler.extensions


def _warn_if_stealing(client):
    """Warns when the scheduler may move a shard's walk to a worker without the shard."""
    try:
        steals = client.run_on_scheduler(_scheduler_steals)
    except Exception:  # a scheduler that runs no functions: nothing to tell
        return
    if steals:
        logger.warning("the Dask scheduler at {} steals work for idle workers; a shard cannot "
                       "move, so a stolen walk may wait for ever: start the scheduler with "
                       "DASK_DISTRIBUTED__SCHEDULER__WORK_STEALING=False".format(client.scheduler.address))


@contextlib.contextmanager
def local_cluster(workers):
    """A local cluster of single-threaded worker processes, without work stealing.

    A shard lives on the worker that loaded it and cannot be sent to another
    one; a scheduler that steals a shard's walk for an idle worker would
    wait for that transfer for ever.
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


def _homes(client, futures):
    """The workers holding each of `futures`, once they are done."""
    from distributed import wait

    wait(futures)
    held = client.who_has(futures)
    return [list(held.get(f.key, ())) for f in futures]


def _on_shards(client, fn, shards, *args, per_shard=None, **kwargs):
    """fn(shard, *args, *per_shard(k)) for each shard future, on the worker that holds it.

    A shard cannot move to another worker, and the scheduler would otherwise
    be free to place a call anywhere (a large group of calls counts as root
    tasks, placed without regard to their data).  The placement is loose: a
    shard lost with its worker is rebuilt on another one and used there.
    """
    homes = _homes(client, shards)
    return [client.submit(fn, f, *args, *(per_shard(k) if per_shard else ()),
                          workers=homes[k] or None, allow_other_workers=True, **kwargs)
            for k, f in enumerate(shards)]


def _load_shards(client, conf, shards, threads):
    """Submits the loads; returns (loaded futures, word infos, pairs, line counts)."""
    src, trg = conf.data.src_path, conf.data.trg_path
    character = bool(conf.get("character", False))
    ranges, pairs, n_src, n_trg = _shard_ranges(src, trg, shards)
    loaded = [client.submit(_load, src, trg, first, count, so, to, character, threads)
              for first, count, so, to in ranges]
    infos = _gather_loads(client, _on_shards(client, _words, loaded))
    return loaded, infos, pairs, n_src, n_trg


def _log_loading(conf, pairs, n_src, n_trg, infos):
    src, trg = conf.data.src_path, conf.data.trg_path
    logger.info("loading files: {} {}".format(src, trg))
    _log_line_counts(src, trg, pairs, n_src, n_trg)
    for info in infos:
        if info[4]:
            logger.warning(info[4][0])
            break


def _gather_loads(client, futures):
    """The results of shard loads; a decoding error keeps its message (file and line)."""
    try:
        return client.gather(futures)
    except UnicodeDecodeError as e:
        # The error comes back from the worker rebuilt without its fields.
        if str(e) or len(e.args) != 5:
            raise
        raise UnicodeDecodeError(*e.args) from None


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
        from qaz import _shard

        self.client = client
        _setup_log()
        loaded, infos, self.pairs, n_src, n_trg = _load_shards(client, conf, shards, threads)
        _log_loading(conf, self.pairs, n_src, n_trg, infos)
        src_words, src_maps = _merge(infos, 0)
        trg_words, trg_maps = _merge(infos, 1)
        A = max(info[2] for info in infos)
        B = max(info[3] for info in infos)
        S, T = len(src_words), len(trg_words)
        remapped = _on_shards(client, _remap, loaded, per_shard=lambda k: (src_maps[k], trg_maps[k]))
        del loaded
        indexed = _on_shards(client, _index, remapped, S, T, A, B)
        del remapped
        layouts = client.gather(_on_shards(client, _layout, indexed))
        self.driver = _shard.Driver(trainer, src_words, trg_words, A, B,
                                    [lay[0] for lay in layouts], [lay[1] for lay in layouts],
                                    len(layouts))
        self.ready = _on_shards(client, _attach, indexed,
                                per_shard=lambda s: (self.driver.cell_map(s), self.driver.block_offsets(s)))

    def _tables(self):
        p, a = self.driver.values()
        [tables] = self.client.scatter([(p, a)], broadcast=True, hash=False)
        return tables

    def loop(self, kind, limit):
        def walk(entropy, expect):
            tables = self._tables()
            futures = _on_shards(self.client, _sweep, self.ready, tables, entropy, expect, kind == 2,
                                 pure=False)
            if _after_submit is not None:
                _after_submit(self.client)
            return self.client.gather(futures)

        self.driver.run(kind, limit, self.pairs, walk)

    def write_outputs(self, scores, decode):
        if scores:
            logger.info("calculating and storing alignment scores into file: {}".format(scores))
        if decode:
            logger.info("decoding and storing alignment into file: {}".format(decode))
        tables = self._tables()
        futures = _on_shards(self.client, _write_trained, self.ready, tables, bool(scores), bool(decode),
                             pure=False)
        _concatenate(self.client, futures, scores, decode)


def _concatenate(client, futures, scores, decode):
    """Writes the shards' outputs in corpus order; returns the shards' other results."""
    outputs = [files.open_output(p) if p else None for p in (scores, decode)]
    extra = []
    try:
        for future in futures:
            result = future.result()
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


def _train(conf, client=None, shards=None, scheduler=None):
    from qaz.smt.align import _drivers, empos

    conf = Config(conf)
    if not _drivers.check_train_config(conf):
        return _drivers.EXIT_REJECTED
    clash = _drivers._train_clash(conf)
    if clash:
        logger.error(clash)
        return _drivers.EXIT_REJECTED
    trainer = empos.Model2Trainer(conf)
    status = _drivers.EXIT_OK
    try:
        cluster = _cluster(client, scheduler or conf.get("scheduler", None))
        client, local = cluster.__enter__()
    except SchedulerUnreachable as e:
        logger.error(str(e))
        return _drivers.EXIT_FAILED
    try:
        run = None
        try:
            _drivers._check_output_paths([conf.get("save_trans_path"), conf.get("save_align_path"),
                                          conf.get("save_scores"), conf.get("decode_align")])
            n = shards or conf.get("shards", None) or _worker_count(client)
            run = _Training(client, conf, trainer, int(n), _engine_threads(conf, local))
            limit = conf.data.iteration_limit
            run.loop(1, limit)
            run.loop(2, limit)
        except KeyboardInterrupt:
            logger.warning("interuppted by keyboard")
            logger.info("forcing to dump alignments and scores")
            status = _drivers.EXIT_FAILED
        except Exception as e:
            logger.exception(e)
            status = _drivers.EXIT_FAILED
        logger.info("----")
        model = trainer._model
        if model is None or not model._has_trans_dist or run is None:
            logger.warning("nothing was trained; no output file is written")
            return status
        trainer._save_trans_dist(conf.data.save_trans_path, conf.data.threshold, conf.data.nbest)
        if conf.get("save_align_path"):
            trainer._save_align_dist(conf.get("save_align_path"), conf.data.threshold)
        if conf.get("save_scores") or conf.get("decode_align"):
            run.write_outputs(conf.get("save_scores"), conf.get("decode_align"))
        return status
    finally:
        cluster.__exit__(None, None, None)


def train_emcore(conf, client=None, shards=None):
    """Train IBM Model 1 then Model 2 on a Dask cluster as ``conf`` says; see the module."""
    from qaz.smt.align import _drivers

    return _train(conf, client, shards) != _drivers.EXIT_REJECTED


# ---------------------------------------------------------------------------
# Scoring


def _score(conf, client=None, shards=None, scheduler=None):
    from qaz.smt.align import _drivers, emcore, empos

    conf = Config(conf)
    if not _drivers.check_test_config(conf):
        return _drivers.EXIT_REJECTED
    clash = _drivers._score_clash(conf)
    if clash:
        logger.error(clash)
        return _drivers.EXIT_REJECTED
    empos.Model2Trainer(conf)  # rejects what the single-machine driver rejects
    try:
        cluster = _cluster(client, scheduler or conf.get("scheduler", None))
        client, local = cluster.__enter__()
    except SchedulerUnreachable as e:
        logger.error(str(e))
        return _drivers.EXIT_FAILED
    try:
        scores, decode = conf.get("save_scores"), conf.get("decode_align")
        _drivers._check_output_paths([scores, decode])
        n = shards or conf.get("shards", None) or _worker_count(client)
        loaded, infos, pairs, n_src, n_trg = _load_shards(client, conf, int(n), _engine_threads(conf, local))
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
        futures = _on_shards(client, _score_stored, loaded, trans_path, align_path or None, T,
                             bool(scores), bool(decode), pure=False)
        with tempfile.TemporaryDirectory(prefix="qaz-score-") as tmp:
            # Collected first, so that the files appear after the log lines.
            staged = [os.path.join(tmp, "s") if scores else None, os.path.join(tmp, "d") if decode else None]
            infos = _concatenate(client, futures, *staged)
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
        return _drivers.EXIT_FAILED
    except Exception as e:
        logger.exception(e)
        return _drivers.EXIT_FAILED
    finally:
        cluster.__exit__(None, None, None)
    return _drivers.EXIT_OK


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
    from qaz.smt.align import _drivers

    return _score(conf, client, shards) != _drivers.EXIT_REJECTED


# ---------------------------------------------------------------------------
# Word alignment


alog = logging.getColorLogger("qaz.aligner")

_DIRECTIONS = ("forward", "reverse")


def _align_load(src, trg, first, count, src_off, trg_off, character, both):
    from qaz import _aligner

    return _aligner.load_shard(src, trg, src_off, trg_off, first, count, character, both)


def _align_words(shard):
    return [shard.words(d) for d in range(shard.directions)], list(shard.warnings)


def _align_index(shard, ids, threads):
    return shard.index(ids, threads)


def _align_layout(shard, direction):
    return shard.layout(direction)


def _align_attach(shard, direction, cell_map, block_offsets):
    return shard.attach(direction, cell_map, block_offsets)


def _align_sweep(shard, direction, tables, entropy, expect, expect_model2, threads):
    p, a = tables
    return shard.sweep(direction, p, a, entropy, expect, expect_model2, threads)


def _align_links(shard, fwd, rev, method, threshold, wanted, threads):
    rev_p, rev_a = rev if rev is not None else (None, None)
    return shard.links(fwd[0], fwd[1], rev_p, rev_a, method, threshold, *wanted, threads)


class _Alignment:
    """The shards of a corpus on the cluster and the driver's trained directions."""

    def __init__(self, client, src, trg, shards, threads, character, both):
        self.client, self.threads = client, threads
        alog.info("loading files: {} {}".format(src, trg))
        ranges, self.pairs, n_src, n_trg = _shard_ranges(src, trg, shards)
        loaded = [client.submit(_align_load, src, trg, first, count, so, to, character, both)
                  for first, count, so, to in ranges]
        infos = _gather_loads(client, _on_shards(client, _align_words, loaded))
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
        self.ready = _on_shards(
            client, _align_index, loaded,
            per_shard=lambda s: ([(sm[s], tm[s], S, T, A, B) for sm, tm, S, T, A, B in ids], threads))
        self.trained = []

    def _tables(self, direction):
        [tables] = self.client.scatter([direction.values()], broadcast=True, hash=False)
        return tables

    def train(self, d, iterations):
        from qaz import _aligner

        client = self.client
        layouts = client.gather(_on_shards(client, _align_layout, self.ready, d))
        src_words, trg_words, A, B = self.words[d]
        direction = _aligner.ShardedDirection(_DIRECTIONS[d], src_words, trg_words, A, B, self.pairs,
                                              [lay[0] for lay in layouts], [lay[1] for lay in layouts])
        self.ready = _on_shards(client, _align_attach, self.ready, d,
                                per_shard=lambda s: (direction.cell_map(s), direction.block_offsets(s)))

        def walk(entropy, expect, expect_model2):
            tables = self._tables(direction)
            futures = _on_shards(client, _align_sweep, self.ready, d, tables, entropy, expect,
                                 expect_model2, self.threads, pure=False)
            if _after_submit is not None:
                _after_submit(client)
            return client.gather(futures)

        direction.train(iterations, walk)
        self.trained.append(direction)

    def links(self, method, threshold, wanted):
        """Futures of each shard's (links, forward, reverse) lines, in corpus order."""
        fwd = self._tables(self.trained[0])
        rev = self._tables(self.trained[1]) if len(self.trained) > 1 else None
        return _on_shards(self.client, _align_links, self.ready, fwd, rev, method, threshold, wanted,
                          self.threads, pure=False)


def _open_link_file(path):
    return files.open_output(path)


def _write_link_files(futures, paths):
    """Writes the shards' lines in corpus order; '' or None skips a file, '-' is standard output."""
    outputs = []
    try:
        for path, label in zip(paths, ("word links", "forward links", "reverse links")):
            if path:
                alog.info("storing {} into file: {}".format(label, path))
            outputs.append(_open_link_file(path) if path else None)
        for future in futures:
            for f, data in zip(outputs, future.result()):
                if f is not None:
                    f.write(data)
    except BaseException:
        for f in outputs:
            if f is not None:
                f.discard()
        raise
    for f in outputs:
        if f is not None:
            f.close()


def _check_align_arguments(sym, posterior_threshold, iterations, threads, shards):
    from qaz import _aligner
    from qaz.aligner import _threads

    if isinstance(iterations, bool) or not isinstance(iterations, int):
        raise TypeError("iterations must be an int, not {}".format(type(iterations).__name__))
    if iterations < 0:
        raise ValueError("iterations must not be negative, got {}".format(iterations))
    if shards is not None and (isinstance(shards, bool) or not isinstance(shards, int) or shards < 1):
        raise ValueError("shards must be a whole number of at least 1, got {!r}".format(shards))
    _aligner.check_link_method(sym, posterior_threshold)
    return _threads(threads)


def _align(src_path, trg_path, output, forward, reverse, sym, posterior_threshold, iterations, character,
           threads, client=None, shards=None, scheduler=None):
    from qaz.smt.align import _drivers

    threads = _check_align_arguments(sym, posterior_threshold, iterations, threads, shards)
    src_path, trg_path = os.fspath(src_path), os.fspath(trg_path)
    paths = [os.fspath(p) if p else "" for p in (output, forward, reverse)]
    clash = _drivers._path_clash(list(zip(("output", "forward links", "reverse links"), paths)),
                                 [("source", src_path), ("target", trg_path)])
    if clash:
        raise ValueError(clash)
    _drivers._check_output_paths([p for p in paths if p and p != "-"])
    for path in (src_path, trg_path):
        open(path, "rb").close()  # a missing file fails before any cluster starts
    both = sym != "none" or bool(paths[2])
    with _cluster(client, scheduler) as (client, local):
        n = shards or _worker_count(client)
        engine_threads = threads or (1 if local else 0)
        alog.debug("shards: {}, engine threads per shard: {}".format(n, engine_threads or "every CPU"))
        run = _Alignment(client, src_path, trg_path, int(n), engine_threads, bool(character), both)
        for d in range(2 if both else 1):
            run.train(d, iterations)
        alog.info("----")
        wanted = tuple(bool(p) for p in paths)
        _write_link_files(run.links(sym, posterior_threshold, wanted), paths)


def align(src_path, trg_path, output="-", forward=None, reverse=None, sym="grow-diag-final-and",
          posterior_threshold=0.5, iterations=5, character=False, threads=None, client=None, shards=None):
    """Word-align two files on a Dask cluster as ``qaz-align`` does, and write the link files.

    ``output`` gets the links of ``sym`` ("-" for standard output, None for
    none), ``forward`` and ``reverse`` (when given) each direction's Viterbi
    links; ``sym``, ``posterior_threshold``, ``iterations``, ``character``
    and ``threads`` (engine threads of each shard) mean what they mean for
    ``qaz.aligner.Aligner`` and ``qaz-align``.  Without a client a local
    cluster runs the work; without ``shards``, one shard per worker (see the
    module).  Errors propagate: ValueError for a bad argument, OSError for a
    file that cannot be read or written.
    """
    _align(src_path, trg_path, output, forward, reverse, sym, posterior_threshold, iterations, character,
           threads, client=client, shards=shards)


def _align_command(args):
    """qaz-align with --scheduler or --shards; returns the exit status (exceptions propagate)."""
    try:
        _align(args.src_path, args.trg_path, args.output, args.forward, args.reverse, args.sym,
               args.posterior_threshold, args.iteration_limit, args.character, args.threads,
               shards=args.shards, scheduler=args.scheduler)
    except SchedulerUnreachable as e:
        alog.error(str(e))
        return 1
    return 0
