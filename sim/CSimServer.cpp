#include "sim/CSimServer.h"

#include <boost/asio/ip/address.hpp>

CSimServer::CSimServer(const SimSessionSettings& settings)
    : m_settings(settings), m_work(boost::asio::make_work_guard(m_io)), m_acceptor(m_io)
{
}

CSimServer::~CSimServer()
{
    Stop();
    Wait();
}

void CSimServer::Start(const std::string& host, uint16_t port)
{
    const boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address(host), port);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.set_option(boost::asio::ip::tcp::acceptor::reuse_address(true));
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    m_host = host;
    m_port = m_acceptor.local_endpoint().port();
    Accept();
    m_running = true;
    m_thread = std::thread([this] { m_io.run(); });
    m_threadId = m_thread.get_id();
}

void CSimServer::Stop()
{
    if (!m_running.exchange(false))
        return;
    if (OnIoThread())
    {
        CloseEverything();
        m_work.reset();
        m_io.stop();
        return;
    }
    boost::asio::post(m_io, [this] {
        CloseEverything();
        m_work.reset();
        m_io.stop();
    });
    Wait();
}

void CSimServer::Wait()
{
    if (m_thread.joinable() && !OnIoThread())
        m_thread.join();
}

bool CSimServer::OnIoThread() const
{
    return m_thread.joinable() && std::this_thread::get_id() == m_threadId;
}

void CSimServer::CloseEverything()
{
    boost::system::error_code ignored;
    m_acceptor.close(ignored);
    // Abort changes m_sessions through OnClosed.
    const auto sessions = m_sessions;
    for (const auto& entry : sessions)
        entry.second->Abort("server stopped");
}

void CSimServer::Accept()
{
    m_acceptor.async_accept([this](const boost::system::error_code& error, boost::asio::ip::tcp::socket socket) {
        if (error)
        {
            // The listener was closed by Stop; anything else is transient
            // (for example too many open files), so keep listening.
            if (error != boost::asio::error::operation_aborted && m_acceptor.is_open())
                Accept();
            return;
        }
        ++m_connections;
        auto session = std::make_shared<CSimSession>(
            std::move(socket), m_nextId++, m_settings,
            [this](const std::shared_ptr<CSimSession>& s, const uint8_t* frame, uint32_t length) {
                OnFrame(s, frame, length);
            },
            [this](const std::shared_ptr<CSimSession>& s) { OnClosed(s); });
        m_sessions[session->Id()] = session;
        session->Start();
        if (m_onOpened)
            m_onOpened(session);
        Accept();
    });
}

void CSimServer::OnFrame(const std::shared_ptr<CSimSession>& session, const uint8_t* frame, uint32_t length)
{
    SimRequest request = CSimRequestDecoder::Decode(frame + 4, length - 4);
    request.SessionId = session->Id();
    if (m_settings.KeepReceivedFrames)
        m_requests.push_back(request);
    if (m_onRequest)
        m_onRequest(session, request);
}

void CSimServer::OnClosed(const std::shared_ptr<CSimSession>& session)
{
    m_sessions.erase(session->Id());
    if (m_settings.KeepReceivedFrames)
        m_closedSessions[session->Id()] = session;
    if (m_onClosed)
        m_onClosed(session);
}

std::shared_ptr<CSimSession> CSimServer::Find(uint64_t sessionId) const
{
    auto open = m_sessions.find(sessionId);
    if (open != m_sessions.end())
        return open->second;
    auto closed = m_closedSessions.find(sessionId);
    return closed != m_closedSessions.end() ? closed->second : nullptr;
}

void CSimServer::SendTo(uint64_t sessionId, SimFrame bytes)
{
    Call([&] {
        if (auto session = Find(sessionId))
            session->Send(std::move(bytes));
    });
}

void CSimServer::SendToAll(const SimFrame& bytes)
{
    Call([&] {
        for (const auto& entry : m_sessions)
            entry.second->Send(bytes);
    });
}

void CSimServer::FloodTo(uint64_t sessionId, SimFrame frame)
{
    Call([&] {
        if (auto session = Find(sessionId))
            session->StartFlood(std::move(frame));
    });
}

void CSimServer::FloodAll(const SimFrame& frame)
{
    Call([&] {
        for (const auto& entry : m_sessions)
            entry.second->StartFlood(frame);
    });
}

void CSimServer::StopFlood(uint64_t sessionId)
{
    Call([&] {
        if (auto session = Find(sessionId))
            session->StopFlood();
    });
}

void CSimServer::CloseSession(uint64_t sessionId)
{
    Call([&] {
        if (auto session = Find(sessionId))
            session->Close();
    });
}

void CSimServer::ResetSession(uint64_t sessionId)
{
    Call([&] {
        if (auto session = Find(sessionId))
            session->Reset();
    });
}

std::size_t CSimServer::SessionCount()
{
    return Call([&] { return m_sessions.size(); });
}

std::size_t CSimServer::ConnectionCount()
{
    return Call([&] { return m_connections; });
}

std::vector<uint64_t> CSimServer::SessionIds()
{
    return Call([&] {
        std::vector<uint64_t> ids;
        for (const auto& entry : m_sessions)
            ids.push_back(entry.first);
        return ids;
    });
}

std::vector<SimFrame> CSimServer::ReceivedFrames(uint64_t sessionId)
{
    return Call([&] {
        auto session = Find(sessionId);
        return session ? session->ReceivedFrames() : std::vector<SimFrame>();
    });
}

std::vector<SimRequest> CSimServer::Requests()
{
    return Call([&] { return m_requests; });
}

bool CSimServer::WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        if (Call(condition))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
