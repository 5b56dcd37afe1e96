"""The records as NumPy dtypes (quotes, minute bars, day bars, trades), and
the DataFrame helper."""

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

# The history records of KelmRivoMdExtension.h, laid out alike. Quantities
# and open interest are 64-bit.
_BAR = [("OpenPrice", "=f8"), ("HighestPrice", "=f8"), ("LowestPrice", "=f8"), ("ClosePrice", "=f8"),
        ("QtyTotal", "=i8"), ("OI", "=i8"), ("Amount", "=f8")]
MINUTE_BAR_DTYPE = np.dtype(
    [("InstrumentID", "S16"), ("ExchangeID", "S17"), ("Date", "S9"), ("Time", "S9"), ("Padding1", "S5")]
    + _BAR, align=True)
DAY_BAR_DTYPE = np.dtype(
    [("InstrumentID", "S16"), ("ExchangeID", "S17"), ("Date", "S9"), ("Padding1", "S6")] + _BAR, align=True)
TRADE_DTYPE = np.dtype(
    [("MatchID", "S31"), ("InstrumentID", "S16"), ("Date", "S9"), ("Time", "S9"), ("BSFlag", "S1"),
     ("Padding1", "S2"), ("Qty", "=i4"), ("Price", "=f8")], align=True)
del _BAR


def _fields(dtype):
    return tuple(name for name in dtype.names if not name.startswith(("Reserved", "Padding")))


#: The fields a quote carries (the reserved ones left out), in record order.
QUOTE_FIELDS = _fields(QUOTE_DTYPE)
MINUTE_BAR_FIELDS = _fields(MINUTE_BAR_DTYPE)
DAY_BAR_FIELDS = _fields(DAY_BAR_DTYPE)
TRADE_FIELDS = _fields(TRADE_DTYPE)

_FIELDS_OF = {QUOTE_DTYPE: QUOTE_FIELDS, MINUTE_BAR_DTYPE: MINUTE_BAR_FIELDS, DAY_BAR_DTYPE: DAY_BAR_FIELDS,
              TRADE_DTYPE: TRADE_FIELDS}


def to_dataframe(batch):
    """A pandas DataFrame of an array of quotes (read_quotes) or of history
    records (minute_bars, day_bars, trades): one row per record, one column
    per field (padding left out), texts decoded to str. Needs pandas."""
    try:
        import pandas
    except ImportError as error:
        raise ImportError("to_dataframe needs pandas (Debian: python3-pandas)") from error
    batch = np.asarray(batch)
    fields = _FIELDS_OF.get(batch.dtype)
    if fields is None:
        raise TypeError("to_dataframe expects an array of QUOTE_DTYPE, MINUTE_BAR_DTYPE, DAY_BAR_DTYPE "
                        "or TRADE_DTYPE")
    columns = {}
    for name in fields:
        column = batch[name]
        if column.dtype.kind == "S":
            column = [value.decode("utf-8", "surrogateescape") for value in column.tolist()]
        columns[name] = column
    return pandas.DataFrame(columns, index=pandas.RangeIndex(len(batch)))
