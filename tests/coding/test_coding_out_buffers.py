"""Outputs written over the memory of their own input.

The out= rules of every coding output (dtype, flags, size, views) are in the
shared protocol tests; what is the coding kernels' own is that they write while
still reading, so an input sharing out's memory must give the plain result.
"""

import numpy as np
import pytest

from korvana import coding

K7 = [0o171, 0o133]


def _bits(n):
    return np.random.default_rng(4).integers(0, 2, n).astype(np.uint8)


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
