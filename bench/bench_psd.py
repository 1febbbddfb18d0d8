"""PSD.accumulate throughput against scipy.signal.welch and a plain NumPy periodogram.

Run: python bench/bench_psd.py [--quick]

All three average the same Hann-windowed, non-overlapping complex64 frames of n
samples (no detrending, two-sided). korvana folds them into its running mean;
welch and the NumPy version (reshape, window, FFT, |X|^2, mean) start over on
every call. Throughput is input samples per second; ratios above 1 mean
korvana is faster.
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).parent))
from _timing import best_time, parse_args  # noqa: E402

from korvana import spectral  # noqa: E402

try:
    from scipy import signal
except ImportError:  # optional peer
    signal = None


def numpy_psd(x, n, w):
    frames = x.reshape(-1, n) * w
    return (np.abs(np.fft.fft(frames, axis=1)) ** 2).mean(axis=0)


def main():
    args = parse_args(__doc__)
    sizes = [256] if args.quick else [256, 1024, 4096]
    total = 1 << 12 if args.quick else 1 << 20
    rng = np.random.default_rng(1)
    x = ((rng.standard_normal(total) + 1j * rng.standard_normal(total)) / np.sqrt(2)).astype(
        np.complex64)
    print(f"{total} complex64 samples per call, Hann, mean of non-overlapping frames")
    print(f"{'n':>6} {'korvana MS/s':>13} {'welch MS/s':>11} {'x welch':>8} "
          f"{'numpy MS/s':>11} {'x numpy':>8} {'x best peer':>12}")
    for n in sizes:
        p = spectral.PSD(n=n, window="hann", mode="mean")
        t_k = best_time(lambda: p.accumulate(x))
        w = np.hanning(n).astype(np.float32)
        t_np = best_time(lambda: numpy_psd(x, n, w))
        if signal is not None:
            t_w = best_time(lambda: signal.welch(x, window="hann", nperseg=n, noverlap=0,
                                                 detrend=False, return_onesided=False,
                                                 scaling="spectrum"))
        else:
            t_w = float("nan")
        best_peer = min(t_np, t_w) if signal is not None else t_np
        rate = lambda t: total / t / 1e6  # noqa: E731
        print(f"{n:>6} {rate(t_k):>13.1f} {rate(t_w):>11.1f} {t_w / t_k:>8.2f} "
              f"{rate(t_np):>11.1f} {t_np / t_k:>8.2f} {best_peer / t_k:>12.2f}")
    # Reading the averaged spectrum back into a preallocated buffer.
    p = spectral.PSD(n=1024)
    p.accumulate(x[:1024])
    out = np.empty(p.psd_db_max_out(), np.float32)
    t = best_time(lambda: p.psd_db(out=out))
    print(f"psd_db(out=) at nfft 1024: {t * 1e6:.2f} us")


if __name__ == "__main__":
    main()
