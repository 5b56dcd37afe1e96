// What a waiting request of the session throws when it gets no answer, or
// the server refuses it: the kind of failure and, for a refusal, the
// server's result.
#ifndef KELMMD_CSESSIONERROR_H
#define KELMMD_CSESSIONERROR_H

#include <stdexcept>
#include <string>

namespace kelmmd
{

class CSessionError : public std::runtime_error
{
public:
    enum class Kind
    {
        Closed,        ///< the session was closed
        NotConnected,  ///< no connection in time, or it was lost before the request went
        Timeout,       ///< no answer in time
        Refused,       ///< the server answered with a failure (RspNo, RspDesc)
    };

    CSessionError(Kind kind, const std::string& message, int rspNo = -1, const std::string& rspDesc = std::string())
        : std::runtime_error(message), m_kind(kind), m_rspNo(rspNo), m_rspDesc(rspDesc)
    {
    }

    Kind Type() const noexcept { return m_kind; }
    /// The server's result; -1 when there was none.
    int RspNo() const noexcept { return m_rspNo; }
    const std::string& RspDesc() const noexcept { return m_rspDesc; }

    /// A copy that shares nothing with this one. Copies of a
    /// std::runtime_error share one reference-counted message; one kept for
    /// another thread to throw is made this way, so that the two threads
    /// never release the same message.
    CSessionError Detached() const { return CSessionError(m_kind, std::string(what()), m_rspNo, m_rspDesc); }

private:
    Kind m_kind;
    int m_rspNo;
    std::string m_rspDesc;
};

}  // namespace kelmmd

#endif
