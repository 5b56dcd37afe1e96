"""QUOTE_DTYPE and the Quote type against the C++ layout of the public header."""

import os
import subprocess

import pytest

import kelmmd


def cpp_layout(record="quote"):
    helper = os.environ.get("KELM_RECORD_LAYOUT")
    if not helper:
        pytest.skip("KELM_RECORD_LAYOUT is not set")
    lines = subprocess.run([helper, record], check=True, capture_output=True, text=True).stdout.split("\n")
    size = int(lines[0].split()[1])
    fields = [line.split() for line in lines[1:] if line]
    return size, [(name, int(offset), int(width)) for name, offset, width in fields]


def test_dtype_matches_the_cpp_record_field_by_field():
    size, fields = cpp_layout()
    dtype = kelmmd.QUOTE_DTYPE
    assert dtype.itemsize == size == 584
    assert list(dtype.names) == [name for name, _, _ in fields]
    for name, offset, width in fields:
        field_dtype, field_offset = dtype.fields[name][:2]
        assert (field_offset, field_dtype.itemsize) == (offset, width), name
    for name in ("TradeDate", "ExchangeID", "ModifyTime", "ModifyDate", "InstrumentID"):
        assert dtype.fields[name][0].kind == "S", name


def test_quote_attributes_are_the_named_dtype_fields():
    # Two tables, the compiled Quote type's and the dtype, must name the same
    # fields in the same order.
    assert kelmmd.Quote._fields == kelmmd.QUOTE_FIELDS
    assert set(kelmmd.QUOTE_FIELDS) == {n for n in kelmmd.QUOTE_DTYPE.names if not n.startswith("Reserved")}


@pytest.mark.parametrize("record, dtype, size", [("minute", kelmmd.MINUTE_BAR_DTYPE, 112),
                                                 ("day", kelmmd.DAY_BAR_DTYPE, 104),
                                                 ("trade", kelmmd.TRADE_DTYPE, 80)])
def test_history_dtypes_match_the_cpp_records_field_by_field(record, dtype, size):
    cpp_size, fields = cpp_layout(record)
    assert dtype.itemsize == cpp_size == size
    assert list(dtype.names) == [name for name, _, _ in fields]
    for name, offset, width in fields:
        field_dtype, field_offset = dtype.fields[name][:2]
        assert (field_offset, field_dtype.itemsize) == (offset, width), name
