"""The client: one API object of the library, its session and its queues."""

import asyncio
import datetime

from . import _kelmmd
from ._events import ConnectError, HistoryError, LinkStats, LoginError, event_from
from ._records import DAY_BAR_DTYPE, MINUTE_BAR_DTYPE, QUOTE_DTYPE, TRADE_DTYPE

# How long one wait of aquotes runs on a worker thread before it looks again.
_ASYNC_SLICE = 0.1
# aquotes yields to the event loop after this many quotes in a row.
_ASYNC_BURST = 1000


def _codes(instruments):
    return [instruments] if isinstance(instruments, str) else list(instruments)


def _day(value):
    """YYYYMMDD of a date, a datetime or a text (as it is); "" for None."""
    if value is None:
        return ""
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.strftime("%Y%m%d")
    return str(value)


def _minute(value):
    """'YYYYMMDD HH:MM:SS' of a datetime, YYYYMMDD of a date, a text as it is."""
    if isinstance(value, datetime.datetime):
        return value.strftime("%Y%m%d %H:%M:%S")
    return _day(value)


class Client:
    """A market-data client for one or more quote servers.

    addresses: "tcp://host:port" texts (a bare "host:port" gets "tcp://"), in
    order of preference; the library moves to the next one when a connection
    attempt fails and reconnects by itself after a loss.

    Quotes are copied on the library's network thread into a queue of
    queue_capacity quotes; when it is full, new quotes are dropped and
    counted in `dropped`. The network thread never waits for Python.

    With auto_resubscribe, the client logs in again after every reconnect
    (once a login has succeeded and until logout) and sends the current
    subscriptions after every successful login.

    Use it as a context manager, or call close(); garbage collection closes
    it too. Timeouts are in seconds; None waits without limit. Every wait
    releases the interpreter lock and ends with KeyboardInterrupt on Ctrl-C.

    spinning: how the library's network thread waits for the server. 0 (the
    default) sleeps; n > 0 polls for n microseconds after each event; -1
    polls without end. Polling hands quotes on a few microseconds sooner and
    keeps a core busy while it polls; ValueError below -1.
    """

    def __init__(self, addresses, user="", password="", broker="", *, queue_capacity=65536,
                 event_capacity=10000, auto_resubscribe=True, spinning=0):
        addresses = [addresses] if isinstance(addresses, str) else list(addresses)
        if not addresses:
            raise ValueError("a client needs at least one server address")
        self.addresses = tuple(a if "://" in a else "tcp://" + a for a in addresses)
        self.user = user
        self._password = password
        self.broker = broker
        self._core = _kelmmd.Session(list(self.addresses), queue_capacity, event_capacity,
                                     auto_resubscribe, spinning)

    # Lifetime -------------------------------------------------------------

    def close(self):
        """Disposes of the API object: the connection ends, no quote or event
        arrives afterwards. Quotes and events already queued stay readable."""
        self._core.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __del__(self):
        core = getattr(self, "_core", None)
        if core is not None:
            core.close()

    # Session --------------------------------------------------------------

    def connect(self, timeout=10.0):
        """Starts connecting (the first call only) and waits until connected.
        Raises ConnectError when no address connects in time."""
        try:
            connected = self._core.connect(timeout)
        except RuntimeError as error:
            raise ConnectError(f"cannot connect to {', '.join(self.addresses)}: {error}") from error
        if not connected:
            raise ConnectError(f"no connection to {', '.join(self.addresses)} within {timeout} s")

    def login(self, timeout=10.0):
        """Logs in with the client's user, password and broker and returns the
        LoginResult. Raises LoginError when the server refuses, ConnectError
        without a connection, TimeoutError without an answer in time."""
        answer = self._request(lambda: self._core.submit_login(self.user, self._password, self.broker),
                               timeout, "login")
        if not answer.ok or answer.result is None:
            raise LoginError(-1 if answer.rsp_no is None else answer.rsp_no, answer.rsp_desc)
        return answer.result

    def logout(self, timeout=10.0):
        """Logs out and returns the LogoutEvent (see its `ok`). The client
        forgets its subscriptions and no longer logs in after reconnects."""
        return self._request(self._core.submit_logout, timeout, "logout")

    def _request(self, submit, timeout, what):
        if not self._core.wait_connected(timeout):
            raise ConnectError(f"no connection for the {what} within {timeout} s")
        request_id = submit()
        if request_id < 0:
            raise ConnectError(f"the connection was lost before the {what} was sent")
        raw = self._core.wait_answer(request_id, timeout)
        if raw is None:
            raise TimeoutError(f"no answer to the {what} within {timeout} s")
        return event_from(raw)

    def subscribe(self, instruments):
        """Subscribes to one code or an iterable of codes (at most 15
        characters are sent). The results arrive as SubscribeEvents; a code
        the server refuses is not repeated after a reconnect."""
        self._core.subscribe(_codes(instruments))

    def unsubscribe(self, instruments):
        """Ends subscriptions; the results arrive as UnsubscribeEvents."""
        self._core.unsubscribe(_codes(instruments))

    @property
    def subscriptions(self):
        """The codes the client repeats after a reconnect, sorted."""
        return tuple(self._core.subscriptions)

    @property
    def connected(self):
        return self._core.connected

    @property
    def logged_in(self):
        return self._core.logged_in

    @property
    def closed(self):
        return self._core.closed

    @property
    def trade_date(self):
        """The trading day of the last login answer, YYYYMMDD ('' before)."""
        return self._core.trade_date

    version = staticmethod(_kelmmd.version)

    # Quotes ---------------------------------------------------------------

    def quotes(self, timeout=None):
        """An iterator of Quote objects; it ends when no quote arrives within
        timeout seconds, or when the client is closed and the queue empty."""
        return self._core.quotes(timeout)

    def next_quote(self, timeout=None):
        """The next Quote, or None when none arrives in time."""
        return self._core.next_quote(timeout)

    def read_quotes(self, max_count=None, timeout=None, *, out=None):
        """Waits for the first quote, then returns every queued quote, at most
        max_count (default: the queue capacity), as a NumPy array of
        QUOTE_DTYPE; an empty array when none arrives in time.

        With out, a writeable one-dimensional contiguous NumPy array of
        QUOTE_DTYPE that the caller keeps and passes again, the quotes are
        written to out[:n] instead, at most len(out) (and max_count), and n is
        returned (0 when none arrives in time). Nothing is allocated per call:
        the way to read at the full rate. out[n:] keeps what it held. A wrong
        dtype raises TypeError, a strided, multi-dimensional or read-only
        array ValueError."""
        if out is not None:
            return self._core.read_quotes_into(QUOTE_DTYPE, out, len(out) if max_count is None else max_count,
                                               timeout)
        if max_count is None:
            max_count = self._core.capacity
        return self._core.read_quotes(QUOTE_DTYPE, max_count, timeout)

    async def aquotes(self, timeout=None):
        """Quote objects as an asynchronous iterator; like quotes(). The
        waiting happens on the event loop's default executor."""
        loop = asyncio.get_running_loop()
        core = self._core
        burst = 0
        while True:
            quote = core.next_quote(0)
            if quote is not None:
                yield quote
                burst += 1
                if burst >= _ASYNC_BURST:
                    burst = 0
                    await asyncio.sleep(0)
                continue
            burst = 0
            if not await self._await_quotes(loop, timeout):
                return

    async def _await_quotes(self, loop, timeout):
        deadline = None if timeout is None else loop.time() + timeout
        while True:
            remaining = _ASYNC_SLICE if deadline is None else min(_ASYNC_SLICE, deadline - loop.time())
            if remaining < 0:
                return False
            if await loop.run_in_executor(None, self._core.wait_quotes, remaining):
                return True
            if self._core.closed:
                return False

    @property
    def dropped(self):
        """Quotes dropped because the queue was full."""
        return self._core.dropped

    @property
    def queued(self):
        """Quotes waiting in the queue."""
        return self._core.queued

    @property
    def queue_capacity(self):
        return self._core.capacity

    # History --------------------------------------------------------------

    def minute_bars(self, code, start=None, end=None, service=150, timeout=10.0):
        """The minute bars of code from start to end inclusive, as a NumPy
        array of MINUTE_BAR_DTYPE in the server's order (empty when the range
        holds none). start and end: datetime or date objects, or texts
        YYYYMMDD or 'YYYYMMDD HH:MM[:SS]'; None leaves that end to the
        server. service: 150, 192 or 194, the server's three minute-data
        services, which answer alike. Raises HistoryError when the server
        refuses, ConnectError without a connection (or when it is lost before
        the whole answer came), TimeoutError without the whole answer in
        time, ValueError for another service."""
        return self._history("minute bars", timeout, self._core.minute_bars, code, _minute(start), _minute(end),
                             service, MINUTE_BAR_DTYPE)

    def day_bars(self, code, start=None, end=None, timeout=10.0):
        """The day bars of code from start to end inclusive (dates, or texts
        YYYYMMDD), as a NumPy array of DAY_BAR_DTYPE; like minute_bars."""
        return self._history("day bars", timeout, self._core.day_bars, code, _day(start), _day(end), DAY_BAR_DTYPE)

    def trades(self, code, date=None, timeout=10.0):
        """The trades of code on date (None: the server's trading day), as a
        NumPy array of TRADE_DTYPE, oldest first; like minute_bars."""
        return self._history("trades", timeout, self._core.trades, code, _day(date), TRADE_DTYPE)

    def _history(self, what, timeout, query, *args):
        if not self._core.wait_connected(timeout):
            raise ConnectError(f"no connection for the {what} within {timeout} s")
        array, failure, rsp_no, rsp_desc = query(*args, timeout)
        if failure is None:
            return array
        if failure == "refused":
            raise HistoryError(what, rsp_no, rsp_desc)
        if failure == "timeout":
            raise TimeoutError(f"no whole answer to the {what} within {timeout} s")
        if failure == "closed":
            raise ConnectError(f"the client is closed: no {what}")
        raise ConnectError(f"the connection was lost before the whole answer to the {what} came")

    @property
    def stats(self):
        """The link's figures now (LinkStats); after close(), those at the
        close."""
        figures = self._core.link_stats
        time, age = figures.pop("last_receive_time"), figures.pop("last_receive_age")
        return LinkStats(last_receive_time=time / 1e6 if time else None,
                         last_receive_age=age / 1e6 if age >= 0 else None, **figures)

    # Events ---------------------------------------------------------------

    def next_event(self, timeout=None):
        """The next session event (Connected, Disconnected, LoginEvent,
        LogoutEvent, SubscribeEvent, UnsubscribeEvent), or None."""
        raw = self._core.next_event(timeout)
        return None if raw is None else event_from(raw)

    def events(self, timeout=0.0):
        """An iterator of session events; it ends when none arrives within
        timeout seconds (by default: once the queued ones are read)."""
        while True:
            event = self.next_event(timeout)
            if event is None:
                return
            yield event

    @property
    def events_discarded(self):
        """Events discarded, oldest first, because their queue was full."""
        return self._core.events_discarded
