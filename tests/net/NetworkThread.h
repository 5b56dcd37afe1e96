// An io_context run on a thread of its own, as the quote client runs its
// engine. Join() stops it and waits for the thread.
#ifndef KELM_TESTS_NET_NETWORKTHREAD_H
#define KELM_TESTS_NET_NETWORKTHREAD_H

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <future>
#include <thread>
#include <utility>

class NetworkThread
{
public:
    explicit NetworkThread(boost::asio::io_context& ioContext)
        : m_ioContext(ioContext), m_work(boost::asio::make_work_guard(ioContext)),
          m_thread([this] { m_ioContext.run(); })
    {
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

    void Join()
    {
        if (!m_thread.joinable())
            return;
        m_ioContext.stop();
        m_thread.join();
    }

private:
    boost::asio::io_context& m_ioContext;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    std::thread m_thread;
};

#endif
