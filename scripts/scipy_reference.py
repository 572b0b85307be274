#!/usr/bin/python3
"""Writes tests/dsp/data/scipy_reference.json: filter designs and outputs computed by SciPy,
which tst_signalfilter compares with SignalFilter (the test itself needs no SciPy).

Usage: scripts/scipy_reference.py [output.json]
"""
import json
import os
import sys

import numpy as np
import scipy
from scipy import signal

FS_STREAM = 1000.0
MAINS_F0, MAINS_BW = 25, 10
NOTCHES = [50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425]
NOTCH_Q = 50.0

# (fs, cut-offs): 1 Hz, 100 Hz and one that the clamp to fs/2 - 1 catches.
BUTTER_CASES = [(1000, [1, 100, 600]), (20, [1, 5, 100]), (111, [1, 30, 100])]


def notch_designs():
    """The decoder's notch chain at fs 1000, designed as the program does (w0 normalised to
    Nyquist, SciPy's default fs = 2)."""
    designs = [(MAINS_F0, MAINS_F0 / MAINS_BW, "bandwidth")]
    designs += [(f, NOTCH_Q, "q") for f in NOTCHES]
    out = []
    for f0, q, kind in designs:
        w0 = f0 / (0.5 * FS_STREAM)
        b, a = signal.iirnotch(w0, q)
        out.append({"f0": f0, "q": q, "kind": kind, "w0": w0, "b": list(b), "a": list(a)})
    return out


def butter_design(cutoff, btype, fs):
    fc = min(float(cutoff), fs * 0.5 - 1.0)
    return fc, signal.butter(8, 2.0 * fc / fs, btype=btype, output="sos")


def short_signal():
    """100 samples: an offset, two tones, a step and some noise; rounded to 1e-6 so the file
    holds the exact values."""
    rng = np.random.default_rng(20240611)
    n = np.arange(100)
    x = 3.0 + 1.5 * np.sin(2 * np.pi * 0.07 * n) + 0.4 * np.cos(2 * np.pi * 0.31 * n + 0.3)
    x[60:] += 0.8
    x += 0.05 * rng.standard_normal(n.size)
    return np.round(x, 6)


def stream_signal():
    """1600 samples of a 1000 Hz stream in mHz (integers, as the instrument sends them):
    about 50 000 nT with mains harmonics and noise."""
    rng = np.random.default_rng(7)
    t = np.arange(1600) / FS_STREAM
    base = 50000.0 * 6.99583 * 1000.0
    x = base + 400.0 * np.sin(2 * np.pi * 0.8 * t)
    for f, amp in [(25, 300.0), (50, 2500.0), (75, 150.0), (150, 900.0), (250, 600.0),
                   (350, 300.0), (425, 120.0)]:
        x += amp * np.sin(2 * np.pi * f * t + 0.1 * f)
    x += 40.0 * rng.standard_normal(t.size)
    return np.round(x)


def notch_chain(x):
    y = x
    for d in notch_designs():
        y = signal.filtfilt(d["b"], d["a"], y)
    return y


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(
        os.path.join(here, "..", "tests", "dsp", "data", "scipy_reference.json"))

    x = short_signal()
    notches = notch_designs()
    for d in notches:
        d["filtfilt"] = list(signal.filtfilt(d["b"], d["a"], x))

    butters = []
    for fs, cutoffs in BUTTER_CASES:
        for cutoff in cutoffs:
            for btype, name in [(0, "lowpass"), (1, "highpass")]:
                fc, sos = butter_design(cutoff, name, fs)
                butters.append({
                    "cutoff": cutoff, "btype": btype, "fs": fs, "fc": fc,
                    "sos": [list(row) for row in sos],
                    "sosfiltfilt": list(signal.sosfiltfilt(sos, x)),
                })

    # The shortest inputs that are filtered, and the one-way pass with its initial state.
    notch50 = notches[1]
    fc, sos = butter_design(100, "lowpass", 1000)
    zi = signal.sosfilt_zi(sos)
    forward, _ = signal.sosfilt(sos, x, zi=zi * x[0])
    boundary = {
        "filtfilt10": list(signal.filtfilt(notch50["b"], notch50["a"], x[:10])),
        "sosfiltfilt28": list(signal.sosfiltfilt(sos, x[:28])),
        "sos_cutoff": 100, "sos_btype": 0, "sos_fs": 1000,
        "sosfilt_zi": [list(row) for row in zi],
        "sosfilt": list(forward),
    }

    stream = stream_signal()
    ref = {
        "source": "scripts/scipy_reference.py, SciPy %s, NumPy %s" % (scipy.__version__,
                                                                     np.__version__),
        "signal": list(x),
        "notch": notches,
        "butter": butters,
        "boundary": boundary,
        "chain": {"input": [int(v) for v in stream], "output": list(notch_chain(stream))},
    }
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        json.dump(ref, f, separators=(",", ":"))
        f.write("\n")
    print("wrote %s (%d bytes)" % (path, os.path.getsize(path)))


if __name__ == "__main__":
    main()
