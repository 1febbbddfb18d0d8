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
]
