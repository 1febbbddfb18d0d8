"""coding.ReedSolomon against reedsolo (same field, first root and root stride), a plain
syndrome evaluation, known generators, random error patterns and every refusal."""

import re

import numpy as np
import pytest

from korvana import coding

reedsolo = pytest.importorskip("reedsolo")

REFUSED = ("ReedSolomon: not a usable code \u2014 need an even nroots in 2..64 leaving at "
           "least one information symbol, 2 <= symbol_bits <= 8, a PRIMITIVE field_poly, and "
           "a root_stride coprime with 2**symbol_bits - 1")

# (nroots, symbol_bits, field_poly, first_root, root_stride)
CODES = [
    (32, 8, 29, 1, 1),
    (32, 8, 0x87, 112, 11),  # CCSDS
    (16, 8, 29, 0, 1),
    (10, 8, 0x2B, 120, 7),
    (64, 8, 0x63, 3, 1),
    (4, 4, 3, 0, 1),
    (6, 4, 3, 5, 7),
    (2, 3, 3, 1, 2),
    (12, 5, 5, 2, 3),
    (8, 6, 3, 9, 5),
    (20, 7, 9, 33, 11),
]
codes = pytest.mark.parametrize("cfg", CODES, ids=[f"rs{c[0]}_J{c[1]}_p{c[2]}_j{c[3]}_s{c[4]}" for c in CODES])


class Field:
    """GF(2^J) by its own exponent table: the test's independent arithmetic."""

    def __init__(self, J, poly):
        self.n = (1 << J) - 1
        self.exp = [0] * (2 * self.n)
        self.log = {}
        v = 1
        for i in range(self.n):
            self.exp[i] = v
            self.log[v] = i
            v <<= 1
            if v >> J:
                v ^= (1 << J) | poly
        for i in range(self.n, 2 * self.n):
            self.exp[i] = self.exp[i - self.n]

    def mul(self, a, b):
        return 0 if a == 0 or b == 0 else self.exp[self.log[a] + self.log[b]]

    def power(self, e):
        return self.exp[e % self.n]


def roots(cfg):
    nroots, J, poly, j0, s = cfg
    f = Field(J, poly)
    return f, [f.power((j0 + i) * s) for i in range(nroots)]


def reference_codec(cfg):
    """reedsolo with the same field; a root stride becomes its generator element alpha**s."""
    nroots, J, poly, j0, s = cfg
    f = Field(J, poly)
    return reedsolo.RSCodec(nsym=nroots, nsize=f.n, fcr=j0, prim=(1 << J) | poly,
                            generator=f.power(s), c_exp=J)


def random_info(rng, rs):
    return rng.integers(0, rs.n + 1, rs.k).astype(np.uint8)


@codes
def test_parameters_and_generator_roots(cfg):
    rs = coding.ReedSolomon(*cfg)
    nroots, J = cfg[0], cfg[1]
    assert (rs.n, rs.k, rs.e, rs.nroots, rs.symbol_bits) == (2 ** J - 1, 2 ** J - 1 - nroots, nroots // 2, nroots, J)
    g = np.zeros(nroots + 1, np.uint8)
    assert rs.generator(g) == nroots + 1
    assert g[-1] == 1
    f, rts = roots(cfg)
    for r in rts:  # every root of g, evaluated by Horner from the top coefficient
        acc = 0
        for c in g[::-1]:
            acc = f.mul(acc, r) ^ int(c)
        assert acc == 0


@codes
def test_encode_matches_reedsolo(rng, cfg):
    rs = coding.ReedSolomon(*cfg)
    ref = reference_codec(cfg)
    for _ in range(5):
        info = random_info(rng, rs)
        cw = rs.encode(info)
        assert cw.size == rs.n
        np.testing.assert_array_equal(cw[:rs.k], info)
        want = np.frombuffer(bytes(ref.encode(bytearray(info.tobytes()))), np.uint8)
        np.testing.assert_array_equal(cw, want)
        assert rs.codeword_ok(cw) == 1


@codes
def test_syndromes_are_the_word_evaluated_at_each_root(rng, cfg):
    rs = coding.ReedSolomon(*cfg)
    f, rts = roots(cfg)
    w = rng.integers(0, rs.n + 1, rs.n).astype(np.uint8)
    want = []
    for r in rts:
        acc = 0
        for c in w:
            acc = f.mul(acc, r) ^ int(c)
        want.append(acc)
    np.testing.assert_array_equal(rs.syndromes(w), np.array(want, np.uint8))
    assert not rs.syndromes(rs.encode(random_info(rng, rs))).any()


@codes
def test_up_to_e_random_errors_are_corrected(rng, cfg):
    rs = coding.ReedSolomon(*cfg)
    ref = reference_codec(cfg)
    for trial in range(40):
        cw = rs.encode(random_info(rng, rs))
        nerr = 1 + trial % rs.e
        pos = rng.choice(rs.n, nerr, replace=False)
        rx = cw.copy()
        rx[pos] ^= rng.integers(1, rs.n + 1, nerr).astype(np.uint8)
        assert rs.codeword_ok(rx) == 0
        fixed = rx.copy()
        assert rs.decode(fixed) == nerr
        np.testing.assert_array_equal(fixed, cw)
        _, full, _ = ref.decode(bytearray(rx.tobytes()))
        np.testing.assert_array_equal(np.frombuffer(bytes(full), np.uint8), cw)


@codes
def test_beyond_e_errors_fail_cleanly_or_land_on_a_codeword(rng, cfg):
    rs = coding.ReedSolomon(*cfg)
    failures = 0
    for _ in range(60):
        cw = rs.encode(random_info(rng, rs))
        nerr = rs.e + 1 + int(rng.integers(0, 3))
        nerr = min(nerr, rs.n)
        pos = rng.choice(rs.n, nerr, replace=False)
        rx = cw.copy()
        rx[pos] ^= rng.integers(1, rs.n + 1, nerr).astype(np.uint8)
        # Decode inside a larger buffer: nothing outside the word may change.
        big = np.full(rs.n + 32, 0xA5, np.uint8)
        big[16:16 + rs.n] = rx
        r = rs.decode(big[16:16 + rs.n])
        assert np.all(big[:16] == 0xA5) and np.all(big[16 + rs.n:] == 0xA5)
        word = big[16:16 + rs.n]
        if r == -1:
            failures += 1
            np.testing.assert_array_equal(word, rx)
        else:
            # Miscorrection onto another codeword (0 when the errors formed one).
            assert 0 <= r <= rs.e
            assert rs.codeword_ok(word) == 1
    assert failures > 0


def test_small_known_code():
    rs = coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3)
    assert (rs.n, rs.k, rs.e) == (15, 11, 2)
    g = np.zeros(6, np.uint8)
    assert rs.generator(g) == 5
    np.testing.assert_array_equal(g[:5], [7, 8, 12, 13, 1])
    np.testing.assert_array_equal(rs.encode(np.arange(11, dtype=np.uint8))[11:], [12, 14, 8, 3])


def test_ccsds_generator():
    rs = coding.ReedSolomon(nroots=32, field_poly=0x87, first_root=112, root_stride=11)
    g = np.zeros(33, np.uint8)
    assert rs.generator(g) == 33
    want = [1, 91, 127, 86, 16, 30, 13, 235, 97, 165, 8, 42, 54, 86, 171, 32, 113, 32, 171, 86,
            54, 42, 8, 165, 97, 235, 13, 30, 16, 86, 127, 91, 1]
    np.testing.assert_array_equal(g, want)
    assert rs.generator(np.zeros(32, np.uint8)) == 0


def test_two_errors_in_the_default_code():
    rs = coding.ReedSolomon(nroots=32)
    assert (rs.n, rs.k, rs.e) == (255, 223, 16)
    cw = rs.encode(np.arange(223, dtype=np.uint8))
    cw[3] ^= 0xFF
    cw[40] ^= 0x01
    assert rs.decode(cw) == 2
    np.testing.assert_array_equal(cw[:223], np.arange(223))
    assert rs.decode(cw) == 0


def test_codeword_ok_and_lengths():
    rs = coding.ReedSolomon(nroots=32)
    assert rs.codeword_ok(np.zeros(255, np.uint8)) == 1
    assert rs.codeword_ok([0] * 255) == 1
    assert rs.codeword_ok(np.zeros(254, np.uint8)) == 0
    assert rs.decode(np.zeros(254, np.uint8)) == -2
    assert rs.encode(np.zeros(222, np.uint8)).size == 0
    assert rs.syndromes(np.zeros(254, np.uint8)).size == 0
    assert rs.encode_max_out(5) == 255 and rs.syndromes_max_out(5) == 32


def test_encode_may_append_parity_to_its_own_input(rng):
    rs = coding.ReedSolomon(nroots=32, field_poly=0x87, first_root=112, root_stride=11)
    info = random_info(rng, rs)
    buf = np.zeros(255, np.uint8)
    buf[:223] = info
    res = rs.encode(buf[:223], out=buf)
    assert res.base is buf
    np.testing.assert_array_equal(buf, rs.encode(info))


@pytest.mark.parametrize(
    "arg",
    [
        [0] * 255,
        np.zeros(255, np.int16),
        np.zeros((255, 2), np.uint8)[:, 0],
        "readonly",
    ],
    ids=["list", "int16", "strided", "read-only"],
)
def test_decode_takes_only_a_writable_contiguous_uint8_array(arg):
    if isinstance(arg, str):
        arg = np.zeros(255, np.uint8)
        arg.flags.writeable = False
    with pytest.raises(TypeError, match="^codeword must be a writable, C-contiguous ndarray of "
                                        "the output dtype$"):
        coding.ReedSolomon(nroots=32).decode(arg)


def test_generator_takes_only_a_writable_contiguous_uint8_array():
    with pytest.raises(TypeError, match="^out must be a writable, C-contiguous ndarray of the "
                                        "output dtype$"):
        coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3).generator([0] * 5)


def test_symbols_outside_a_small_field_are_survived(rng):
    rs = coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3, first_root=9, root_stride=7)
    for _ in range(500):
        w = rng.integers(0, 256, 15).astype(np.uint8)
        assert -1 <= rs.decode(w) <= 2


@pytest.mark.parametrize(
    "kw",
    [
        dict(nroots=33),
        dict(nroots=66),
        dict(nroots=0),
        dict(nroots=-2),
        dict(nroots=32, symbol_bits=9),
        dict(nroots=2, symbol_bits=1, field_poly=1),
        dict(nroots=32, field_poly=28),  # even
        dict(nroots=32, field_poly=0),
        dict(nroots=32, field_poly=0x11D),  # the x^8 term given explicitly
        dict(nroots=32, field_poly=0x1B),  # x^8+x^4+x^3+x+1: irreducible, not primitive
        dict(nroots=4, symbol_bits=4, field_poly=0xF),  # x^4+x^3+x^2+x+1: order 5
        dict(nroots=4, symbol_bits=4, field_poly=3, root_stride=0),
        dict(nroots=4, symbol_bits=4, field_poly=3, root_stride=5),
        dict(nroots=4, symbol_bits=4, field_poly=3, root_stride=30),
        dict(nroots=16, symbol_bits=4, field_poly=3),  # no information symbol left
    ],
)
def test_unusable_codes_are_refused(kw):
    with pytest.raises(ValueError, match=f"^{re.escape(REFUSED)}$"):
        coding.ReedSolomon(**kw)


def test_one_information_symbol_is_enough():
    rs = coding.ReedSolomon(nroots=14, symbol_bits=4, field_poly=3, first_root=0)
    assert rs.k == 1
    cw = rs.encode([9])
    cw[[0, 5, 7, 9, 11, 12, 14]] ^= 1
    assert rs.decode(cw) == 7 and cw[0] == 9


def test_field_poly_keeps_its_low_16_bits():
    a = coding.ReedSolomon(nroots=8, field_poly=29 + (5 << 16))
    b = coding.ReedSolomon(nroots=8, field_poly=29)
    info = np.arange(247, dtype=np.uint8)
    np.testing.assert_array_equal(a.encode(info), b.encode(info))
