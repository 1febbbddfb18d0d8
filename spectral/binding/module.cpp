#include "spectral/binding/types.h"
#include "spectral/core/fft.h"
#include "spectral/binding/window_funcs.h"

namespace {

PyMethodDef functions[] = {
    KV_WINDOW_FUNCTIONS,
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef spectral_module = kv::module_def(
    "spectral",
    "Spectral analysis: FFT engines, windows and spectrum utilities, the PSD estimator\n"
    "and its measurements.\n\n"
    "Examples\n"
    "--------\n"
    ">>> from korvana import spectral\n"
    ">>> spectral.FFT(n=8).n\n"
    "8\n",
    functions);

}  // namespace

PyMODINIT_FUNC PyInit_spectral() {
  fft_library_init();
  return kv::module_init(&spectral_module, {fft_type_slot(), fft2d_type_slot(),
                                            psd_type_slot()});
}
