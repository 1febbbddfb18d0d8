"""coding.ConvEncoder against known vectors and a bit-level reference encoder."""

import re

import numpy as np
import pytest

from korvana import coding

REFUSED = ("ConvEncoder: not a usable code (need 1 to 6 non-zero polynomials, each under "
           "2**k, and 2 <= k <= 9)")


def reference_encode(bits, poly, k, invert=0, state=0):
    """Register value: current bit in bit k-1, older bits below; output j = parity."""
    out = []
    for b in bits:
        reg = ((int(b) & 1) << (k - 1)) | state
        for j, p in enumerate(poly):
            sym = bin(reg & p).count("1") & 1
            out.append(sym ^ ((invert >> j) & 1))
        state = reg >> 1
    return np.array(out, np.uint8)


def random_code(rng, k, n):
    return [int(p) for p in rng.integers(1, 2 ** k, n)]


@pytest.mark.parametrize(
    "bits,invert,want",
    [
        ([1, 0, 1, 1], 0, [1, 1, 1, 0, 0, 0, 1, 0]),
        ([0] * 8, 0x2, [0, 1] * 8),
    ],
)
def test_known_vectors(bits, invert, want):
    enc = coding.ConvEncoder([0o171, 0o133], k=7, invert=invert)
    np.testing.assert_array_equal(enc.encode(bits), np.array(want, np.uint8))


@pytest.mark.parametrize("k", [2, 3, 5, 7, 9])
@pytest.mark.parametrize("n", [1, 2, 3, 6])
def test_matches_bit_level_reference(rng, k, n):
    poly = random_code(rng, k, n)
    invert = int(rng.integers(0, 256))
    bits = rng.integers(0, 2, 300).astype(np.uint8)
    got = coding.ConvEncoder(poly, k=k, invert=invert).encode(bits)
    np.testing.assert_array_equal(got, reference_encode(bits, poly, k, invert))


def test_only_the_low_bit_of_each_input_byte_counts(rng):
    bits = rng.integers(0, 2, 100).astype(np.uint8)
    noisy = bits | (rng.integers(0, 128, 100).astype(np.uint8) << 1)
    a = coding.ConvEncoder([0o171, 0o133]).encode(bits)
    b = coding.ConvEncoder([0o171, 0o133]).encode(noisy)
    np.testing.assert_array_equal(a, b)


def test_streaming_in_pieces_equals_one_call_and_reset_restarts(rng):
    poly, k = [0o557, 0o663, 0o711], 9
    bits = rng.integers(0, 2, 1000).astype(np.uint8)
    whole = coding.ConvEncoder(poly, k=k).encode(bits)
    enc = coding.ConvEncoder(poly, k=k)
    cuts = [0, 1, 2, 7, 300, 301, 999, 1000]
    pieces = [enc.encode(bits[a:b]) for a, b in zip(cuts, cuts[1:])]
    np.testing.assert_array_equal(np.concatenate(pieces), whole)
    enc.reset()
    np.testing.assert_array_equal(enc.encode(bits), whole)


def test_empty_input_gives_an_empty_result_and_keeps_the_register():
    enc = coding.ConvEncoder([0o171, 0o133])
    enc.encode([1, 1, 0])
    before = enc.get_state()
    assert enc.encode([]).size == 0
    buf = np.full(4, 7, np.uint8)
    res = enc.encode([], out=buf)
    assert res.size == 0 and res.base is buf and np.all(buf == 7)
    assert enc.get_state() == before


def test_encode_max_out_is_n_per_bit():
    assert coding.ConvEncoder([1, 3, 5], k=3).encode_max_out(11) == 33
    assert coding.ConvEncoder([1, 3, 5], k=3).encode_max_out(0) == 0


@pytest.mark.parametrize(
    "poly,k",
    [
        ([0o171, 0o133], 10),
        ([1, 1], 1),
        ([1, 2, 3, 4, 5, 6, 7], 7),
        ([], 7),
        ([0o171, 0], 7),
        ([0o171, 128], 7),
        ([4], 2),
        ([0o171, 0o133], -1),
    ],
)
def test_unusable_codes_are_refused(poly, k):
    with pytest.raises(ValueError, match=f"^{re.escape(REFUSED)}$"):
        coding.ConvEncoder(poly, k=k)


def test_k_is_taken_modulo_2_to_the_32():
    bits = [1, 0, 1, 1]
    np.testing.assert_array_equal(coding.ConvEncoder([0o171, 0o133], k=2 ** 32 + 7).encode(bits),
                                  coding.ConvEncoder([0o171, 0o133], k=7).encode(bits))


def test_polynomials_must_convert_safely_to_uint32():
    with pytest.raises(TypeError):
        coding.ConvEncoder(np.array([0o171, 0o133], np.int64))


def blob_fields(blob):
    return [int.from_bytes(blob[i:i + 4], "little") for i in range(16, 56, 4)]


def test_state_blob_layout():
    enc = coding.ConvEncoder([0o171, 0o133], k=7, invert=0xFE)
    enc.encode([1, 0, 1, 1])
    blob = enc.get_state()
    assert blob[:4] == b"CVEN" and len(blob) == 56
    # state holds the last 6 bits, newest in bit 5: 1,0,1,1 -> 0b110100
    assert blob_fields(blob) == [0b110100, 7, 2, 0x2, 0o171, 0o133, 0, 0, 0, 0]


@pytest.mark.parametrize(
    "other",
    [
        lambda: coding.ConvEncoder([0o171, 0o131], k=7),
        lambda: coding.ConvEncoder([0o133, 0o171], k=7),
        lambda: coding.ConvEncoder([0o171, 0o133], k=8),
        lambda: coding.ConvEncoder([0o171, 0o133], k=7, invert=1),
        lambda: coding.ConvEncoder([0o171, 0o133, 0o165], k=7),
    ],
)
def test_blob_of_another_code_is_refused(other):
    enc = coding.ConvEncoder([0o171, 0o133], k=7)
    enc.encode([1, 1, 0, 1])
    src = other()
    src.encode([1, 0, 0, 1])
    before = enc.get_state()
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        enc.set_state(src.get_state())
    assert enc.get_state() == before


def test_blob_invert_bits_above_n_do_not_matter():
    a = coding.ConvEncoder([0o171, 0o133], k=7, invert=0x1)
    b = coding.ConvEncoder([0o171, 0o133], k=7, invert=0xFD)
    a.encode([1, 0, 1])
    b.set_state(a.get_state())
    np.testing.assert_array_equal(a.encode([1, 1, 0]), b.encode([1, 1, 0]))


def test_blob_with_a_register_value_out_of_range_is_refused():
    enc = coding.ConvEncoder([0o171, 0o133], k=7)
    blob = bytearray(enc.get_state())
    blob[16:20] = (64).to_bytes(4, "little")
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        enc.set_state(bytes(blob))
    blob[16:20] = (63).to_bytes(4, "little")
    enc.set_state(bytes(blob))
    # Register 63: the last six inputs were ones.
    np.testing.assert_array_equal(enc.encode([0]), reference_encode([0], [0o171, 0o133], 7, state=63))
