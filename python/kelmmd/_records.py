"""The quote record as a NumPy dtype, and the DataFrame helper."""

import numpy as np

# MarketDepthRecord field by field, in record order. Texts are fixed byte
# strings (NUL-padded); numbers are in the host's byte order. align=True
# lays the fields out as the C++ compiler does (double on 8, int on 4).
_LEVEL = lambda n: [(f"BidPrice{n}", "=f8"), (f"BidQty{n}", "=i4"),
                    (f"AskPrice{n}", "=f8"), (f"AskQty{n}", "=i4")]
QUOTE_DTYPE = np.dtype(
    [("TradeDate", "S9"), ("Reserved1", "S31"), ("ExchangeID", "S9"), ("Reserved2", "S31"),
     ("Price", "=f8"), ("PreSettle", "=f8"), ("PreClose", "=f8"), ("PreOI", "=f8"),
     ("OpenPrice", "=f8"), ("HighestPrice", "=f8"), ("LowestPrice", "=f8"), ("QtyTotal", "=i4"),
     ("Amount", "=f8"), ("OI", "=f8"), ("CurrentPrice", "=f8"), ("SettlePrice", "=f8"),
     ("HighLimit", "=f8"), ("LowLimit", "=f8"), ("Reserved3", "=f8"), ("Reserved4", "=f8"),
     ("ModifyTime", "S9"), ("Reserved5", "=i4")]
    + _LEVEL(1) + _LEVEL(2) + _LEVEL(3) + _LEVEL(4) + _LEVEL(5)
    + [("Reserved6", "=f8"), ("ModifyDate", "S9"), ("InstrumentID", "S81"), ("Reserved7", "S102")],
    align=True)
del _LEVEL

#: The fields a quote carries (the reserved ones left out), in record order.
QUOTE_FIELDS = tuple(name for name in QUOTE_DTYPE.names if not name.startswith("Reserved"))


def to_dataframe(batch):
    """A pandas DataFrame of a batch from read_quotes: one row per quote, one
    column per field of QUOTE_FIELDS, texts decoded to str. Needs pandas."""
    try:
        import pandas
    except ImportError as error:
        raise ImportError("to_dataframe needs pandas (Debian: python3-pandas)") from error
    batch = np.asarray(batch)
    if batch.dtype != QUOTE_DTYPE:
        raise TypeError("to_dataframe expects an array of QUOTE_DTYPE")
    columns = {}
    for name in QUOTE_FIELDS:
        column = batch[name]
        if column.dtype.kind == "S":
            column = [value.decode("utf-8", "surrogateescape") for value in column.tolist()]
        columns[name] = column
    return pandas.DataFrame(columns, index=pandas.RangeIndex(len(batch)))
