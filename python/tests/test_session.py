"""Connecting, logging in and subscribing against the simulator: results,
refusals, and the session coming back by itself after a server goes away."""

import socket

import pytest

import kelmmd
from conftest import next_event_of

CODES = ["au2406", "ag2406"]


def test_login_subscribe_unsubscribe_logout(simulator):
    sim = simulator("--user", "demo:pw", "--trade-date", "2024-03-15", "--rate", "50")
    with kelmmd.Client(sim.address, user="demo", password="pw", broker="B01") as md:
        md.connect(timeout=10)
        result = md.login(timeout=10)
        assert (result.trade_date, result.user_code, result.broker_code, result.sys_name, result.rsp_no) == \
            ("20240315", "demo", "B01", "kelm-quote-sim", 0)
        assert md.trade_date == "20240315" and md.logged_in
        md.subscribe(CODES + ["nosuch1"])
        answers = {}
        for _ in range(3):
            event = next_event_of(md, kelmmd.SubscribeEvent)
            answers[event.instrument] = (event.rsp_no, event.rsp_desc)
        assert answers == {"au2406": (0, "Subscribed"), "ag2406": (0, "Subscribed"),
                           "nosuch1": (2, "Unknown instrument: nosuch1")}
        # The refused code is not repeated after a reconnect.
        assert md.subscriptions == ("ag2406", "au2406")
        assert {md.next_quote(timeout=10).InstrumentID for _ in range(10)} <= set(CODES)

        md.unsubscribe("ag2406")
        event = next_event_of(md, kelmmd.UnsubscribeEvent)
        assert (event.instrument, event.ok) == ("ag2406", True)
        assert md.subscriptions == ("au2406",)

        logout = md.logout(timeout=10)
        assert (logout.ok, logout.user_code) == (True, "demo")
        assert not md.logged_in and md.subscriptions == ()


def test_wrong_password_raises_the_servers_answer(simulator):
    sim = simulator("--user", "demo:pw")
    with kelmmd.Client(sim.address, user="demo", password="wrong") as md:
        md.connect(timeout=10)
        with pytest.raises(kelmmd.LoginError) as refused:
            md.login(timeout=10)
        assert (refused.value.rsp_no, refused.value.rsp_desc) == (1, "Invalid user code or password")
        assert not md.logged_in


def test_no_server_raises_connect_error():
    # A bound socket that does not listen refuses connections, and keeps its
    # port from being taken by anyone else meanwhile.
    with socket.socket() as closed_port:
        closed_port.bind(("127.0.0.1", 0))
        address = "127.0.0.1:%d" % closed_port.getsockname()[1]
        with kelmmd.Client(address) as md:
            with pytest.raises(kelmmd.ConnectError) as failed:
                md.connect(timeout=1.5)
            assert isinstance(failed.value, TimeoutError)
            with pytest.raises(kelmmd.ConnectError):
                md.login(timeout=0.2)


@pytest.mark.parametrize("auto_resubscribe", [True, False])
def test_server_restart_brings_quotes_back_with_auto_resubscribe(simulator, auto_resubscribe):
    # The client lists two servers; the first goes away mid-run and the
    # client reconnects to the second, a fresh server with no session.
    first = simulator("--user", "demo:pw", "--rate", "50")
    second = simulator("--user", "demo:pw", "--rate", "50")
    with kelmmd.Client([first.address, second.address], user="demo", password="pw",
                       auto_resubscribe=auto_resubscribe) as md:
        md.connect(timeout=10)
        md.login(timeout=10)
        md.subscribe(CODES)
        assert md.next_quote(timeout=10) is not None
        first.stop()
        next_event_of(md, kelmmd.Disconnected)
        next_event_of(md, kelmmd.Connected, timeout=30)
        if not auto_resubscribe:
            md.read_quotes(timeout=0)  # what the first server sent before it went
            assert md.next_quote(timeout=2.0) is None and not md.logged_in
            return
        login = next_event_of(md, kelmmd.LoginEvent)
        assert login.ok and login.automatic
        resubscribed = {next_event_of(md, kelmmd.SubscribeEvent, where=lambda e: e.ok).instrument
                        for _ in CODES}
        assert resubscribed == set(CODES)
        md.read_quotes(timeout=0)
        assert md.next_quote(timeout=10).InstrumentID in CODES
        assert md.logged_in
