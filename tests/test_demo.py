"""The demonstration pipeline runs end to end and recovers what it sent."""

import re
import subprocess
import sys


def test_demo_measures_the_tone_and_recovers_every_codeword():
    res = subprocess.run([sys.executable, "-m", "korvana.demo"], capture_output=True, text=True,
                         timeout=120)
    assert res.returncode == 0, res.stderr
    out = res.stdout
    assert "peak bin 125 (125.0 kHz), level -6.02 dBFS" in out
    assert "tone band power -12.04 dBFS" in out
    sfdr = float(re.search(r"SFDR (-?[\d.]+) dB", out).group(1))
    assert abs(sfdr - 40.0) < 0.5
    got, total = map(int, re.search(r"words recovered (\d+)/(\d+)", out).groups())
    assert got == total == 4
