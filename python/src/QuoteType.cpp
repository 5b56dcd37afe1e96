#include "QuoteType.h"

#include <cstddef>
#include <cstring>

namespace
{

struct QuoteObject
{
    PyObject_HEAD
    MarketDepthRecord record;
};

const char* Field(PyObject* self, std::size_t offset)
{
    return reinterpret_cast<const char*>(&reinterpret_cast<QuoteObject*>(self)->record) + offset;
}

template <std::size_t Offset>
PyObject* GetDouble(PyObject* self, void*)
{
    double value;
    std::memcpy(&value, Field(self, Offset), sizeof value);
    return PyFloat_FromDouble(value);
}

template <std::size_t Offset>
PyObject* GetInt(PyObject* self, void*)
{
    int value;
    std::memcpy(&value, Field(self, Offset), sizeof value);
    return PyLong_FromLong(value);
}

template <std::size_t Offset, std::size_t Size>
PyObject* GetText(PyObject* self, void*)
{
    const char* text = Field(self, Offset);
    return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(strnlen(text, Size)), "surrogateescape");
}

// Every field but the reserved ones, in record order.
#define KELM_GETTER(getter, field) PyGetSetDef{#field, getter, nullptr, nullptr, nullptr}
#define KELM_PRICE(field) KELM_GETTER(&GetDouble<offsetof(MarketDepthRecord, field)>, field)
#define KELM_QTY(field) KELM_GETTER(&GetInt<offsetof(MarketDepthRecord, field)>, field)
#define KELM_TEXT(field) \
    KELM_GETTER((&GetText<offsetof(MarketDepthRecord, field), sizeof(MarketDepthRecord::field)>), field)
#define KELM_LEVEL(n) KELM_PRICE(BidPrice##n), KELM_QTY(BidQty##n), KELM_PRICE(AskPrice##n), KELM_QTY(AskQty##n)

const PyGetSetDef kFields[] = {
    KELM_TEXT(TradeDate),     KELM_TEXT(ExchangeID),    KELM_PRICE(Price),        KELM_PRICE(PreSettle),
    KELM_PRICE(PreClose),     KELM_PRICE(PreOI),        KELM_PRICE(OpenPrice),    KELM_PRICE(HighestPrice),
    KELM_PRICE(LowestPrice),  KELM_QTY(QtyTotal),       KELM_PRICE(Amount),       KELM_PRICE(OI),
    KELM_PRICE(CurrentPrice), KELM_PRICE(SettlePrice),  KELM_PRICE(HighLimit),    KELM_PRICE(LowLimit),
    KELM_TEXT(ModifyTime),    KELM_LEVEL(1),            KELM_LEVEL(2),            KELM_LEVEL(3),
    KELM_LEVEL(4),            KELM_LEVEL(5),            KELM_TEXT(ModifyDate),    KELM_TEXT(InstrumentID),
    PyGetSetDef{nullptr, nullptr, nullptr, nullptr, nullptr},
};
constexpr std::size_t kFieldCount = sizeof kFields / sizeof kFields[0] - 1;

#undef KELM_LEVEL
#undef KELM_TEXT
#undef KELM_QTY
#undef KELM_PRICE
#undef KELM_GETTER

void Dealloc(PyObject* self)
{
    PyTypeObject* type = Py_TYPE(self);
    PyObject_Free(self);
    Py_DECREF(type);
}

int GetBuffer(PyObject* self, Py_buffer* view, int flags)
{
    return PyBuffer_FillInfo(view, self, &reinterpret_cast<QuoteObject*>(self)->record, sizeof(MarketDepthRecord),
                             1, flags);
}

PyObject* AsDict(PyObject* self, PyObject*)
{
    PyObject* fields = PyDict_New();
    for (std::size_t i = 0; fields && i < kFieldCount; ++i)
    {
        PyObject* value = kFields[i].get(self, nullptr);
        if (!value || PyDict_SetItemString(fields, kFields[i].name, value) != 0)
            Py_CLEAR(fields);
        Py_XDECREF(value);
    }
    return fields;
}

PyObject* Repr(PyObject* self)
{
    const QuoteObject* quote = reinterpret_cast<QuoteObject*>(self);
    PyObject* instrument =
        GetText<offsetof(MarketDepthRecord, InstrumentID), sizeof(MarketDepthRecord::InstrumentID)>(self, nullptr);
    PyObject* time =
        GetText<offsetof(MarketDepthRecord, ModifyTime), sizeof(MarketDepthRecord::ModifyTime)>(self, nullptr);
    PyObject* price = PyFloat_FromDouble(quote->record.Price);
    PyObject* bid = PyFloat_FromDouble(quote->record.BidPrice1);
    PyObject* ask = PyFloat_FromDouble(quote->record.AskPrice1);
    PyObject* repr = nullptr;
    if (instrument && time && price && bid && ask)
        repr = PyUnicode_FromFormat("<Quote %U %U Price=%R BidPrice1=%R AskPrice1=%R>", instrument, time, price, bid,
                                    ask);
    Py_XDECREF(instrument);
    Py_XDECREF(time);
    Py_XDECREF(price);
    Py_XDECREF(bid);
    Py_XDECREF(ask);
    return repr;
}

PyMethodDef kMethods[] = {
    {"_asdict", AsDict, METH_NOARGS, "The fields as a dict, in record order."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

namespace QuoteType
{

PyObject* Create()
{
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>("One depth-market-data snapshot, attributes named after the record's fields.")},
        {Py_tp_dealloc, reinterpret_cast<void*>(&Dealloc)},
        {Py_tp_repr, reinterpret_cast<void*>(&Repr)},
        {Py_tp_getset, const_cast<PyGetSetDef*>(kFields)},
        {Py_tp_methods, kMethods},
        {Py_bf_getbuffer, reinterpret_cast<void*>(&GetBuffer)},
        {0, nullptr},
    };
    PyType_Spec typeDefinition = {"kelmmd.Quote", static_cast<int>(sizeof(QuoteObject)), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};
    PyObject* type = PyType_FromSpec(&typeDefinition);
    if (!type)
        return nullptr;
    // Field names in record order, for code that walks the fields.
    PyObject* names = PyTuple_New(static_cast<Py_ssize_t>(kFieldCount));
    for (std::size_t i = 0; names && i < kFieldCount; ++i)
    {
        PyObject* name = PyUnicode_FromString(kFields[i].name);
        if (!name)
            Py_CLEAR(names);
        else
            PyTuple_SET_ITEM(names, static_cast<Py_ssize_t>(i), name);
    }
    // The type is immutable from Python; its dictionary is filled here, once.
    if (!names || PyDict_SetItemString(reinterpret_cast<PyTypeObject*>(type)->tp_dict, "_fields", names) != 0)
        Py_CLEAR(type);
    else
        PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
    Py_XDECREF(names);
    return type;
}

PyObject* New(PyObject* type)
{
    PyObject* quote = static_cast<PyObject*>(PyObject_Malloc(sizeof(QuoteObject)));
    if (!quote)
        return PyErr_NoMemory();
    return PyObject_Init(quote, reinterpret_cast<PyTypeObject*>(type));
}

MarketDepthRecord* Record(PyObject* quote)
{
    return &reinterpret_cast<QuoteObject*>(quote)->record;
}

}  // namespace QuoteType
