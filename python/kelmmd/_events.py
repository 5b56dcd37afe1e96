"""Session events, results and errors: plain objects."""

from dataclasses import dataclass
from typing import Optional


class Error(Exception):
    """Base of the errors this package raises."""


class ConnectError(Error, TimeoutError):
    """No connection to any of the client's addresses within the time given,
    or the first address could not be resolved."""


class LoginError(Error):
    """The server refused the login. rsp_no and rsp_desc are its answer
    (rsp_no -1 when the answer carried no result)."""

    def __init__(self, rsp_no, rsp_desc):
        super().__init__(f"login refused: {rsp_no} {rsp_desc}")
        self.rsp_no = rsp_no
        self.rsp_desc = rsp_desc


class HistoryError(Error):
    """The server refused a history query (an unknown instrument, not logged
    in, ...). rsp_no and rsp_desc are its answer."""

    def __init__(self, what, rsp_no, rsp_desc):
        super().__init__(f"{what} refused: {rsp_no} {rsp_desc}")
        self.rsp_no = rsp_no
        self.rsp_desc = rsp_desc


@dataclass(frozen=True)
class LinkStats:
    """The figures of the client's link, as the library counts them since the
    client was made."""
    quotes_received: int
    packages_received: int     # every package: quotes, answers, heartbeats
    bytes_received: int        # length prefixes included
    connections_made: int
    links_lost: int
    heartbeats_sent: int
    last_receive_time: Optional[float]   # seconds since 1970 (UTC) of the last byte; None before one
    last_receive_age: Optional[float]    # seconds since the last byte; None before one
    connected: bool
    server_address: str        # "host:port" of the connection; "" without one


@dataclass(frozen=True)
class LoginResult:
    trade_date: str      # YYYYMMDD
    login_time: str      # HH:MM:SS, local time the answer was handled
    broker_code: str
    user_code: str
    sys_name: str
    session_id: int
    rsp_no: int
    rsp_desc: str
    request_id: int


class _Answer:
    """What every request answer has: the server's result."""

    @property
    def ok(self):
        return self.rsp_no == 0


@dataclass(frozen=True)
class Connected:
    """The connection to a quote server was established."""


@dataclass(frozen=True)
class Disconnected:
    """The connection was lost; the client reconnects by itself."""


@dataclass(frozen=True)
class LoginEvent(_Answer):
    rsp_no: Optional[int]            # None: the answer carried no result
    rsp_desc: str
    request_id: int
    result: Optional[LoginResult]    # None: the answer carried no record
    automatic: bool                  # sent by the client after a reconnect


@dataclass(frozen=True)
class LogoutEvent(_Answer):
    rsp_no: Optional[int]
    rsp_desc: str
    request_id: int
    user_code: Optional[str]


@dataclass(frozen=True)
class SubscribeEvent(_Answer):
    rsp_no: Optional[int]
    rsp_desc: str
    instrument: Optional[str]        # None: the answer named no instrument


@dataclass(frozen=True)
class UnsubscribeEvent(_Answer):
    rsp_no: Optional[int]
    rsp_desc: str
    instrument: Optional[str]


def event_from(raw):
    """The event object for a tuple from the compiled core."""
    kind, request_id, rsp_no, rsp_desc, detail, automatic = raw
    if kind == "connected":
        return Connected()
    if kind == "disconnected":
        return Disconnected()
    if kind == "login":
        result = None
        if detail is not None:
            result = LoginResult(rsp_no=-1 if rsp_no is None else rsp_no, rsp_desc=rsp_desc,
                                 request_id=request_id, **detail)
        return LoginEvent(rsp_no, rsp_desc, request_id, result, automatic)
    if kind == "logout":
        return LogoutEvent(rsp_no, rsp_desc, request_id, detail)
    if kind == "subscribe":
        return SubscribeEvent(rsp_no, rsp_desc, detail)
    return UnsubscribeEvent(rsp_no, rsp_desc, detail)
