"""FFT engines against numpy.fft, pyFFTW and a plain C++ loop over FFTW.

Run: python bench/bench_fft.py [--quick]

Every engine call passes a preallocated out= buffer, so what is timed is the
transform plus the binding, not first-touch page faults of fresh arrays.
Ratios above 1 mean korvana is faster.
"""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).parent))
from _timing import best_time, parse_args  # noqa: E402

from korvana import spectral  # noqa: E402

try:
    import pyfftw
except ImportError:  # optional peer
    pyfftw = None

ROOT = Path(__file__).resolve().parent.parent


def ceiling(sizes):
    """ns per call of the raw FFTW plans and of the engine from C++, by size."""
    build = Path(os.environ.get("KORVANA_BUILD_DIR", ROOT / "build" / "wheel"))
    exe = build / "bench" / "bench_fft_ceiling"
    if not exe.exists():
        return {}
    out = subprocess.run([str(exe), *map(str, sizes)], capture_output=True, text=True, check=True)
    rows = {}
    for line in out.stdout.split("\n"):
        if line.strip():
            n, f32, f64, c32, c64 = line.split()
            rows[int(n)] = tuple(float(v) for v in (f32, f64, c32, c64))
    return rows


def pyfftw_time(x):
    if pyfftw is None:
        return float("nan")
    a = pyfftw.empty_aligned(x.shape, x.dtype)
    b = pyfftw.empty_aligned(x.shape, x.dtype)
    a[:] = x
    plan = pyfftw.FFTW(a, b, axes=tuple(range(x.ndim)), flags=("FFTW_ESTIMATE",))
    return best_time(plan.execute)


def main():
    args = parse_args(__doc__)
    sizes = [64, 1024] if args.quick else [64, 128, 256, 512, 1000, 1024, 2048, 4096, 8192,
                                           16384, 32768, 48000, 65536]
    rng = np.random.default_rng(1)
    ceil = ceiling(sizes)
    print(f"{'n':>6} {'dtype':>9} {'korvana us':>11} {'numpy us':>9} {'x numpy':>8} "
          f"{'pyfftw us':>10} {'x pyfftw':>9} {'C++ plan us':>12} {'/ ceiling':>10}")
    for n in sizes:
        for dtype, method, col in [(np.complex64, "execute_cf32", 0), (np.complex128, "execute_cf64", 1)]:
            x = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(dtype)
            out = np.empty(n, dtype)
            f = spectral.FFT(n=n)
            call = getattr(f, method)
            t_k = best_time(lambda: call(x, out=out))
            np_out = np.empty(n, dtype)
            t_np = best_time(lambda: np.fft.fft(x, out=np_out))
            t_pf = pyfftw_time(x)
            c = ceil.get(n)
            t_c = c[col] * 1e-9 if c else float("nan")
            print(f"{n:>6} {np.dtype(dtype).name:>9} {t_k * 1e6:>11.2f} {t_np * 1e6:>9.2f} "
                  f"{t_np / t_k:>8.2f} {t_pf * 1e6:>10.2f} {t_pf / t_k:>9.2f} "
                  f"{t_c * 1e6:>12.2f} {t_c / t_k:>10.2f}")
    ny = nx = 32 if args.quick else 256
    for dtype, method in [(np.complex64, "execute_cf32"), (np.complex128, "execute_cf64")]:
        x = (rng.standard_normal((ny, nx)) + 1j * rng.standard_normal((ny, nx))).astype(dtype)
        out = np.empty(ny * nx, dtype)
        g = spectral.FFT2D(ny=ny, nx=nx)
        call = getattr(g, method)
        t_k = best_time(lambda: call(x, out=out))
        np_out = np.empty((ny, nx), dtype)
        t_np = best_time(lambda: np.fft.fft2(x, out=np_out))
        t_pf = pyfftw_time(x)
        print(f"FFT2D {ny}x{nx} {np.dtype(dtype).name:>9} {t_k * 1e6:>9.1f} us   numpy "
              f"{t_np * 1e6:>9.1f} us  x{t_np / t_k:.2f}   pyfftw {t_pf * 1e6:>8.1f} us  "
              f"x{t_pf / t_k:.2f}")
    f = spectral.FFT(n=64)
    x = np.zeros(64, np.complex64)
    out = np.empty(64, np.complex64)
    t = best_time(lambda: f.execute_cf32(x, out=out))
    print(f"per-call cost, execute_cf32 n=64 with out=: {t * 1e9:.0f} ns")


if __name__ == "__main__":
    main()
