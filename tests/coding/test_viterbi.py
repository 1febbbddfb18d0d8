"""coding.Viterbi: round trips through the encoder, streaming, soft-decision gain,
traceback timing, state restore and refusals."""

import re

import numpy as np
import pytest

from korvana import coding

K7 = [0o171, 0o133]
REFUSED = ("Viterbi: not a usable code (need 1 to 6 non-zero polynomials, each under 2**k, "
           "2 <= k <= 9, and depth >= 1)")


def bpsk(symbols, amplitude=8.0):
    """Noise-free soft values: -amplitude for symbol 1, +amplitude for symbol 0."""
    return np.where(np.asarray(symbols) == 1, -amplitude, amplitude).astype(np.float32)


def code_for(rng, k, n):
    """Random polynomials; the first taps the current input so the encoder is invertible."""
    poly = [int(p) for p in rng.integers(1, 2 ** k, n)]
    poly[0] |= 1 << (k - 1)
    return poly


def pattern320():
    return np.tile(np.array([1, 0, 1, 1, 0, 0, 1, 0], np.uint8), 40)


@pytest.mark.parametrize("invert", [0, 0x2])
def test_known_record_decodes_with_the_traceback_delay(invert):
    bits = pattern320()
    soft = bpsk(coding.ConvEncoder(K7, k=7, invert=invert).encode(bits))
    v = coding.Viterbi(K7, k=7, invert=invert, depth=35)
    assert v.decode_max_out(640) == 286
    out = v.decode(soft)
    assert out.dtype == np.uint8 and out.size == 286
    np.testing.assert_array_equal(out, bits[:286])


def test_two_calls_equal_one():
    soft = bpsk(coding.ConvEncoder(K7).encode(pattern320()))
    one = coding.Viterbi(K7).decode(soft)
    v = coding.Viterbi(K7)
    two = np.concatenate([v.decode(soft[:100]), v.decode(soft[100:])])
    np.testing.assert_array_equal(one, two)


@pytest.mark.parametrize("k", range(2, 10))
@pytest.mark.parametrize("n", range(1, 7))
@pytest.mark.parametrize("inverted", [False, True])
def test_noise_free_round_trip_streamed_in_odd_blocks(rng, k, n, inverted):
    poly = code_for(rng, k, n)
    invert = int(rng.integers(1, 64)) if inverted else 0
    depth = 5 * k
    bits = rng.integers(0, 2, 400).astype(np.uint8)
    soft = bpsk(coding.ConvEncoder(poly, k=k, invert=invert).encode(bits), amplitude=1.5)
    whole = coding.Viterbi(poly, k=k, invert=invert, depth=depth).decode(soft)
    assert whole.size == 400 - (depth - 1)
    np.testing.assert_array_equal(whole, bits[:whole.size])
    v = coding.Viterbi(poly, k=k, invert=invert, depth=depth)
    pieces, at = [], 0
    for branches in [1, 3, 7, 13, 5, 31, 1, 9] * 20:
        if at >= len(soft):
            break
        chunk = soft[at:at + branches * n]
        want = v.decode_max_out(chunk.size)
        got = v.decode(chunk)
        assert got.size == want
        pieces.append(got)
        at += chunk.size
    np.testing.assert_array_equal(np.concatenate(pieces), whole)


def awgn_soft(rng, bits, poly, k, ebn0_db):
    sym = coding.ConvEncoder(poly, k=k).encode(bits)
    rate = 1.0 / len(poly)
    sigma = np.sqrt(1.0 / (2.0 * rate * 10 ** (ebn0_db / 10.0)))
    y = 1.0 - 2.0 * sym + sigma * rng.standard_normal(sym.size)
    return (2.0 * y / sigma ** 2).astype(np.float32)


def test_soft_decisions_beat_hard_ones_over_awgn(rng):
    bits = rng.integers(0, 2, 200_000).astype(np.uint8)
    soft = awgn_soft(rng, bits, K7, 7, 4.0)
    hard = np.where(soft < 0, -1.0, 1.0).astype(np.float32)
    ber = {}
    for name, x in [("soft", soft), ("hard", hard)]:
        out = coding.Viterbi(K7, k=7, depth=35).decode(x)
        ber[name] = np.mean(out != bits[:out.size])
    assert ber["soft"] < 1e-3
    assert ber["soft"] < ber["hard"]


def test_scaling_the_soft_values_does_not_change_the_bits(rng):
    bits = rng.integers(0, 2, 5000).astype(np.uint8)
    soft = awgn_soft(rng, bits, K7, 7, 2.0)
    a = coding.Viterbi(K7).decode(soft)
    b = coding.Viterbi(K7).decode(soft * np.float32(0.125))
    np.testing.assert_array_equal(a, b)


def test_restored_twin_continues_mid_stream(rng):
    poly, k = [0o557, 0o663, 0o711], 9
    bits = rng.integers(0, 2, 3000).astype(np.uint8)
    soft = awgn_soft(rng, bits, poly, k, 1.5)
    ref = coding.Viterbi(poly, k=k, depth=45).decode(soft)
    a = coding.Viterbi(poly, k=k, depth=45)
    first = a.decode(soft[:3 * 1234])
    b = coding.Viterbi(poly, k=k, depth=45)
    b.set_state(a.get_state())
    rest_a, rest_b = a.decode(soft[3 * 1234:]), b.decode(soft[3 * 1234:])
    np.testing.assert_array_equal(rest_a, rest_b)
    np.testing.assert_array_equal(np.concatenate([first, rest_b]), ref)


def test_state_blob_layout():
    v = coding.Viterbi(K7, k=7, invert=0x6, depth=10)
    v.decode(bpsk(coding.ConvEncoder(K7, invert=0x6).encode([1, 0, 1])))
    blob = v.get_state()
    S = 64
    assert len(blob) == S * (10 + 4) + 80 == v.state_bytes()
    assert blob[:4] == b"VTRB"
    u64 = [int.from_bytes(blob[i:i + 8], "little") for i in (16, 24, 32)]
    assert u64 == [10, 3, 3]  # depth, pos, filled
    u32 = [int.from_bytes(blob[i:i + 4], "little") for i in range(40, 80, 4)]
    assert u32 == [7, 2, 0x2, 0o171, 0o133, 0, 0, 0, 0, 0]
    metrics = np.frombuffer(blob[80:80 + 4 * S], "<f4")
    assert metrics.max() == 0.0  # the best path metric is brought to zero
    decisions = np.frombuffer(blob[80 + 4 * S:], np.uint8)
    assert set(np.unique(decisions)) <= {0, 1}
    assert not decisions[3 * S:].any()  # columns not yet written stay zero


def test_fresh_blob_starts_from_state_zero():
    blob = coding.Viterbi(K7, depth=5).get_state()
    metrics = np.frombuffer(blob[80:80 + 4 * 64], "<f4")
    assert metrics[0] == 0.0
    assert np.all(metrics[1:] == np.float32(-3.4028235e38) / np.float32(4))


@pytest.mark.parametrize(
    "other",
    [
        lambda: coding.Viterbi([0o171, 0o131], k=7, depth=35),
        lambda: coding.Viterbi(K7, k=7, invert=1, depth=35),
        lambda: coding.Viterbi([0o133, 0o171], k=7, depth=35),
    ],
)
def test_blob_of_another_code_is_refused(other):
    v = coding.Viterbi(K7, depth=35)
    v.decode(np.ones(20, np.float32))
    before = v.get_state()
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        v.set_state(other().get_state())
    assert v.get_state() == before


@pytest.mark.parametrize("field,value", [(24, 10), (24, 2 ** 63), (32, 11)])
def test_blob_with_pos_or_filled_out_of_range_is_refused(field, value):
    v = coding.Viterbi(K7, depth=10)
    blob = bytearray(v.get_state())
    blob[field:field + 8] = value.to_bytes(8, "little")
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        v.set_state(bytes(blob))
    blob[field:field + 8] = (9 if field == 24 else 10).to_bytes(8, "little")
    v.set_state(bytes(blob))


@pytest.mark.parametrize("x", [np.zeros(8, np.float32), np.zeros(7, np.float32), [], [1.0]])
def test_refused_or_short_calls_return_empty_and_change_nothing(x):
    soft = bpsk(coding.ConvEncoder(K7).encode(pattern320()))
    v = coding.Viterbi(K7)
    v.decode(soft[:50])
    before = v.get_state()
    out = v.decode(x)
    assert out.dtype == np.uint8 and out.size == 0
    if len(x) % 2 or len(x) == 0:
        assert v.get_state() == before  # refused outright: the next call is unaffected
    ref = coding.Viterbi(K7)
    ref.decode(soft[:50])
    if len(x) % 2 == 0 and len(x):
        ref.decode(x)
    np.testing.assert_array_equal(v.decode(soft[50:]), ref.decode(soft[50:]))


def test_depth_one_emits_the_current_branch():
    bits = np.array([1, 1, 0, 1, 0, 0, 1], np.uint8)
    soft = bpsk(coding.ConvEncoder(K7).encode(bits))
    v = coding.Viterbi(K7, depth=1)
    assert v.decode_max_out(2) == 1
    np.testing.assert_array_equal(v.decode(soft), bits)


def test_reset_withholds_the_traceback_again():
    soft = bpsk(coding.ConvEncoder(K7).encode(pattern320()))
    v = coding.Viterbi(K7, depth=35)
    v.decode(soft)
    assert v.decode_max_out(2) == 1
    v.reset()
    assert v.decode_max_out(68) == 0 and v.decode_max_out(70) == 1
    np.testing.assert_array_equal(v.decode(soft), coding.Viterbi(K7, depth=35).decode(soft))


def test_decode_max_out_counts_whole_branches_only():
    v = coding.Viterbi([7, 5, 3], k=3, depth=4)
    assert [v.decode_max_out(m) for m in (0, 8, 9, 11, 12, 30)] == [0, 0, 0, 0, 1, 7]


@pytest.mark.parametrize(
    "poly,k,depth",
    [
        (K7, 7, 0),
        (K7, 7, -1),
        (K7, 10, 35),
        (K7, 1, 35),
        ([1, 2, 3, 4, 5, 6, 7], 7, 35),
        ([], 7, 35),
        ([0o171, 0], 7, 35),
        ([0o171, 128], 7, 35),
        (K7, 7, 2 ** 27),  # the state blob would not fit its 32-bit size field
    ],
)
def test_unusable_decoders_are_refused(poly, k, depth):
    with pytest.raises(ValueError, match=f"^{re.escape(REFUSED)}$"):
        coding.Viterbi(poly, k=k, depth=depth)


def test_soft_input_must_convert_safely_to_float32():
    with pytest.raises(TypeError):
        coding.Viterbi(K7).decode(np.zeros(10, np.float64))
