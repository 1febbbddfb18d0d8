"""accumulator.AccTrace: the four folds, frame-length rules, reading and its blob."""

import struct

import numpy as np
import pytest

from korvana import accumulator

MODES = ["mean", "exp", "maxhold", "minhold"]


def fold_reference(frames, mode, alpha):
    """The running trace written plainly, in float64, frame by frame (the mean's
    factor 1/k taken once per frame)."""
    t = None
    for k, x in enumerate(frames, start=1):
        x = np.asarray(x, np.float32).astype(np.float64)
        if t is None:
            t = x.copy()
        elif mode == "mean":
            t = t + (x - t) * (1.0 / k)
        elif mode == "exp":
            t = x.copy() if alpha >= 1 else t + (x - t) * alpha
        elif mode == "maxhold":
            t = np.where(x > t, x, t)
        else:
            t = np.where(x < t, x, t)
    return t


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("alpha", [0.0, 0.3, 1.0, 1.5])
@pytest.mark.parametrize("n", [1, 3, 64, 1001])
def test_folds_match_a_plain_reference(rng, mode, alpha, n):
    frames = (rng.standard_normal((9, n)) * 10).astype(np.float32)
    t = accumulator.AccTrace(n=n, mode=mode, alpha=alpha)
    for f in frames:
        t.accumulate(f)
    got = t.value()
    assert got.dtype == np.float32 and got.shape == (n,)
    # Bit for bit: each fold is plain IEEE double arithmetic (no contraction), whichever
    # vector width the machine runs.
    np.testing.assert_array_equal(got, fold_reference(frames, mode, alpha).astype(np.float32))
    assert t.count == 9 and t.mode == MODES.index(mode) and t.n == n


@pytest.mark.parametrize(
    "mode,frames,want",
    [
        ("mean", [[1, 3, 5, 7], [3, 5, 7, 9]], [2, 4, 6, 8]),
        ("maxhold", [[1, 5, 2], [4, 3, 6]], [4, 5, 6]),
        ("minhold", [[1, 5, 2], [4, 3, 6]], [1, 3, 2]),
        ("exp", [[0, 0], [10, 20]], [1, 2]),
    ],
)
def test_small_known_folds(mode, frames, want):
    t = accumulator.AccTrace(n=len(want), mode=mode, alpha=0.1)
    for f in frames:
        t.accumulate(f)
    np.testing.assert_allclose(t.value(), want, rtol=1e-6)


def test_mean_over_many_frames_keeps_double_precision():
    # 100000 frames of 1 + 2**-20 (exact in float32): a float32 running mean
    # would drift in the low bits, the float64 trace reads the value back exactly.
    v = np.float32(1 + 2 ** -20)
    t = accumulator.AccTrace(n=2)
    frame = np.full(2, v, np.float32)
    for _ in range(100000):
        t.accumulate(frame)
    np.testing.assert_array_equal(t.value(), frame)


@pytest.mark.parametrize("alpha,want", [(1.0, "last"), (7.0, "last"), (0.0, "first")])
def test_exp_limits(rng, alpha, want):
    frames = rng.standard_normal((5, 8)).astype(np.float32)
    t = accumulator.AccTrace(n=8, mode="exp", alpha=alpha)
    for f in frames:
        t.accumulate(f)
    np.testing.assert_array_equal(t.value(), frames[-1] if want == "last" else frames[0])


def test_alpha_is_settable_unchecked_and_used_from_the_next_frame():
    t = accumulator.AccTrace(n=1, mode="exp", alpha=0.5)
    t.accumulate([0.0])
    t.accumulate([8.0])
    assert t.value()[0] == 4.0
    t.alpha = -1.0
    assert t.alpha == -1.0
    t.accumulate([8.0])
    assert t.value()[0] == 0.0  # 4 + (8 - 4) * -1
    t.alpha = 2
    t.accumulate([3.0])
    assert t.value()[0] == 3.0
    with pytest.raises(TypeError):
        t.alpha = "fast"


@pytest.mark.parametrize("mode", MODES)
def test_reset_empties_and_the_next_frame_seeds(rng, mode):
    t = accumulator.AccTrace(n=5, mode=mode)
    t.accumulate(np.full(5, -50.0, np.float32))
    t.accumulate(np.full(5, 50.0, np.float32))
    t.reset()
    assert t.count == 0 and t.value() is None
    # Positive values after reset: a min hold against the cleared zeros would read 0.
    frame = rng.random(5).astype(np.float32) + 1
    t.accumulate(frame)
    np.testing.assert_array_equal(t.value(), frame)
    assert t.count == 1


def test_short_frame_is_ignored_and_long_frame_is_cut():
    t = accumulator.AccTrace(n=4)
    t.accumulate([1, 2, 3])
    assert t.count == 0 and t.value() is None
    t.accumulate(np.arange(9, dtype=np.float32))
    np.testing.assert_array_equal(t.value(), [0, 1, 2, 3])
    before = t.get_state()
    t.accumulate([5, 5, 5])
    assert t.get_state() == before
    t.accumulate([[4, 5], [6, 7]])  # read flat
    np.testing.assert_array_equal(t.value(), [2, 3, 4, 5])
    assert t.count == 2
    with pytest.raises(TypeError):
        t.accumulate(np.ones(4, np.float64))


def test_nan_never_replaces_a_held_value_but_a_seeded_nan_stays():
    t = accumulator.AccTrace(n=2, mode="maxhold")
    t.accumulate([1.0, np.nan])
    t.accumulate([np.nan, 5.0])
    got = t.value()
    assert got[0] == 1.0 and np.isnan(got[1])
    t = accumulator.AccTrace(n=1, mode="minhold")
    t.accumulate([1.0])
    t.accumulate([np.nan])
    assert t.value()[0] == 1.0


def test_value_count_and_out():
    t = accumulator.AccTrace(n=4)
    buf = np.full(6, 7.0, np.float32)
    assert t.value(out=buf) is None and np.all(buf == 7.0)
    assert t.value(count=10) is None
    t.accumulate([1, 2, 3, 4])
    assert t.value(count=10).shape == (4,)
    assert t.value(10).shape == (4,)
    assert t.value(count=0).shape == (4,)
    res = t.value(count=6, out=buf)
    assert res.base is buf and res.shape == (4,)
    np.testing.assert_array_equal(buf, [1, 2, 3, 4, 7, 7])
    with pytest.raises(ValueError, match=r"^out has 3 elements, need >= 4$"):
        t.value(out=np.zeros(3, np.float32))
    with pytest.raises(ValueError, match=r"^out has 6 elements, need >= 9$"):
        t.value(count=9, out=buf)
    with pytest.raises(TypeError):
        t.value(out=np.zeros(4, np.float64))
    assert t.value_max_out() == 4


@pytest.mark.parametrize(
    "kwargs,exc,msg",
    [
        (dict(n=0), MemoryError, "acc_trace_create returned NULL"),
        (dict(n=-1), MemoryError, "acc_trace_create returned NULL"),
        (dict(n=1 << 40), MemoryError, "acc_trace_create returned NULL"),
        (dict(mode="Mean"), ValueError,
         "mode must be one of \"mean\", \"exp\", \"maxhold\", \"minhold\", got 'Mean'"),
        (dict(mode="max"), ValueError,
         "mode must be one of \"mean\", \"exp\", \"maxhold\", \"minhold\", got 'max'"),
    ],
)
def test_constructor_refusals(kwargs, exc, msg):
    with pytest.raises(exc) as e:
        accumulator.AccTrace(**kwargs)
    assert str(e.value) == msg


def test_defaults():
    t = accumulator.AccTrace()
    assert (t.n, t.mode, t.alpha, t.count) == (1024, 0, 0.1, 0)
    t = accumulator.AccTrace(8, "minhold", 0.5)
    assert (t.n, t.mode, t.alpha) == (8, 3, 0.5)


def test_blob_layout(rng):
    t = accumulator.AccTrace(n=5, mode="maxhold")
    frame = rng.standard_normal(5).astype(np.float32)
    t.accumulate(frame)
    t.accumulate(frame - 1)
    blob = t.get_state()
    assert len(blob) == 24 + 8 * 5 == t.state_bytes()
    tag, version, marker, size = struct.unpack_from("<4sHBxI", blob, 0)
    assert (tag, version, marker, size) == (b"ATRC", 1, 1, 64)
    count, = struct.unpack_from("<Q", blob, 16)
    trace = np.frombuffer(blob, "<f8", 5, 24)
    assert count == 2
    np.testing.assert_array_equal(trace, frame.astype(np.float64))


@pytest.mark.parametrize("mode", MODES)
def test_blob_restores_into_a_twin_that_continues_identically(rng, mode):
    frames = rng.standard_normal((6, 33)).astype(np.float32)
    a = accumulator.AccTrace(n=33, mode=mode, alpha=0.2)
    for f in frames[:3]:
        a.accumulate(f)
    b = accumulator.AccTrace(n=33, mode=mode, alpha=0.2)
    b.set_state(a.get_state())
    assert b.count == 3
    for f in frames[3:]:
        a.accumulate(f)
        b.accumulate(f)
        np.testing.assert_array_equal(a.value(), b.value())
    # Mode and alpha are the receiving record's own: the blob carries neither.
    c = accumulator.AccTrace(n=33, mode="minhold" if mode != "minhold" else "maxhold")
    c.set_state(a.get_state())
    assert c.mode != a.mode
    np.testing.assert_array_equal(c.value(), a.value())


def test_blob_refusals():
    a = accumulator.AccTrace(n=4)
    a.accumulate([1, 2, 3, 4])
    with pytest.raises(ValueError, match="^state blob size mismatch$"):
        a.set_state(accumulator.AccTrace(n=5).get_state())
    bad = bytearray(a.get_state())
    bad[0:4] = b"ACCF"
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        a.set_state(bytes(bad))
    np.testing.assert_array_equal(a.value(), [1, 2, 3, 4])
    assert a.count == 1
    # An empty blob restores the empty state.
    a.set_state(accumulator.AccTrace(n=4).get_state())
    assert a.count == 0 and a.value() is None


def test_count_at_the_top_of_its_range_saturates():
    t = accumulator.AccTrace(n=2)
    t.accumulate([1, 2])
    blob = bytearray(t.get_state())
    blob[16:24] = (2 ** 64 - 1).to_bytes(8, "little")
    t.set_state(bytes(blob))
    t.accumulate([3, 4])
    assert t.count == 2 ** 64 - 1
    np.testing.assert_array_equal(t.value(), [1, 2])  # a weight of 2**-64 changes nothing
