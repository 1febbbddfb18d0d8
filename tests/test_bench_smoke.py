"""Every benchmark still runs: each one once at its tiny --quick size."""

import subprocess
import sys
from pathlib import Path

import pytest

BENCH = sorted((Path(__file__).resolve().parent.parent / "bench").glob("bench_*.py"))


@pytest.mark.parametrize("script", BENCH, ids=[p.stem for p in BENCH])
def test_benchmark_runs_at_quick_size(script):
    res = subprocess.run([sys.executable, str(script), "--quick"], capture_output=True, text=True,
                         timeout=300)
    assert res.returncode == 0, res.stderr
    assert res.stdout.strip(), "a benchmark prints its table"
