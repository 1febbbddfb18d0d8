import numpy as np
import pytest


@pytest.fixture
def rng():
    """A seeded generator: every test sees the same data on every run."""
    return np.random.default_rng(20261211)
