"""The native matrix helpers of emcore and their load-time binding by the model modules."""

import ctypes
import re

import numpy as np
import pytest

from qaz.smt.align import emcore, emlex, empos

M = np.arange(12, dtype=np.float64).reshape(3, 4) / 10.0


def through_emlex(name):
    return lambda *args: emlex._call_native(name, *args)


def through_empos(name):
    return lambda *args: empos._call_native(name, *args)


# The helpers as emcore exposes them and as the model modules reach them through
# the bound native table: every result test runs on all three.
ROUTES = {
    "emcore": {"sub_matrix": emcore._sub_matrix, "normalize": emcore._normalize, "grid_indices": emcore._grid_indices},
    "emlex": {n: through_emlex(n) for n in ("sub_matrix", "normalize", "grid_indices")},
    "empos": {n: through_empos(n) for n in ("sub_matrix", "normalize", "grid_indices")},
}


@pytest.fixture(params=sorted(ROUTES))
def fn(request):
    return ROUTES[request.param]


# ---------------------------------------------------------------------------
# grid_indices


@pytest.mark.parametrize(
    "rows, cols, want_rows, want_cols",
    [
        ([3, 5], [7], [[3], [5]], [[7]]),
        ((0, 1, 2), np.array([4, 4]), [[0], [1], [2]], [[4, 4]]),
        ([], [1, 2], np.zeros((0, 1)), [[1, 2]]),
        ([2], [], [[2]], np.zeros((1, 0))),
        ([-1, 2**40], [0], [[-1], [2**40]], [[0]]),
    ],
)
def test_grid_indices(fn, rows, cols, want_rows, want_cols):
    r, c = fn["grid_indices"](rows, cols)
    assert isinstance(r, np.ndarray) and isinstance(c, np.ndarray)
    assert r.dtype == np.int64 and c.dtype == np.int64
    assert r.shape == (len(rows), 1) and c.shape == (1, len(cols))
    np.testing.assert_array_equal(r, want_rows)
    np.testing.assert_array_equal(c, want_cols)


def test_grid_indices_address_the_whole_grid(fn):
    grid = fn["grid_indices"]([2, 0], [1, 3, 1])
    np.testing.assert_array_equal(M[grid], [[M[2, 1], M[2, 3], M[2, 1]], [M[0, 1], M[0, 3], M[0, 1]]])


# ---------------------------------------------------------------------------
# sub_matrix


@pytest.mark.parametrize(
    "rows, cols",
    [
        ([0, 0], [2]),
        ([], [1, 2]),
        ([1, 2], []),
        ([2, 1, 2], [3, 0, 3, 1]),
        ([-1], [-4, 3]),
        ((1,), (2,)),
    ],
)
def test_sub_matrix(fn, rows, cols):
    before = M.copy()
    s = fn["sub_matrix"](M, rows, cols)
    assert type(s) is np.ndarray and s.dtype == np.float64
    assert s.shape == (len(rows), len(cols))
    np.testing.assert_array_equal(s, M[np.ix_(np.asarray(rows, np.int64), np.asarray(cols, np.int64))])
    if s.size:
        s[...] = -1.0  # a copy: the matrix keeps its values
    np.testing.assert_array_equal(M, before)


def test_sub_matrix_repeats_rows(fn):
    np.testing.assert_array_equal(fn["sub_matrix"](M, [0, 0], [2]), [[M[0, 2]], [M[0, 2]]])


@pytest.mark.parametrize(
    "matrix, error",
    [
        (np.arange(12, dtype=np.int64).reshape(3, 4), TypeError),
        (np.zeros(4), TypeError),
        (np.zeros((1, 3, 4)), TypeError),
        (np.zeros((3, 4), np.float32), TypeError),
        ([[0.0, 1.0]], TypeError),
        (None, TypeError),
    ],
    ids=["int64", "1-D", "3-D", "float32", "list", "None"],
)
def test_sub_matrix_rejects_other_matrices(fn, matrix, error):
    with pytest.raises(error):
        fn["sub_matrix"](matrix, [0], [0])


@pytest.mark.parametrize("rows, cols", [([3], [0]), ([0], [4]), ([-4], [0])])
def test_sub_matrix_index_out_of_range(fn, rows, cols):
    with pytest.raises(IndexError):
        fn["sub_matrix"](M, rows, cols)


# ---------------------------------------------------------------------------
# normalize


def test_normalize_in_place_along_rows(fn):
    counts = np.array([[1.0, 3.0], [0.0, 0.0]])
    out = fn["normalize"](counts, 1, counts)
    assert out is counts
    np.testing.assert_array_equal(counts, [[0.25, 0.75], [0.0, 0.0]])


def test_normalize_along_columns_into_separate_out(fn):
    counts = np.array([[1.0, 3.0], [0.0, 0.0]])
    out = np.zeros((2, 2))
    assert fn["normalize"](counts, 0, out) is out
    np.testing.assert_array_equal(out, [[1.0, 1.0], [0.0, 0.0]])
    np.testing.assert_array_equal(counts, [[1.0, 3.0], [0.0, 0.0]])


def test_normalize_leaves_rows_without_positive_sum_untouched(fn):
    counts = np.array([[0.0, 0.0, 0.0], [1.0, 1.0, 2.0], [1.0, -2.0, 0.0], [np.nan, 1.0, 1.0]])
    out = np.full(counts.shape, 7.0)  # stale values
    fn["normalize"](counts, 1, out)
    np.testing.assert_array_equal(out, [[7, 7, 7], [0.25, 0.25, 0.5], [7, 7, 7], [7, 7, 7]])


def test_normalize_integer_counts_divide_truly(fn):
    counts = np.array([[1, 3], [0, 2]], dtype=np.int64)
    out = np.zeros((2, 2))
    fn["normalize"](counts, 1, out)
    np.testing.assert_array_equal(out, [[0.25, 0.75], [0.0, 1.0]])


@pytest.mark.parametrize("axis", [0, 1, 2, 3, -1])
def test_normalize_4d_each_vector_independently(fn, axis):
    rng = np.random.default_rng(7)
    counts = rng.random((2, 3, 3, 4))
    counts[1, 2] = 0.0
    out = np.full(counts.shape, -5.0)
    fn["normalize"](counts, axis, out)
    total = counts.sum(axis=axis, keepdims=True)
    want = np.where(total > 0, counts / np.where(total > 0, total, 1.0), -5.0)
    np.testing.assert_allclose(out, want, rtol=1e-15)
    summed = out.sum(axis=axis)
    ok = counts.sum(axis=axis) > 0
    np.testing.assert_allclose(summed[ok], 1.0, rtol=1e-14)


@pytest.mark.parametrize(
    "counts, axis, out",
    [
        (np.ones((2, 2)), 2, np.zeros((2, 2))),  # axis out of range
        (np.ones((2, 2)), 1, np.zeros((3, 3))),  # out of another shape
        (np.ones((2, 2)), 2**31, np.zeros((2, 2))),  # not a 32-bit integer
    ],
    ids=["axis", "shape", "int32"],
)
def test_normalize_errors(fn, counts, axis, out):
    with pytest.raises((ValueError, IndexError, OverflowError, TypeError)):
        fn["normalize"](counts, axis, out)


# ---------------------------------------------------------------------------
# Binding at load time


def capsule_name(capsule):
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype = ctypes.c_char_p
    get_name.argtypes = [ctypes.py_object]
    return get_name(capsule).decode()


SIGNATURES = {name: capsule_name(capsule) for name, capsule in emcore._native_api.items()}

BINDERS = [emlex._bind_native_api, empos._bind_native_api]


def test_native_table_exports_three_functions():
    api = emcore._native_api
    assert sorted(api) == ["grid_indices", "normalize", "sub_matrix"]
    assert all(type(capsule).__name__ == "PyCapsule" for capsule in api.values())
    assert len(set(SIGNATURES.values())) == 3  # the signature texts tell the functions apart
    assert "int32" in SIGNATURES["normalize"]


@pytest.mark.parametrize("bind", BINDERS)
def test_full_table_binds(bind):
    assert bind(dict(emcore._native_api)) is None


@pytest.mark.parametrize("bind", BINDERS)
@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_missing_function_fails_to_bind(bind, name):
    api = dict(emcore._native_api)
    del api[name]
    with pytest.raises(ImportError, match=r"does not export expected C function %s$" % name):
        bind(api)


@pytest.mark.parametrize("bind", BINDERS)
@pytest.mark.parametrize(
    "name, other", [("sub_matrix", "grid_indices"), ("normalize", "sub_matrix"), ("grid_indices", "normalize")]
)
def test_wrong_signature_fails_to_bind(bind, name, other):
    api = dict(emcore._native_api)
    api[name] = api[other]
    msg = "C function qaz.smt.align.emcore.%s has wrong signature (expected %s, got %s)" % (
        name, SIGNATURES[name], SIGNATURES[other])
    with pytest.raises(TypeError, match="^" + re.escape(msg) + "$"):
        bind(api)


def test_failed_binding_check_leaves_the_bound_functions_working():
    api = dict(emcore._native_api)
    del api["normalize"]
    with pytest.raises(ImportError):
        emlex._bind_native_api(api)
    np.testing.assert_array_equal(emlex._call_native("sub_matrix", M, [1], [2]), [[M[1, 2]]])
