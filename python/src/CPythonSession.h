// The session as Python sees it: a thin adapter over kelmmd::CMdSession.
// Every call that waits releases the interpreter lock and can be
// interrupted; quotes become kelmmd.Quote objects or rows of a NumPy array;
// events become plain tuples that the Python layer turns into event objects.
#ifndef KELM_PYTHON_CPYTHONSESSION_H
#define KELM_PYTHON_CPYTHONSESSION_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <kelmmd/CMdSession.h>

#include <memory>
#include <optional>
#include <string>

class CPythonSession
{
public:
    using Timeout = std::optional<double>;  // seconds; none: no limit

    CPythonSession(const kelmmd::SessionSettings& settings, pybind11::object quoteType);

    /// Launches the API object (once) and waits for the connection.
    bool Connect(Timeout timeout);
    bool WaitConnected(Timeout timeout);
    /// The answer to a login or logout as an event tuple, or None.
    pybind11::object WaitAnswer(int requestId, Timeout timeout);

    /// The next quote as a Quote object, or None on timeout or once the
    /// client is closed and the queue empty.
    pybind11::object NextQuote(Timeout timeout);
    /// True once a quote is queued; for waiting on a worker thread.
    bool WaitQuotes(Timeout timeout);
    /// Up to maxCount queued quotes as an array of dtype (itemsize 584),
    /// after waiting for the first; empty on timeout.
    pybind11::array ReadQuotes(const pybind11::dtype& dtype, std::size_t maxCount, Timeout timeout);
    /// The same into out, a writeable one-dimensional contiguous array of
    /// dtype that the caller reuses: at most min(maxCount, len(out)) quotes
    /// from its start; returns how many. Nothing is allocated.
    std::size_t ReadQuotesInto(const pybind11::dtype& dtype, pybind11::handle out, std::size_t maxCount,
                               Timeout timeout);

    /// The next event as a tuple (kind, request id, RspNo or None, RspDesc,
    /// detail, automatic), or None.
    pybind11::object NextEvent(Timeout timeout);

    void Close();
    kelmmd::CMdSession& Session() { return *m_session; }

private:
    static pybind11::object EventTuple(const kelmmd::SessionEvent& event);

    std::unique_ptr<kelmmd::CMdSession> m_session;
    pybind11::object m_quoteType;
};

#endif
