"""coding.Interleaver and coding.Deinterleaver: the documented permutations, round
trips against a NumPy reshape/transpose reference, lengths and geometry refusals."""

import re

import numpy as np
import pytest

from korvana import coding

REFUSED = ("Interleaver: rows, cols and unit_bits must all be non-zero, and their product must "
           "fit a size_t")


def reference(x, rows, cols, unit, inverse=False):
    """Blocks of rows x cols units: written by rows, read by columns (or back)."""
    blocks = np.asarray(x).reshape(-1, rows, cols, unit) if not inverse else \
        np.asarray(x).reshape(-1, cols, rows, unit)
    return blocks.transpose(0, 2, 1, 3).reshape(-1)


def test_documented_examples():
    il = coding.Interleaver(rows=3, cols=4)
    y = il.interleave(np.arange(12, dtype=np.uint8))
    np.testing.assert_array_equal(y, [0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11])
    np.testing.assert_array_equal(il.deinterleave(y), np.arange(12))
    np.testing.assert_array_equal(coding.Deinterleaver(rows=3, cols=4).deinterleave(y), np.arange(12))
    soft = coding.Deinterleaver(rows=2, cols=3).deinterleave_soft([1, 2, 3, 4, 5, 6])
    assert soft.dtype == np.float32
    np.testing.assert_array_equal(soft, [1, 3, 5, 2, 4, 6])


def test_units_move_whole():
    a, b, c, d = (np.full(8, v, np.uint8) + np.arange(8, dtype=np.uint8) * 16 for v in (1, 2, 3, 4))
    out = coding.Interleaver(rows=2, cols=2, unit_bits=8).interleave(np.concatenate([a, b, c, d]))
    np.testing.assert_array_equal(out, np.concatenate([a, c, b, d]))


def test_geometry_getters_and_reset():
    il = coding.Interleaver(rows=3, cols=4)
    assert (il.rows, il.cols, il.unit_bits, il.block_bits, il.burst_len, il.separation) == (3, 4, 1, 12, 3, 4)
    il.reset()
    assert il.block_bits == 12
    de = coding.Deinterleaver(rows=5, cols=2, unit_bits=3)
    assert (de.block_bits, de.burst_len, de.separation) == (30, 5, 2)
    assert not hasattr(de, "interleave")


@pytest.mark.parametrize("rows,cols,unit", [(1, 1, 1), (3, 4, 1), (7, 5, 1), (40, 33, 1), (64, 64, 1),
                                            (1, 9, 2), (17, 9, 2), (4, 6, 3), (9, 10, 4), (5, 5, 8), (16, 3, 16), (2, 2, 100)])
def test_random_round_trips_match_the_reference(rng, rows, cols, unit):
    bb = rows * cols * unit
    blocks = int(rng.integers(1, 4))
    bits = rng.integers(0, 2, bb * blocks).astype(np.uint8)
    il = coding.Interleaver(rows=rows, cols=cols, unit_bits=unit)
    y = il.interleave(bits)
    np.testing.assert_array_equal(y, reference(bits, rows, cols, unit))
    np.testing.assert_array_equal(il.deinterleave(y), bits)
    soft = rng.standard_normal(bb * blocks).astype(np.float32)
    ys = reference(soft, rows, cols, unit)
    back = coding.Deinterleaver(rows=rows, cols=cols, unit_bits=unit).deinterleave_soft(ys)
    np.testing.assert_array_equal(back, soft)
    np.testing.assert_array_equal(il.deinterleave(y.copy()), reference(y, rows, cols, unit, inverse=True))


def test_square_geometry_is_its_own_inverse(rng):
    il = coding.Interleaver(rows=6, cols=6, unit_bits=2)
    x = rng.integers(0, 256, 144).astype(np.uint8)
    np.testing.assert_array_equal(il.interleave(x), il.deinterleave(x))
    np.testing.assert_array_equal(il.interleave(il.interleave(x)), x)


def test_bits_pass_through_as_bytes():
    # Elements are moved, not interpreted: any byte value survives a round trip.
    il = coding.Interleaver(rows=4, cols=4)
    x = np.arange(240, 256, dtype=np.uint8)
    np.testing.assert_array_equal(il.deinterleave(il.interleave(x)), x)


@pytest.mark.parametrize("method", ["interleave", "deinterleave", "deinterleave_soft"])
@pytest.mark.parametrize("length", [0, 1, 11, 13, 23, 25])
def test_lengths_that_are_not_whole_blocks_are_refused(method, length):
    il = coding.Interleaver(rows=3, cols=4)
    x = np.zeros(length, np.float32 if method == "deinterleave_soft" else np.uint8)
    out = np.full(30, 7, x.dtype)
    msg = f"{method}: length {length} is not a whole number of blocks of block_bits = 12"
    with pytest.raises(ValueError, match=f"^{re.escape(msg)}$"):
        getattr(il, method)(x)
    with pytest.raises(ValueError, match=f"^{re.escape(msg)}$"):
        getattr(il, method)(x, out=out)
    assert np.all(out == 7)


def test_two_blocks_are_processed_independently():
    il = coding.Interleaver(rows=3, cols=4)
    x = np.arange(24, dtype=np.uint8)
    y = il.interleave(x)
    np.testing.assert_array_equal(y[:12], il.interleave(x[:12]))
    np.testing.assert_array_equal(y[12:], il.interleave(x[12:]))


def test_max_out_is_the_identity():
    il = coding.Interleaver(rows=3, cols=4)
    assert [il.interleave_max_out(24), il.deinterleave_max_out(7), il.deinterleave_soft_max_out(0)] == [24, 7, 0]


@pytest.mark.parametrize("cls", [coding.Interleaver, coding.Deinterleaver])
@pytest.mark.parametrize(
    "kw",
    [
        dict(rows=0, cols=4),
        dict(rows=3, cols=0),
        dict(rows=3, cols=4, unit_bits=0),
        dict(cols=4),
        dict(rows=3),
        dict(),
        dict(rows=2 ** 32, cols=2 ** 32),
        dict(rows=2 ** 31, cols=2 ** 31, unit_bits=4),
        dict(rows=-1, cols=2),
    ],
)
def test_unusable_geometries_are_refused(cls, kw):
    with pytest.raises(ValueError, match=f"^{re.escape(REFUSED)}$"):
        cls(**kw)


def test_a_burst_of_burst_len_times_t_units_leaves_t_errors_per_codeword(rng):
    # Four RS(255,223) codewords, one per row: a burst of 4 * 16 wire symbols puts at
    # most 16 errors in each, which every codeword then corrects.
    rs = coding.ReedSolomon(nroots=32)
    words = np.stack([rs.encode(rng.integers(0, 256, 223).astype(np.uint8)) for _ in range(4)])
    il = coding.Interleaver(rows=4, cols=255)
    assert il.burst_len == 4 and il.separation == 255
    wire = il.interleave(words.reshape(-1))
    start = int(rng.integers(0, wire.size - 64))
    wire[start:start + 64] ^= rng.integers(1, 256, 64).astype(np.uint8)
    rx = il.deinterleave(wire).reshape(4, 255).copy()
    assert [int((rx[i] != words[i]).sum()) for i in range(4)] == [16] * 4
    assert [rs.decode(rx[i]) for i in range(4)] == [16] * 4
    np.testing.assert_array_equal(rx, words)
