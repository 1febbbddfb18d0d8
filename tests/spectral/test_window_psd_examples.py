"""The Examples sections of the window functions and of spectral.PSD run as written."""

import doctest

import numpy as np
import pytest

from korvana import spectral

FUNCTIONS = ["kaiser_enbw", "kaiser_window", "kaiser_beta_for_sidelobe", "hann_window",
             "blackman_harris_window", "magnitude_db_cf32", "magnitude_db_cf64", "find_peaks_f32",
             "obw_from_power", "noise_floor_db"]


def documented():
    for name in FUNCTIONS:
        yield name, getattr(spectral, name)
    yield "PSD", spectral.PSD
    for name in sorted(vars(spectral.PSD)):
        attr = getattr(spectral.PSD, name)
        if (attr.__doc__ or "") and (not name.startswith("_") or name in ("__enter__", "__exit__")):
            yield f"PSD.{name}", attr


def test_module_functions_are_registered_in_order():
    names = [n for n in vars(spectral) if callable(getattr(spectral, n)) and n in FUNCTIONS]
    assert names == FUNCTIONS


@pytest.mark.parametrize("name,obj", list(documented()), ids=[n for n, _ in documented()])
def test_examples_run(name, obj):
    doc = obj.__doc__ or ""
    assert "Examples" in doc and (isinstance(obj, type) or "Returns" in doc), name
    test = doctest.DocTestParser().get_doctest(doc, {"np": np}, name, None, 0)
    assert test.examples, name
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    runner.run(test, out=lambda s: None)
    assert runner.failures == 0, f"{name}: {runner.failures} failing example(s)"
