"""spectral's window generators and spectrum utilities."""

import math

import numpy as np
import pytest
from scipy import signal

from korvana import spectral

W_MSG = "^w must be a writable, C-contiguous ndarray of the output dtype$"

GENERATORS = [
    ("hann", lambda w: spectral.hann_window(w), "hann"),
    ("blackman-harris", lambda w: spectral.blackman_harris_window(w), "blackmanharris"),
    ("kaiser0", lambda w: spectral.kaiser_window(w, 0.0), ("kaiser", 0.0)),
    ("kaiser3.5", lambda w: spectral.kaiser_window(w, 3.5), ("kaiser", 3.5)),
    ("kaiser8", lambda w: spectral.kaiser_window(w, 8.0), ("kaiser", 8.0)),
    ("kaiser14", lambda w: spectral.kaiser_window(w, 14.0), ("kaiser", 14.0)),
]
gen_cases = pytest.mark.parametrize("gen,ref", [g[1:] for g in GENERATORS],
                                    ids=[g[0] for g in GENERATORS])


# ---------------------------------------------------------------- windows


@gen_cases
@pytest.mark.parametrize("n", [1, 2, 3, 8, 33, 256, 1000])
def test_windows_match_scipy_symmetric_windows(gen, ref, n):
    w = np.full(n, np.nan, np.float32)
    assert gen(w) is None
    want = signal.get_window(ref, n, fftbins=False)
    np.testing.assert_allclose(w, want, rtol=2e-6, atol=2e-7)
    np.testing.assert_array_equal(w, w[::-1])


@pytest.mark.parametrize(
    "gen,want",
    [
        (spectral.hann_window, [0.0, 0.1883, 0.6113, 0.9505, 0.9505, 0.6113, 0.1883, 0.0]),
        (spectral.blackman_harris_window,
         [0.0001, 0.0334, 0.3328, 0.8894, 0.8894, 0.3328, 0.0334, 0.0001]),
        (lambda w: spectral.kaiser_window(w, 6.0),
         [0.0149, 0.1998, 0.5913, 0.9454, 0.9454, 0.5913, 0.1998, 0.0149]),
    ],
)
def test_eight_point_windows(gen, want):
    w = np.empty(8, np.float32)
    gen(w)
    np.testing.assert_array_equal(w.round(4), np.float32(want))


@gen_cases
def test_window_fills_every_element_of_any_shape_row_major(gen, ref):
    grid = np.full((3, 4), np.nan, np.float32)
    gen(grid)
    flat = np.empty(12, np.float32)
    gen(flat)
    np.testing.assert_array_equal(grid.ravel(), flat)
    empty = np.empty(0, np.float32)
    assert gen(empty) is None


@gen_cases
@pytest.mark.parametrize(
    "bad",
    [
        np.zeros(8, np.float64),
        np.zeros((8, 2), np.float32, order="F"),
        np.zeros(16, np.float32)[::2],
        [0.0] * 8,
        np.zeros(8, np.dtype(np.float32).newbyteorder()),
    ],
    ids=["float64", "fortran", "strided", "list", "byteswapped"],
)
def test_window_target_must_be_writable_contiguous_float32(gen, ref, bad):
    with pytest.raises(TypeError, match=W_MSG):
        gen(bad)


def test_read_only_window_target_is_refused():
    w = np.zeros(8, np.float32)
    w.flags.writeable = False
    with pytest.raises(TypeError, match=W_MSG):
        spectral.hann_window(w)
    assert not w.any()


def test_window_keywords():
    w = np.empty(16, np.float32)
    spectral.kaiser_window(w=w, beta=5.0)
    np.testing.assert_allclose(w, signal.windows.kaiser(16, 5.0, sym=True), rtol=2e-6)
    spectral.hann_window(w=w)
    spectral.blackman_harris_window(w=w)


@pytest.mark.parametrize(
    "atten,want",
    [
        (90.0, 11.977794),
        (120.0, 0.12438 * (120.0 + 6.3)),
        # 60 dB belongs to the middle branch, just above it to the upper one.
        (60.0, 0.76609 * (60.0 - 13.26) ** 0.4 + 0.09834 * (60.0 - 13.26)),
        (60.000001, 0.12438 * 60.000001 + 0.783594),
        (13.27, 0.76609 * 0.01 ** 0.4 + 0.09834 * 0.01),
        (13.26, 0.0),
        (10.0, 0.0),
        (-5.0, 0.0),
        (float("nan"), 0.0),
    ],
)
def test_kaiser_beta_for_sidelobe_branches(atten, want):
    assert spectral.kaiser_beta_for_sidelobe(atten) == pytest.approx(want, rel=1e-6, abs=1e-12)
    assert spectral.kaiser_beta_for_sidelobe(atten_db=atten) == pytest.approx(want, abs=1e-12)


def test_kaiser_beta_gives_the_sidelobe_level_asked_for():
    # The beta chosen for A dB puts the highest sidelobe of the window's spectrum
    # near -A dB (the formula is a fit, good to about a dB).
    n, nfft = 255, 1 << 16
    for atten in (40.0, 70.0, 100.0):
        w = np.empty(n, np.float32)
        spectral.kaiser_window(w, spectral.kaiser_beta_for_sidelobe(atten))
        mag = np.abs(np.fft.rfft(w.astype(np.float64), nfft))
        db = 20 * np.log10(np.maximum(mag / mag[0], 1e-300))
        first_null = np.argmax(np.diff(db) > 0)
        assert abs(db[first_null:].max() + atten) < 1.5


# ---------------------------------------------------------------- ENBW


@pytest.mark.parametrize(
    "w,want",
    [
        (np.ones(5), 1.0),
        (signal.windows.hann(8, sym=True), 1.7143),
        (signal.windows.hann(1 << 16, sym=True), 1.5),
        (signal.windows.blackmanharris(1 << 16, sym=True), 2.0044),
    ],
    ids=["rect", "hann8", "hann-large", "bh-large"],
)
def test_enbw_known_values(w, want):
    assert spectral.kaiser_enbw(np.asarray(w, np.float32)) == pytest.approx(want, abs=1e-4)


def test_enbw_matches_numpy_and_is_single_precision(rng):
    w = rng.random(333).astype(np.float32)
    got = spectral.kaiser_enbw(w)
    w64 = w.astype(np.float64)
    want = len(w) * np.sum(w64 ** 2) / np.sum(w64) ** 2
    assert got == float(np.float32(want))
    assert spectral.kaiser_enbw(w=w.reshape(9, 37)) == got


def test_enbw_of_empty_window_is_nan():
    assert math.isnan(spectral.kaiser_enbw(np.empty(0, np.float32)))


# ---------------------------------------------------------------- magnitude in dB


def test_magnitude_db_edge_values():
    for fn in (spectral.magnitude_db_cf32, spectral.magnitude_db_cf64):
        got = fn(np.array([1, 0.1, 0]), 1e-12, 0.0) if fn is spectral.magnitude_db_cf64 else \
            fn(np.array([1, 0.1, 0], np.complex64), 1e-12, 0.0)
        assert got.dtype == np.float32
        np.testing.assert_allclose(got, [0.0, -20.0, -240.0], atol=1e-5)


@pytest.mark.parametrize(
    "fn,dtype,rtol",
    [
        (spectral.magnitude_db_cf32, np.complex64, 1e-6),
        (spectral.magnitude_db_cf64, np.complex128, 1e-7),
    ],
)
@pytest.mark.parametrize("floor,offset", [(1e-6, 0.0), (0.5, -3.0), (1e-30, 10.5)])
def test_magnitude_db_against_numpy(rng, fn, dtype, rtol, floor, offset):
    x = ((rng.standard_normal(500) + 1j * rng.standard_normal(500)) *
         np.logspace(-8, 2, 500)).astype(dtype)
    got = fn(x.reshape(20, 25), floor, offset)
    assert got.shape == (500,)
    want = 20 * np.log10(np.maximum(floor, np.abs(x.astype(np.complex128)))) + offset
    np.testing.assert_allclose(got, want, rtol=rtol, atol=2e-5)
    got_kw = fn(x=x, lin_floor=floor, offset_db=offset)
    np.testing.assert_array_equal(got_kw, got)


@pytest.mark.parametrize("fn,dtype", [(spectral.magnitude_db_cf32, np.complex64),
                                      (spectral.magnitude_db_cf64, np.complex128)])
def test_magnitude_db_keeps_nan_and_takes_no_unsafe_cast(fn, dtype):
    x = np.array([complex(np.nan, 0), 0, complex(np.inf, 1)], dtype)
    got = fn(x, 1e-3, 0.0)
    assert math.isnan(got[0]) and got[1] == pytest.approx(-60.0) and got[2] == np.inf
    assert fn(np.empty(0, dtype), 1.0, 0.0).shape == (0,)
    if dtype == np.complex64:
        with pytest.raises(TypeError):
            fn(np.zeros(4, np.complex128), 1e-3, 0.0)


# ---------------------------------------------------------------- peaks


def test_find_peaks_known_case():
    db = np.full(32, -60.0, np.float32)
    db[7:10] = [-15, -10, -15]
    assert spectral.find_peaks_f32(db, 2, -30.0) == [(-0.25, -10.0)]
    assert spectral.find_peaks_f32(db=db, n_peaks=2, min_db=-30.0) == [(-0.25, -10.0)]


@pytest.mark.parametrize("centre", [10.0, 10.3, 9.71, 20.5])
def test_find_peaks_interpolation_is_exact_on_a_parabola(centre):
    n = 40
    k = np.arange(n)
    db = (-3.0 * (k - centre) ** 2).astype(np.float32)
    (freq, level), = spectral.find_peaks_f32(db, 4, -1e9)
    # The vertex of the parabola through the three highest samples.
    top = int(np.argmax(db))
    a, b, c = np.polyfit(k[top - 1:top + 2], db[top - 1:top + 2].astype(np.float64), 2)
    vertex = -b / (2 * a)
    assert freq == pytest.approx((vertex - n // 2) / n, abs=1e-6)
    assert level == pytest.approx(c - b * b / (4 * a), abs=1e-4)


def test_find_peaks_orders_by_level_and_limits_the_count():
    n = 64
    db = np.full(n, -100.0, np.float32)
    levels = {5: -30.0, 20: -10.0, 33: -50.0, 40: -20.0, 58: -40.0}
    for k, v in levels.items():
        db[k] = v
    peaks = spectral.find_peaks_f32(db, 10, -1000.0)
    assert [p[1] for p in peaks] == sorted(levels.values(), reverse=True)
    assert [round(p[0] * n) + n // 2 for p in peaks] == sorted(levels, key=lambda k: -levels[k])
    assert spectral.find_peaks_f32(db, 2, -1000.0) == peaks[:2]
    # min_db is a strict threshold.
    assert [p[1] for p in spectral.find_peaks_f32(db, 10, -30.0)] == [-10.0, -20.0]


def test_find_peaks_plateau_reports_its_first_bin():
    db = np.array([0, 1, 5, 5, 5, 1, 0, 2, 2, 0], np.float32)
    freqs = sorted(f for f, _ in spectral.find_peaks_f32(db, 5, -1.0))
    # Bins 2 and 7, each interpolated half a bin towards its plateau; a later
    # plateau bin would sit elsewhere (bin 3 with offset 0 reads -0.2).
    assert freqs == pytest.approx([(2 - 5 + 0.5) / 10, (7 - 5 + 0.5) / 10])


def test_find_peaks_never_reports_the_edges():
    db = np.array([10, 0, 0, 3, 0, 0, 10], np.float32)
    assert spectral.find_peaks_f32(db, 5, -1.0) == [((3 - 3) / 7, 3.0)]
    rising = np.arange(16, dtype=np.float32)
    assert spectral.find_peaks_f32(rising, 5, -1.0) == []


@pytest.mark.parametrize(
    "db,n_peaks",
    [([], 4), ([1.0], 4), ([0.0, 1.0], 4), ([0, 5, 0], 0)],
)
def test_find_peaks_degenerate_inputs_give_nothing(db, n_peaks):
    assert spectral.find_peaks_f32(np.array(db, np.float32), n_peaks, -100.0) == []


def test_find_peaks_with_nan_and_infinite_neighbours():
    db = np.array([0, np.nan, 0, 4, 1, 0, -np.inf, 6, 0, 3, np.inf, 0], np.float32)
    peaks = spectral.find_peaks_f32(db, 10, -100.0)
    assert all(math.isfinite(f) and not math.isnan(level) for f, level in peaks)
    assert [level for _, level in peaks][:2] == [np.inf, 6.0]
    # A huge n_peaks (a negative count wraps) asks for every peak there is.
    assert spectral.find_peaks_f32(db, -1, -100.0) == peaks


# ---------------------------------------------------------------- occupied bandwidth


def obw_naive(pwr, fs, frac):
    total = sum(pwr)
    if len(pwr) == 0 or total <= 0:
        return 0.0
    lo, hi = (0.5 - 0.5 * frac) * total, (0.5 + 0.5 * frac) * total
    s, edge, j = 0.0, None, len(pwr) - 1
    for i, p in enumerate(pwr):
        s += p
        if edge is None and s >= lo and s > 0:
            edge = i
        if s >= hi:
            j = i
            break
    return (j - edge + 1) * fs / len(pwr)


@pytest.mark.parametrize("frac", [0.0, 0.5, 0.9, 0.99, 1.0])
def test_obw_single_bin_gives_one_bin_width(frac):
    pwr = np.zeros(50)
    pwr[17] = 3.0
    assert spectral.obw_from_power(pwr, 1e3, frac) == pytest.approx(1e3 / 50)


def test_obw_uniform_power_with_all_of_it_is_fs():
    assert spectral.obw_from_power(np.ones(64), 2e6, 1.0) == pytest.approx(2e6)
    assert spectral.obw_from_power(pwr=np.ones(64), fs=2e6, frac=0.5) == pytest.approx(1e6 + 2e6 / 64)


@pytest.mark.parametrize("frac", [0.1, 0.5, 0.8, 0.99, 1.5])
def test_obw_against_a_plain_walk(rng, frac):
    pwr = rng.random(200) ** 4
    assert spectral.obw_from_power(pwr, 123.0, frac) == pytest.approx(obw_naive(list(pwr), 123.0, frac))


@pytest.mark.parametrize("pwr", [[], [0.0, 0.0], [-1.0, 0.5], [np.nan, 1.0]])
def test_obw_without_positive_power_is_zero(pwr):
    assert spectral.obw_from_power(np.array(pwr, np.float64), 10.0, 0.9) == 0.0


def test_obw_negative_fraction_stays_within_one_bin():
    pwr = np.ones(10)
    assert spectral.obw_from_power(pwr, 10.0, -0.5) == pytest.approx(1.0)


# ---------------------------------------------------------------- noise floor


@pytest.mark.parametrize("db,want", [([3, 1, 2, 4], 2.5), ([], 0.0), ([7], 7.0), ([5, -1, 2], 2.0)])
def test_noise_floor_known_values(db, want):
    assert spectral.noise_floor_db(np.array(db, np.float32)) == want


@pytest.mark.parametrize("n", [1, 2, 101, 1000])
def test_noise_floor_is_the_median(rng, n):
    db = (rng.standard_normal(n) * 20 - 80).astype(np.float32)
    before = db.copy()
    assert spectral.noise_floor_db(db) == pytest.approx(float(np.median(db.astype(np.float64))))
    np.testing.assert_array_equal(db, before)
    assert spectral.noise_floor_db(db=db.tolist()) == spectral.noise_floor_db(db)


def test_noise_floor_with_nan_sorts_them_last():
    db = np.array([np.nan, 1, 2, 3, np.nan], np.float32)
    assert spectral.noise_floor_db(db) == 3.0
