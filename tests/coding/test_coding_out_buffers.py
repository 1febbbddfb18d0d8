"""out= rules of the uint8 outputs of the coding types.

The shared protocol tests cover the float32 output (deinterleave_soft); their
byte-swapped case has no meaning for a one-byte dtype, so the uint8 outputs are
checked here with the other cases of the same rules.
"""

import numpy as np
import pytest

from korvana import coding

K7 = [0o171, 0o133]
OUT_MSG = "^out must be a writable, C-contiguous ndarray of the output dtype$"


def _soft(n):
    return np.random.default_rng(3).standard_normal(n).astype(np.float32)


def _bits(n):
    return np.random.default_rng(4).integers(0, 2, n).astype(np.uint8)


# (id, make, call(obj, out), need)
CASES = [
    ("ConvEncoder.encode", lambda: coding.ConvEncoder(K7), lambda o, b: o.encode(_bits(9), out=b), 18),
    ("Viterbi.decode", lambda: coding.Viterbi(K7, depth=10), lambda o, b: o.decode(_soft(60), out=b), 21),
    ("ReedSolomon.encode", lambda: coding.ReedSolomon(32),
     lambda o, b: o.encode(np.arange(223, dtype=np.uint8), out=b), 255),
    ("ReedSolomon.syndromes", lambda: coding.ReedSolomon(32),
     lambda o, b: o.syndromes(np.arange(255, dtype=np.uint8), out=b), 32),
    ("Interleaver.interleave", lambda: coding.Interleaver(rows=3, cols=4),
     lambda o, b: o.interleave(_bits(24), out=b), 24),
    ("Interleaver.deinterleave", lambda: coding.Interleaver(rows=3, cols=4),
     lambda o, b: o.deinterleave(_bits(24), out=b), 24),
    ("Deinterleaver.deinterleave", lambda: coding.Deinterleaver(rows=3, cols=4),
     lambda o, b: o.deinterleave(_bits(24), out=b), 24),
]
cases = pytest.mark.parametrize("make,call,need", [c[1:] for c in CASES], ids=[c[0] for c in CASES])


def _readonly(n):
    a = np.zeros(n, np.uint8)
    a.flags.writeable = False
    return a


@cases
@pytest.mark.parametrize(
    "bad",
    [
        lambda n: np.zeros(n, np.int8),
        lambda n: np.zeros(n, np.float64),
        _readonly,
        lambda n: np.zeros((n, 2), np.uint8, order="F"),
        lambda n: [0] * n,
    ],
    ids=["int8", "float64", "read-only", "fortran", "list"],
)
def test_out_must_be_a_writable_contiguous_uint8_array(make, call, need, bad):
    with pytest.raises(TypeError, match=OUT_MSG):
        call(make(), bad(need))


@cases
def test_out_too_small_names_both_sizes(make, call, need):
    with pytest.raises(ValueError, match=f"^out has {need - 1} elements, need >= {need}$"):
        call(make(), np.zeros(need - 1, np.uint8))


@cases
def test_larger_out_gives_a_view_of_its_first_elements(make, call, need):
    out = np.full(need + 5, 99, np.uint8)
    res = call(make(), out)
    assert res.base is out and res.ndim == 1 and res.size == need
    assert res.__array_interface__["data"][0] == out.__array_interface__["data"][0]
    assert np.all(out[need:] == 99)
    np.testing.assert_array_equal(res, call(make(), None))


@cases
def test_2d_out_is_used_flat(make, call, need):
    out = np.zeros((2, need), np.uint8)
    res = call(make(), out)
    assert res.base is out and np.shares_memory(res, out)
    np.testing.assert_array_equal(res, out.ravel()[:need])


@pytest.mark.parametrize(
    "make,method,x",
    [
        (lambda: coding.Interleaver(rows=3, cols=4), "interleave", np.arange(24, dtype=np.uint8)),
        (lambda: coding.Interleaver(rows=5, cols=8, unit_bits=2), "deinterleave",
         np.arange(160, dtype=np.uint8)),
        (lambda: coding.Deinterleaver(rows=8, cols=8), "deinterleave_soft",
         np.arange(128, dtype=np.float32)),
        (lambda: coding.ConvEncoder(K7), "encode", _bits(40)),
        (lambda: coding.ReedSolomon(32), "encode", np.arange(223, dtype=np.uint8)),
    ],
)
@pytest.mark.parametrize("shift", [0, 1, 3])
def test_out_sharing_the_input_memory_gives_the_plain_result(make, method, x, shift):
    want = getattr(make(), method)(x)
    buf = np.zeros(shift + max(want.size, x.size) + 4, x.dtype)
    buf[shift:shift + x.size] = x
    res = getattr(make(), method)(buf[shift:shift + x.size], out=buf)
    np.testing.assert_array_equal(res, want)
