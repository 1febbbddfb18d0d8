"""End-to-end demonstration: ``python -m korvana.demo``.

Builds an FFT engine, transforms a complex tone and reports the peak bin and
its level.
"""

from __future__ import annotations

import numpy as np

from korvana import spectral


def main() -> None:
    """Run the demonstration and print what it measured.

    Examples
    --------
    >>> from korvana import demo
    >>> demo.main()  # doctest: +SKIP
    """
    n, fs = 1024, 1.024e6
    tone_hz, amplitude = 125e3, 0.5
    t = np.arange(n) / fs
    x = (amplitude * np.exp(2j * np.pi * tone_hz * t)).astype(np.complex64)

    fft = spectral.FFT(n=n)
    out = np.empty(fft.execute_cf32_max_out(), np.complex64)
    bins = fft.execute_cf32(x, out=out)
    mag = np.abs(bins) / n
    k = int(np.argmax(mag))
    freq = (k if k < n // 2 else k - n) * fs / n
    level = 20 * np.log10(mag[k])
    print(f"FFT n={fft.n}: tone of {tone_hz / 1e3:.1f} kHz at amplitude {amplitude}")
    print(f"  peak bin {k} ({freq / 1e3:.1f} kHz), level {level:.2f} dBFS")
    fft.destroy()


if __name__ == "__main__":
    main()
