"""korvana: native signal-processing building blocks for Python.

Each submodule is a C++ extension that exchanges NumPy arrays with the caller:

- ``korvana.spectral``: FFT engines, windows, PSD estimator and measurements.
- ``korvana.accumulator``: scalar and per-bin trace accumulators.
- ``korvana.coding``: convolutional code, Viterbi decoder, Reed-Solomon, interleaver.

Import the submodule you need::

    >>> from korvana import spectral
    >>> spectral.FFT(n=8).n
    8
"""

__version__ = "0.1.0"
__all__ = ["spectral", "accumulator", "coding"]
