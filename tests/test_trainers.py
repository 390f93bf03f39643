"""EM trainers: construction, setup, the Model 1 and Model 2 steps and loops.

Expected values come from the worked examples and from the dense NumPy
rendering in dense_reference.py, compared at full precision.
"""

import re
from collections.abc import Mapping
from pathlib import Path

import numpy as np
import pytest

from qaz.common import logging as qlog
from qaz.common.config import Config
from qaz.smt.align import emcore, emlex, empos

import dense_reference as ref
from conftest import log_records, messages, run_command, write_lines

CORE, LEX, POS = "qaz.smt.align.emcore", "qaz.smt.align.emlex", "qaz.smt.align.empos"
TRAINER_CHECKSUM = 0x83F4426
MODEL_CHECKSUM = 0xFB35628
TRAINERS = [emlex.Model1Trainer, empos.Model2Trainer]


def new_trainer(cls, src, trg, **others):
    return cls({"src_path": src, "trg_path": trg}, **others)


def restored_trainer(cls, state):
    restore = {emcore.Trainer: emcore.unpickle_Trainer, emlex.Model1Trainer: emlex.unpickle_Model1Trainer,
               empos.Model2Trainer: empos.unpickle_Model2Trainer}[cls]
    return restore(cls, TRAINER_CHECKSUM, state)


def restored_model(cls, trans, align, vocab):
    restore = {emlex.Model1: emlex.unpickle_Model1, empos.Model2: empos.unpickle_Model2}[cls]
    return restore(cls, MODEL_CHECKSUM, (align, trans, vocab))


def info(err):
    return messages(err, "INFO")


def entropies(log):
    """("initial" | "step", value) of the entropy lines of a log text or of its info messages."""
    out = []
    for msg in info(log) if isinstance(log, str) else log:
        if msg.startswith("initial entropy: "):
            out.append(("initial", float(msg.split(": ", 1)[1])))
        elif msg.startswith("entropy: "):
            out.append(("step", float(msg.split(": ", 1)[1])))
    return out


def reference(src, trg, character=False):
    vocab = ref.Vocab()
    return ref.Trainer(vocab, vocab.load(src, trg, character))


def dense_align(rmodel):
    """The reference's alignment blocks laid out as the (A-1, B, B, A) array, others uniform."""
    A, B = rmodel.A, rmodel.B
    out = np.empty((A - 1, B, B, A))
    for u in range(A - 1):
        out[u] = 1.0 / (u + 2)
    for (L, m), blk in rmodel.align.items():
        out[L - 2, m - 1] = blk
    return out


def dense_align_counts(rtrainer):
    A, B = rtrainer.model.A, rtrainer.model.B
    out = np.zeros((A - 1, B, B, A))
    for (L, m), blk in rtrainer.count_align.items():
        out[L - 2, m - 1] = blk
    return out


# ---------------------------------------------------------------------------
# Construction


def test_model1_trainer_debug_prints(capsys):
    with qlog.using_config(["qaz"], debug=True):
        t = emlex.Model1Trainer({})
    debug = messages(capsys.readouterr().err, "DEBUG")
    assert debug[:3] == ["base trainer __init__", "trainer 1 init", "base model cinit"]
    assert len(debug) == 4
    assert "Model1" in debug[3] and ("%x" % id(t._model)) in debug[3]  # the new model object itself
    assert type(t._model) is emlex.Model1


def test_model2_trainer_debug_prints(capsys):
    with qlog.using_config(["qaz"], debug=True):
        t = empos.Model2Trainer({})
    assert messages(capsys.readouterr().err, "DEBUG") == ["base trainer __init__", "model 2", "base model cinit"]
    assert type(t._model) is empos.Model2


def test_no_debug_prints_by_default(capsys):
    emlex.Model1Trainer({})
    assert messages(capsys.readouterr().err, "DEBUG") == []


@pytest.mark.parametrize("cls", TRAINERS)
@pytest.mark.parametrize(
    "args, kwargs, want",
    [
        (({"src_path": "s", "trg_path": "t"},), {}, ("s", "t", False)),
        ((), {"conf": {"src_path": "s", "trg_path": "t", "character": True}}, ("s", "t", True)),
        ((Config({"src_path": "s", "trg_path": "t", "character": 1}),), {}, ("s", "t", True)),
        (({"src_path": "s", "trg_path": "t", "character": False},), {"character": True}, ("s", "t", True)),
        (({"src_path": "s", "trg_path": "t", "character": True},), {"character": 0}, ("s", "t", False)),
        (({},), {"src_path": "x", "trg_path": "y"}, ("x", "y", False)),
        (({"src_path": "s"},), {}, (None, None, False)),
        (({"src_path": None, "trg_path": None},), {}, (None, None, False)),
        (({},), {}, (None, None, False)),
    ],
    ids=["plain", "conf keyword", "Config", "keyword overrides", "keyword clears", "keywords only",
         "one path", "none paths", "empty"],
)
def test_constructor_reads_configuration(cls, args, kwargs, want):
    t = cls(*args, **kwargs)
    assert (t._src_path, t._trg_path, t._character_based) == want
    assert t._sent_pairs is None
    assert t._model._has_trans_dist is False and t._model._has_align_dist is False


@pytest.mark.parametrize("cls", TRAINERS)
@pytest.mark.parametrize(
    "args, kwargs, text",
    [
        ((), {}, None),
        (({}, {}), {}, None),
        (({"src_path": 3, "trg_path": "t"},), {}, "Expected str, got int"),
        (({"src_path": "s", "trg_path": b"t"},), {}, "Expected str, got bytes"),
    ],
    ids=["no argument", "two arguments", "int path", "bytes path"],
)
def test_constructor_errors(cls, args, kwargs, text):
    with pytest.raises(TypeError) as info_:
        cls(*args, **kwargs)
    if text is not None:
        assert str(info_.value) == text


class Settings(Mapping):
    """A mapping that is neither a dict nor a Config."""

    def __init__(self, **values):
        self._values = values

    def __getitem__(self, key):
        return self._values[key]

    def __iter__(self):
        return iter(self._values)

    def __len__(self):
        return len(self._values)


@pytest.mark.parametrize("cls", TRAINERS)
def test_constructor_takes_any_mapping_as_a_config_does(cls):
    conf = Settings(src_path="s", trg_path="t", character=True)
    t = cls(conf, trg_path="u")
    assert (t._src_path, t._trg_path, t._character_based) == ("s", "u", True)
    assert dict(conf) == {"src_path": "s", "trg_path": "t", "character": True}
    t = cls(None, src_path="a", trg_path="b")
    assert (t._src_path, t._trg_path, t._character_based) == ("a", "b", False)
    for bad in ([("src_path", "s")], 5, "src_path"):
        with pytest.raises(TypeError) as configs:
            Config(bad)
        with pytest.raises(TypeError) as ours:
            cls(bad)
        assert str(ours.value) == str(configs.value) == "a configuration is built from a mapping, not {}".format(
            type(bad).__name__)


def test_the_trainers_read_their_settings_without_the_config_class():
    r = run_command(["-c", "import sys\nfrom qaz.smt.align import empos\n"
                     "t = empos.Model2Trainer({'src_path': 's', 'trg_path': 't', 'threads': 2})\n"
                     "print(t._src_path, 'qaz.common.config' in sys.modules)"])
    assert r.returncode == 0 and r.stdout.split() == ["s", "False"], r.stderr


# ---------------------------------------------------------------------------
# Abstract operations


@pytest.mark.parametrize(
    "cls, op, args",
    [
        (emcore.Trainer, "_init", ()),
        (emcore.Trainer, "_init_trans_dist", ()),
        (emcore.Trainer, "_init_align_dist", ()),
        (emcore.Trainer, "_expect_step", ()),
        (emcore.Trainer, "_maximize_step", ()),
        (emcore.Trainer, "_train", (1,)),
        (emlex.Model1Trainer, "_init_align_dist", ()),
    ],
)
def test_abstract_operations(cls, op, args):
    t = restored_trainer(cls, None)
    with pytest.raises(NotImplementedError) as info_:
        getattr(t, op)(*args)
    assert str(info_.value) == ""


def test_base_train_step_only_sets_up_while_table_has_no_rows(corpus):
    src, trg = corpus(["a"], ["x"])
    model = restored_model(emlex.Model1, np.zeros((0, 0)), None, emcore.Vocab())
    t = restored_trainer(emcore.Trainer, (False, None, None, model, None, src, trg))
    t._train_step()
    assert t._sent_pairs is not None and len(t._sent_pairs) == 1
    t._train_step()  # setup does nothing now; the abstract E-step is never reached
    assert model._trans_dist().shape == (0, 0)


def test_base_train_step_without_table():
    model = restored_model(emlex.Model1, None, None, emcore.Vocab())
    t = restored_trainer(emcore.Trainer, (False, None, None, model, None, "s", "t"))
    with pytest.raises(TypeError):
        t._train_step()


# ---------------------------------------------------------------------------
# Setup


def test_setup_loads_once_and_logs_sizes(corpus, capsys):
    src, trg = corpus(["a b", "c"], ["x", "y z w"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._setup()
    first = info(capsys.readouterr().err)
    pairs = t._sent_pairs
    t._setup()
    assert info(capsys.readouterr().err) == []
    assert t._sent_pairs is pairs
    assert first[:7] == [
        "----",
        "setting up to train/score IBM Models",
        "loading files: %s %s" % (src, trg),
        "source vocabulary size: 4",
        "target vocabulary size: 4",
        "max source length: 3",
        "max target length: 3",
    ]
    assert list(pairs) == [([0, 1, 2], [0]), ([0, 3], [1, 2, 3])]


def test_sizes_use_thousands_separators(tmp_path, capsys):
    trg_words = ["w%d" % k for k in range(1234)]
    src = write_lines(tmp_path / "s.txt", ["a"])
    trg = write_lines(tmp_path / "t.txt", [" ".join(trg_words)])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._setup()
    lines = info(capsys.readouterr().err)
    assert "target vocabulary size: 1,234" in lines
    assert "max target length: 1,234" in lines
    assert ("word translation distribution matrix size: 2 [src words] x 1234 [trg words] x 8 [bytes] "
            "= 19,744 [bytes]") in lines


@pytest.mark.parametrize("cls", TRAINERS)
def test_setup_without_paths_fails(cls, capsys):
    t = cls({})
    with pytest.raises(TypeError, match="not NoneType"):
        t._setup()
    assert t._sent_pairs is None
    assert "loading files: None None" in info(capsys.readouterr().err)


@pytest.mark.parametrize("cls", TRAINERS)
def test_setup_with_missing_corpus_can_retry(cls, tmp_path):
    src, trg = str(tmp_path / "c.src"), str(tmp_path / "c.trg")
    t = new_trainer(cls, src, trg)
    with pytest.raises(FileNotFoundError, match=re.escape(src)):
        t._setup()
    assert t._sent_pairs is None
    write_lines(src, ["a b"])
    write_lines(trg, ["x"])
    t._setup()
    assert list(t._sent_pairs) == [([0, 1, 2], [0])]
    assert t._model._trans_dist().shape == (3, 1)


def test_model1_uniform_start(corpus, capsys):
    src, trg = corpus(["a b"], ["x y z w"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._setup()
    lines = info(capsys.readouterr().err)
    i = lines.index("initializing word translation probabilities as uniform distribution")
    assert lines[i + 1] == ("word translation distribution matrix size: 3 [src words] x 4 [trg words] "
                            "x 8 [bytes] = 96 [bytes]")
    trans = t._model._trans_dist()
    assert trans.shape == (3, 4) and trans.dtype == np.float64
    assert (trans == 0.25).all()
    assert t._model._has_align_dist is False
    assert t._count_cooc() is None and t._count_align() is None


def test_model2_uniform_start(corpus, capsys):
    src, trg = corpus(["a b", "c"], ["x y", "y"])  # A = 3, B = 2
    t = new_trainer(empos.Model2Trainer, src, trg)
    t._setup()
    lines = info(capsys.readouterr().err)
    i = lines.index("initializing index alignment probabilities as uniform distribution")
    assert lines[i + 1] == ("word alignment distribution matrix size: 2 [src len] x 2 [trg len] x 2 [trg index] "
                            "x 3 [src index] x 8 [bytes] = 192 [bytes]")
    assert lines.index("initializing word translation probabilities as uniform distribution") < i
    align = t._model._align_dist()
    assert align.shape == (2, 2, 2, 3) and align.dtype == np.float64
    assert (align[0] == 0.5).all() and (align[1] == 1 / 3).all()
    assert (t._model._trans_dist() == 0.5).all()


@pytest.mark.parametrize("cls", TRAINERS)
def test_train_zero_log_sequence(corpus, capsys, cls):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(cls, src, trg)
    emlex.Model1Trainer._train(t, 0)
    records = log_records(capsys.readouterr().err)
    want = [
        (CORE, "----"),
        (CORE, "setting up to train/score IBM Models"),
        (CORE, "loading files: %s %s" % (src, trg)),
        (CORE, "source vocabulary size: 3"),
        (CORE, "target vocabulary size: 2"),
        (CORE, "max source length: 3"),
        (CORE, "max target length: 2"),
        (LEX, "initializing word translation probabilities as uniform distribution"),
        (LEX, "word translation distribution matrix size: 3 [src words] x 2 [trg words] x 8 [bytes] = 48 [bytes]"),
        (LEX, "allocated: N [bytes] for 6 co-occurring word pairs"),
        (LEX, "cell layout: an index of 8 corpus cells; estimated peak N"),
    ]
    if cls is empos.Model2Trainer:
        want += [
            (POS, "initializing index alignment probabilities as uniform distribution"),
            (POS, "word alignment distribution matrix size: 2 [src len] x 2 [trg len] x 2 [trg index] x 3 [src index] "
                  "x 8 [bytes] = 192 [bytes]"),
            (POS, "allocated: N [bytes] for 2 sentence shapes"),
        ]
    want += [
        (LEX, "----"),
        (LEX, "start training IBM Model 1"),
        (CORE, "calculating entropy"),
        (LEX, "initial entropy: 0.6931471824645996"),
    ]
    # The memory actually held depends on the allocator and the machine; its
    # form is fixed.
    got = [(name, re.sub(r"estimated peak .*", "estimated peak N",
                         re.sub(r"^allocated: [\d,]+ ", "allocated: N ", msg)))
           for level, name, msg in records if level == "INFO"]
    assert got == want


def test_setup_with_loaded_pairs_logs_and_holds_what_setup_loads(corpus, capsys):
    # The scoring driver hands setup the pairs it loaded itself: the same log
    # lines and the same corpus as a setup that reads the files once more.
    src, trg = corpus(["a b", "b c a"], ["x", "y x"])
    runs = []
    for use_loaded in (False, True):
        t = new_trainer(empos.Model2Trainer, src, trg)
        pairs = t._model._vocab._load_sent_pairs(src, trg, False)
        capsys.readouterr()
        if use_loaded:
            t._setup_with(pairs)
        else:
            t._setup()
        runs.append((info(capsys.readouterr().err), list(t._sent_pairs), t._model._trans_dist()))
    assert runs[0][0] == runs[1][0]
    assert runs[0][0][:3] == ["----", "setting up to train/score IBM Models",
                              "loading files: %s %s" % (src, trg)]
    assert runs[0][1] == runs[1][1]
    assert np.array_equal(runs[0][2], runs[1][2])
    t = new_trainer(empos.Model2Trainer, src, trg)
    with pytest.raises(TypeError):
        t._setup_with([([0, 1], [0])])


@pytest.mark.parametrize("limit", [0, -3])
@pytest.mark.parametrize("cls", TRAINERS)
def test_train_zero_only_prepares(corpus, capsys, cls, limit):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(cls, src, trg)
    cls._train(t, limit)
    lines = info(capsys.readouterr().err)
    model_name = "1" if cls is emlex.Model1Trainer else "2"
    assert lines[-4:] == ["----", "start training IBM Model " + model_name, "calculating entropy",
                          "initial entropy: 0.6931471824645996"]
    assert "--" not in lines
    assert (t._model._trans_dist() == 0.5).all()
    assert t._count_cooc() is None and t._count_align() is None


# ---------------------------------------------------------------------------
# Model 1 steps


def test_train_step_on_fresh_object_only_sets_up(corpus):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._train_step()
    assert len(t._sent_pairs) == 2
    assert (t._model._trans_dist() == 0.5).all()
    assert t._count_cooc() is None
    t._train_step()
    np.testing.assert_allclose(t._count_cooc(), [[5 / 6, 1 / 3], [5 / 6, 1 / 3], [1 / 3, 1 / 3]], rtol=1e-15)
    np.testing.assert_allclose(t._model._trans_dist(), [[5 / 7, 2 / 7], [5 / 7, 2 / 7], [0.5, 0.5]], rtol=1e-15)


def test_model1_worked_example_steps(corpus, capsys):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._setup()
    capsys.readouterr()
    t._expect_step()
    np.testing.assert_allclose(t._count_cooc(), [[5 / 6, 1 / 3], [5 / 6, 1 / 3], [1 / 3, 1 / 3]], rtol=1e-15)
    assert (t._model._trans_dist() == 0.5).all()  # the E-step leaves the table alone
    t._maximize_step()
    np.testing.assert_allclose(t._model._trans_dist(), [[5 / 7, 2 / 7], [5 / 7, 2 / 7], [0.5, 0.5]], rtol=1e-15)
    assert info(capsys.readouterr().err) == [
        "computing expected co-occurrence counts of source word and target word",
        "estimating word translation distribution",
    ]
    m = t._model
    assert m._calc_pair_entropy([0, 1], [0], True) == pytest.approx(0.3364722366212129, rel=1e-15)
    assert m._calc_pair_entropy([0, 1, 2], [0, 1], True) == pytest.approx(0.7357260847300986, rel=1e-15)


def test_repeated_source_word_counts_every_occurrence(corpus):
    src, trg = corpus(["a a"], ["x"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._setup()
    t._expect_step()
    np.testing.assert_allclose(t._count_cooc(), [[1 / 3], [2 / 3]], rtol=1e-15)


def test_rows_of_unused_source_words_keep_their_values(corpus):
    other_src, other_trg = corpus(["p q"], ["x"])
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._model._vocab._load_sent_pairs(other_src, other_trg, False)  # p and q: ids 1 and 2, in no pair of the corpus
    t._train_step()
    t._train_step()
    trans = t._model._trans_dist()
    assert trans.shape == (5, 2)
    assert (trans[1:3] == 0.5).all()
    np.testing.assert_allclose(trans.sum(axis=1), 1.0, rtol=1e-15)
    assert (t._count_cooc()[1:3] == 0).all()


def test_rows_sum_to_one_after_a_step(small_corpus):
    t = new_trainer(emlex.Model1Trainer, *small_corpus)
    t._train_step()
    t._train_step()
    np.testing.assert_allclose(t._model._trans_dist().sum(axis=1), 1.0, rtol=1e-14)


def test_model1_against_reference(small_corpus):
    t = new_trainer(emlex.Model1Trainer, *small_corpus)
    r = reference(*small_corpus)
    t._setup()
    for _ in range(3):
        t._train_step()
        r.m1_step()
        np.testing.assert_allclose(t._count_cooc(), r.count_trans, rtol=1e-13, atol=1e-15)
        np.testing.assert_allclose(t._model._trans_dist(), r.model.trans, rtol=1e-13, atol=1e-15)


# ---------------------------------------------------------------------------
# Model 1 loop


def test_model1_loop_log_and_values(small_corpus, capsys):
    t = new_trainer(emlex.Model1Trainer, *small_corpus)
    t._train(3)
    err = capsys.readouterr().err
    r = reference(*small_corpus)
    r.loop(r.m1_step, 3)
    got = entropies(err)
    assert [k for k, _ in got] == [k for k, _ in r.log]
    for (_, g), (_, w) in zip(got, r.log):
        assert g == pytest.approx(w, rel=1e-6)
    lines = info(err)
    steps = [m for m in lines if m.startswith("step: ")]
    assert steps == ["step: %d / 3" % k for k in range(1, len(got))]
    k = lines.index("step: 1 / 3")
    assert lines[k - 1] == "--"
    assert lines[k + 1:k + 6] == [
        "computing expected co-occurrence counts of source word and target word",
        "estimating word translation distribution",
        "calculating entropy",
        "entropy: " + repr(got[1][1]),
        "--",
    ]
    np.testing.assert_allclose(t._model._trans_dist(), r.model.trans, rtol=1e-13, atol=1e-15)


@pytest.mark.parametrize("cls", TRAINERS)
def test_loop_stops_when_entropy_does_not_fall(corpus, capsys, cls):
    src, trg = corpus(["x"], ["y"])  # entropy 0 from the start
    t = new_trainer(cls, src, trg)
    cls._train(t, 5)
    lines = info(capsys.readouterr().err)
    assert [m for m in lines if m.startswith("step: ")] == ["step: 1 / 5"]
    assert entropies(lines) == [("initial", 0.0), ("step", 0.0)]
    assert lines[-1] == "entropy: 0.0"
    assert t._count_cooc() is not None  # the one iteration ran and its result stays


def test_second_train_continues(small_corpus, capsys):
    t = new_trainer(emlex.Model1Trainer, *small_corpus)
    t._train(1)
    first = entropies(capsys.readouterr().err)
    t._train(1)
    err = capsys.readouterr().err
    second = entropies(err)
    assert "loading files" not in err
    assert "initializing word translation" not in err
    assert second[0] == ("initial", first[-1][1])
    r = reference(*small_corpus)
    r.m1_step()
    r.m1_step()
    np.testing.assert_allclose(t._model._trans_dist(), r.model.trans, rtol=1e-13, atol=1e-15)


def test_trainer_file_before_any_e_step_has_zero_counts(corpus, tmp_path):
    src, trg = corpus(["a"], ["x y"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._train(0)
    path = tmp_path / "trans.txt"
    t._save_trans_dist(str(path), 0.001, 100)
    assert path.read_text(encoding="utf-8").splitlines() == [
        "__NULL__\tx\t0.50000000\t0.00", "__NULL__\ty\t0.50000000\t0.00",
        "a\tx\t0.50000000\t0.00", "a\ty\t0.50000000\t0.00",
    ]


def test_trainer_file_after_a_step(corpus, tmp_path):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(emlex.Model1Trainer, src, trg)
    t._train(1)
    path = tmp_path / "trans.txt"
    t._save_trans_dist(str(path), 0.001, 100)
    assert path.read_text(encoding="utf-8").splitlines() == [
        "__NULL__\tx\t0.71428573\t0.83", "__NULL__\ty\t0.28571430\t0.33",
        "a\tx\t0.71428573\t0.83", "a\ty\t0.28571430\t0.33",
        "b\tx\t0.50000000\t0.33", "b\ty\t0.50000000\t0.33",
    ]


# ---------------------------------------------------------------------------
# Model 2


def test_model2_entropy_after_setup_equals_model1(small_corpus):
    t = new_trainer(empos.Model2Trainer, *small_corpus)
    t._train_step()  # setup only
    assert t._count_cooc() is None and t._model._has_align_dist
    pairs = t._sent_pairs
    m1 = restored_model(emlex.Model1, t._model._trans_dist(), None, t._model._vocab)
    assert t._model._calc_entropy(pairs) == m1._calc_entropy(pairs)
    for s, g in list(pairs)[:3]:
        assert t._model._calc_pair_entropy(s, g, True) == pytest.approx(m1._calc_pair_entropy(s, g, True), rel=1e-14)


def test_model2_one_pair_worked_example(corpus):
    src, trg = corpus(["x"], ["y"])
    t = new_trainer(empos.Model2Trainer, src, trg)
    t._setup()
    assert (t._model._trans_dist() == 1.0).all() and t._model._trans_dist().shape == (2, 1)
    np.testing.assert_array_equal(t._model._align_dist(), [[[[0.5, 0.5]]]])
    t._train_step()
    np.testing.assert_array_equal(t._count_cooc(), [[0.5], [0.5]])
    np.testing.assert_array_equal(t._count_align(), [[[[0.5, 0.5]]]])
    np.testing.assert_array_equal(t._model._align_dist(), [[[[0.5, 0.5]]]])
    np.testing.assert_array_equal(t._model._trans_dist(), [[1.0], [1.0]])
    assert t._model._calc_pair_entropy([0, 1], [0], True) == 0.0


def test_model2_step_logs(small_corpus, capsys):
    t = new_trainer(empos.Model2Trainer, *small_corpus)
    t._setup()
    capsys.readouterr()
    t._train_step()
    assert info(capsys.readouterr().err) == [
        "computing:",
        "* expected co-occurrence counts of source word and target word",
        "* expected alignment counts of source index and target index",
        "estimating word translation distribution",
    ]


def test_model2_blocks_after_one_iteration(corpus):
    # shapes (L, m) = (2, 1) and (3, 2) occur; (2, 2) and (3, 1) do not
    src, trg = corpus(["a", "a b", "b"], ["x", "x y", "y"])
    t = new_trainer(empos.Model2Trainer, src, trg)
    t._setup()
    t._train_step()
    align = t._model._align_dist()
    assert align.shape == (2, 2, 2, 3)
    for (L, m) in [(2, 1), (3, 2)]:
        blk = align[L - 2, m - 1]
        np.testing.assert_allclose(blk[:m, :L].sum(axis=1), 1.0, rtol=1e-15)
        assert (blk[:m, L:] == 0.0).all()
        assert (blk[m:] == 1.0 / L).all()  # rows j >= m keep their start
    assert (align[0, 1] == 0.5).all()  # (2, 2) never seen
    assert (align[1, 0] == 1 / 3).all()  # (3, 1) never seen
    r = reference(src, trg)
    r.m2_step()
    np.testing.assert_allclose(align, dense_align(r.model), rtol=1e-14)
    np.testing.assert_allclose(t._count_align(), dense_align_counts(r), rtol=1e-14)


def test_two_phase_training_on_one_object(small_corpus, capsys):
    t = new_trainer(empos.Model2Trainer, *small_corpus)
    emlex.Model1Trainer._train(t, 2)
    err1 = capsys.readouterr().err
    assert t._count_align() is None  # the Model 1 steps ran
    align = t._model._align_dist()
    for u in range(align.shape[0]):
        assert (align[u] == 1.0 / (u + 2)).all()
    t._train(2)
    err2 = capsys.readouterr().err
    lines = info(err1 + err2)
    assert sum(m.startswith("loading files") for m in lines) == 1
    assert lines.index("start training IBM Model 1") < lines.index("start training IBM Model 2")
    first, second = entropies(err1), entropies(err2)
    assert second[0] == ("initial", first[-1][1])

    r = reference(*small_corpus)
    r.loop(r.m1_step, 2)
    r.loop(r.m2_step, 2)
    got = first + second
    assert [k for k, _ in got] == [k for k, _ in r.log]
    for (_, g), (_, w) in zip(got, r.log):
        assert g == pytest.approx(w, rel=1e-6)
    np.testing.assert_allclose(t._model._trans_dist(), r.model.trans, rtol=1e-12, atol=1e-15)
    np.testing.assert_allclose(t._model._align_dist(), dense_align(r.model), rtol=1e-12, atol=1e-15)
    np.testing.assert_allclose(t._count_cooc(), r.count_trans, rtol=1e-12, atol=1e-15)
    np.testing.assert_allclose(t._count_align(), dense_align_counts(r), rtol=1e-12, atol=1e-15)


@pytest.mark.parametrize("cls", TRAINERS)
def test_zero_posterior_column_adds_nothing(corpus, cls):
    src, trg = corpus(["a", "b"], ["x", "y"])
    vocab = emcore.Vocab()
    pairs = vocab._load_sent_pairs(src, trg, False).to_list()
    trans = np.array([[0.0, 1.0], [0.0, 1.0], [0.5, 0.5]])  # x cannot come from NULL or a
    align = np.full((1, 1, 1, 2), 0.5)
    mcls = emlex.Model1 if cls is emlex.Model1Trainer else empos.Model2
    model = restored_model(mcls, trans, align if mcls is empos.Model2 else None, vocab)
    t = restored_trainer(cls, (False, None, None, model, pairs, src, trg))
    t._train_step()
    counts = t._count_cooc()
    assert np.isfinite(counts).all()
    np.testing.assert_allclose(counts, [[0.0, 2 / 3], [0.0, 0.0], [0.0, 1 / 3]], rtol=1e-15)
    np.testing.assert_allclose(model._trans_dist(), [[0.0, 1.0], [0.0, 1.0], [0.0, 1.0]], rtol=1e-15)
    if cls is empos.Model2Trainer:
        np.testing.assert_allclose(t._count_align(), [[[[2 / 3, 1 / 3]]]], rtol=1e-15)
        assert np.isfinite(model._align_dist()).all()


def test_model2_skips_pairs_without_source_or_target_words(corpus):
    src, trg = corpus(["ab", "", "c"], ["xy", "z", ""])
    t = new_trainer(empos.Model2Trainer, src, trg, character=True)
    t._setup()
    assert list(t._sent_pairs) == [([0, 1, 2], [0, 1]), ([0], [2]), ([0, 3], [])]
    t._train_step()
    r = reference(src, trg, character=True)
    r.m2_step()
    assert t._count_align().sum() == pytest.approx(2.0, rel=1e-15)
    assert (t._count_cooc()[:, 2] == 0).all() and (t._count_cooc()[3] == 0).all()
    np.testing.assert_allclose(t._count_cooc(), r.count_trans, rtol=1e-14)
    np.testing.assert_allclose(t._count_align(), dense_align_counts(r), rtol=1e-14)
    np.testing.assert_allclose(t._model._align_dist(), dense_align(r.model), rtol=1e-14)


# ---------------------------------------------------------------------------
# Errors inside a step


@pytest.mark.parametrize("cls", TRAINERS)
@pytest.mark.parametrize(
    "pair, error, text",
    [
        (([0, 1],), ValueError, None),
        (([0, 1], [0], [0]), ValueError, None),
        (([0, 1], (0,)), TypeError, "Expected list, got tuple"),
        (([0, 5], [0]), IndexError, None),
        (([0, 1], [4]), IndexError, None),
    ],
    ids=["one element", "three elements", "tuple", "source id", "target id"],
)
def test_step_errors_leave_the_tables(corpus, cls, pair, error, text):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = new_trainer(cls, src, trg)
    t._setup()
    model = t._model
    before = model._trans_dist()
    state = (False, None, None, model, [([0, 1], [0]), pair], src, trg)
    broken = restored_trainer(cls, state)
    with pytest.raises(error) as info_:
        broken._train_step()
    if text is not None:
        assert str(info_.value) == text
    np.testing.assert_array_equal(model._trans_dist(), before)


# ---------------------------------------------------------------------------
# Written tables read back


def test_model_files_read_back_into_a_fresh_model(small_corpus, tmp_path):
    t = new_trainer(empos.Model2Trainer, *small_corpus)
    emlex.Model1Trainer._train(t, 2)
    t._train(2)
    trans_path, align_path = str(tmp_path / "trans.txt"), str(tmp_path / "align.txt")
    t._model._save_trans_dist(trans_path, -1.0, None)  # every cell, zeros included
    t._model._save_align_dist(align_path, -1.0)
    fresh = new_trainer(empos.Model2Trainer, *small_corpus)
    fresh._setup()
    fresh._model._load_trans_dist(trans_path)
    fresh._model._load_align_dist(align_path)
    narrowed = lambda a: a.astype(np.float32).astype(np.float64)  # noqa: E731
    np.testing.assert_array_equal(fresh._model._trans_dist(), narrowed(t._model._trans_dist()))
    # every cell a sentence can use: written rows come back narrowed, unwritten ones keep 1/L
    want, got = t._model._align_dist(), fresh._model._align_dist()
    written = want.max(axis=3) != want.min(axis=3)
    assert written.any()
    want = np.where(written[..., None], narrowed(want), want)
    for u, v in np.ndindex(*want.shape[:2]):
        np.testing.assert_array_equal(got[u, v, :v + 1, :u + 2], want[u, v, :v + 1, :u + 2])
    again = str(tmp_path / "trans2.txt")
    fresh._model._save_trans_dist(again, -1.0, None)
    assert Path(again).read_text(encoding="utf-8") == Path(trans_path).read_text(encoding="utf-8")
