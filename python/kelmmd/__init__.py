"""Quotes from kelmmduserapi_se quote servers, as Python objects and as NumPy
arrays.

    import kelmmd
    with kelmmd.Client(["tcp://127.0.0.1:7000"], user="demo", password="pw") as md:
        md.connect(timeout=10)
        md.login(timeout=10)
        bars = md.minute_bars("au2406", "20261209 09:00", "20261209 15:00")  # NumPy
        md.subscribe(["au2406", "ag2406"])
        for q in md.quotes(timeout=5.0):
            print(q.InstrumentID, q.Price, q.BidPrice1, q.AskPrice1)
"""

from ._kelmmd import Quote, version
from ._client import Client
from ._events import (ConnectError, Connected, Disconnected, Error, HistoryError, LinkStats, LoginError,
                      LoginEvent, LoginResult, LogoutEvent, SubscribeEvent, UnsubscribeEvent)
from ._records import (DAY_BAR_DTYPE, DAY_BAR_FIELDS, MINUTE_BAR_DTYPE, MINUTE_BAR_FIELDS, QUOTE_DTYPE,
                       QUOTE_FIELDS, TRADE_DTYPE, TRADE_FIELDS, to_dataframe)

__all__ = [
    "Client", "Quote", "QUOTE_DTYPE", "QUOTE_FIELDS", "to_dataframe", "version",
    "MINUTE_BAR_DTYPE", "MINUTE_BAR_FIELDS", "DAY_BAR_DTYPE", "DAY_BAR_FIELDS", "TRADE_DTYPE", "TRADE_FIELDS",
    "Error", "ConnectError", "LoginError", "LoginResult", "HistoryError", "LinkStats",
    "Connected", "Disconnected", "LoginEvent", "LogoutEvent", "SubscribeEvent", "UnsubscribeEvent",
]
