#include "CRedisConnection.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace
{

timeval ToTimeval(std::chrono::milliseconds timeout)
{
    timeval tv{};
    tv.tv_sec = static_cast<long>(timeout.count() / 1000);
    tv.tv_usec = static_cast<long>(timeout.count() % 1000 * 1000);
    return tv;
}

std::string ErrorText(const redisReply& reply)
{
    return std::string(reply.str, reply.len);
}

}  // namespace

bool IsTransientRedisError(const redisReply& reply)
{
    if (reply.type != REDIS_REPLY_ERROR)
        return false;
    const std::string_view text(reply.str, reply.len);
    for (std::string_view code : {"LOADING", "BUSY", "TRYAGAIN", "MASTERDOWN", "READONLY", "CLUSTERDOWN", "OOM",
                                  "NOAUTH", "NOREPLICAS"})
        if (text.compare(0, code.size(), code) == 0 && (text.size() == code.size() || text[code.size()] == ' '))
            return true;
    return false;
}

CRedisConnection::CRedisConnection(const RedisAddress& address, std::chrono::milliseconds timeout)
    : m_address(address)
{
    const timeval tv = ToTimeval(timeout);
    m_context = redisConnectWithTimeout(address.Host.c_str(), address.Port, tv);
    if (m_context == nullptr)
        throw CRedisError(CRedisError::Kind::Connection, "cannot connect to Redis at " + address.Text() + ": out of memory");
    if (m_context->err != 0)
    {
        const std::string reason = m_context->errstr;
        redisFree(m_context);
        throw CRedisError(CRedisError::Kind::Connection, "cannot connect to Redis at " + address.Text() + ": " + reason);
    }
    redisSetTimeout(m_context, tv);
    redisEnableKeepAlive(m_context);
    try
    {
        if (!address.Password.empty())
        {
            const RedisReply reply = address.User.empty() ? Run({"AUTH", address.Password})
                                                          : Run({"AUTH", address.User, address.Password});
            if (reply->type == REDIS_REPLY_ERROR)
                throw CRedisError(CRedisError::Kind::Authentication,
                                  "Redis at " + address.Text() + " refused the authentication: " + ErrorText(*reply));
        }
        // A server with a password answers NOAUTH here when none was given.
        const RedisReply ping = Run({"PING"});
        if (ping->type == REDIS_REPLY_ERROR)
            throw CRedisError(CRedisError::Kind::Authentication,
                              "Redis at " + address.Text() + " refused the connection: " + ErrorText(*ping));
        if (address.Database != 0)
        {
            const RedisReply select = Run({"SELECT", std::to_string(address.Database)});
            if (select->type == REDIS_REPLY_ERROR)
                throw CRedisError(CRedisError::Kind::Setup, "Redis at " + address.Text() +
                                                                " refused the database: " + ErrorText(*select));
        }
    }
    catch (...)
    {
        redisFree(m_context);
        throw;
    }
}

CRedisConnection::~CRedisConnection()
{
    redisFree(m_context);
}

void CRedisConnection::Fail(const std::string& doing)
{
    std::string reason = m_context->errstr[0] != '\0' ? m_context->errstr : "connection lost";
    // hiredis reports a socket timeout as the plain EAGAIN text.
    if (reason == std::strerror(EAGAIN))
        reason = "no answer within the timeout";
    throw CRedisError(CRedisError::Kind::Connection, "Redis at " + m_address.Text() + ": " + doing + ": " + reason);
}

RedisReply CRedisConnection::Run(const CRedisCommand& command)
{
    Append(command);
    return NextReply();
}

void CRedisConnection::Append(const CRedisCommand& command)
{
    command.AppendTo(m_pending);
}

RedisReply CRedisConnection::NextReply()
{
    // Everything appended goes to hiredis as one block: one copy, no
    // formatting per command.
    if (!m_pending.empty())
    {
        const int queued = redisAppendFormattedCommand(m_context, m_pending.data(), m_pending.size());
        m_pending.clear();
        if (queued != REDIS_OK)
            Fail("cannot queue the commands");
    }
    void* reply = nullptr;
    if (redisGetReply(m_context, &reply) != REDIS_OK || reply == nullptr)
        Fail("no reply");
    return RedisReply(static_cast<redisReply*>(reply));
}
