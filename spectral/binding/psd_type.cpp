// spectral.PSD.
#include "common/binding/calls.h"
#include "spectral/binding/types.h"
#include "spectral/core/psd_core.h"

namespace {

#define KV_PSD_SETUP ">>> import numpy as np\n>>> from korvana import spectral\n"
// A full-scale complex tone on bin 4 of a 64-point Hann estimator, for the examples.
#define KV_PSD_TONE                                                         \
  ">>> p = spectral.PSD(n=64, fs=64.0)\n"                                   \
  ">>> p.accumulate(np.exp(2j * np.pi * 4 * np.arange(64) / 64).astype(np.complex64))\n"

inline constexpr const char* kX[] = {"x", nullptr};
inline constexpr const char* kBands[] = {"bands", nullptr};
inline constexpr const char* kFraction[] = {"fraction", nullptr};
inline constexpr const char* kLoHi[] = {"lo_hz", "hi_hz", nullptr};
inline constexpr const char* kMinDb[] = {"min_db", nullptr};

inline constexpr const char* kBandsOut[] = {"bands", "out", nullptr};

#define KV_READER_PARAMS                                                                   \
  "Parameters\n----------\n"                                                               \
  "count : int, optional\n    Only enlarges the capacity required of out; never changes the\n" \
  "    values returned.\n"                                                                 \
  "out : ndarray, optional\n    Writable C-contiguous float32 array of at least\n"         \
  "    max(capacity, count) elements; the result is then a view of its first elements.\n\n"

struct PsdType {
  using Core = psd_t;
  static constexpr const char* name = "spectral.PSD";
  static constexpr const char* example = "spectral.PSD(n=64)";
  static constexpr auto destroy = psd_destroy;
  static constexpr auto reset = psd_reset;
  static constexpr const char* reset_doc =
      "Empty the averaged trace (count 0); the outputs read None until the next frame.";
  static constexpr kv::StateFns state{psd_state_size, psd_get_state, psd_set_state};
  static constexpr const char* doc =
      "PSD(n=1024, fs=1.0, window=\"hann\", beta=0.0, pad=1, full_scale=1.0, bits=0, "
      "mode=\"mean\", alpha=0.1)\n--\n\n"
      "Averaging power-spectrum estimator.\n\n"
      "Every whole frame of n samples is windowed, zero-padded to nfft = the smallest power\n"
      "of two >= n*pad, transformed, turned into DC-centred bin powers (DC at index nfft//2,\n"
      "the most negative frequency at 0) and folded into a trace by mean, exponential\n"
      "smoothing, maximum hold or minimum hold. Samples after the last whole frame of a\n"
      "call are dropped. A complex tone of amplitude full_scale on a bin centre reads 0 dBFS.\n\n"
      "Parameters\n----------\n"
      "n : int\n    Frame (window) length, >= 2.\n"
      "fs : float\n    Sample rate in Hz, > 0.\n"
      "window : str\n    \"hann\", \"kaiser\" or \"blackman-harris\" (all symmetric).\n"
      "beta : float\n    Kaiser shape parameter.\n"
      "pad : int\n    Zero-padding factor; 0 is taken as 1.\n"
      "full_scale : float\n    Amplitude that reads 0 dBFS, > 0.\n"
      "bits : int\n    ADC depth; when not 0, full_scale = 2**(bits - 1).\n"
      "mode : str\n    \"mean\", \"exp\", \"maxhold\" or \"minhold\".\n"
      "alpha : float\n    Smoothing factor of \"exp\".\n\n"
      "Raises\n------\n"
      "ValueError\n    Unknown window or mode name.\n"
      "MemoryError\n    \"psd_create returned NULL\" for an invalid parameter (n < 2, fs or\n"
      "    full_scale not a positive finite number, a window that sums to zero) or when\n"
      "    memory runs out.\n\n"
      "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
      ">>> int(np.argmax(p.psd_db()))\n36\n"
      ">>> round(float(p.psd_db()[36]), 3)\n0.0\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"n",          "fs",   "window", "beta",  "pad",
                                   "full_scale", "bits", "mode",   "alpha", nullptr};
    unsigned long long n = 1024, pad = 1, bits = 0;
    double fs = 1.0, full_scale = 1.0, alpha = 0.1;
    const char* window = "hann";
    const char* mode = "mean";
    float beta = 0.0f;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "|KdsfKdKsd", const_cast<char**>(kwlist), &n, &fs,
                                     &window, &beta, &pad, &full_scale, &bits, &mode, &alpha))
      return nullptr;
    int w = kv::parse_enum("window", window, {"hann", "kaiser", "blackman-harris"});
    if (w < 0) return nullptr;
    int m = kv::parse_enum("mode", mode, {"mean", "exp", "maxhold", "minhold"});
    if (m < 0) return nullptr;
    return kv::created(psd_create(n, fs, static_cast<std::uint32_t>(w), beta, pad, full_scale,
                                  bits, static_cast<std::uint32_t>(m), alpha),
                       "psd_create");
  }

  static inline PyMethodDef methods[] = {
      kv::method<PsdType, &kv::array_call<psd_accumulate, kX, true>>(
          "accumulate",
          "Fold every whole frame of complex samples into the trace.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Samples, converted to complex64 and read flat. The samples after\n"
          "    the last whole frame are dropped, not kept for the next call.\n\n"
          "Returns\n-------\nNone\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> p = spectral.PSD(n=64)\n"
          ">>> p.accumulate(np.zeros(100, np.complex64))\n"
          ">>> p.count\n1\n"),
      kv::method<PsdType, &kv::array_call<psd_accumulate_real, kX, true>>(
          "accumulate_real",
          "Fold every whole frame of real samples into the trace.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Samples, converted to float32 and read flat; the remainder after\n"
          "    the last whole frame is dropped.\n\n"
          "Returns\n-------\nNone\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> p = spectral.PSD(n=64)\n"
          ">>> p.accumulate_real(np.ones(128, np.float32))\n"
          ">>> p.count\n2\n"),
      kv::bounded_count<PsdType, psd_db, psd_nfft>(
          "psd_db",
          "Averaged spectrum in dBFS per bin, DC-centred, floored at -200 dB.\n\n"
          KV_READER_PARAMS
          "Returns\n-------\nndarray or None\n    nfft float32 values, or None before the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> p.psd_db().shape\n(64,)\n"),
      kv::bounded_count<PsdType, psd_dbhz, psd_nfft>(
          "psd_dbhz",
          "Averaged spectrum in dBFS/Hz: psd_db minus 10*log10(rbw) in every bin.\n\n"
          KV_READER_PARAMS
          "Returns\n-------\nndarray or None\n    nfft float32 values, or None before the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> d = p.psd_db() - p.psd_dbhz()\n"
          ">>> bool(np.allclose(d, 10 * np.log10(p.rbw), atol=1e-4))\nTrue\n"),
      kv::bounded_count<PsdType, psd_power_twosided, psd_nfft>(
          "power_twosided",
          "Averaged linear power per bin, P / sum(window)**2, DC-centred.\n\n"
          KV_READER_PARAMS
          "Returns\n-------\nndarray or None\n    nfft float32 values, or None before the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> round(float(p.power_twosided()[36]), 4)\n1.0\n"),
      kv::bounded_count<PsdType, psd_power_onesided, psd_power_onesided_max_out>(
          "power_onesided",
          "Averaged linear power folded onto non-negative frequencies.\n\n"
          "Index 0 is DC, index i < nfft/2 adds the bins at -i and +i, index nfft/2 is the\n"
          "Nyquist bin.\n\n"
          KV_READER_PARAMS
          "Returns\n-------\nndarray or None\n    nfft/2 + 1 float32 values, or None before the first\n"
          "    frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> round(float(p.power_onesided()[4]), 4)\n1.0\n"),
      kv::max_out<PsdType, psd_nfft>("psd_db_max_out",
                                     "Capacity of psd_db's output: nfft.\n\n"
                                     "Returns\n-------\nint\n\n"
                                     "Examples\n--------\n" KV_PSD_SETUP
                                     ">>> spectral.PSD(n=100).psd_db_max_out()\n128\n"),
      kv::max_out<PsdType, psd_nfft>("psd_dbhz_max_out",
                                     "Capacity of psd_dbhz's output: nfft.\n\n"
                                     "Returns\n-------\nint\n\n"
                                     "Examples\n--------\n" KV_PSD_SETUP
                                     ">>> spectral.PSD(n=100).psd_dbhz_max_out()\n128\n"),
      kv::max_out<PsdType, psd_nfft>("power_twosided_max_out",
                                     "Capacity of power_twosided's output: nfft.\n\n"
                                     "Returns\n-------\nint\n\n"
                                     "Examples\n--------\n" KV_PSD_SETUP
                                     ">>> spectral.PSD(n=100).power_twosided_max_out()\n128\n"),
      kv::max_out<PsdType, psd_power_onesided_max_out>(
          "power_onesided_max_out",
          "Capacity of power_onesided's output: nfft/2 + 1.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> spectral.PSD(n=100).power_onesided_max_out()\n65\n"),
      kv::bounded_x<PsdType, psd_band_power, psd_band_power_max_out, kv::BoundedOpts{}, kBandsOut>(
          "band_power",
          "Integrated power of frequency bands, in dBFS.\n\n"
          "A band covers the bins nearest to its edges, both included, clamped to the\n"
          "spectrum; the Parseval scale makes a complex tone of amplitude A anywhere in the\n"
          "band read 20*log10(A/full_scale). Bands outside the spectrum read -200.\n\n"
          "Parameters\n----------\n"
          "bands : array_like\n    Flat float64 [lo0, hi0, lo1, hi1, ...] in Hz relative to DC; edges\n"
          "    in either order; a trailing odd value is ignored.\n"
          "out : ndarray, optional\n    Writable C-contiguous float32 array of at least len(bands)\n"
          "    elements (one value per band is written).\n\n"
          "Returns\n-------\nndarray\n    One float32 value per band; empty before the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> abs(p.band_power([0.0, 10.0, 100.0, 200.0])).round(2)\n"
          "array([  0., 200.], dtype=float32)\n"),
      kv::max_out<PsdType, psd_band_power_max_out>(
          "band_power_max_out",
          "Capacity query of band_power: 0, since its output follows len(bands).\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> spectral.PSD(n=64).band_power_max_out()\n0\n"),
      kv::method<PsdType, &kv::array_call<psd_total_band_power, kBands>>(
          "total_band_power",
          "Summed linear power of several bands, in dBFS (overlaps count twice).\n\n"
          "Parameters\n----------\n"
          "bands : array_like\n    Flat float64 [lo0, hi0, lo1, hi1, ...] in Hz relative to DC.\n\n"
          "Returns\n-------\nfloat\n    dBFS; -200.0 before the first frame or without bands.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> abs(p.total_band_power([0.0, 10.0])) < 0.01\nTrue\n"),
      kv::method<PsdType, &kv::numbers_call<psd_occupied_bw, kFraction>>(
          "occupied_bw",
          "Occupied bandwidth: width of the bins holding the central fraction of the power.\n\n"
          "Parameters\n----------\n"
          "fraction : float\n    Fraction of the total power, e.g. 0.99 (not validated).\n\n"
          "Returns\n-------\nfloat\n    Bandwidth in Hz, a whole number of bins of fs/nfft; 0.0 before\n"
          "    the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> p.occupied_bw(0.5)\n1.0\n"),
      kv::method<PsdType, &kv::result_call<psd_noise_floor>>(
          "noise_floor",
          "Noise floor: the median of the dBFS trace.\n\n"
          "Returns\n-------\nfloat\n    dB; 0.0 before the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> p = spectral.PSD(n=64)\n"
          ">>> p.noise_floor()\n0.0\n"),
      kv::method<PsdType, &kv::numbers_call<psd_snr, kLoHi>>(
          "snr",
          "Signal-to-noise ratio: the highest dBFS bin of a band minus the noise floor.\n\n"
          "Parameters\n----------\n"
          "lo_hz, hi_hz : float\n    Band edges in Hz relative to DC, in either order.\n\n"
          "Returns\n-------\nfloat\n    dB; 0.0 before the first frame or for a band outside the\n"
          "    spectrum.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> p.snr(0.0, 10.0) > 50\nTrue\n"),
      kv::method<PsdType, &kv::numbers_call<psd_sfdr, kMinDb>>(
          "sfdr",
          "Spurious-free dynamic range: the strongest peak above min_db minus the second.\n\n"
          "Peaks are the interpolated local maxima of the dBFS trace (up to 16).\n\n"
          "Parameters\n----------\n"
          "min_db : float\n    Peaks must lie above this level (single precision).\n\n"
          "Returns\n-------\nfloat\n    dB; 0.0 with fewer than two peaks or before the first frame.\n\n"
          "Examples\n--------\n" KV_PSD_SETUP KV_PSD_TONE
          ">>> p.sfdr(-3.0)\n0.0\n"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      kv::getter<PsdType, psd_n>("n", "Frame (window) length.\n\nReturns\n-------\nint\n\n"
                                      "Examples\n--------\n" KV_PSD_SETUP
                                      ">>> spectral.PSD(n=100).n\n100\n"),
      kv::getter<PsdType, psd_nfft>("nfft",
                                    "Transform length: the smallest power of two >= n*pad.\n\n"
                                    "Returns\n-------\nint\n\n"
                                    "Examples\n--------\n" KV_PSD_SETUP
                                    ">>> spectral.PSD(n=100, pad=2).nfft\n256\n"),
      kv::getter<PsdType, psd_fs>("fs", "Sample rate in Hz.\n\nReturns\n-------\nfloat\n\n"
                                        "Examples\n--------\n" KV_PSD_SETUP
                                        ">>> spectral.PSD(n=64, fs=2e6).fs\n2000000.0\n"),
      kv::getter<PsdType, psd_full_scale>(
          "full_scale",
          "Amplitude that reads 0 dBFS (2**(bits - 1) when bits is set).\n\n"
          "Returns\n-------\nfloat\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> spectral.PSD(n=64, bits=12).full_scale\n2048.0\n"),
      kv::getter<PsdType, psd_bits>("bits", "ADC depth given, or 0.\n\nReturns\n-------\nint\n\n"
                                            "Examples\n--------\n" KV_PSD_SETUP
                                            ">>> spectral.PSD(n=64, bits=12).bits\n12\n"),
      kv::getter<PsdType, psd_enbw>(
          "enbw",
          "Equivalent noise bandwidth of the window, in bins.\n\n"
          "Returns\n-------\nfloat\n\n"
          "Examples\n--------\n" KV_PSD_SETUP
          ">>> round(spectral.PSD(n=4096).enbw, 3)\n1.5\n"),
      kv::getter<PsdType, psd_rbw>("rbw",
                                   "Resolution bandwidth in Hz: fs * enbw / n.\n\n"
                                   "Returns\n-------\nfloat\n\n"
                                   "Examples\n--------\n" KV_PSD_SETUP
                                   ">>> p = spectral.PSD(n=64, fs=64.0)\n"
                                   ">>> bool(abs(p.rbw - p.enbw) < 1e-12)\nTrue\n"),
      kv::getter<PsdType, psd_count>(
          "count", "Frames folded since construction or the last reset.\n\n"
                   "Returns\n-------\nint\n\n"
                   "Examples\n--------\n" KV_PSD_SETUP
                   ">>> spectral.PSD(n=64).count\n0\n"),
      kv::getter<PsdType, psd_mode>(
          "mode", "Averaging mode index: 0 mean, 1 exp, 2 maxhold, 3 minhold.\n\n"
                  "Returns\n-------\nint\n\n"
                  "Examples\n--------\n" KV_PSD_SETUP
                  ">>> spectral.PSD(n=64, mode=\"maxhold\").mode\n2\n"),
      {},
  };
};

}  // namespace

kv::TypeSlot psd_type_slot() { return kv::slot<PsdType>(); }
