"""Timing helpers shared by the benchmarks."""

from __future__ import annotations

import argparse
import time


def best_time(fn, min_total: float = 0.05, repeats: int = 5) -> float:
    """Seconds per call of fn: the best of several batches of calls."""
    reps = 1
    while True:
        t0 = time.perf_counter()
        for _ in range(reps):
            fn()
        dt = time.perf_counter() - t0
        if dt >= min_total:
            break
        reps *= 4
    best = dt / reps
    for _ in range(repeats - 1):
        t0 = time.perf_counter()
        for _ in range(reps):
            fn()
        best = min(best, (time.perf_counter() - t0) / reps)
    return best


def parse_args(description: str) -> argparse.Namespace:
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--quick", action="store_true", help="one tiny size, for smoke runs")
    return p.parse_args()
