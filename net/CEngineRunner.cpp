#include "net/CEngineRunner.h"

#include <boost/asio/post.hpp>

#include <chrono>

CEngineRunner::CEngineRunner(boost::asio::io_context& ioContext)
    : m_ioContext(ioContext), m_spinning(0), m_stopped(false), m_sleeping(false), m_wokenToSpin(false)
{
}

bool CEngineRunner::SetSpinning(int microseconds)
{
    if (microseconds < SpinAlways)
        return false;
    const int before = m_spinning.exchange(microseconds);
    // A thread asleep in the engine sees the new setting only when it wakes.
    if (microseconds != 0 && microseconds != before)
        boost::asio::post(m_ioContext, [this] { WakeToSpin(); });
    return true;
}

void CEngineRunner::Stop()
{
    m_stopped.store(true);
    m_ioContext.stop();
}

// Handlers run only here, on the network thread, while this object lives.
void CEngineRunner::WakeToSpin()
{
    // Polling already (or asleep in Spin's run_one, which this ends): nothing
    // more to do. Inside run(): leave it through a stop of our own.
    if (m_sleeping && GetSpinning() != 0)
    {
        m_wokenToSpin = true;
        m_ioContext.stop();
    }
}

void CEngineRunner::Run()
{
    for (;;)
    {
        if (GetSpinning() == 0)
        {
            m_sleeping = true;
            m_ioContext.run();
            m_sleeping = false;
        }
        else
        {
            Spin();
        }
        if (!m_ioContext.stopped())
            continue;  // the setting went back to sleeping
        // Stopped by Stop, or out of work (the engine stops itself then), or
        // by WakeToSpin.
        if (!m_wokenToSpin)
            return;
        m_wokenToSpin = false;
        m_ioContext.restart();
        // A Stop that came before the restart would be undone by it; one that
        // comes after ends the next run.
        if (m_stopped.load())
            return;
    }
}

void CEngineRunner::Spin()
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastEvent = Clock::now();
    for (;;)
    {
        const int spinning = GetSpinning();
        if (spinning == 0)
            return;
        if (m_ioContext.poll() > 0)
        {
            if (spinning > 0)
                lastEvent = Clock::now();
            continue;
        }
        if (m_ioContext.stopped())
            return;
        if (spinning > 0 && Clock::now() - lastEvent >= std::chrono::microseconds(spinning))
        {
            // Quiet for the time set: sleep until the next event.
            m_ioContext.run_one();
            lastEvent = Clock::now();
        }
    }
}
