"""End-to-end demonstration: ``python -m korvana.demo``.

A small measurement pipeline built from korvana's blocks:

1. an FFT engine transforms a complex tone and reports the peak bin and level;
2. a PSD estimator averages the tone in noise and measures level, SNR, SFDR,
   occupied bandwidth and noise floor;
3. a coded link: Reed-Solomon (255,223), block interleaving and a K=7 rate-1/2
   convolutional code, sent as BPSK over a noisy channel and decoded back.
"""

from __future__ import annotations

import numpy as np

from korvana import coding, spectral


def fft_tone(n: int = 1024, fs: float = 1.024e6) -> None:
    """Transform a tone with ``spectral.FFT`` and print its peak.

    Examples
    --------
    >>> from korvana import demo
    >>> demo.fft_tone()  # doctest: +SKIP
    """
    tone_hz, amplitude = 125e3, 0.5
    t = np.arange(n) / fs
    x = (amplitude * np.exp(2j * np.pi * tone_hz * t)).astype(np.complex64)
    with spectral.FFT(n=n) as fft:
        bins = fft.execute_cf32(x, out=np.empty(fft.execute_cf32_max_out(), np.complex64))
        mag = np.abs(bins) / n
        k = int(np.argmax(mag))
        freq = (k if k < n // 2 else k - n) * fs / n
        print(f"FFT n={fft.n}: tone of {tone_hz / 1e3:.1f} kHz at amplitude {amplitude}")
        print(f"  peak bin {k} ({freq / 1e3:.1f} kHz), level {20 * np.log10(mag[k]):.2f} dBFS")


def psd_measure(rng: np.random.Generator, fs: float = 1e6) -> None:
    """Average a tone in noise with ``spectral.PSD`` and print its measurements.

    Examples
    --------
    >>> import numpy as np
    >>> from korvana import demo
    >>> demo.psd_measure(np.random.default_rng(1))  # doctest: +SKIP
    """
    n, frames = 1024, 64
    t = np.arange(n * frames) / fs
    tone = 0.25 * np.exp(2j * np.pi * 100e3 * t)
    spur = 0.0025 * np.exp(-2j * np.pi * 250e3 * t)
    noise = (rng.standard_normal(t.size) + 1j * rng.standard_normal(t.size)) * 1e-3
    x = (tone + spur + noise).astype(np.complex64)
    with spectral.PSD(n=n, fs=fs, window="blackman-harris") as psd:
        psd.accumulate(x)
        print(f"PSD n={psd.n} nfft={psd.nfft}: {psd.count} frames, rbw {psd.rbw:.0f} Hz")
        print(f"  tone band power {psd.band_power([95e3, 105e3])[0]:.2f} dBFS (expect -12.04)")
        print(f"  SNR in the tone band {psd.snr(95e3, 105e3):.1f} dB over the noise floor "
              f"{psd.noise_floor():.1f} dBFS")
        print(f"  SFDR {psd.sfdr(-150.0):.1f} dB (expect 40.0), "
              f"99% occupied bandwidth {psd.occupied_bw(0.99) / 1e3:.1f} kHz")


def coded_link(rng: np.random.Generator, ebn0_db: float = 3.0) -> None:
    """Send Reed-Solomon + interleaver + convolutional coded bits over BPSK and decode.

    Examples
    --------
    >>> import numpy as np
    >>> from korvana import demo
    >>> demo.coded_link(np.random.default_rng(1))  # doctest: +SKIP
    """
    rs = coding.ReedSolomon(nroots=32)
    words = 4
    info = rng.integers(0, 256, (words, rs.k), dtype=np.uint8)
    codewords = np.concatenate([rs.encode(w) for w in info])
    il = coding.Interleaver(rows=words, cols=rs.n, unit_bits=8)
    bits = np.unpackbits(codewords)
    sent_bits = il.interleave(bits)

    poly, k, depth = [0o171, 0o133], 7, 35
    enc = coding.ConvEncoder(poly, k=k)
    tail = np.zeros(depth + k, np.uint8)  # flushes the encoder and the decoder's traceback
    symbols = enc.encode(np.concatenate([sent_bits, tail]))
    rate = 0.5 * rs.k / rs.n
    sigma = np.sqrt(1 / (2 * rate * 10 ** (ebn0_db / 10)))
    received = (1 - 2.0 * symbols) + sigma * rng.standard_normal(symbols.size)
    raw_errors = int(np.count_nonzero((received < 0) != symbols))
    llr = (2 * received / sigma**2).astype(np.float32)
    decoded = coding.Viterbi(poly, k=k, depth=depth).decode(llr)[: sent_bits.size]
    viterbi_errors = int(np.count_nonzero(decoded != sent_bits))

    rx = np.packbits(coding.Deinterleaver(rows=words, cols=rs.n, unit_bits=8).deinterleave(decoded))
    words_rx = np.split(rx, words)  # views: each word is corrected in place
    fixed = [rs.decode(w) for w in words_rx]
    ok = sum(int(np.array_equal(w[: rs.k], i)) for w, i in zip(words_rx, info))
    print(f"Coded link at Eb/N0 {ebn0_db:.1f} dB: {words} RS({rs.n},{rs.k}) words, "
          f"{bits.size} bits, {symbols.size} BPSK symbols")
    print(f"  channel symbol errors {raw_errors}, bit errors after Viterbi {viterbi_errors}")
    print(f"  Reed-Solomon corrections per word {fixed}, words recovered {ok}/{words}")


def main() -> None:
    """Run the demonstration and print what it measured.

    Examples
    --------
    >>> from korvana import demo
    >>> demo.main()  # doctest: +SKIP
    """
    rng = np.random.default_rng(2026)
    fft_tone()
    psd_measure(rng)
    coded_link(rng)


if __name__ == "__main__":
    main()
