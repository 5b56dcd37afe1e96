// An io_context run on a thread of its own, as the quote client runs its
// engine (sleeping, or spinning as the tests' environment asks, see
// support/TestSpinning.h). Join() stops it and waits for the thread.
#ifndef KELM_TESTS_NET_NETWORKTHREAD_H
#define KELM_TESTS_NET_NETWORKTHREAD_H

#include "net/CEngineRunner.h"
#include "support/TestSpinning.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <future>
#include <thread>
#include <utility>

class NetworkThread
{
public:
    explicit NetworkThread(boost::asio::io_context& ioContext, int spinning = testspinning::Setting())
        : m_ioContext(ioContext), m_work(boost::asio::make_work_guard(ioContext)), m_engine(ioContext)
    {
        m_engine.SetSpinning(spinning);
        m_thread = std::thread([this] { m_engine.Run(); });
    }
    ~NetworkThread() { Join(); }
    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    /// Runs task on the network thread and waits until it has run.
    template <typename Task>
    auto Run(Task task) -> decltype(task())
    {
        std::packaged_task<decltype(task())()> packaged(std::move(task));
        auto result = packaged.get_future();
        boost::asio::post(m_ioContext, [&packaged] { packaged(); });
        return result.get();
    }

    CEngineRunner& Engine() { return m_engine; }

    void Join()
    {
        if (!m_thread.joinable())
            return;
        m_engine.Stop();
        m_thread.join();
    }

private:
    boost::asio::io_context& m_ioContext;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    CEngineRunner m_engine;
    std::thread m_thread;
};

#endif
