// kelmmd._kelmmd: the compiled half of the Python package. The pure-Python
// layer (kelmmd/__init__.py and friends) builds the public interface on it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <KelmRivoMdApi.h>

#include "CPythonSession.h"
#include "HistoryArrays.h"
#include "QuoteType.h"

namespace py = pybind11;

namespace
{

// Iterates the quotes of a session, one object each, until none arrived
// within the timeout or the client was closed.
struct QuoteIterator
{
    CPythonSession* session;  // kept alive by the iterator (keep_alive)
    CPythonSession::Timeout timeout;

    py::object Next()
    {
        py::object quote = session->NextQuote(timeout);
        if (quote.is_none())
            throw py::stop_iteration();
        return quote;
    }
};

kelmmd::SessionSettings Settings(std::vector<std::string> addresses, std::size_t queueCapacity,
                                 std::size_t eventCapacity, bool autoResubscribe, int spinning)
{
    if (queueCapacity == 0 || eventCapacity == 0)
        throw py::value_error("queue capacities must be at least 1");
    kelmmd::SessionSettings settings;
    settings.Addresses = std::move(addresses);
    settings.QueueCapacity = queueCapacity;
    settings.EventCapacity = eventCapacity;
    settings.AutoResubscribe = autoResubscribe;
    settings.Spinning = spinning;  // checked by the session: ValueError below -1
    return settings;
}

}  // namespace

PYBIND11_MODULE(_kelmmd, m)
{
    m.doc() = "Compiled core of the kelmmd package: the library's API object and its queues.";
    m.attr("RECORD_SIZE") = sizeof(MarketDepthRecord);
    m.def("version", [] { return std::string(CKelmRivoMdApi::GetApiVersion()); },
          "The library's version text.");

    py::object quoteType = py::reinterpret_steal<py::object>(QuoteType::Create());
    if (!quoteType)
        throw py::error_already_set();
    m.attr("Quote") = quoteType;

    py::class_<QuoteIterator>(m, "QuoteIterator")
        .def("__iter__", [](QuoteIterator& self) -> QuoteIterator& { return self; })
        .def("__next__", &QuoteIterator::Next);

    using Timeout = CPythonSession::Timeout;
    // Calls that take the API object's lock, which Launch holds during the
    // name resolution and Close while the network thread stops.
    using Unlocked = py::call_guard<py::gil_scoped_release>;
    py::class_<CPythonSession> session(m, "Session");
    session
        .def(py::init([quoteType](std::vector<std::string> addresses, std::size_t queueCapacity,
                                  std::size_t eventCapacity, bool autoResubscribe, int spinning) {
                 return new CPythonSession(Settings(std::move(addresses), queueCapacity, eventCapacity,
                                                    autoResubscribe, spinning),
                                           quoteType);
             }),
             py::arg("addresses"), py::arg("queue_capacity"), py::arg("event_capacity"),
             py::arg("auto_resubscribe"), py::arg("spinning") = 0)
        .def("connect", &CPythonSession::Connect, py::arg("timeout"))
        .def("wait_connected", &CPythonSession::WaitConnected, py::arg("timeout"))
        .def(
            "submit_login",
            [](CPythonSession& self, const std::string& user, const std::string& password, const std::string& broker) {
                return self.Session().SubmitLogin(kelmmd::Credentials{user, password, broker});
            },
            py::arg("user"), py::arg("password"), py::arg("broker"), Unlocked())
        .def(
            "submit_logout", [](CPythonSession& self) { return self.Session().SubmitLogout(); }, Unlocked())
        .def("wait_answer", &CPythonSession::WaitAnswer, py::arg("request_id"), py::arg("timeout"))
        .def(
            "subscribe",
            [](CPythonSession& self, const std::vector<std::string>& codes) { self.Session().Subscribe(codes); },
            Unlocked())
        .def(
            "unsubscribe",
            [](CPythonSession& self, const std::vector<std::string>& codes) { self.Session().Unsubscribe(codes); },
            Unlocked())
        .def("next_quote", &CPythonSession::NextQuote, py::arg("timeout"))
        .def("quotes", [](CPythonSession& self, Timeout timeout) { return QuoteIterator{&self, timeout}; },
             py::arg("timeout"), py::keep_alive<0, 1>())
        .def("wait_quotes", &CPythonSession::WaitQuotes, py::arg("timeout"))
        .def("read_quotes", &CPythonSession::ReadQuotes, py::arg("dtype"), py::arg("max_count"),
             py::arg("timeout"))
        .def("read_quotes_into", &CPythonSession::ReadQuotesInto, py::arg("dtype"), py::arg("out"),
             py::arg("max_count"), py::arg("timeout"))
        .def("next_event", &CPythonSession::NextEvent, py::arg("timeout"))
        .def("close", &CPythonSession::Close)
        .def_property_readonly("connected", [](CPythonSession& self) { return self.Session().Connected(); })
        .def_property_readonly("logged_in", [](CPythonSession& self) { return self.Session().LoggedIn(); })
        .def_property_readonly("closed", [](CPythonSession& self) { return self.Session().Closed(); })
        .def_property_readonly("subscriptions",
                               [](CPythonSession& self) { return self.Session().Subscriptions(); })
        .def_property_readonly("trade_date", [](CPythonSession& self) { return self.Session().TradeDate(); })
        .def_property_readonly("dropped", [](CPythonSession& self) { return self.Session().QuotesDropped(); })
        .def_property_readonly("queued", [](CPythonSession& self) { return self.Session().Quotes().Size(); })
        .def_property_readonly("capacity",
                               [](CPythonSession& self) { return self.Session().Quotes().Capacity(); })
        .def_property_readonly("events_discarded",
                               [](CPythonSession& self) { return self.Session().Events().Discarded(); });
    HistoryArrays::Bind(session);
}
