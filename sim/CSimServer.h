// A small server for the quote protocol, for tests and for the simulator.
//
// It listens on a TCP address, accepts any number of clients, cuts each
// client's byte stream into frames (4-byte big-endian length, body of at most
// 8188 bytes; a larger announcement closes that client), decodes every
// package into a SimRequest and hands it to the request handler, which
// answers through the session (see CSimEncoder for the packages).
//
// Threads: the server runs one I/O thread of its own (Start .. Stop). The
// handlers run on it, one at a time, and may use the session they are given
// directly. Every other public operation may be called from any thread: it
// is posted to the I/O thread and waited for (or run at once when called on
// the I/O thread itself, or after the server has stopped).
//
// Typical test use:
//     CSimServer server;
//     server.SetRequestHandler([](const std::shared_ptr<CSimSession>& s, const SimRequest& r) {
//         if (r.ServiceNo == SimService::Login) s->Send(CSimEncoder::LoginAnswer(r.RequestID, &info, &rsp));
//     });
//     server.Start("127.0.0.1", 0);
//     ... connect to server.Port() ...
//     server.WaitFor([&] { return server.Requests().size() == 1; }, std::chrono::seconds(5));
//     server.ReceivedFrames(id)   // raw frames, prefix included, for byte-exact checks
#ifndef KELM_SIM_CSIMSERVER_H
#define KELM_SIM_CSIMSERVER_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>

#include "sim/CSimRequestDecoder.h"
#include "sim/CSimSession.h"

class CSimServer
{
public:
    using RequestHandler = std::function<void(const std::shared_ptr<CSimSession>&, const SimRequest&)>;
    using SessionHandler = std::function<void(const std::shared_ptr<CSimSession>&)>;

    explicit CSimServer(const SimSessionSettings& settings = SimSessionSettings());
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Handlers are set before Start.
    void SetRequestHandler(RequestHandler handler) { m_onRequest = std::move(handler); }
    void SetSessionOpenedHandler(SessionHandler handler) { m_onOpened = std::move(handler); }
    void SetSessionClosedHandler(SessionHandler handler) { m_onClosed = std::move(handler); }

    // Binds host:port (port 0: an ephemeral port), listens and starts the
    // I/O thread. Throws boost::system::system_error when the address
    // cannot be bound.
    void Start(const std::string& host = "127.0.0.1", uint16_t port = 0);

    // Closes the listener and every session and stops the I/O thread. When
    // called on the I/O thread it only requests the stop; Wait (or the
    // destructor) then joins the thread.
    void Stop();
    // Blocks until the I/O thread has ended (after a Stop from anywhere).
    void Wait();

    uint16_t Port() const { return m_port; }
    const std::string& Host() const { return m_host; }
    boost::asio::io_context& IoContext() { return m_io; }

    // Thread-safe operations on sessions, by id. Unknown or closed ids are
    // ignored.
    void SendTo(uint64_t sessionId, SimFrame bytes);
    void SendToAll(const SimFrame& bytes);
    void FloodTo(uint64_t sessionId, SimFrame frame);
    void FloodAll(const SimFrame& frame);
    void StopFlood(uint64_t sessionId);
    void CloseSession(uint64_t sessionId);
    void ResetSession(uint64_t sessionId);

    // Sessions open now, and connections accepted since Start.
    std::size_t SessionCount();
    std::size_t ConnectionCount();
    std::vector<uint64_t> SessionIds();
    // Frames received on a session (kept also after it closed), and every
    // decoded request of every session in arrival order.
    std::vector<SimFrame> ReceivedFrames(uint64_t sessionId);
    std::vector<SimRequest> Requests();

    // Runs f on the I/O thread and returns its result.
    template <typename F>
    auto Call(F f) -> decltype(f());

    // Polls condition on the I/O thread until it holds or the timeout passes.
    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    void Accept();
    void OnFrame(const std::shared_ptr<CSimSession>& session, const uint8_t* frame, uint32_t length);
    void OnClosed(const std::shared_ptr<CSimSession>& session);
    std::shared_ptr<CSimSession> Find(uint64_t sessionId) const;
    void CloseEverything();
    bool OnIoThread() const;

    const SimSessionSettings m_settings;
    boost::asio::io_context m_io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::thread m_thread;
    std::thread::id m_threadId;
    std::atomic<bool> m_running{false};
    std::string m_host;
    uint16_t m_port = 0;
    RequestHandler m_onRequest;
    SessionHandler m_onOpened;
    SessionHandler m_onClosed;
    // I/O-thread state.
    std::map<uint64_t, std::shared_ptr<CSimSession>> m_sessions;       // open
    std::map<uint64_t, std::shared_ptr<CSimSession>> m_closedSessions; // kept for their frames
    std::vector<SimRequest> m_requests;
    uint64_t m_nextId = 1;
    std::size_t m_connections = 0;
};

template <typename F>
auto CSimServer::Call(F f) -> decltype(f())
{
    if (!m_running || OnIoThread())
        return f();
    std::packaged_task<decltype(f())()> task(std::move(f));
    auto result = task.get_future();
    boost::asio::post(m_io, [&task] { task(); });
    return result.get();
}

#endif
