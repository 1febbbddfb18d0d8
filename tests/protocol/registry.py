"""Every korvana type, described once for the shared protocol tests.

Add an entry per new type. Each entry says how to build a valid object, one
valid call of each of its own methods, its getters, its bounded outputs (for the
``out=`` rules) and, for stateful types, how to advance its state.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Callable

import numpy as np

from korvana import spectral
from korvana import accumulator
from korvana import coding


@dataclass(frozen=True)
class Bounded:
    """One method with a bounded output and an ``out=`` argument."""

    method: str
    dtype: Any
    # call(obj, out) -> result: a valid call of the method passing out=out.
    call: Callable[[Any, Any], Any]
    # need(obj) -> the capacity that call requires.
    need: Callable[[Any], int]
    # prepare(obj): whatever must happen first for the call to produce output.
    prepare: Callable[[Any], None] = lambda obj: None


@dataclass(frozen=True)
class TypeCase:
    id: str
    make: Callable[[], Any]
    # Every public method other than destroy/__enter__/__exit__, with one valid call.
    methods: dict[str, Callable[[Any], Any]]
    getters: tuple[str, ...]
    bounded: tuple[Bounded, ...] = ()
    # feed(obj) -> comparable output; advances the state. Stateful types only.
    feed: Callable[[Any], Any] | None = None
    # A constructor call whose negative unsigned argument wraps and is refused.
    wrapped: Callable[[], Any] | None = None
    wrapped_error: tuple[type, str] | None = None
    # Another valid configuration whose state blob has a different length.
    make_other_size: Callable[[], Any] | None = None


def _c64(n, seed=1):
    r = np.random.default_rng(seed)
    return (r.standard_normal(n) + 1j * r.standard_normal(n)).astype(np.complex64)


def _fft_methods(n, complex_in):
    x32 = _c64(n)
    x64 = x32.astype(np.complex128)
    m = {
        "execute_cf64": lambda o: o.execute_cf64(x64),
        "execute_cf32": lambda o: o.execute_cf32(x32),
        "execute_inplace_cf64": lambda o: o.execute_inplace_cf64(x64),
        "execute_inplace_cf32": lambda o: o.execute_inplace_cf32(x32),
        "execute_cf64_max_out": lambda o: o.execute_cf64_max_out(),
        "execute_cf32_max_out": lambda o: o.execute_cf32_max_out(),
        "execute_inplace_cf64_max_out": lambda o: o.execute_inplace_cf64_max_out(),
        "execute_inplace_cf32_max_out": lambda o: o.execute_inplace_cf32_max_out(),
        "reset": lambda o: o.reset(),
    }
    if complex_in:
        m["execute_ci16"] = lambda o: o.execute_ci16(np.zeros(2 * n, np.int16))
        m["execute_ci8"] = lambda o: o.execute_ci8(np.zeros(2 * n, np.int8))
    return m


def _fft_bounded(n):
    x32 = _c64(n)
    x64 = x32.astype(np.complex128)
    out = []
    for name, x, dt in [
        ("execute_cf64", x64, np.complex128),
        ("execute_cf32", x32, np.complex64),
        ("execute_inplace_cf64", x64, np.complex128),
        ("execute_inplace_cf32", x32, np.complex64),
    ]:
        out.append(
            Bounded(name, dt, lambda o, buf, name=name, x=x: getattr(o, name)(x, out=buf), lambda o: n)
        )
    return tuple(out)


def _psd_frame(o):
    o.accumulate(_c64(64))


def _psd_methods():
    bands = np.array([-100.0, 100.0, 200.0, 300.0])
    return {
        "accumulate": lambda o: o.accumulate(_c64(64)),
        "accumulate_real": lambda o: o.accumulate_real(_c64(64).real),
        "reset": lambda o: o.reset(),
        "psd_db": lambda o: o.psd_db(),
        "psd_dbhz": lambda o: o.psd_dbhz(),
        "power_twosided": lambda o: o.power_twosided(),
        "power_onesided": lambda o: o.power_onesided(),
        "psd_db_max_out": lambda o: o.psd_db_max_out(),
        "psd_dbhz_max_out": lambda o: o.psd_dbhz_max_out(),
        "power_twosided_max_out": lambda o: o.power_twosided_max_out(),
        "power_onesided_max_out": lambda o: o.power_onesided_max_out(),
        "band_power": lambda o: o.band_power(bands),
        "band_power_max_out": lambda o: o.band_power_max_out(),
        "total_band_power": lambda o: o.total_band_power(bands),
        "occupied_bw": lambda o: o.occupied_bw(0.99),
        "noise_floor": lambda o: o.noise_floor(),
        "snr": lambda o: o.snr(-100.0, 100.0),
        "sfdr": lambda o: o.sfdr(-120.0),
    }


def _psd_bounded():
    out = [
        Bounded(name, np.float32, lambda o, buf, name=name: getattr(o, name)(out=buf),
                need, prepare=_psd_frame)
        for name, need in [
            ("psd_db", lambda o: 64),
            ("psd_dbhz", lambda o: 64),
            ("power_twosided", lambda o: 64),
            ("power_onesided", lambda o: 33),
        ]
    ]
    bands = np.array([-100.0, 100.0, 200.0, 300.0, 0.0])
    out.append(Bounded("band_power", np.float32, lambda o, buf: o.band_power(bands, out=buf),
                       lambda o: 5, prepare=_psd_frame))
    return tuple(out)


CASES: list[TypeCase] = [
    TypeCase(
        id="spectral.FFT",
        make=lambda: spectral.FFT(n=48),
        methods=_fft_methods(48, True),
        getters=("n", "sign"),
        bounded=_fft_bounded(48),
        wrapped=lambda: spectral.FFT(n=-1),
        wrapped_error=(MemoryError, "fft_create returned NULL"),
    ),
    TypeCase(
        id="spectral.FFT2D",
        make=lambda: spectral.FFT2D(ny=4, nx=6),
        methods=_fft_methods(24, False),
        getters=("ny", "nx", "sign"),
        bounded=_fft_bounded(24),
        wrapped=lambda: spectral.FFT2D(ny=-4, nx=4),
        wrapped_error=(MemoryError, "fft2d_create returned NULL"),
    ),
    TypeCase(
        id="spectral.PSD",
        make=lambda: spectral.PSD(n=64, fs=1e3, mode="exp", alpha=0.25),
        methods=_psd_methods(),
        getters=("n", "nfft", "fs", "full_scale", "bits", "enbw", "rbw", "count", "mode"),
        bounded=_psd_bounded(),
        feed=lambda o: (o.accumulate(_c64(64, seed=o.count + 1)), o.psd_db())[1],
        wrapped=lambda: spectral.PSD(n=-1),
        wrapped_error=(MemoryError, "psd_create returned NULL"),
        make_other_size=lambda: spectral.PSD(n=128),
    ),
    TypeCase(
        id="accumulator.AccTrace",
        make=lambda: accumulator.AccTrace(n=16, mode="exp", alpha=0.25),
        methods={
            "accumulate": lambda o: o.accumulate(np.ones(16, np.float32)),
            "value": lambda o: o.value(),
            "value_max_out": lambda o: o.value_max_out(),
            "reset": lambda o: o.reset(),
        },
        getters=("n", "alpha", "count", "mode"),
        bounded=(
            Bounded(
                "value",
                np.float32,
                lambda o, buf: o.value(out=buf),
                lambda o: 16,
                prepare=lambda o: o.accumulate(np.arange(16, dtype=np.float32)),
            ),
        ),
        feed=lambda o: (o.accumulate(_c64(16, seed=o.count + 1).real), o.value())[1],
        wrapped=lambda: accumulator.AccTrace(n=-1),
        wrapped_error=(MemoryError, "acc_trace_create returned NULL"),
        make_other_size=lambda: accumulator.AccTrace(n=8),
    ),
]


# ---------------------------------------------------------------- coding

_K7 = [0o171, 0o133]


def _bits(n, seed=1):
    return np.random.default_rng(seed).integers(0, 2, n).astype(np.uint8)


def _soft(n, seed=1):
    return np.random.default_rng(seed).standard_normal(n).astype(np.float32)


def _viterbi_feed(o):
    # Each call decodes fresh symbols; the seed follows the decoder's own progress.
    return o.decode(_soft(64, seed=len(o.get_state()) + o.get_state()[24]))


def _interleaver_methods(il_cls, with_interleave):
    m = {
        "deinterleave": lambda o: o.deinterleave(_bits(24)),
        "deinterleave_soft": lambda o: o.deinterleave_soft(_soft(24)),
        "deinterleave_max_out": lambda o: o.deinterleave_max_out(24),
        "deinterleave_soft_max_out": lambda o: o.deinterleave_soft_max_out(24),
        "reset": lambda o: o.reset(),
    }
    if with_interleave:
        m["interleave"] = lambda o: o.interleave(_bits(24))
        m["interleave_max_out"] = lambda o: o.interleave_max_out(24)
    return m


def _interleaver_bounded(with_interleave):
    b = [
        Bounded("deinterleave_soft", np.float32,
                lambda o, buf: o.deinterleave_soft(_soft(24), out=buf), lambda o: 24),
        Bounded("deinterleave", np.uint8, lambda o, buf: o.deinterleave(_bits(24), out=buf),
                lambda o: 24),
    ]
    if with_interleave:
        b.append(Bounded("interleave", np.uint8, lambda o, buf: o.interleave(_bits(24), out=buf),
                         lambda o: 24))
    return tuple(b)


_IL_GETTERS = ("rows", "cols", "unit_bits", "block_bits", "burst_len", "separation")
_IL_REFUSED = ("Interleaver: rows, cols and unit_bits must all be non-zero, and their product "
               "must fit a size_t")

CASES.extend([
    TypeCase(
        id="coding.ConvEncoder",
        make=lambda: coding.ConvEncoder(_K7, k=7),
        methods={
            "encode": lambda o: o.encode(_bits(16)),
            "encode_max_out": lambda o: o.encode_max_out(16),
            "reset": lambda o: o.reset(),
        },
        getters=(),
        bounded=(Bounded("encode", np.uint8, lambda o, buf: o.encode(_bits(9), out=buf),
                         lambda o: 18),),
        feed=lambda o: o.encode(_bits(13, seed=o.get_state()[16] + 1)),
        wrapped=lambda: coding.ConvEncoder(_K7, k=-1),
        wrapped_error=(ValueError, "ConvEncoder: not a usable code (need 1 to 6 non-zero "
                                   "polynomials, each under 2**k, and 2 <= k <= 9)"),
    ),
    TypeCase(
        id="coding.Viterbi",
        make=lambda: coding.Viterbi(_K7, k=7, depth=12),
        methods={
            "decode": lambda o: o.decode(_soft(40)),
            "decode_max_out": lambda o: o.decode_max_out(40),
            "reset": lambda o: o.reset(),
        },
        getters=(),
        # 30 branches of a fresh depth-12 decoder emit 30 - 11 bits.
        bounded=(Bounded("decode", np.uint8, lambda o, buf: o.decode(_soft(60), out=buf),
                         lambda o: 19),),
        feed=_viterbi_feed,
        wrapped=lambda: coding.Viterbi(_K7, k=7, depth=-1),
        wrapped_error=(ValueError, "Viterbi: not a usable code (need 1 to 6 non-zero "
                                   "polynomials, each under 2**k, 2 <= k <= 9, and depth >= 1)"),
        make_other_size=lambda: coding.Viterbi(_K7, k=7, depth=13),
    ),
    TypeCase(
        id="coding.ReedSolomon",
        make=lambda: coding.ReedSolomon(nroots=32),
        methods={
            "encode": lambda o: o.encode(np.zeros(223, np.uint8)),
            "encode_max_out": lambda o: o.encode_max_out(223),
            "decode": lambda o: o.decode(np.zeros(255, np.uint8)),
            "syndromes": lambda o: o.syndromes(np.zeros(255, np.uint8)),
            "syndromes_max_out": lambda o: o.syndromes_max_out(255),
            "codeword_ok": lambda o: o.codeword_ok(np.zeros(255, np.uint8)),
            "generator": lambda o: o.generator(np.zeros(33, np.uint8)),
        },
        getters=("n", "k", "e", "nroots", "symbol_bits"),
        bounded=(
            Bounded("encode", np.uint8,
                    lambda o, buf: o.encode(np.arange(223, dtype=np.uint8), out=buf), lambda o: 255),
            Bounded("syndromes", np.uint8,
                    lambda o, buf: o.syndromes(np.arange(255, dtype=np.uint8), out=buf),
                    lambda o: 32),
        ),
        wrapped=lambda: coding.ReedSolomon(nroots=-2),
        wrapped_error=(ValueError, "ReedSolomon: not a usable code \u2014 need an even nroots in "
                                   "2..64 leaving at least one information symbol, 2 <= "
                                   "symbol_bits <= 8, a PRIMITIVE field_poly, and a root_stride "
                                   "coprime with 2**symbol_bits - 1"),
    ),
    TypeCase(
        id="coding.Interleaver",
        make=lambda: coding.Interleaver(rows=3, cols=4),
        methods=_interleaver_methods(coding.Interleaver, True),
        getters=_IL_GETTERS,
        bounded=_interleaver_bounded(True),
        wrapped=lambda: coding.Interleaver(rows=-1, cols=4),
        wrapped_error=(ValueError, _IL_REFUSED),
    ),
    TypeCase(
        id="coding.Deinterleaver",
        make=lambda: coding.Deinterleaver(rows=3, cols=4),
        methods=_interleaver_methods(coding.Deinterleaver, False),
        getters=_IL_GETTERS,
        bounded=_interleaver_bounded(False),
        wrapped=lambda: coding.Deinterleaver(rows=4, cols=-1),
        wrapped_error=(ValueError, _IL_REFUSED),
    ),
])
