// Runs the quote client's engine on the network thread, sleeping or spinning.
//
// Sleeping (the default): the thread waits in the engine until a socket, a
// timer or a posted request needs it, and the system wakes it then.
// Spinning: the thread polls the engine instead of waiting, so that a quote is
// read as soon as it arrives, without the time the system takes to wake a
// sleeping thread. It polls for a set time after the last thing that happened
// (and then sleeps until the next), or without end. Spinning keeps a core
// busy. Either way the same handlers run, one at a time, in the same order.
#ifndef KELM_NET_CENGINERUNNER_H
#define KELM_NET_CENGINERUNNER_H

#include <boost/asio/io_context.hpp>

#include <atomic>

class CEngineRunner
{
public:
    /// The spinning setting that polls without end.
    static constexpr int SpinAlways = -1;

    explicit CEngineRunner(boost::asio::io_context& ioContext);
    CEngineRunner(const CEngineRunner&) = delete;
    CEngineRunner& operator=(const CEngineRunner&) = delete;

    /// 0 sleeps; a positive number of microseconds polls that long after the
    /// last event before sleeping; SpinAlways polls without end. Any thread,
    /// any time: a thread sleeping in the engine is woken to take it up.
    /// False, and nothing changes, for a value below SpinAlways.
    bool SetSpinning(int microseconds);
    int GetSpinning() const { return m_spinning.load(std::memory_order_relaxed); }

    /// The network thread's body: runs the engine until Stop, or until the
    /// engine has no work left.
    void Run();

    /// Ends Run as io_context::stop ends run(): from any thread, the network
    /// thread too; no handler starts after the one running.
    void Stop();

private:
    void Spin();
    void WakeToSpin();

    boost::asio::io_context& m_ioContext;
    std::atomic<int> m_spinning;
    std::atomic<bool> m_stopped;
    // The network thread's own: it is inside run(), or was stopped to spin.
    bool m_sleeping;
    bool m_wokenToSpin;
};

#endif
