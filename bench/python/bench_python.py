"""Quotes per second delivered to Python, against the C++ application, fed by
the end-to-end pusher over loopback TCP:

  cpp      the C++ application of the end-to-end benchmark (NotifyQuote counts)
  queue    a C++ application of the session layer: the quotes go through its
           quote queue to a thread of the application's, in batches into one
           reused buffer; what handing quotes to a second thread costs, with
           no Python in it
  objects  kelmmd.Client.quotes(): one Quote object per quote (one attribute read)
  batch    kelmmd.Client.read_quotes(out=...): batches of up to 16,384 quotes
           written into one NumPy array the loop reuses (no array per batch)

The Python client has its default queue of 65,536 quotes; when Python reads
more slowly than the quotes arrive, the excess is dropped and counted, and
the rate is that of the quotes delivered.

Beside them, Python alone: one Quote object each from a queue the pusher
filled before Python starts reading (nothing else running meanwhile), the
most objects per second the interpreter makes here.

The cases run in turn, --repetitions times, in a rotating order, each
from a fresh connection. Prints a Markdown table (median, min and max of the
runs, every run) and writes it, with the raw figures as JSON, to --out.

    PYTHONPATH=<build>/python /usr/bin/python3 bench_python.py --feed <build>/bench/python/bench_python_feed
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

import numpy as np

import kelmmd

CASES = ("cpp", "queue", "objects", "batch")
BATCH = 16384
QUEUE = 65536  # the client's default
PREFILLED = 60000


class Feed:
    """bench_python_feed push: the pusher in a process of its own."""

    def __init__(self, program, count):
        self.process = subprocess.Popen([program, "push", str(count)], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.port = int(self._line("port"))

    def _line(self, key):
        words = self.process.stdout.readline().split()
        if len(words) != 2 or words[0] != key:
            raise RuntimeError(f"the pusher said {words}, expected '{key} ...'")
        return words[1]

    def finish(self):
        start = int(self._line("start"))
        sent = int(self._line("sent"))
        self.process.stdin.close()
        self.process.wait(timeout=30)
        return start, sent


def run_python(program, count, case):
    # The batches' one array, its pages faulted in before the pusher starts.
    batch = np.ones(BATCH, kelmmd.QUOTE_DTYPE)
    feed = Feed(program, count)
    with kelmmd.Client(f"tcp://127.0.0.1:{feed.port}", queue_capacity=QUEUE) as md:
        md.connect(timeout=20)
        received = dropped = 0
        # Until every quote sent is received or dropped. The drop count is
        # read now and then; once the pusher is done it is final, and the
        # full queue still holds many quotes, so the loop ends on time.
        if case == "objects":
            for quote in md.quotes(timeout=20.0):
                quote.Amount
                received += 1
                if received & 1023 == 0:
                    dropped = md.dropped
                if received + dropped >= count:
                    break
        else:
            while received + dropped < count:
                taken = md.read_quotes(timeout=20.0, out=batch)
                if taken == 0:
                    break
                received += taken
                dropped = md.dropped
        end = time.monotonic_ns()
        dropped = md.dropped
    start, sent = feed.finish()
    if received + dropped != count or sent != count:
        raise RuntimeError(f"{case}: sent {sent}, received {received}, dropped {dropped}")
    return received / ((end - start) / 1e9), dropped / count


def run_prefilled(program, count):
    """Objects per second from a queue filled in advance (count must fit)."""
    feed = Feed(program, count)
    with kelmmd.Client(f"tcp://127.0.0.1:{feed.port}", queue_capacity=QUEUE) as md:
        md.connect(timeout=20)
        deadline = time.monotonic() + 20
        while md.queued < count and time.monotonic() < deadline:
            time.sleep(0.01)
        received = 0
        start = time.perf_counter()
        for quote in md.quotes(timeout=1.0):
            quote.Amount
            received += 1
            if received == count:
                break
        end = time.perf_counter()
    feed.finish()
    if received != count:
        raise RuntimeError(f"prefilled: {received} of {count} quotes")
    return count / (end - start)


def run_cpp(program, count, case):
    output = subprocess.run([program, "app" if case == "cpp" else "queue", str(count)], check=True,
                            capture_output=True, text=True).stdout
    figures = dict(line.split() for line in output.splitlines())
    return float(figures["quotes_per_second"]), int(figures.get("dropped", 0)) / count


def table(results, drops, count, repetitions):
    cpp = statistics.median(results["cpp"])
    lines = [f"**Python, end to end over loopback TCP** ({count:,} quotes per run, {repetitions} runs "
             "per case, interleaved; quotes/s delivered)", "",
             "| receiver | median | min | max | median / C++ application | dropped (most in a run) | runs |",
             "|---|---:|---:|---:|---:|---:|---|"]
    names = {"cpp": "C++ application (NotifyQuote counts)",
             "queue": "C++ application, session queue read by a second thread", "objects": "Python, one Quote object each",
             "batch": "Python, NumPy batches (read_quotes(out=...))"}
    for case in CASES:
        runs = results[case]
        median = statistics.median(runs)
        lines.append(f"| {names[case]} | {median:,.0f} | {min(runs):,.0f} | {max(runs):,.0f} | "
                     f"{median / cpp:.0%} | {max(drops[case]):.1%} | "
                     f"{', '.join(f'{r / 1e6:.2f}M' for r in runs)} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--feed", required=True, help="path of bench_python_feed")
    parser.add_argument("--quotes", type=int, default=1_000_000)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--out", help="directory for python.md and python.json")
    args = parser.parse_args()

    results = {case: [] for case in CASES}
    drops = {case: [] for case in CASES}
    loads = []
    for repetition in range(args.repetitions):
        order = CASES[repetition % len(CASES):] + CASES[:repetition % len(CASES)]
        for case in order:
            loads.append(os.getloadavg()[0])
            rate, dropped = run_cpp(args.feed, args.quotes, case) if case in ("cpp", "queue") else \
                run_python(args.feed, args.quotes, case)
            results[case].append(rate)
            drops[case].append(dropped)
            print(f"run {repetition + 1} {case}: {rate:,.0f} quotes/s, {dropped:.1%} dropped", file=sys.stderr)
    filled = min(PREFILLED, args.quotes)
    prefilled = [run_prefilled(args.feed, filled) for _ in range(args.repetitions)]
    text = table(results, drops, args.quotes, args.repetitions)
    text += (f"\n\nPython alone, one Quote object each from a queue filled in advance ({filled:,} quotes, "
             f"{args.repetitions} runs): median {statistics.median(prefilled):,.0f}/s, "
             f"{min(prefilled):,.0f} to {max(prefilled):,.0f}.")
    text += (f"\n\nLoad average (1 min) during the runs: {min(loads):.1f} to {max(loads):.1f}, "
             f"on {os.cpu_count()} CPUs.")
    print(text)
    if args.out:
        os.makedirs(args.out, exist_ok=True)
        with open(os.path.join(args.out, "python.md"), "w") as out:
            out.write(text + "\n")
        with open(os.path.join(args.out, "python.json"), "w") as out:
            json.dump({"quotes": args.quotes, "runs": results, "dropped": drops, "load": loads,
                       "prefilled_objects_per_second": prefilled}, out,
                      indent=1)


if __name__ == "__main__":
    main()
