"""Quotes from kelmmduserapi_se quote servers, as Python objects and as NumPy
arrays.

    import kelmmd
    with kelmmd.Client(["tcp://127.0.0.1:7000"], user="demo", password="pw") as md:
        md.connect(timeout=10)
        md.login(timeout=10)
        md.subscribe(["au2406", "ag2406"])
        for q in md.quotes(timeout=5.0):
            print(q.InstrumentID, q.Price, q.BidPrice1, q.AskPrice1)
"""

from ._kelmmd import Quote, version
from ._client import Client
from ._events import (ConnectError, Connected, Disconnected, Error, LoginError, LoginEvent,
                      LoginResult, LogoutEvent, SubscribeEvent, UnsubscribeEvent)
from ._records import QUOTE_DTYPE, QUOTE_FIELDS, to_dataframe

__all__ = [
    "Client", "Quote", "QUOTE_DTYPE", "QUOTE_FIELDS", "to_dataframe", "version",
    "Error", "ConnectError", "LoginError", "LoginResult",
    "Connected", "Disconnected", "LoginEvent", "LogoutEvent", "SubscribeEvent", "UnsubscribeEvent",
]
