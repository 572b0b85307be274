#!/usr/bin/python3
"""Runs the bench_dsp executable and the same work in SciPy, and prints the speed-up of ours.

Usage: scripts/bench_dsp.py [--build-dir DIR] [--repetitions N]
The build needs -DMAG_BUILD_BENCHMARKS=ON (the default) and the target bench_dsp; build it
as Release or RelWithDebInfo for meaningful figures.
"""
import argparse
import json
import os
import subprocess
import sys
import timeit

import numpy as np
from scipy import signal

NOTCHES = [50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425]


def stream_signal(n):
    i = np.arange(n, dtype=float)
    t = i / 1000.0
    return (349791500.0 + 2500.0 * np.sin(2 * np.pi * 50.0 * t)
            + 900.0 * np.sin(2 * np.pi * 150.0 * t) + 40.0 * np.sin(12345.678 * i * i))


def sosfiltfilt_work(n):
    x = stream_signal(n)
    sos = signal.butter(8, 2.0 * 100 / 1000, btype="lowpass", output="sos")
    return lambda: signal.sosfiltfilt(sos, x)


def notch_chain_work(n):
    x = stream_signal(n)

    def run():
        # Designs and filters per call, as the decoder's chain does.
        b, a = signal.iirnotch(25 / 500.0, 25 / 10)
        y = signal.filtfilt(b, a, x)
        for f0 in NOTCHES:
            b, a = signal.iirnotch(f0 / 500.0, 50.0)
            y = signal.filtfilt(b, a, y)
        return y
    return run


def spectrum_step_work(n):
    x = stream_signal(n)
    sos = signal.butter(8, 2.0 * 1 / 1000, btype="highpass", output="sos")

    def run():
        # The fixed 1 Hz high-pass, then the one-sided density of bins 0 .. n-1-n/2.
        y = signal.sosfiltfilt(sos, x, padtype="odd", padlen=27)
        bins = n - n // 2
        freqs = np.arange(bins) * (1000.0 / n)
        amps = np.abs(np.fft.rfft(y)[:bins]) * np.sqrt(2.0) / np.sqrt(n * 1000.0)
        return freqs, amps
    return run


# Benchmark name -> (SciPy work, goal as a factor over SciPy, or None). Benchmarks of other
# groups (bench_*.cpp) add their SciPy counterpart here; names without an entry are printed
# without a ratio.
SCIPY_WORK = {
    "BM_SosfiltfiltButter/1600": (sosfiltfilt_work(1600), 8.0),
    "BM_SosfiltfiltButter/10000": (sosfiltfilt_work(10000), 2.0),
    "BM_NotchChain/1600": (notch_chain_work(1600), 4.0),
    "BM_SpectrumStep/10000": (spectrum_step_work(10000), None),
    "BM_SpectrumStep/1000000": (spectrum_step_work(1000000), None),
}

def scipy_seconds(work, repetitions):
    timer = timeit.Timer(work)
    number, _ = timer.autorange()
    runs = timer.repeat(repeat=repetitions, number=number)
    return float(np.median(runs)) / number


def run_ours(binary, repetitions):
    out = subprocess.run(
        [binary, "--benchmark_format=json", "--benchmark_repetitions=%d" % repetitions,
         "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    result = {}
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    # One repetition reports the plain run and no aggregates; more report the median.
    wanted = "median" if repetitions > 1 else None
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != wanted:
            continue
        result[b.get("run_name", b["name"])] = b["real_time"] * scale[b["time_unit"]]
    if not result:
        sys.exit("bench_dsp reported no results")
    return result


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(here, "..", "build"))
    parser.add_argument("--repetitions", type=int, default=7)
    args = parser.parse_args()
    args.repetitions = max(1, args.repetitions)
    binary = os.path.join(args.build_dir, "tests", "bench", "bench_dsp")
    if not os.access(binary, os.X_OK):
        sys.exit("no %s: build the target bench_dsp first" % binary)

    ours = run_ours(binary, args.repetitions)
    print("%-32s %12s %12s %8s %6s" % ("benchmark", "ours (us)", "SciPy (us)", "ratio", "goal"))
    failed = False
    for name, seconds in ours.items():
        if name not in SCIPY_WORK:
            print("%-32s %12.1f %12s %8s %6s" % (name, seconds * 1e6, "-", "-", "-"))
            continue
        work, goal = SCIPY_WORK[name]
        ref = scipy_seconds(work, args.repetitions)
        ratio = ref / seconds
        verdict = ""
        if goal is not None:
            verdict = "ok" if ratio >= goal else "MISSED"
            failed = failed or ratio < goal
        print("%-32s %12.1f %12.1f %7.1fx %5s %s" % (
            name, seconds * 1e6, ref * 1e6, ratio, "%gx" % goal if goal else "-", verdict))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
