// Counts the threads inside an object's waiting calls, so that the object
// can be destroyed while another thread still waits in it. The object
// declares it as its last member (destroyed first) and ends every wait in
// its destructor (by closing); this member's destructor then blocks until
// the woken threads have left, before anything they use goes away.
#ifndef KELMMD_CWAITINGTHREADS_H
#define KELMMD_CWAITINGTHREADS_H

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace kelmmd
{

class CWaitingThreads
{
public:
    /// Held by a waiting call from its start to its end.
    class Inside
    {
    public:
        explicit Inside(CWaitingThreads& threads) : m_threads(threads)
        {
            std::lock_guard<std::mutex> lock(m_threads.m_mutex);
            ++m_threads.m_count;
        }
        ~Inside()
        {
            std::lock_guard<std::mutex> lock(m_threads.m_mutex);
            // Notified under the lock: the destructor cannot return, and
            // free the condition, before this thread has let go of it.
            if (--m_threads.m_count == 0)
                m_threads.m_left.notify_all();
        }
        Inside(const Inside&) = delete;
        Inside& operator=(const Inside&) = delete;

    private:
        CWaitingThreads& m_threads;
    };

    CWaitingThreads() = default;
    CWaitingThreads(const CWaitingThreads&) = delete;
    CWaitingThreads& operator=(const CWaitingThreads&) = delete;

    ~CWaitingThreads()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_left.wait(lock, [this] { return m_count == 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    std::size_t m_count = 0;
};

}  // namespace kelmmd

#endif
