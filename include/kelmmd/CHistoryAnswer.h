// The answer to one history query of a session (minute bars, day bars or
// trades), filled on the library's network thread as the records arrive and
// read by the application's threads: record by record as they come (Next),
// or whole once the last has come (Get).
//
// An answer ends once: complete (its last record came; an empty answer and
// a refusal come as one notification without a record), failed (the link
// was lost before the last record) or closed (the session was closed). The
// session keeps only a weak reference: an answer nobody holds any more is
// dropped, and the rest of its records with it.
#ifndef KELMMD_CHISTORYANSWER_H
#define KELMMD_CHISTORYANSWER_H

#include <KelmRivoMdExtension.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CSessionError.h"
#include "Deadline.h"
#include "RecordText.h"

namespace kelmmd
{

class CMdSession;

/// Record: MinuteBarRecord, DayBarRecord or TradeTickRecord.
template <class Record>
class CHistoryAnswer
{
public:
    using Milliseconds = std::chrono::milliseconds;

    /// Made by the session (CMdSession::SubmitMinuteBars and friends).
    CHistoryAnswer(int requestId, std::string what) : m_requestId(requestId), m_what(std::move(what)) {}

    CHistoryAnswer(const CHistoryAnswer&) = delete;
    CHistoryAnswer& operator=(const CHistoryAnswer&) = delete;

    /// The request id the session gave the query.
    int RequestId() const { return m_requestId; }

    /// Waits up to timeout for the answer to end; true once it has.
    bool Wait(Milliseconds timeout) { return WaitUntil(DeadlineAfter(timeout)); }

    bool WaitUntil(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_until(lock, deadline, [this] { return m_ended; });
    }

    bool Ended() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ended;
    }

    /// The next record in the server's order, waiting up to timeout; false
    /// when none came in time, or the answer has ended and every record was
    /// taken (see Ended, and Get for how it ended).
    bool Next(Record& record, Milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_until(lock, DeadlineAfter(timeout), [this] { return m_ended || !m_records.empty(); });
        if (m_records.empty())
            return false;
        record = m_records.front();
        m_records.pop_front();
        return true;
    }

    /// Waits up to timeout for the answer to end, then returns every record
    /// not taken yet (empty for an empty answer). Throws CSessionError:
    /// Refused with the server's RspNo and RspDesc, NotConnected when the
    /// link was lost first, Closed, or Timeout when the answer has not ended
    /// in time (it goes on arriving then).
    std::vector<Record> Get(Milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_until(lock, DeadlineAfter(timeout), [this] { return m_ended; }))
            throw CSessionError(CSessionError::Kind::Timeout, "no complete answer to the " + m_what + " in time");
        if (m_failure)
            throw *m_failure;
        std::vector<Record> records(m_records.begin(), m_records.end());
        m_records.clear();
        return records;
    }

    /// Once ended, the server's result: RspNo (-1 when none came) and RspDesc.
    int RspNo() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rspNo;
    }
    std::string RspDesc() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rspDesc;
    }

private:
    friend class CMdSession;

    // Network thread: one notification of the answer. A refusal (RspNo not
    // 0) ends it as a failure; an answer without a result part counts as
    // accepted.
    void Add(const Record* record, const ResponseInfoRecord* info, bool isLast)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ended)
                return;
            if (record)
                m_records.push_back(*record);
            if (info)
            {
                m_rspNo = info->RspNo;
                m_rspDesc = TextOf(info->RspDesc);
            }
            if (!isLast)
                return;
            m_ended = true;
            if (info && info->RspNo != 0)
                m_failure = CSessionError(CSessionError::Kind::Refused,
                                          m_what + " refused: " + std::to_string(m_rspNo) + " " + m_rspDesc, m_rspNo,
                                          m_rspDesc);
        }
        m_changed.notify_all();
    }

    // Ends the answer without its last record; what came stays readable by
    // Next.
    void Fail(const CSessionError& failure)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ended)
                return;
            m_ended = true;
            m_failure = failure;
        }
        m_changed.notify_all();
    }

    const int m_requestId;
    const std::string m_what;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Record> m_records;
    bool m_ended = false;
    std::optional<CSessionError> m_failure;
    int m_rspNo = -1;
    std::string m_rspDesc;
};

}  // namespace kelmmd

#endif
