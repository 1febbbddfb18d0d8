"""The Examples sections of accumulator.AccTrace run as written."""

import doctest

import numpy as np
import pytest

from korvana import accumulator


def documented():
    yield "AccTrace", accumulator.AccTrace
    for name in sorted(vars(accumulator.AccTrace)):
        attr = getattr(accumulator.AccTrace, name)
        if (attr.__doc__ or "") and (not name.startswith("_") or name in ("__enter__", "__exit__")):
            yield f"AccTrace.{name}", attr


@pytest.mark.parametrize("name,obj", list(documented()), ids=[n for n, _ in documented()])
def test_examples_run(name, obj):
    test = doctest.DocTestParser().get_doctest(obj.__doc__, {"np": np}, name, None, 0)
    assert test.examples, name
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    runner.run(test, out=lambda s: None)
    assert runner.failures == 0, f"{name}: {runner.failures} failing example(s)"
