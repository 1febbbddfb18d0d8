"""spectral.FFT and spectral.FFT2D against numpy.fft."""

import subprocess
import sys

import numpy as np
import pytest

from korvana import spectral

LENGTHS = [1, 2, 4, 17, 48, 1000, 1024, 4096]
# Tolerances relative to the transform's scale: single precision accumulates
# about log2(n) roundings of 2**-24.
TOL = {np.complex64: 2e-6, np.complex128: 1e-13}
COMPLEX_METHODS = [
    ("execute_cf64", np.complex128),
    ("execute_cf32", np.complex64),
    ("execute_inplace_cf64", np.complex128),
    ("execute_inplace_cf32", np.complex64),
]


def signal(rng, n, dtype):
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(dtype)


def assert_dft(got, want, dtype):
    scale = max(np.abs(want).max(), 1.0)
    n = max(len(want), 2)
    assert np.abs(got - want).max() <= TOL[dtype] * scale * np.log2(n) * 4


@pytest.mark.parametrize("n", LENGTHS)
@pytest.mark.parametrize("sign", [-1, 1])
@pytest.mark.parametrize("method,dtype", COMPLEX_METHODS)
def test_1d_matches_numpy_unnormalised(rng, n, sign, method, dtype):
    x = signal(rng, n, dtype)
    keep = x.copy()
    got = getattr(spectral.FFT(n=n, sign=sign), method)(x)
    want = np.fft.fft(x.astype(np.complex128)) if sign < 0 else np.fft.ifft(x) * n
    assert got.dtype == dtype and got.shape == (n,)
    assert_dft(got, want, dtype)
    np.testing.assert_array_equal(x, keep)  # the input is never modified


def test_known_vectors_and_no_normalisation():
    f = spectral.FFT(n=4)
    np.testing.assert_array_equal(f.execute_cf64([1, 0, 0, 0]), np.ones(4))
    np.testing.assert_array_equal(f.execute_cf32(np.ones(4, np.complex64)), [4, 0, 0, 0])
    x = np.array([1, 2j, -3, 0.5], np.complex128)
    for inverse_sign in (1, 0, 7):
        back = spectral.FFT(n=4, sign=inverse_sign).execute_cf64(f.execute_cf64(x))
        np.testing.assert_allclose(back, 4 * x, atol=1e-12)


@pytest.mark.parametrize("n", [48, 1024, 1000])
def test_two_engines_and_repeated_calls_are_bit_identical(rng, n):
    x = signal(rng, n, np.complex64)
    a, b = spectral.FFT(n=n), spectral.FFT(n=n)
    first = a.execute_cf32(x)
    np.testing.assert_array_equal(first, b.execute_cf32(x))
    np.testing.assert_array_equal(first, a.execute_cf32(x))
    # An unaligned view of the input goes through staging: same bits.
    buf = np.zeros(n + 1, np.complex64)
    buf[1:] = x
    np.testing.assert_array_equal(first, a.execute_cf32(buf[1:]))
    np.testing.assert_array_equal(first, a.execute_inplace_cf32(x))


def test_input_longer_than_n_is_truncated(rng):
    x = signal(rng, 40, np.complex128)
    got = spectral.FFT(n=16).execute_cf64(x)
    assert got.shape == (16,)
    np.testing.assert_allclose(got, np.fft.fft(x[:16]), atol=1e-12)


@pytest.mark.parametrize("method", ["execute_cf64", "execute_cf32"])
@pytest.mark.parametrize("n", [48, 17])
def test_short_input_is_zero_padded_like_numpy(rng, method, n):
    x = signal(rng, 5, np.complex64)
    got = getattr(spectral.FFT(n=n), method)(x)
    np.testing.assert_allclose(got, np.fft.fft(x, n), atol=1e-5)


@pytest.mark.parametrize("dtype", [np.complex64, np.complex128])
def test_copy_then_transform_short_input(rng, dtype):
    n = 16
    x = signal(rng, 5, dtype)
    f = spectral.FFT(n=n)
    name = "execute_inplace_cf32" if dtype == np.complex64 else "execute_inplace_cf64"
    # Allocated by the engine: the missing samples are zeros, never stale memory.
    for _ in range(3):
        np.testing.assert_allclose(getattr(f, name)(x), np.fft.fft(x, n), atol=1e-5)
    # With out=, the samples not copied are transformed as they stand in out.
    out = np.arange(n).astype(dtype)
    expect = out.copy()
    expect[:5] = x
    got = getattr(f, name)(x, out=out)
    np.testing.assert_allclose(got, np.fft.fft(expect), atol=1e-4)


def test_2d_input_is_read_flat(rng):
    x = signal(rng, 48, np.complex64).reshape(6, 8)
    got = spectral.FFT(n=48).execute_cf32(x)
    assert got.shape == (48,)
    np.testing.assert_allclose(got, np.fft.fft(x.ravel()), atol=1e-4)


def test_safe_casting_only():
    f = spectral.FFT(n=4)
    with pytest.raises(TypeError):
        f.execute_cf32(np.ones(4, np.complex128))
    with pytest.raises(TypeError):
        f.execute_ci16(np.ones(8, np.float32))
    # Lists and wider-but-safe dtypes convert.
    np.testing.assert_array_equal(f.execute_cf32(np.ones(4, np.float32)), [4, 0, 0, 0])
    np.testing.assert_array_equal(f.execute_cf64([1, 1, 1, 1]), [4, 0, 0, 0])
    # A non-contiguous input is copied, not misread.
    wide = np.zeros(8, np.complex64)
    wide[::2] = 1
    np.testing.assert_array_equal(f.execute_cf32(wide[::2]), [4, 0, 0, 0])


@pytest.mark.parametrize("n", [16, 17, 48, 1000])
@pytest.mark.parametrize("itype,scale", [(np.int16, 2.0**-15), (np.int8, 2.0**-7)])
def test_integer_iq_scaled_and_transformed(rng, n, itype, scale):
    info = np.iinfo(itype)
    iq = rng.integers(info.min, info.max + 1, 2 * n).astype(itype)
    f = spectral.FFT(n=n)
    got = f.execute_ci16(iq) if itype == np.int16 else f.execute_ci8(iq)
    z = (iq[0::2].astype(np.float64) + 1j * iq[1::2]) * scale
    assert got.dtype == np.complex64 and got.shape == (n,)
    assert_dft(got, np.fft.fft(z), np.complex64)
    # Same as converting first and calling execute_cf32.
    np.testing.assert_allclose(got, f.execute_cf32(z.astype(np.complex64)), atol=1e-5)


def test_integer_iq_known_levels_and_lengths():
    f = spectral.FFT(n=4)
    np.testing.assert_array_equal(f.execute_ci16(np.zeros(8, np.int16)), np.zeros(4))
    one = spectral.FFT(n=1)
    assert one.execute_ci16(np.array([16384, 0], np.int16))[0] == 0.5
    assert one.execute_ci8(np.array([-128, 0], np.int8))[0] == -1.0
    # An odd trailing value is ignored; missing samples are zeros; extra ones ignored.
    np.testing.assert_array_equal(f.execute_ci16(np.array([16384, 0, 7], np.int16)), [0.5] * 4)
    assert f.execute_ci8(np.zeros(40, np.int8)).shape == (4,)


GRIDS = [(4, 4), (4, 6), (6, 8), (16, 16), (32, 48), (3, 5), (64, 256)]


@pytest.mark.parametrize("ny,nx", GRIDS)
@pytest.mark.parametrize("sign", [-1, 1])
@pytest.mark.parametrize("method,dtype", COMPLEX_METHODS)
def test_2d_matches_numpy(rng, ny, nx, sign, method, dtype):
    x = signal(rng, ny * nx, dtype).reshape(ny, nx)
    got = getattr(spectral.FFT2D(ny=ny, nx=nx, sign=sign), method)(x)
    want = np.fft.fft2(x) if sign < 0 else np.fft.ifft2(x) * (ny * nx)
    assert got.shape == (ny * nx,) and got.dtype == dtype
    assert_dft(got, want.ravel(), dtype)


def test_2d_unit_impulse_and_short_input():
    f = spectral.FFT2D(ny=4, nx=4)
    x = np.zeros(16, np.complex128)
    x[0] = 1
    np.testing.assert_array_equal(f.execute_cf64(x), np.ones(16))
    # Three samples of a 4 x 4 grid: the rest are zeros.
    short = np.array([1, 2, 3], np.complex64)
    want = np.fft.fft2(np.pad(short, (0, 13)).reshape(4, 4)).ravel()
    np.testing.assert_allclose(f.execute_cf32(short), want, atol=1e-5)
    np.testing.assert_allclose(f.execute_inplace_cf32(short), want, atol=1e-5)


@pytest.mark.parametrize(
    "make,message",
    [
        (lambda: spectral.FFT(n=0), "fft_create returned NULL"),
        (lambda: spectral.FFT2D(ny=0, nx=4), "fft2d_create returned NULL"),
        (lambda: spectral.FFT2D(ny=4, nx=0), "fft2d_create returned NULL"),
    ],
)
def test_zero_length_refused(make, message):
    with pytest.raises(MemoryError, match=f"^{message}$"):
        make()


def test_getters_and_capacity_queries():
    f = spectral.FFT(n=12, sign=0)
    assert (f.n, f.sign, f.execute_cf64_max_out(), f.execute_inplace_cf32_max_out()) == (12, 0, 12, 12)
    g = spectral.FFT2D(ny=3, nx=5, sign=2)
    assert (g.ny, g.nx, g.sign, g.execute_cf32_max_out()) == (3, 5, 2, 15)
    assert f.reset() is None
    assert f.reset.__doc__.startswith("No-op reset (plans are immutable after creation).")


def test_larger_input_than_out_needs_room_for_all_of_it(rng):
    f = spectral.FFT(n=8)
    x = signal(rng, 12, np.complex64)
    with pytest.raises(ValueError, match="^out has 8 elements, need >= 12$"):
        f.execute_cf32(x, out=np.zeros(8, np.complex64))
    res = f.execute_cf32(x, out=np.zeros(12, np.complex64))
    assert res.shape == (8,)


def test_arguments_by_position_or_keyword_with_cpython_errors():
    f = spectral.FFT(n=2)
    x = np.ones(2, np.complex64)
    out = np.empty(2, np.complex64)
    for res in (f.execute_cf32(x, out), f.execute_cf32(x=x, out=out), f.execute_cf32(out=out, x=x)):
        np.testing.assert_array_equal(res, [2, 0])
    assert f.execute_cf32(x, None).base is None
    for call, msg in [
        (lambda: f.execute_cf32(), "missing required argument 'x'"),
        (lambda: f.execute_cf32(x, out, 1), "at most 2 arguments"),
        (lambda: f.execute_cf32(x, y=1), "'y' is an invalid keyword argument"),
        (lambda: f.execute_cf32(x, x=x), "given by name \\('x'\\) and position"),
        (lambda: f.execute_ci16(iq=np.zeros(4, np.int16)), "takes no keyword arguments"),
    ]:
        with pytest.raises(TypeError, match=msg):
            call()


@pytest.mark.parametrize("method,dtype", COMPLEX_METHODS)
@pytest.mark.parametrize("shift", [0, 1, 5])
def test_out_over_the_input_memory_gives_the_plain_result(rng, method, dtype, shift):
    n = 48
    x = signal(rng, n, dtype)
    f = spectral.FFT(n=n)
    want = getattr(f, method)(x)
    buf = np.zeros(n + shift + 3, dtype)
    buf[shift:shift + n] = x
    got = getattr(f, method)(buf[shift:shift + n], out=buf)
    np.testing.assert_array_equal(got, want)


def test_results_are_bit_identical_in_another_process():
    """Plans come from fixed wisdom or the estimating planner, never from timing."""
    sizes = [48, 1000, 4096, 16384, 65536]
    script = (
        "import sys, numpy as np\n"
        "from korvana import spectral\n"
        "r = np.random.default_rng(5)\n"
        "for n in %r:\n"
        "    x = (r.standard_normal(n) + 1j * r.standard_normal(n)).astype(np.complex64)\n"
        "    sys.stdout.buffer.write(spectral.FFT(n=n).execute_cf32(x).tobytes())\n"
        "    sys.stdout.buffer.write(spectral.FFT(n=n, sign=1).execute_cf64(x).tobytes())\n"
    ) % (sizes,)
    other = subprocess.run([sys.executable, "-c", script], capture_output=True, check=True).stdout
    r = np.random.default_rng(5)
    here = b""
    for n in sizes:
        x = (r.standard_normal(n) + 1j * r.standard_normal(n)).astype(np.complex64)
        here += spectral.FFT(n=n).execute_cf32(x).tobytes()
        here += spectral.FFT(n=n, sign=1).execute_cf64(x).tobytes()
    assert other == here
