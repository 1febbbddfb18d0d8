"""spectral.PSD: the averaged periodogram, its outputs and its measurements."""

import struct

import numpy as np
import pytest
from scipy import signal

from korvana import spectral

WINDOWS = {"hann": lambda beta: "hann", "kaiser": lambda beta: ("kaiser", beta),
           "blackman-harris": lambda beta: "blackmanharris"}
MODES = ["mean", "exp", "maxhold", "minhold"]


def ref_window(name, n, beta=0.0):
    return signal.get_window(WINDOWS[name](beta), n, fftbins=False).astype(np.float32)


def periodograms(x, n, nfft, w):
    """Windowed, zero-padded, DC-centred bin powers of every whole frame, in float64."""
    frames = len(x) // n
    seg = np.asarray(x[: frames * n]).astype(np.complex128).reshape(frames, n)
    spec = np.fft.fft(seg * w.astype(np.float64), nfft, axis=1)
    return np.fft.fftshift(np.abs(spec) ** 2, axes=1)


def fold(powers, mode, alpha):
    t = powers[0].copy()
    for k, x in enumerate(powers[1:], start=2):
        if mode == "mean":
            t += (x - t) / k
        elif mode == "exp":
            t = x.copy() if alpha >= 1 else t + (x - t) * alpha
        elif mode == "maxhold":
            t = np.maximum(t, x)
        else:
            t = np.minimum(t, x)
    return t


def noise(rng, n, scale=1.0, dtype=np.complex64):
    return ((rng.standard_normal(n) + 1j * rng.standard_normal(n)) * scale / np.sqrt(2)).astype(dtype)


def tone(n, cycles_per_sample, amp=1.0):
    return (amp * np.exp(2j * np.pi * cycles_per_sample * np.arange(n))).astype(np.complex64)


def db(p, ref):
    return 10 * np.log10(np.maximum(p / ref ** 2, 1e-20))


# ---------------------------------------------------------------- the periodogram


@pytest.mark.parametrize("window,beta", [("hann", 0.0), ("kaiser", 8.0), ("blackman-harris", 0.0)])
@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("n,pad", [(64, 1), (64, 2), (100, 1), (100, 3)])
def test_matches_an_independent_numpy_periodogram(rng, window, beta, mode, n, pad):
    fs, full_scale, alpha = 1e3, 2.5, 0.3
    p = spectral.PSD(n=n, fs=fs, window=window, beta=beta, pad=pad, full_scale=full_scale,
                     mode=mode, alpha=alpha)
    nfft = p.nfft
    assert nfft == 1 << int(np.ceil(np.log2(n * pad)))
    x = noise(rng, n * 7 + n // 2)
    p.accumulate(x[: 3 * n + 5])  # the 5 left-over samples are dropped
    p.accumulate(x[3 * n + 5:])
    w = ref_window(window, n, beta)
    want = fold(np.concatenate([periodograms(x[: 3 * n + 5], n, nfft, w),
                                periodograms(x[3 * n + 5:], n, nfft, w)]), mode, alpha)
    assert p.count == 7
    ws = float(np.sum(w, dtype=np.float64))
    scale = want.max()
    two = p.power_twosided()
    assert two.dtype == np.float32 and two.shape == (nfft,)
    np.testing.assert_allclose(two * ws ** 2, want, rtol=1e-4, atol=1e-5 * scale)
    got_db = p.psd_db()
    np.testing.assert_allclose(got_db, db(want, ws * full_scale), atol=2e-3)
    rbw = fs * np.sum(w.astype(np.float64) ** 2) / ws ** 2
    np.testing.assert_allclose(p.psd_dbhz(), db(want, ws * full_scale) - 10 * np.log10(rbw),
                               atol=2e-3)
    h = nfft // 2
    q = want / ws ** 2
    one = np.concatenate([[q[h]], q[h - 1:0:-1] + q[h + 1:], [q[0]]])
    np.testing.assert_allclose(p.power_onesided(), one, rtol=1e-4, atol=1e-5 * scale / ws ** 2)


@pytest.mark.parametrize("n,pad", [(64, 1), (48, 2)])
def test_real_input_matches_numpy(rng, n, pad):
    p = spectral.PSD(n=n, pad=pad, window="blackman-harris")
    x = rng.standard_normal(5 * n).astype(np.float32)
    p.accumulate_real(x)
    want = periodograms(x, n, p.nfft, ref_window("blackman-harris", n)).mean(axis=0)
    np.testing.assert_allclose(p.power_twosided() * np.sum(ref_window("blackman-harris", n),
                                                           dtype=np.float64) ** 2,
                               want, rtol=1e-4, atol=1e-5 * want.max())
    # A real spectrum is symmetric about DC.
    d = p.psd_db()
    np.testing.assert_allclose(d[1:], d[1:][::-1], atol=1e-3)
    with pytest.raises(TypeError):
        p.accumulate_real(np.zeros(n, np.float64))


@pytest.mark.parametrize("k", [0, 1, 5, -7, 31, -32])
def test_tone_peak_sits_at_dc_plus_its_bin(k):
    p = spectral.PSD(n=64)
    p.accumulate(tone(64, k / 64))
    assert int(np.argmax(p.psd_db())) == (32 + k) % 64


@pytest.mark.parametrize("window,beta", [("hann", 0.0), ("kaiser", 6.0), ("blackman-harris", 0.0)])
@pytest.mark.parametrize("full_scale,bits,amp", [(1.0, 0, 1.0), (3.0, 0, 3.0), (9.0, 12, 2048.0)])
def test_dbfs_calibration(window, beta, full_scale, bits, amp):
    n, k = 256, 19
    p = spectral.PSD(n=n, window=window, beta=beta, full_scale=full_scale, bits=bits)
    p.accumulate(tone(n, k / n, amp))
    d = p.psd_db()
    assert d[n // 2 + k] == pytest.approx(0.0, abs=1e-4)
    assert d.max() == d[n // 2 + k]
    # A real tone puts half its amplitude on each side: -6.02 dB.
    r = spectral.PSD(n=n, window=window, beta=beta, full_scale=full_scale, bits=bits)
    r.accumulate_real((amp * np.cos(2 * np.pi * k * np.arange(n) / n)).astype(np.float32))
    d = r.psd_db()
    assert d[n // 2 + k] == pytest.approx(20 * np.log10(0.5), abs=0.01)
    assert d[n // 2 - k] == pytest.approx(20 * np.log10(0.5), abs=0.01)


@pytest.mark.parametrize("window", ["hann", "kaiser", "blackman-harris"])
def test_dbhz_offset_rbw_and_enbw_agree(rng, window):
    n, fs = 200, 48e3
    p = spectral.PSD(n=n, fs=fs, window=window, beta=5.0, pad=2)
    p.accumulate(noise(rng, 3 * n))
    diff = p.psd_db().astype(np.float64) - p.psd_dbhz()
    np.testing.assert_allclose(diff, 10 * np.log10(p.rbw), atol=2e-5)
    assert p.rbw / (fs / n) == pytest.approx(p.enbw, rel=1e-12)
    w = np.empty(n, np.float32)
    {"hann": spectral.hann_window, "blackman-harris": spectral.blackman_harris_window,
     "kaiser": lambda v: spectral.kaiser_window(v, 5.0)}[window](w)
    assert p.enbw == pytest.approx(spectral.kaiser_enbw(w), rel=1e-6)


def test_nan_input_reads_the_floor():
    p = spectral.PSD(n=16)
    x = np.zeros(16, np.complex64)
    x[3] = np.nan
    p.accumulate(x)
    assert np.all(p.psd_db() == np.float32(-200.0))
    assert np.all(np.isnan(p.power_twosided()))


# ---------------------------------------------------------------- configuration


@pytest.mark.parametrize(
    "kwargs,nfft",
    [(dict(n=100), 128), (dict(n=1024, pad=2), 2048), (dict(n=100, pad=0), 128),
     (dict(n=64), 64), (dict(n=2, window="blackman-harris"), 2), (dict(n=65, pad=3), 256), (dict(), 1024)],
)
def test_nfft(kwargs, nfft):
    p = spectral.PSD(**kwargs)
    assert p.nfft == nfft
    assert p.psd_db_max_out() == p.psd_dbhz_max_out() == p.power_twosided_max_out() == nfft
    assert p.power_onesided_max_out() == nfft // 2 + 1
    assert p.band_power_max_out() == 0


@pytest.mark.parametrize(
    "kwargs,full_scale",
    [(dict(bits=12, full_scale=5.0), 2048.0), (dict(bits=1), 1.0), (dict(bits=16), 32768.0),
     (dict(full_scale=0.25), 0.25)],
)
def test_bits_set_full_scale(kwargs, full_scale):
    p = spectral.PSD(n=64, **kwargs)
    assert p.full_scale == full_scale
    assert p.bits == kwargs.get("bits", 0)


def test_getters():
    p = spectral.PSD(n=100, fs=2e6, window="kaiser", beta=7.0, pad=2, mode="minhold")
    assert (p.n, p.nfft, p.fs, p.bits, p.count, p.mode) == (100, 256, 2e6, 0, 0, 3)
    assert p.rbw == pytest.approx(2e6 * p.enbw / 100)
    assert 1.0 < p.enbw < 2.0


WINDOW_MSG = "window must be one of \"hann\", \"kaiser\", \"blackman-harris\", got '{}'"
MODE_MSG = "mode must be one of \"mean\", \"exp\", \"maxhold\", \"minhold\", got '{}'"
NULL = (MemoryError, "psd_create returned NULL")


@pytest.mark.parametrize(
    "kwargs,err",
    [
        (dict(n=1), NULL),
        (dict(n=0), NULL),
        (dict(n=-1), NULL),
        (dict(fs=0.0), NULL),
        (dict(fs=-1.0), NULL),
        (dict(fs=float("nan")), NULL),
        (dict(fs=float("inf")), NULL),
        (dict(full_scale=0.0), NULL),
        (dict(full_scale=-2.0), NULL),
        (dict(full_scale=float("nan")), NULL),
        (dict(bits=5000), NULL),
        (dict(bits=-1), NULL),
        (dict(n=1 << 40), NULL),
        (dict(n=1 << 62, pad=8), NULL),
        # A two-point Hann window is all zeros: nothing could be calibrated.
        (dict(n=2, window="hann"), NULL),
        (dict(window="kaiser", beta=1e30), NULL),
        (dict(window="Hann"), (ValueError, WINDOW_MSG.format("Hann"))),
        (dict(window="blackmanharris"), (ValueError, WINDOW_MSG.format("blackmanharris"))),
        (dict(mode="avg"), (ValueError, MODE_MSG.format("avg"))),
        # The window is checked before the mode.
        (dict(window="x", mode="y"), (ValueError, WINDOW_MSG.format("x"))),
    ],
)
def test_constructor_refusals(kwargs, err):
    exc, msg = err
    with pytest.raises(exc) as e:
        spectral.PSD(**kwargs)
    assert str(e.value) == msg


def test_positional_constructor_arguments():
    p = spectral.PSD(64, 8.0, "blackman-harris", 0.0, 2, 1.0, 0, "maxhold", 0.5)
    assert (p.n, p.fs, p.nfft, p.mode) == (64, 8.0, 128, 2)
    assert spectral.PSD(n=2, window="blackman-harris").nfft == 2


# ---------------------------------------------------------------- frames and reading


def test_whole_frames_only_and_the_remainder_is_dropped(rng):
    p = spectral.PSD(n=64)
    x = noise(rng, 128)
    p.accumulate(x[:100])
    assert p.count == 1
    p.accumulate(x[100:])  # 28 samples: not joined with the 36 dropped before
    assert p.count == 1
    p.accumulate(x[:63])
    assert p.count == 1
    q = spectral.PSD(n=64)
    q.accumulate(x[:64])
    np.testing.assert_array_equal(p.psd_db(), q.psd_db())
    q.accumulate(x.reshape(2, 64))  # read flat
    assert q.count == 3
    with pytest.raises(TypeError):
        q.accumulate(x.astype(np.complex128))


def test_count_only_enlarges_the_capacity(rng):
    p = spectral.PSD(n=64)
    p.accumulate(noise(rng, 64))
    ref = p.psd_db()
    for method in ("psd_db", "psd_dbhz", "power_twosided", "power_onesided"):
        plain = getattr(p, method)()
        big = getattr(p, method)(count=5000)
        np.testing.assert_array_equal(big, plain)
        assert getattr(p, method)(0).shape == plain.shape
        buf = np.zeros(100, np.float32)
        view = getattr(p, method)(count=100, out=buf)
        np.testing.assert_array_equal(view, plain)
        with pytest.raises(ValueError, match=r"^out has 100 elements, need >= 101$"):
            getattr(p, method)(count=101, out=buf)
    np.testing.assert_array_equal(p.psd_db(), ref)  # reading changes nothing


def test_every_output_before_the_first_frame_and_after_reset(rng):
    p = spectral.PSD(n=64, fs=64.0)
    for stage in ("fresh", "reset"):
        buf = np.full(64, 3.0, np.float32)
        for method in ("psd_db", "psd_dbhz", "power_twosided", "power_onesided"):
            assert getattr(p, method)() is None
            assert getattr(p, method)(out=buf) is None
        assert np.all(buf == 3.0)
        empty = p.band_power([-1.0, 1.0])
        assert empty.dtype == np.float32 and empty.shape == (0,)
        view = p.band_power([-1.0, 1.0], out=buf)
        assert view.shape == (0,) and view.base is buf and np.all(buf == 3.0)
        assert p.total_band_power([-1.0, 1.0]) == -200.0
        assert p.noise_floor() == 0.0
        assert p.snr(-10.0, 10.0) == 0.0
        assert p.sfdr(-100.0) == 0.0
        assert p.occupied_bw(0.99) == 0.0
        assert p.count == 0
        p.accumulate(noise(rng, 64))
        assert p.count == 1 and p.psd_db() is not None
        p.reset()


def test_one_sided_folding_for_nfft_8():
    p = spectral.PSD(n=8, window="blackman-harris")
    p.accumulate(noise(np.random.default_rng(3), 8))
    q = p.power_twosided().astype(np.float64)
    want = [q[4], q[3] + q[5], q[2] + q[6], q[1] + q[7], q[0]]
    np.testing.assert_allclose(p.power_onesided(), want, rtol=1e-6)


# ---------------------------------------------------------------- band power


def band_reference(p, lo, hi):
    """Linear band power from power_twosided: P = twosided * ws^2 and ws^2 / sumsq = n / enbw."""
    lo, hi = min(lo, hi), max(lo, hi)
    a = int(np.floor(lo * p.nfft / p.fs + p.nfft // 2 + 0.5))
    b = int(np.floor(hi * p.nfft / p.fs + p.nfft // 2 + 0.5))
    if b < 0 or a >= p.nfft:
        return 0.0
    a, b = max(a, 0), min(b, p.nfft - 1)
    two = p.power_twosided().astype(np.float64)
    return two[a:b + 1].sum() * p.n / (p.enbw * p.full_scale ** 2 * p.nfft)


@pytest.mark.parametrize("window", ["hann", "blackman-harris"])
@pytest.mark.parametrize("pad", [1, 2])
@pytest.mark.parametrize("offset", [0.0, 0.37, -11.8, 40.5])
def test_band_power_of_a_tone_anywhere_in_the_band(window, pad, offset):
    n, fs, amp = 256, 1e3, 0.3
    f = offset * fs / n
    p = spectral.PSD(n=n, fs=fs, window=window, pad=pad)
    p.accumulate(tone(n, f / fs, amp))
    width = 12 * fs / n
    got = p.band_power([f - width, f + width])
    assert got[0] == pytest.approx(20 * np.log10(amp), abs=0.02)
    # Parseval over the whole spectrum is exact.
    assert p.total_band_power([-fs, fs]) == pytest.approx(20 * np.log10(amp), abs=1e-4)


def test_band_edges_and_their_order(rng):
    p = spectral.PSD(n=64, fs=1.0, window="hann")
    p.accumulate(noise(rng, 64 * 4))
    lower, upper = p.band_power([-0.5, 0.0, 0.0, 0.5])
    assert lower == pytest.approx(10 * np.log10(band_reference(p, -0.5, 0.0)), abs=1e-4)
    assert upper == pytest.approx(10 * np.log10(band_reference(p, 0.0, 0.5)), abs=1e-4)
    # Bins 0..32 and 32..63: the DC bin (32) is counted in both.
    two = p.power_twosided().astype(np.float64)
    k = p.n / (p.enbw * p.nfft)
    assert 10 ** (lower / 10) == pytest.approx(two[:33].sum() * k, rel=1e-5)
    assert 10 ** (upper / 10) == pytest.approx(two[32:].sum() * k, rel=1e-5)
    np.testing.assert_array_equal(p.band_power([0.1, -0.1]), p.band_power([-0.1, 0.1]))
    for lo, hi in [(-0.21, 0.05), (0.3, 0.299), (-0.01, 0.01), (-2.0, -0.45)]:
        assert p.band_power([lo, hi])[0] == pytest.approx(
            10 * np.log10(band_reference(p, lo, hi)), abs=1e-4)


def test_band_power_count_rules_and_out_of_range_bands(rng):
    p = spectral.PSD(n=64, fs=1.0)
    p.accumulate(noise(rng, 64))
    got = p.band_power(np.array([-0.1, 0.1, 0.6, 0.9, 0.2]))
    assert got.shape == (2,) and got[1] == np.float32(-200.0)
    with pytest.raises(ValueError, match=r"^out has 4 elements, need >= 5$"):
        p.band_power([-0.1, 0.1, 0.6, 0.9, 0.2], out=np.zeros(4, np.float32))
    buf = np.full(5, 9.0, np.float32)
    view = p.band_power(bands=[-0.1, 0.1, 0.6, 0.9, 0.2], out=buf)
    np.testing.assert_array_equal(view, got)
    assert buf[2] == 9.0
    assert p.band_power([-3.0, -0.6])[0] == np.float32(-200.0)
    assert p.band_power([np.nan, 0.1])[0] == np.float32(-200.0)
    assert p.band_power([]).shape == (0,)
    one = p.band_power([-0.1, 0.1])[0]
    assert p.total_band_power([-0.1, 0.1]) == pytest.approx(one, abs=1e-4)
    assert p.total_band_power(bands=[-0.1, 0.1, 0.1, -0.1, 5.0]) == pytest.approx(
        one + 10 * np.log10(2), abs=1e-4)
    assert p.total_band_power([]) == -200.0
    assert p.total_band_power([0.7, 0.8]) == -200.0
    # Huge edges saturate instead of wrapping: the band covers everything.
    assert p.band_power([-1e300, 1e300])[0] == pytest.approx(p.band_power([-1.0, 1.0])[0])


# ---------------------------------------------------------------- measurements


@pytest.fixture
def tone_in_noise(rng):
    """Hann, n = 256, full scale 2: a tone of amplitude 1 on bin 20 in white noise of
    power 0.01 per sample, 400 frames. Returns the estimator and the true values."""
    n, fs, full_scale, amp, sigma2 = 256, 1e6, 2.0, 1.0, 0.01
    p = spectral.PSD(n=n, fs=fs, full_scale=full_scale)
    frames = 400
    x = tone(n * frames, 20 / n, amp) + noise(rng, n * frames, np.sqrt(sigma2))
    p.accumulate(x)
    w = ref_window("hann", n).astype(np.float64)
    ws, ws2 = w.sum(), (w ** 2).sum()
    floor = 10 * np.log10(sigma2 * ws2 / (ws * full_scale) ** 2)
    peak = 10 * np.log10((amp ** 2 * ws ** 2 + sigma2 * ws2) / (ws * full_scale) ** 2)
    return p, dict(floor=floor, peak=peak, f=20 * fs / n, bin=fs / n)


def test_noise_floor_and_snr_of_a_tone_in_noise(tone_in_noise):
    p, truth = tone_in_noise
    assert p.noise_floor() == pytest.approx(truth["floor"], abs=0.1)
    assert p.noise_floor() == pytest.approx(float(np.median(p.psd_db().astype(np.float64))))
    snr = p.snr(truth["f"] - 3 * truth["bin"], truth["f"] + 3 * truth["bin"])
    assert snr == pytest.approx(truth["peak"] - truth["floor"], abs=0.15)
    assert p.snr(hi_hz=truth["f"] - 3 * truth["bin"], lo_hz=truth["f"] + 3 * truth["bin"]) == snr
    # Noise only: the highest of a few bins sits a little above the floor.
    assert 0.0 < p.snr(-100 * truth["bin"], -90 * truth["bin"]) < 1.5
    assert p.snr(6e5, 7e5) == 0.0
    assert p.snr(-9e5, -6e5) == 0.0
    assert p.snr(np.nan, 1.0) == 0.0


def test_occupied_bandwidth(tone_in_noise, rng):
    p, truth = tone_in_noise
    # The tone holds about 99% of the power: half of it fits in a few bins.
    assert p.occupied_bw(0.5) <= 3 * truth["bin"]
    white = spectral.PSD(n=128, fs=1e3)
    white.accumulate(noise(rng, 128 * 300))
    assert white.occupied_bw(0.9) == pytest.approx(900.0, rel=0.03)
    assert white.occupied_bw(fraction=1.0) == pytest.approx(1e3)
    assert white.occupied_bw(2.0) == pytest.approx(1e3)
    # The same walk as obw_from_power over the linear two-sided trace.
    for frac in (0.3, 0.9, 0.99):
        assert white.occupied_bw(frac) == pytest.approx(
            spectral.obw_from_power(white.power_twosided().astype(np.float64), 1e3, frac))
    silent = spectral.PSD(n=64)
    silent.accumulate(np.zeros(64, np.complex64))
    assert silent.occupied_bw(0.99) == 0.0


@pytest.mark.parametrize("second_db", [-20.0, -45.0, -70.0])
def test_sfdr_of_two_tones(rng, second_db):
    n = 512
    p = spectral.PSD(n=n, window="blackman-harris")
    x = tone(n * 4, 40 / n) + tone(n * 4, -123 / n, 10 ** (second_db / 20)) \
        + noise(rng, n * 4, 1e-6)
    p.accumulate(x)
    assert p.sfdr(-120.0) == pytest.approx(-second_db, abs=0.05)
    # Raising min_db above the spur leaves one peak: no SFDR.
    assert p.sfdr(second_db + 3) == 0.0
    assert p.sfdr(min_db=-120.0) == p.sfdr(-120.0)


def test_measurements_change_nothing(tone_in_noise):
    p, truth = tone_in_noise
    blob, before = p.get_state(), p.psd_db()
    p.noise_floor(), p.snr(0.0, 1e5), p.sfdr(-100.0), p.occupied_bw(0.9)
    p.band_power([0.0, 1e5]), p.total_band_power([0.0, 1e5])
    assert p.get_state() == blob
    np.testing.assert_array_equal(p.psd_db(), before)


# ---------------------------------------------------------------- state blob


def test_state_blob_nests_the_trace(rng):
    p = spectral.PSD(n=1024, mode="maxhold")
    assert p.state_bytes() == 8232
    p.accumulate(noise(rng, 3000))
    blob = p.get_state()
    assert len(blob) == 8232
    assert struct.unpack_from("<4sHBxI", blob, 0) == (b"PSD ", 1, 1, 8232)
    assert struct.unpack_from("<4sHBxI", blob, 16) == (b"ATRC", 1, 1, 8216)
    assert struct.unpack_from("<Q", blob, 32) == (2,)
    trace = np.frombuffer(blob, "<f8", 1024, 40)
    w = ref_window("hann", 1024)
    np.testing.assert_allclose(trace / np.sum(w, dtype=np.float64) ** 2, p.power_twosided(),
                               rtol=1e-6)
    with pytest.raises(ValueError, match="^state blob size mismatch$"):
        spectral.PSD(n=512).set_state(blob)


@pytest.mark.parametrize("mode", MODES)
def test_restored_twin_continues_identically(rng, mode):
    a = spectral.PSD(n=100, pad=2, mode=mode, alpha=0.2)
    a.accumulate(noise(rng, 500))
    b = spectral.PSD(n=100, pad=2, mode=mode, alpha=0.2)
    b.set_state(a.get_state())
    assert b.count == 5
    more = noise(rng, 300)
    a.accumulate(more)
    b.accumulate(more)
    np.testing.assert_array_equal(a.psd_db(), b.psd_db())
    assert a.sfdr(-150.0) == b.sfdr(-150.0)


@pytest.mark.parametrize("offset", [0, 16, 20, 24])
def test_outer_and_inner_header_refusals_leave_the_state(rng, offset):
    p = spectral.PSD(n=64)
    p.accumulate(noise(rng, 64))
    blob = p.get_state()
    bad = bytearray(blob)
    bad[offset] ^= 0x21
    with pytest.raises(ValueError, match="^set_state rejected the blob$"):
        p.set_state(bytes(bad))
    assert p.get_state() == blob
    # The inner header's reserved bytes are not read either.
    ok = bytearray(blob)
    ok[23] = 0x7F
    ok[28:32] = b"\x01\x02\x03\x04"
    p.set_state(bytes(ok))
    assert p.get_state() == blob
