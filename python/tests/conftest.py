"""Shared helpers: kelm-quote-sim as a real process on loopback, recordings."""

import os
import random
import selectors
import subprocess
import sys
import time

import pytest

SIM = os.environ.get("KELM_QUOTE_SIM", "")

# The recording's columns, as the simulator reads them.
CSV_COLUMNS = ["InstrumentID", "ExchangeID", "TradeDate", "ModifyDate", "ModifyTime", "Price",
               "PreSettle", "PreClose", "PreOI", "OpenPrice", "HighestPrice", "LowestPrice",
               "QtyTotal", "Amount", "OI", "SettlePrice", "HighLimit", "LowLimit"]
for _n in range(1, 6):
    CSV_COLUMNS += [f"BidPrice{_n}", f"BidQty{_n}", f"AskPrice{_n}", f"AskQty{_n}"]
TEXTS = {"InstrumentID", "ExchangeID", "TradeDate", "ModifyDate", "ModifyTime"}


class Simulator:
    """kelm-quote-sim started on a free loopback port (it binds port 0 and
    prints its address first)."""

    def __init__(self, *args):
        if not SIM:
            pytest.skip("KELM_QUOTE_SIM is not set")
        self.process = subprocess.Popen([SIM, "--quiet", *args], stdout=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL, text=True)
        with selectors.DefaultSelector() as selector:
            selector.register(self.process.stdout, selectors.EVENT_READ)
            ready = selector.select(timeout=30)
        line = self.process.stdout.readline().strip() if ready else ""
        if not line:
            self.stop()
            raise RuntimeError(f"the simulator did not start: {args}")
        self.address = "tcp://" + line

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()


@pytest.fixture
def simulator():
    """Starts simulators with the given arguments; all are stopped afterwards."""
    started = []

    def start(*args):
        started.append(Simulator(*args))
        return started[-1]

    yield start
    for sim in started:
        sim.stop()


def make_recording(path, instruments, rows_each, seed=7):
    """Writes a recording of rows_each quotes per instrument with varied
    values and returns the rows as dicts of the values the client must see."""
    rng = random.Random(seed)
    rows = []
    for i in range(rows_each):
        for code, exchange in instruments:
            row = {"InstrumentID": code, "ExchangeID": exchange, "TradeDate": "20240315",
                   "ModifyDate": "20240314", "ModifyTime": f"{9 + i // 3600:02d}:{i // 60 % 60:02d}:{i % 60:02d}"}
            for column in CSV_COLUMNS:
                if column in TEXTS:
                    continue
                if column in ("PreOI", "OI"):
                    row[column] = float(rng.randrange(0, 2 ** 53))  # whole numbers on the wire
                elif "Qty" in column:
                    row[column] = rng.randrange(0, 2 ** 31)
                else:
                    row[column] = rng.uniform(-1e6, 1e9)
            rows.append(row)
    with open(path, "w") as out:
        out.write(",".join(CSV_COLUMNS) + "\n")
        for row in rows:
            out.write(",".join(repr(row[c]) if not isinstance(row[c], str) else row[c]
                               for c in CSV_COLUMNS) + "\n")
    return rows


def wait_until(condition, timeout, interval=0.01):
    """Polls condition until it holds; False after timeout seconds."""
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(interval)
    return True


def next_event_of(client, kind, timeout=10.0, where=lambda event: True):
    """The next event of type kind (others are skipped); fails on timeout."""
    end = time.monotonic() + timeout
    while True:
        event = client.next_event(max(0.0, end - time.monotonic()))
        if event is None:
            pytest.fail(f"no {kind.__name__} within {timeout} s")
        if isinstance(event, kind) and where(event):
            return event


def run_python(code_or_path, *args, timeout=60, **kwargs):
    """Runs a script with this interpreter and the environment's PYTHONPATH."""
    command = [sys.executable, *([code_or_path] if os.path.exists(code_or_path) else ["-c", code_or_path])]
    return subprocess.run(command + list(args), capture_output=True, text=True, timeout=timeout, **kwargs)


def check_print_quotes(run):
    """What python/examples/print_quotes.py prints for au2406 and zz9999 from
    a simulator at --rate 20 with the account demo:secret."""
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[0] == "library version V6_6_9"
    assert sum(line.startswith("au2406 ") for line in lines) == 20
    assert "refused zz9999: 2 Unknown instrument: zz9999" in lines
    assert lines[-1] == "20 quotes, 0 dropped"
