"""Pickled state of trainers and models; Vocab and Model refuse to be pickled."""

import hashlib
import pickle
import re

import numpy as np
import pytest

from qaz.common import logging as qlog
from qaz.smt.align import emcore, emlex, empos

from conftest import messages

TRAINER_FIELDS = ["model", "src_path", "trg_path", "sent_pairs", "character_based",
                  "count_cooc_src2trg", "count_align_trg2src"]
MODEL_FIELDS = ["vocab", "trans_dist", "align_dist"]


def checksums(fields):
    """First 7 hex digits of the SHA-256, SHA-1 and MD5 digests of the sorted names joined by spaces."""
    text = " ".join(sorted(fields)).encode("utf-8")
    return tuple(int(h(text).hexdigest()[:7], 16) for h in (hashlib.sha256, hashlib.sha1, hashlib.md5))


TRAINER_SUMS = checksums(TRAINER_FIELDS)
MODEL_SUMS = checksums(MODEL_FIELDS)

TRAINERS = [
    (emcore.Trainer, emcore.unpickle_Trainer),
    (emlex.Model1Trainer, emlex.unpickle_Model1Trainer),
    (empos.Model2Trainer, empos.unpickle_Model2Trainer),
]
MODELS = [
    (emlex.Model1, emlex.unpickle_Model1),
    (empos.Model2, empos.unpickle_Model2),
]
EMPTY_TRAINER_STATE = (False, None, None, None, None, None, None)



class MyTrainer(emlex.Model1Trainer):
    """A script-level subclass: its objects have an instance dictionary."""


def full_trainer_state():
    return (
        True,
        np.arange(24, dtype=np.float64).reshape(2, 2, 2, 3),
        np.array([[0.5, 1.5], [2.0, 0.25]]),
        None,
        [([0, 1], [0]), ([0, 2, 1], [1, 0])],
        "corpus.src",
        "corpus.trg",
    )


def assert_same_state(got, want):
    assert len(got) == len(want)
    for g, w in zip(got, want):
        if isinstance(w, np.ndarray):
            np.testing.assert_array_equal(g, w)
        else:
            assert g == w


def trainer_state(t):
    """The state a trainer reduces to."""
    reduced = t.__reduce__()
    return reduced[2] if len(reduced) == 3 else reduced[1][2]


# ---------------------------------------------------------------------------
# Checksums


def test_checksum_rule_gives_the_written_values():
    assert TRAINER_SUMS == (0x83F4426, 0x81F0996, 0x099432F)
    assert MODEL_SUMS == (0xFB35628, 0x73C4B42, 0x7D370C5)


@pytest.mark.parametrize("cls, restore", TRAINERS)
@pytest.mark.parametrize("checksum", TRAINER_SUMS)
def test_trainer_restores_with_each_accepted_checksum(cls, restore, checksum):
    t = restore(cls, checksum, full_trainer_state())
    assert type(t) is cls
    assert_same_state(trainer_state(t), full_trainer_state())
    assert type(restore(cls, checksum, None)) is cls


@pytest.mark.parametrize("cls, restore", MODELS)
@pytest.mark.parametrize("checksum", MODEL_SUMS)
def test_model_restores_with_each_accepted_checksum(cls, restore, checksum):
    trans = np.array([[0.25, 0.75], [1.0, 0.0]])
    m = restore(cls, checksum, (None, trans, None))
    assert type(m) is cls
    np.testing.assert_array_equal(m._trans_dist(), trans)
    assert m._vocab is None and m._align_dist() is None


@pytest.mark.parametrize("cls, restore", TRAINERS)
@pytest.mark.parametrize("checksum", [0, 1, 0x83F4427, 0x7FFFFFFF])
def test_trainer_wrong_checksum(cls, restore, checksum):
    msg = ("Incompatible checksums (0x%x vs (0x83f4426, 0x81f0996, 0x99432f) = (character_based, count_align_trg2src, "
           "count_cooc_src2trg, model, sent_pairs, src_path, trg_path))" % checksum)
    with pytest.raises(pickle.PickleError, match="^" + re.escape(msg) + "$"):
        restore(cls, checksum, None)


@pytest.mark.parametrize("cls, restore", MODELS)
def test_model_wrong_checksum(cls, restore):
    msg = "Incompatible checksums (0x83f4426 vs (0xfb35628, 0x73c4b42, 0x7d370c5) = (align_dist, trans_dist, vocab))"
    with pytest.raises(pickle.PickleError, match="^" + re.escape(msg) + "$"):
        restore(cls, 0x83F4426, None)


@pytest.mark.parametrize("cls, restore", TRAINERS + MODELS)
def test_checksum_beyond_32_bits(cls, restore):
    with pytest.raises(OverflowError):
        restore(cls, 2**40, None)


@pytest.mark.parametrize("cls, restore", TRAINERS + MODELS)
def test_restore_arguments(cls, restore):
    checksum = TRAINER_SUMS[0] if issubclass(cls, emcore.Trainer) else MODEL_SUMS[0]
    with pytest.raises(TypeError):
        restore(cls, checksum)
    with pytest.raises(TypeError):
        restore(cls, checksum, None, None)
    msg = "Argument 'state' has incorrect type (expected tuple, got list)"
    with pytest.raises(TypeError, match="^" + re.escape(msg) + "$"):
        restore(cls, checksum, [])


# ---------------------------------------------------------------------------
# Trainer reduce and restore


@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_without_references_reduces_to_pair(cls, restore):
    t = restore(cls, TRAINER_SUMS[1], None)
    assert t.__reduce__() == (restore, (cls, 0x83F4426, EMPTY_TRAINER_STATE))
    back = pickle.loads(pickle.dumps(t))
    assert type(back) is cls
    assert trainer_state(back) == EMPTY_TRAINER_STATE


@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_with_character_flag_only_reduces_to_pair(cls, restore):
    t = restore(cls, TRAINER_SUMS[0], (True,) + EMPTY_TRAINER_STATE[1:])
    assert t.__reduce__() == (restore, (cls, 0x83F4426, (True,) + EMPTY_TRAINER_STATE[1:]))
    assert trainer_state(pickle.loads(pickle.dumps(t)))[0] is True


@pytest.mark.parametrize("cls, restore", TRAINERS[1:])
def test_trainer_with_model_reduces_to_triple_and_fails_at_vocab(cls, restore):
    t = cls({"src_path": "s", "trg_path": "t"})
    reduced = t.__reduce__()
    assert reduced[:2] == (restore, (cls, 0x83F4426, None))
    assert reduced[2] == (False, None, None, t._model, None, "s", "t")
    with pytest.raises(TypeError, match="Vocab"):
        pickle.dumps(t)


@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_with_references_reduces_to_triple(cls, restore):
    t = restore(cls, TRAINER_SUMS[2], full_trainer_state())
    reduced = t.__reduce__()
    assert reduced[:2] == (restore, (cls, 0x83F4426, None))
    assert_same_state(reduced[2], full_trainer_state())


@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_with_references_round_trips(cls, restore):
    t = restore(cls, TRAINER_SUMS[0], full_trainer_state())
    back = pickle.loads(pickle.dumps(t))
    assert type(back) is cls
    assert_same_state(trainer_state(back), full_trainer_state())


def test_trained_trainer_state_holds_corpus_and_counts(corpus):
    src, trg = corpus(["a", "a b"], ["x", "x y"])
    t = empos.Model2Trainer({"src_path": src, "trg_path": trg})
    t._setup()
    t._train_step()
    state = trainer_state(t)
    assert state[0] is False and state[3] is t._model
    assert state[4] == [([0, 1], [0]), ([0, 1, 2], [0, 1])] and type(state[4]) is list
    assert (state[5], state[6]) == (src, trg)
    np.testing.assert_array_equal(state[1], t._count_align())
    np.testing.assert_array_equal(state[2], t._count_cooc())
    assert state[1].shape == (2, 2, 2, 3) and state[2].shape == (3, 2)


@pytest.mark.parametrize(
    "extra",
    [(), ({},), (None,), (0,), ({}, "ignored")],
    ids=["7", "empty dict", "None", "zero", "9 elements"],
)
@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_state_lengths_accepted(cls, restore, extra):
    t = restore(cls, TRAINER_SUMS[0], full_trainer_state() + extra)
    assert_same_state(trainer_state(t), full_trainer_state())


@pytest.mark.parametrize("cls, restore", TRAINERS)
@pytest.mark.parametrize(
    "index, value, error, text",
    [
        (7, {"x": 1}, AttributeError, None),
        (4, ((0,), (0,)), TypeError, "Expected list, got tuple"),
        (4, "pairs", TypeError, "Expected list, got str"),
        (5, 3, TypeError, "Expected str, got int"),
        (6, b"t", TypeError, "Expected str, got bytes"),
        (1, [[0.0]], TypeError, None),
        (2, 1.5, TypeError, None),
        (3, "model", TypeError, None),
        (3, emcore.Vocab(), TypeError, None),
    ],
    ids=["dict on native object", "tuple pairs", "str pairs", "int src_path", "bytes trg_path",
         "list counts", "float counts", "str model", "Vocab model"],
)
def test_trainer_state_type_errors(cls, restore, index, value, error, text):
    state = list(full_trainer_state()) + [None]
    state[index] = value
    with pytest.raises(error) as info:
        restore(cls, TRAINER_SUMS[0], tuple(state))
    if text is not None:
        assert str(info.value) == text


@pytest.mark.parametrize("cls, restore", TRAINERS)
@pytest.mark.parametrize("size", [0, 1, 6])
def test_short_trainer_state(cls, restore, size):
    with pytest.raises(IndexError):
        restore(cls, TRAINER_SUMS[0], full_trainer_state()[:size])


@pytest.mark.parametrize("cls, restore", TRAINERS)
@pytest.mark.parametrize("flag, want", [(1, True), ("yes", True), (0, False), ([], False), (None, False)])
def test_character_flag_is_a_truth_value(cls, restore, flag, want):
    t = restore(cls, TRAINER_SUMS[0], (flag,) + full_trainer_state()[1:])
    assert trainer_state(t)[0] is want


@pytest.mark.parametrize("model", [emcore.Model, emlex.Model1, empos.Model2])
def test_trainer_accepts_any_model(model):
    m = model()
    t = emlex.unpickle_Model1Trainer(emlex.Model1Trainer, TRAINER_SUMS[0], (False, None, None, m, None, None, None))
    assert t._model is m


def test_restore_runs_no_constructor(capsys):
    with qlog.using_config(["qaz"], debug=True):
        t = emlex.unpickle_Model1Trainer(emlex.Model1Trainer, TRAINER_SUMS[0], None)
    assert messages(capsys.readouterr().err, "DEBUG") == []
    assert t._model is None and t._sent_pairs is None
    assert (t._src_path, t._trg_path, t._character_based) == (None, None, False)


# ---------------------------------------------------------------------------
# __setstate__ on an existing object


@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_setstate_rejects_non_tuples(cls, restore):
    t = restore(cls, TRAINER_SUMS[0], None)
    for state in (None, [False] * 7):
        with pytest.raises(TypeError):
            t.__setstate__(state)


@pytest.mark.parametrize("cls, restore", TRAINERS)
def test_trainer_setstate_applies_state(cls, restore):
    t = restore(cls, TRAINER_SUMS[0], None)
    assert t.__setstate__(full_trainer_state()) is None
    assert_same_state(trainer_state(t), full_trainer_state())


def test_trainer_setstate_keeps_fields_set_before_a_failure():
    t = emlex.Model1Trainer({})
    model = empos.Model2()
    state = (True, None, None, model, [], 3, "t")
    with pytest.raises(TypeError, match="^Expected str, got int$"):
        t.__setstate__(state)
    assert t._character_based is True and t._model is model and t._sent_pairs == []
    assert t._trg_path is None


def test_trainer_setstate_short_state():
    t = emlex.Model1Trainer({})
    with pytest.raises(IndexError):
        t.__setstate__(EMPTY_TRAINER_STATE[:6])


# ---------------------------------------------------------------------------
# Script-level subclasses


def test_subclass_keeps_class_and_instance_dict():
    t = emlex.unpickle_Model1Trainer(MyTrainer, TRAINER_SUMS[0], None)
    assert type(t) is MyTrainer
    t.note = {"run": 3}
    reduced = t.__reduce__()
    assert reduced[:2] == (emlex.unpickle_Model1Trainer, (MyTrainer, 0x83F4426, None))
    assert reduced[2] == EMPTY_TRAINER_STATE + ({"note": {"run": 3}},)
    back = pickle.loads(pickle.dumps(t))
    assert type(back) is MyTrainer
    assert back.note == {"run": 3}


def test_subclass_reduces_to_triple_even_with_empty_dict():
    t = emlex.unpickle_Model1Trainer(MyTrainer, TRAINER_SUMS[0], None)
    assert t.__reduce__() == (emlex.unpickle_Model1Trainer, (MyTrainer, 0x83F4426, None), EMPTY_TRAINER_STATE + ({},))


def test_subclass_restore_applies_instance_dict():
    t = emlex.unpickle_Model1Trainer(MyTrainer, TRAINER_SUMS[0], EMPTY_TRAINER_STATE + ({"note": 5},))
    assert type(t) is MyTrainer and t.note == 5


def test_subclass_constructed_normally_fails_at_vocab():
    t = MyTrainer({})
    t.note = 1
    with pytest.raises(TypeError, match="Vocab"):
        pickle.dumps(t)


# ---------------------------------------------------------------------------
# Models


@pytest.mark.parametrize("cls, restore", MODELS)
def test_constructed_model_reduces_to_triple_and_fails_at_vocab(cls, restore):
    m = cls()
    assert m.__reduce__() == (restore, (cls, 0xFB35628, None), (None, None, m._vocab))
    with pytest.raises(TypeError, match="Vocab"):
        pickle.dumps(m)


@pytest.mark.parametrize("cls, restore", MODELS)
def test_model_without_references_reduces_to_pair(cls, restore):
    m = restore(cls, MODEL_SUMS[2], (None, None, None))
    assert m.__reduce__() == (restore, (cls, 0xFB35628, (None, None, None)))
    back = pickle.loads(pickle.dumps(m))
    assert type(back) is cls and back._vocab is None


def test_model_restore_runs_ordinary_creation(capsys):
    with qlog.using_config(["qaz"], debug=True):
        m = emlex.unpickle_Model1(emlex.Model1, MODEL_SUMS[0], None)
    assert messages(capsys.readouterr().err, "DEBUG") == ["base model cinit"]
    assert isinstance(m._vocab, emcore.Vocab)


@pytest.mark.parametrize("cls, restore", MODELS)
@pytest.mark.parametrize(
    "state, error",
    [
        (([[0.5]], None, None), TypeError),
        ((None, [[0.5]], None), TypeError),
        ((None, None, "vocab"), TypeError),
        ((None, None, emlex.Model1()), TypeError),
        ((None, None, None, {"x": 1}), AttributeError),
        ((None, None), IndexError),
    ],
    ids=["list align", "list trans", "str vocab", "model vocab", "dict", "short"],
)
def test_model_state_errors(cls, restore, state, error):
    with pytest.raises(error):
        restore(cls, MODEL_SUMS[0], state)


@pytest.mark.parametrize("cls, restore", MODELS)
def test_model_state_with_empty_fourth_element(cls, restore):
    for extra in ({}, None):
        m = restore(cls, MODEL_SUMS[0], (None, np.ones((1, 1)), None, extra))
        np.testing.assert_array_equal(m._trans_dist(), [[1.0]])


def test_model_tables_round_trip_exactly():
    rng = np.random.default_rng(3)
    trans = rng.random((5, 7))
    trans[1] = 1 / 7
    trans[2, :4] = 0.0
    trans[3] = [0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0]
    m = empos.unpickle_Model2(empos.Model2, MODEL_SUMS[0], (None, trans, None))
    state = m.__reduce__()[2]
    np.testing.assert_array_equal(state[1], trans)
    assert state[0] is None and state[2] is None


def test_trained_alignment_table_round_trips(corpus):
    src, trg = corpus(["a", "a b", "b c d"], ["x", "x y", "y"])
    t = empos.Model2Trainer({"src_path": src, "trg_path": trg})
    emlex.Model1Trainer._train(t, 1)
    t._train(2)
    trans, align = t._model._trans_dist(), t._model._align_dist()
    m = empos.unpickle_Model2(empos.Model2, MODEL_SUMS[0], (align, trans, None))
    np.testing.assert_array_equal(m._align_dist(), align)
    np.testing.assert_array_equal(m._trans_dist(), trans)


def test_alignment_cells_past_the_source_length_round_trip():
    align = np.empty((2, 2, 2, 3))
    align[0], align[1] = 0.5, 1 / 3
    align[0, 0, 0] = [0.2, 0.5, 0.3]  # a non-zero cell past the source length
    align[1, 1, 0] = [0.6, 0.4, 0.0]
    m = empos.unpickle_Model2(empos.Model2, MODEL_SUMS[0], (align, None, None))
    np.testing.assert_array_equal(m._align_dist(), align)


def test_alignment_rows_past_the_target_length_are_refused():
    # No sentence of length J uses rows j >= J, so the table does not hold
    # them; a state that gives them other values is refused, not cut.
    align = np.empty((2, 2, 2, 3))
    align[0], align[1] = 0.5, 1 / 3
    align[0, 0, 1] = [0.1, 0.9, 0.0]  # I = 1, J = 1: a row for target position 2
    with pytest.raises(ValueError, match="past the target length"):
        empos.unpickle_Model2(empos.Model2, MODEL_SUMS[0], (align, None, None))


@pytest.mark.parametrize("cls, restore", MODELS)
def test_model_with_tables_round_trips(cls, restore):
    trans = np.array([[0.25, 0.75], [1.0, 0.0]])
    m = restore(cls, MODEL_SUMS[0], (None, trans, None))
    back = pickle.loads(pickle.dumps(m))
    assert type(back) is cls
    np.testing.assert_array_equal(back._trans_dist(), trans)
    assert back._vocab is None


@pytest.mark.parametrize("cls", [emlex.Model1, empos.Model2])
def test_model_setstate_applies_state(cls):
    m = cls()
    trans = np.array([[0.25, 0.75]])
    m.__setstate__((None, trans, None))
    np.testing.assert_array_equal(m._trans_dist(), trans)
    assert m._vocab is None


# ---------------------------------------------------------------------------
# Vocab and Model have no pickled form


@pytest.mark.parametrize("make", [emcore.Vocab, emcore.Model], ids=["Vocab", "Model"])
def test_no_pickled_form(make):
    obj = make()
    with pytest.raises(TypeError):
        obj.__reduce__()
    with pytest.raises(TypeError):
        pickle.dumps(obj)


@pytest.mark.parametrize("make", [emcore.Vocab, emcore.Model], ids=["Vocab", "Model"])
def test_no_state_to_set(make):
    with pytest.raises(TypeError):
        make().__setstate__(())
