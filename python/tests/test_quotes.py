"""Quotes through the package equal what the simulator sent, field by field,
as objects, as arrays and through asyncio."""

import asyncio

import numpy as np
import pytest

import kelmmd
from conftest import make_recording, wait_until

INSTRUMENTS = [("rp2406", "SIMX"), ("rq2407", "LONGEXCH")]
ROWS_EACH = 150


def read_array(client, count, max_count=64):
    batches = []
    while sum(len(b) for b in batches) < count:
        batch = client.read_quotes(max_count=max_count, timeout=10.0)
        assert batch.dtype == kelmmd.QUOTE_DTYPE and 0 < len(batch) <= max_count
        batches.append(batch)
    return np.concatenate(batches)


def as_dicts(array):
    for name in array.dtype.names:
        if name.startswith("Reserved"):
            assert not any(array[name].tobytes()), name
    return [{name: (row[name].decode() if isinstance(row[name], bytes) else row[name].item())
             for name in kelmmd.QUOTE_FIELDS} for row in array]


def received(client, mode, count):
    if mode == "objects":
        quotes, records = [], []
        for quote in client.quotes(timeout=10.0):
            quotes.append(quote._asdict())
            records.append(bytes(memoryview(quote)))
            if len(quotes) == count:
                break
        # A quote's buffer is its record: the same values through the dtype.
        assert as_dicts(np.frombuffer(b"".join(records), kelmmd.QUOTE_DTYPE)) == quotes
        return quotes
    if mode == "async":
        async def collect():
            quotes = []
            async for quote in client.aquotes(timeout=10.0):
                quotes.append(quote._asdict())
                if len(quotes) == count:
                    break
            return quotes
        return asyncio.run(collect())
    return as_dicts(read_array(client, count))


def start_replay(simulator, tmp_path, rows_each, spinning=0):
    sent = make_recording(tmp_path / "recording.csv", INSTRUMENTS, rows_each)
    sim = simulator("--replay", str(tmp_path / "recording.csv"), "--speed", "0")
    client = kelmmd.Client([sim.address], user="u", password="p", spinning=spinning)
    client.connect(timeout=10)
    client.login(timeout=10)
    client.subscribe([code for code, _ in INSTRUMENTS])
    return client, sent


@pytest.mark.parametrize("mode", ["objects", "array", "async", "array_spinning"])
def test_replayed_recording_arrives_field_by_field(simulator, tmp_path, mode):
    md, sent = start_replay(simulator, tmp_path, ROWS_EACH, spinning=-1 if mode.endswith("spinning") else 0)
    with md:
        quotes = received(md, mode, len(sent))
        assert md.dropped == 0
    assert len(quotes) == len(sent)
    for number, (got, row) in enumerate(zip(quotes, sent)):
        assert got == dict(row, CurrentPrice=row["Price"]), f"quote {number}"


def test_batch_becomes_a_dataframe(simulator, tmp_path):
    pandas = pytest.importorskip("pandas")
    md, sent = start_replay(simulator, tmp_path, 5)
    with md:
        frame = kelmmd.to_dataframe(read_array(md, len(sent)))
    assert isinstance(frame, pandas.DataFrame)
    assert frame.columns.tolist() == list(kelmmd.QUOTE_FIELDS)
    assert frame["InstrumentID"].tolist() == [row["InstrumentID"] for row in sent]
    assert frame["AskQty5"].tolist() == [row["AskQty5"] for row in sent]


@pytest.mark.parametrize("into", [False, True], ids=["new_array", "out"])
def test_a_batch_read_across_the_end_of_a_small_queue(simulator, tmp_path, into):
    """A batch that wraps from the queue's last slot to its first comes out
    whole and in order, as a new array or written into one the caller reuses.
    The replay sends three quotes, then three more two seconds later; with
    room for four, the second batch takes the last slot and then the first
    two."""
    instruments = INSTRUMENTS + [("rs2408", "SIMX")]
    sent = make_recording(tmp_path / "recording.csv", instruments, 2)
    sim = simulator("--replay", str(tmp_path / "recording.csv"), "--speed", "0.5")
    with kelmmd.Client([sim.address], user="u", password="p", queue_capacity=4) as md:
        md.connect(timeout=10)
        md.login(timeout=10)
        md.subscribe([code for code, _ in instruments])
        batches = []
        out = np.zeros(5, kelmmd.QUOTE_DTYPE)
        out[-1]["InstrumentID"] = b"untouched"
        for _ in range(2):
            assert wait_until(lambda: md.queued == 3, 10)
            if into:
                count = md.read_quotes(timeout=10, out=out)
                batches.append(out[:count].copy())
            else:
                batches.append(md.read_quotes(timeout=10))
        assert out[-1]["InstrumentID"] == b"untouched"
        assert [len(batch) for batch in batches] == [3, 3] and md.dropped == 0
    assert as_dicts(np.concatenate(batches)) == [dict(row, CurrentPrice=row["Price"]) for row in sent]


def test_bad_out_arrays_and_spinning_settings_are_refused_with_the_reason():
    """out must be a writeable contiguous quote array, refused before anything
    is read; spinning must be -1 or more. Nothing is queued here, so an
    accepted array just waits out its timeout."""
    with kelmmd.Client(["127.0.0.1:1"]) as md:
        good = np.zeros(8, kelmmd.QUOTE_DTYPE)
        assert md.read_quotes(timeout=0, out=good) == 0
        assert md.read_quotes(max_count=0, timeout=None, out=good) == 0
        with pytest.raises(TypeError, match="QUOTE_DTYPE"):
            md.read_quotes(timeout=0, out=np.zeros(8 * kelmmd.QUOTE_DTYPE.itemsize, np.uint8))
        with pytest.raises(TypeError, match="QUOTE_DTYPE"):
            md.read_quotes(timeout=0, out=[0] * 8)
        with pytest.raises(ValueError, match="contiguous"):
            md.read_quotes(timeout=0, out=np.zeros(16, kelmmd.QUOTE_DTYPE)[::2])
        with pytest.raises(ValueError, match="contiguous"):
            md.read_quotes(timeout=0, out=np.zeros((2, 4), kelmmd.QUOTE_DTYPE))
        good.setflags(write=False)
        with pytest.raises(ValueError, match="writeable"):
            md.read_quotes(timeout=0, out=good)
    with pytest.raises(ValueError, match="Spinning"):
        kelmmd.Client(["127.0.0.1:1"], spinning=-2)
