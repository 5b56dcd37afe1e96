// The Python type of one quote, kelmmd.Quote: a MarketDepthRecord held
// inline in the object, so that making one costs one allocation and one
// copy. Numbers are plain member attributes; texts are decoded on access
// (UTF-8; bytes that are not UTF-8 come back as surrogate escapes, so
// nothing is lost). The object also exposes the record as a read-only
// buffer of 584 bytes.
#ifndef KELM_PYTHON_QUOTETYPE_H
#define KELM_PYTHON_QUOTETYPE_H

#include <Python.h>

#include <KelmRivoMdApi.h>

namespace QuoteType
{

/// Creates the type; null with a Python error set.
PyObject* Create();
/// A new quote of the type, its record not yet filled; null with a Python
/// error set.
PyObject* New(PyObject* type);
MarketDepthRecord* Record(PyObject* quote);

}  // namespace QuoteType

#endif
