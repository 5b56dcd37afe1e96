"""Floods nobody reads, closing and collecting clients, waits that release
the interpreter lock and end on Ctrl-C."""

import gc
import os
import signal
import subprocess
import sys
import threading
import time
import weakref

import pytest

import kelmmd
from conftest import CSV_COLUMNS, run_python, wait_until

FLOOD = 100_000


def write_flood(path, count):
    """A recording of count quotes of one instrument; Amount numbers them."""
    values = {c: "1.5" for c in CSV_COLUMNS}
    values.update(InstrumentID="fl0001", ExchangeID="SIMX", TradeDate="20240102",
                  ModifyDate="20240102", ModifyTime="09:30:00", QtyTotal="7", Amount="{}")
    values.update({c: "3" for c in CSV_COLUMNS if "Qty" in c})
    line = ",".join(values[c] for c in CSV_COLUMNS) + "\n"
    with open(path, "w") as out:
        out.write(",".join(CSV_COLUMNS) + "\n")
        out.writelines(line.format(i) for i in range(count))


def resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def threads_and_sockets():
    sockets = sum(os.readlink(f"/proc/self/fd/{fd}").startswith("socket:")
                  for fd in os.listdir("/proc/self/fd") if os.path.exists(f"/proc/self/fd/{fd}"))
    return len(os.listdir("/proc/self/task")), sockets


@pytest.fixture
def flood(simulator, tmp_path):
    write_flood(tmp_path / "flood.csv", FLOOD)
    return simulator("--replay", str(tmp_path / "flood.csv"), "--speed", "0")


def test_unread_flood_is_dropped_and_counted_in_bounded_memory(flood):
    with kelmmd.Client(flood.address, queue_capacity=1000) as md:
        md.connect(timeout=10)
        md.login(timeout=10)
        before = resident_kib()
        md.subscribe("fl0001")
        # Every quote went through the network thread while Python read none.
        assert wait_until(lambda: md.dropped + md.queued == FLOOD, timeout=120)
        assert (md.queued, md.dropped) == (1000, FLOOD - 1000)
        # 100,000 queued quotes would take 57 MiB; the ring holds 1000.
        assert resident_kib() - before < 16 * 1024
        kept = md.read_quotes()
        assert kept["Amount"].tolist() == list(range(1000))  # the oldest are kept, in order
        started = time.monotonic()
    assert time.monotonic() - started < 5.0


def test_close_during_a_flood_ends_waiting_readers(flood):
    md = kelmmd.Client(flood.address, queue_capacity=1000)
    md.connect(timeout=10)
    md.login(timeout=10)
    seen = []
    finished = threading.Event()

    def read():
        for quote in md.quotes(timeout=None):
            seen.append(quote.Amount)
        finished.set()

    reader = threading.Thread(target=read)
    reader.start()
    md.subscribe("fl0001")
    assert wait_until(lambda: len(seen) > 100, timeout=60)
    md.close()
    assert finished.wait(timeout=10), "the reader did not end after close()"
    reader.join()
    assert seen == sorted(seen) and md.closed
    # After close, what is queued can still be read, and no read waits.
    rest = [quote.Amount for quote in md.quotes(timeout=None)]
    assert seen + rest == sorted(seen + rest)
    assert md.next_quote(timeout=None) is None and len(md.read_quotes(timeout=None)) == 0


def test_garbage_collection_disposes_of_an_open_client(flood):
    baseline = threads_and_sockets()
    md = kelmmd.Client(flood.address, queue_capacity=1000)
    md.connect(timeout=10)
    md.login(timeout=10)
    md.subscribe("fl0001")
    assert wait_until(lambda: md.dropped > 0, timeout=60)
    assert threads_and_sockets() != baseline
    gone = weakref.ref(md)
    del md
    gc.collect()
    assert gone() is None
    assert wait_until(lambda: threads_and_sockets() == baseline, timeout=10), threads_and_sockets()


def test_waiting_releases_the_interpreter_lock(simulator):
    sim = simulator()
    with kelmmd.Client(sim.address) as md:
        md.connect(timeout=10)
        waiter = threading.Thread(target=md.next_quote, kwargs={"timeout": 3.0})
        started = time.monotonic()
        waiter.start()
        time.sleep(0.2)  # lets the waiter enter its wait (a shorter one only weakens the check)
        sum(range(200_000))
        # Had the waiter kept the lock, this thread would have run again
        # only after its 3 s.
        assert time.monotonic() - started < 1.5, "a waiting call held the interpreter lock"
        waiter.join()


WAITER = """
import sys, time, kelmmd
md = kelmmd.Client(sys.argv[1])
md.connect(timeout=10)
started = time.monotonic()
try:
    print("waiting", flush=True)
    {wait}
except KeyboardInterrupt:
    print("interrupted after %.2f s" % (time.monotonic() - started), flush=True)
    md.close()
    sys.exit(0)
sys.exit(3)
"""


@pytest.mark.parametrize("wait", ["for q in md.quotes(timeout=None): pass",
                                  "md.read_quotes(timeout=None)",
                                  "md.next_event(timeout=None); md.next_event(timeout=None)"])
def test_ctrl_c_interrupts_a_wait_promptly(simulator, wait):
    sim = simulator()
    child = subprocess.Popen([sys.executable, "-c", WAITER.format(wait=wait), sim.address],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "waiting"
        time.sleep(0.3)  # into the wait; an earlier signal would only end it sooner
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=10)
    finally:
        child.kill()
    assert child.returncode == 0, err
    assert out.startswith("interrupted after")
