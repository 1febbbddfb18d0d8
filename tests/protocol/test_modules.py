"""Module initialisation: registration order, names and docstrings."""

import importlib
import inspect

import pytest

# The full registration order of each module; types a module does not carry yet
# are left out of the comparison, the order of the others must hold.
TYPE_ORDER = {
    "spectral": ["FFT", "FFT2D", "Corr", "Corr2D", "CorrDetector", "CorrDetector2D", "PSD"],
    "accumulator": ["AccF32", "AccCf64", "AccTrace"],
    "coding": ["ConvEncoder", "Viterbi", "ReedSolomon", "Interleaver", "Deinterleaver"],
}
FUNCTION_ORDER = {
    "spectral": [
        "kaiser_enbw", "kaiser_window", "kaiser_beta_for_sidelobe", "hann_window",
        "blackman_harris_window", "magnitude_db_cf32", "magnitude_db_cf64", "find_peaks_f32",
        "obw_from_power", "noise_floor_db",
    ],
    "accumulator": [],
    "coding": [],
}
MODULES = sorted(TYPE_ORDER)


@pytest.mark.parametrize("name", MODULES)
def test_types_and_functions_registered_in_order(name):
    mod = importlib.import_module(f"korvana.{name}")
    types = [k for k, v in vars(mod).items() if isinstance(v, type)]
    assert types, "a module registers its types"
    assert types == [t for t in TYPE_ORDER[name] if t in types]
    functions = [k for k, v in vars(mod).items() if inspect.isbuiltin(v)]
    assert functions == FUNCTION_ORDER[name]
    for t in types:
        assert getattr(mod, t).__name__ == t
        assert getattr(mod, t).__module__ == name


@pytest.mark.parametrize("name", MODULES)
def test_module_and_function_docstrings_are_numpydoc(name):
    mod = importlib.import_module(f"korvana.{name}")
    assert "Examples" in (mod.__doc__ or "")
    for fname in FUNCTION_ORDER[name]:
        doc = getattr(mod, fname).__doc__ or ""
        for section in ("Parameters", "Returns", "Examples"):
            assert section in doc, (fname, section)
