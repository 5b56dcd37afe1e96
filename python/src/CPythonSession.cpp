#include "CPythonSession.h"

#include <kelmmd/RecordText.h>

#include <algorithm>
#include <vector>

#include "InterruptibleWait.h"
#include "QuoteType.h"

namespace py = pybind11;
using std::chrono::milliseconds;
using kelmmd::SessionEvent;

namespace
{

// Server texts may be in any single-byte or multi-byte code: UTF-8 where
// they are, surrogate escapes for the rest, so nothing is lost.
py::str Text(const std::string& text)
{
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape"));
}

template <std::size_t N>
py::str Text(const char (&field)[N])
{
    return Text(kelmmd::TextOf(field));
}

py::object LoginDetail(const LoginResultRecord& login)
{
    const uint64_t session = (uint64_t(uint32_t(login.SessionIDHigh)) << 32) | uint32_t(login.SessionIDLow);
    py::dict detail;
    detail["trade_date"] = Text(login.TradeDate);
    detail["login_time"] = Text(login.LoginTime);
    detail["broker_code"] = Text(login.BrokerCode);
    detail["user_code"] = Text(login.UserCode);
    detail["sys_name"] = Text(login.SysName);
    detail["session_id"] = session;
    return std::move(detail);
}

// A wait of the session ends for good once it is closed.
WaitStep Outcome(bool done, bool closed)
{
    if (done)
        return WaitStep::Done;
    return closed ? WaitStep::Ended : WaitStep::Again;
}

}  // namespace

CPythonSession::CPythonSession(const kelmmd::SessionSettings& settings, py::object quoteType)
    : m_session(std::make_unique<kelmmd::CMdSession>(settings)), m_quoteType(std::move(quoteType))
{
}

bool CPythonSession::Connect(Timeout timeout)
{
    {
        py::gil_scoped_release unlocked;  // the first address is resolved here
        m_session->Launch();
    }
    return WaitConnected(timeout);
}

bool CPythonSession::WaitConnected(Timeout timeout)
{
    return WaitInterruptibly(timeout, [this](milliseconds slice) {
        return Outcome(m_session->WaitConnected(slice), m_session->Closed());
    });
}

py::object CPythonSession::WaitAnswer(int requestId, Timeout timeout)
{
    std::optional<SessionEvent> answer;
    try
    {
        WaitInterruptibly(timeout, [&](milliseconds slice) {
            answer = m_session->WaitAnswer(requestId, slice);
            return Outcome(answer.has_value(), m_session->Closed());
        });
    }
    catch (...)
    {
        m_session->ForgetAnswer(requestId);  // interrupted: nobody will collect it
        throw;
    }
    if (!answer)
    {
        m_session->ForgetAnswer(requestId);
        return py::none();
    }
    return EventTuple(*answer);
}

py::object CPythonSession::NextQuote(Timeout timeout)
{
    // The record is taken straight into the new object, which no other
    // thread can see yet.
    py::object quote = py::reinterpret_steal<py::object>(QuoteType::New(m_quoteType.ptr()));
    if (!quote)
        throw py::error_already_set();
    MarketDepthRecord* record = QuoteType::Record(quote.ptr());
    kelmmd::CQuoteQueue& queue = m_session->Quotes();
    // A queued quote is taken at once, without letting go of the interpreter.
    if (queue.Take(record, 1) == 1)
        return quote;
    const bool taken = WaitInterruptibly(timeout, [&](milliseconds slice) {
        return Outcome(queue.Next(*record, slice), queue.Closed());
    });
    return taken ? quote : py::none();
}

bool CPythonSession::WaitQuotes(Timeout timeout)
{
    kelmmd::CQuoteQueue& queue = m_session->Quotes();
    return WaitInterruptibly(timeout, [&](milliseconds slice) { return Outcome(queue.Wait(slice), queue.Closed()); });
}

py::array CPythonSession::ReadQuotes(const py::dtype& dtype, std::size_t maxCount, Timeout timeout)
{
    if (dtype.itemsize() != static_cast<py::ssize_t>(sizeof(MarketDepthRecord)))
        throw py::value_error("the dtype's itemsize must be " + std::to_string(sizeof(MarketDepthRecord)));
    kelmmd::CQuoteQueue& queue = m_session->Quotes();
    const std::size_t wanted = maxCount > 0 && WaitQuotes(timeout) ? std::min(queue.Size(), maxCount) : 0;
    py::array batch(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(wanted)});
    std::size_t taken = 0;
    if (wanted > 0)
    {
        // Another reader may have taken some meanwhile: at most wanted are left.
        py::gil_scoped_release unlocked;
        taken = queue.Take(static_cast<MarketDepthRecord*>(batch.mutable_data()), wanted);
    }
    if (taken == wanted)
        return batch;
    return py::array(batch[py::slice(0, static_cast<py::ssize_t>(taken), 1)]);
}

std::size_t CPythonSession::ReadQuotesInto(const py::dtype& dtype, py::handle out, std::size_t maxCount,
                                           Timeout timeout)
{
    if (!py::isinstance<py::array>(out))
        throw py::type_error("out must be a NumPy array of QUOTE_DTYPE");
    py::array buffer = py::reinterpret_borrow<py::array>(out);
    if (!buffer.dtype().equal(dtype))
        throw py::type_error("out must be a NumPy array of QUOTE_DTYPE, not of " +
                             py::str(buffer.dtype()).cast<std::string>());
    if (buffer.ndim() != 1 || !(buffer.flags() & py::array::c_style))
        throw py::value_error("out must be a one-dimensional contiguous array");
    if (!buffer.writeable())
        throw py::value_error("out must be writeable");
    const std::size_t room = std::min(maxCount, static_cast<std::size_t>(buffer.shape(0)));
    if (room == 0 || !WaitQuotes(timeout))
        return 0;
    auto* records = static_cast<MarketDepthRecord*>(buffer.mutable_data());
    py::gil_scoped_release unlocked;
    return m_session->Quotes().Take(records, room);
}

py::object CPythonSession::NextEvent(Timeout timeout)
{
    std::optional<SessionEvent> event;
    auto& events = m_session->Events();
    WaitInterruptibly(timeout, [&](milliseconds slice) {
        event = events.Next(slice);
        return Outcome(event.has_value(), events.Closed());
    });
    return event ? EventTuple(*event) : py::none();
}

void CPythonSession::Close()
{
    py::gil_scoped_release unlocked;
    m_session->Close();
}

py::object CPythonSession::EventTuple(const SessionEvent& event)
{
    py::object detail = py::none();
    if (event.HasRecord && event.Type == SessionEvent::Kind::Login)
        detail = LoginDetail(event.Login);
    else if (event.HasRecord && event.Type == SessionEvent::Kind::Logout)
        detail = Text(event.UserCode);
    else if (event.HasRecord)
        detail = Text(event.Instrument);
    py::object rspNo = event.HasInfo ? py::object(py::int_(event.RspNo)) : py::none();
    return py::make_tuple(SessionEvent::Name(event.Type), event.RequestId, rspNo, Text(event.RspDesc), detail,
                          event.Automatic);
}
