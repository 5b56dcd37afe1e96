#include "HistoryArrays.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>  // the optional timeout

#include <kelmmd/CMdSession.h>
#include <kelmmd/RecordText.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "InterruptibleWait.h"

namespace py = pybind11;
using std::chrono::milliseconds;
using Timeout = CPythonSession::Timeout;

namespace
{

const char* FailureName(kelmmd::CSessionError::Kind kind)
{
    switch (kind)
    {
    case kelmmd::CSessionError::Kind::Refused:
        return "refused";
    case kelmmd::CSessionError::Kind::Timeout:
        return "timeout";
    case kelmmd::CSessionError::Kind::NotConnected:
        return "not_connected";
    case kelmmd::CSessionError::Kind::Closed:
        break;
    }
    return "closed";
}

py::tuple Failure(const kelmmd::CSessionError& error)
{
    return py::make_tuple(py::none(), FailureName(error.Type()), error.RspNo(), error.RspDesc());
}

template <class Record>
py::array ArrayOf(const std::vector<Record>& records, const py::dtype& dtype)
{
    py::array array(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(records.size())});
    if (!records.empty())
        std::memcpy(array.mutable_data(), records.data(), records.size() * sizeof(Record));
    return array;
}

// Submits with submit(session) and waits for the whole answer.
template <class Record, class Submit>
py::tuple Fetch(CPythonSession& self, const py::dtype& dtype, Timeout timeout, Submit submit)
{
    if (dtype.itemsize() != static_cast<py::ssize_t>(sizeof(Record)))
        throw py::value_error("the dtype's itemsize must be " + std::to_string(sizeof(Record)));
    std::shared_ptr<kelmmd::CHistoryAnswer<Record>> answer;
    std::vector<Record> records;
    try
    {
        {
            py::gil_scoped_release unlocked;  // the session's API lock, which Close holds a while
            answer = submit(self.Session());
        }
        // A closed session ends the answer: no wait goes on past Close.
        WaitInterruptibly(timeout, [&](milliseconds slice) {
            return answer->Wait(slice) ? WaitStep::Done : WaitStep::Again;
        });
        records = answer->Get(milliseconds(0));
    }
    catch (const kelmmd::CSessionError& error)
    {
        return Failure(error);
    }
    return py::make_tuple(ArrayOf(records, dtype), py::none(), 0, "");
}

py::dict LinkStats(const LinkStatsRecord& stats)
{
    py::dict figures;
    figures["quotes_received"] = stats.QuotesReceived;
    figures["packages_received"] = stats.PackagesReceived;
    figures["bytes_received"] = stats.BytesReceived;
    figures["connections_made"] = stats.ConnectionsMade;
    figures["links_lost"] = stats.LinksLost;
    figures["heartbeats_sent"] = stats.HeartbeatsSent;
    figures["last_receive_time"] = stats.LastReceiveTime;
    figures["last_receive_age"] = stats.LastReceiveAge;
    figures["connected"] = stats.Connected != 0;
    figures["server_address"] = kelmmd::TextOf(stats.ServerAddress);
    return figures;
}

}  // namespace

namespace HistoryArrays
{

void Bind(py::class_<CPythonSession>& session)
{
    session
        .def(
            "minute_bars",
            [](CPythonSession& self, const std::string& code, const std::string& start, const std::string& end,
               int service, const py::dtype& dtype, Timeout timeout) {
                return Fetch<MinuteBarRecord>(self, dtype, timeout, [&](kelmmd::CMdSession& md) {
                    return md.SubmitMinuteBars(kelmmd::MinuteBarQuery(code, start, end, service));
                });
            },
            py::arg("code"), py::arg("start"), py::arg("end"), py::arg("service"), py::arg("dtype"),
            py::arg("timeout"))
        .def(
            "day_bars",
            [](CPythonSession& self, const std::string& code, const std::string& start, const std::string& end,
               const py::dtype& dtype, Timeout timeout) {
                return Fetch<DayBarRecord>(self, dtype, timeout, [&](kelmmd::CMdSession& md) {
                    return md.SubmitDayBars(kelmmd::DayBarQuery(code, start, end));
                });
            },
            py::arg("code"), py::arg("start"), py::arg("end"), py::arg("dtype"), py::arg("timeout"))
        .def(
            "trades",
            [](CPythonSession& self, const std::string& code, const std::string& date, const py::dtype& dtype,
               Timeout timeout) {
                return Fetch<TradeTickRecord>(self, dtype, timeout, [&](kelmmd::CMdSession& md) {
                    return md.SubmitTrades(kelmmd::TradeQuery(code, date));
                });
            },
            py::arg("code"), py::arg("date"), py::arg("dtype"), py::arg("timeout"))
        .def_property_readonly("link_stats",
                               [](CPythonSession& self) { return LinkStats(self.Session().LinkStats()); });
}

}  // namespace HistoryArrays
