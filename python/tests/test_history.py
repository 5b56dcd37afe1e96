"""History as NumPy arrays against the simulator: the same records the
library gives a C++ application on its raw interfaces, bars and trades that
add up to the day's quotes, refusals raised, and the link's figures."""

import os
import subprocess

import numpy as np
import pytest

import kelmmd
from conftest import next_event_of

USER = ("--user", "demo:secret")


def client(sim):
    md = kelmmd.Client([sim.address], user="demo", password="secret")
    md.connect(timeout=10)
    md.login(timeout=10)
    return md


def raw_answer(sim, kind, dtype, *query):
    """The records of a query made by the C++ helper on the raw interfaces."""
    helper = os.environ.get("KELM_HISTORY_DUMP")
    if not helper:
        pytest.skip("KELM_HISTORY_DUMP is not set")
    address = sim.address[len("tcp://"):]
    run = subprocess.run([helper, address, "demo", "secret", kind, *query], capture_output=True, timeout=60)
    assert run.returncode == 0, run.stderr
    return np.frombuffer(run.stdout, dtype=dtype)


def test_day_bars_are_the_records_the_library_delivers(simulator):
    sim = simulator(*USER, "--trade-date", "2026-12-09")
    with client(sim) as md:
        bars = md.day_bars("au2406", "20261201", "20261208")
        minutes = md.minute_bars("au2406", "20261207 09:00", "20261207 14:59:59", service=192)
        frame = kelmmd.to_dataframe(bars)
    assert bars.dtype == kelmmd.DAY_BAR_DTYPE
    # The weekdays of the range, in order.
    assert bars["Date"].tolist() == [b"20261201", b"20261202", b"20261203", b"20261204", b"20261207",
                                     b"20261208"]
    assert bars.tobytes() == raw_answer(sim, "day", kelmmd.DAY_BAR_DTYPE, "au2406", "20261201",
                                        "20261208").tobytes()
    assert minutes.tobytes() == raw_answer(sim, "minute", kelmmd.MINUTE_BAR_DTYPE, "au2406", "20261207 09:00",
                                           "20261207 14:59:59").tobytes()
    assert len(minutes) == 360
    # The day's bar is its minutes'.
    monday = bars[4]
    assert minutes["QtyTotal"].sum() == monday["QtyTotal"]
    assert (minutes["OpenPrice"][0], minutes["ClosePrice"][-1]) == (monday["OpenPrice"], monday["ClosePrice"])
    assert (minutes["HighestPrice"].max(), minutes["LowestPrice"].min()) == (monday["HighestPrice"],
                                                                            monday["LowestPrice"])
    assert list(frame.columns) == list(kelmmd.DAY_BAR_FIELDS)
    assert frame["Date"].tolist()[0] == "20261201" and frame["QtyTotal"].tolist() == bars["QtyTotal"].tolist()


def test_the_days_bars_and_trades_add_up_to_its_quotes(simulator):
    sim = simulator(*USER, "--rate", "50")
    with client(sim) as md:
        md.subscribe("ag2406")
        quotes = [md.read_quotes(timeout=10)]
        while sum(map(len, quotes)) < 5:  # trades of the walk, after the first picture
            quotes.append(md.read_quotes(timeout=10))
        # Once the unsubscription is answered the walk of ag2406 stands
        # still: the last quote before it is the day so far.
        md.unsubscribe("ag2406")
        next_event_of(md, kelmmd.UnsubscribeEvent)
        last = np.concatenate(quotes + [md.read_quotes(timeout=0)])[-1]
        today = md.trade_date
        minutes = md.minute_bars("ag2406", f"{today} 00:00", f"{today} 23:59:59")
        trades = md.trades("ag2406")
    assert minutes["QtyTotal"].sum() == last["QtyTotal"]
    assert trades["Qty"].sum() == last["QtyTotal"]
    assert minutes["OpenPrice"][0] == last["OpenPrice"] and minutes["ClosePrice"][-1] == last["Price"]
    assert trades["Price"][-1] == last["Price"] and trades["Time"][-1] == last["ModifyTime"]
    assert set(trades["BSFlag"].tolist()) <= {b"B", b"S"}
    assert trades["Time"].tolist() == sorted(trades["Time"].tolist())
    assert kelmmd.to_dataframe(trades)["BSFlag"].isin(["B", "S"]).all()


def test_refusals_raise_and_the_figures_follow_the_link(simulator):
    sim = simulator(*USER)
    md = client(sim)
    with pytest.raises(kelmmd.HistoryError) as refused:
        md.day_bars("nope", "20261201", "20261208")
    assert (refused.value.rsp_no, refused.value.rsp_desc) == (2, "Unknown instrument: nope")
    with pytest.raises(ValueError):
        md.minute_bars("au2406", service=193)
    assert len(md.trades("au2406", "20261205")) == 0  # a Saturday: empty, not an error

    stats = md.stats
    assert stats.connected and stats.connections_made == 1 and stats.links_lost == 0
    assert "tcp://" + stats.server_address == sim.address
    assert stats.packages_received >= 3  # the answers to the login and two queries
    assert stats.bytes_received > 4 * stats.packages_received
    assert 0 <= stats.last_receive_age < 10 and stats.last_receive_time > 1.7e9
    md.close()
    closed = md.stats
    assert not closed.connected and closed.packages_received == stats.packages_received
    with pytest.raises(kelmmd.ConnectError):
        md.day_bars("au2406", "20261201", "20261208", timeout=1)
