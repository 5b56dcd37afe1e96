// One blocking connection to a Redis server through hiredis: connects,
// authenticates, selects the database, then runs commands one at a time or
// pipelined (many appended, then their replies read in order). Used by one
// thread at a time.
#ifndef KELM_TOOLS_REDIS_CREDISCONNECTION_H
#define KELM_TOOLS_REDIS_CREDISCONNECTION_H

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include <hiredis/hiredis.h>

#include "CRedisCommand.h"
#include "RedisAddress.h"

class CRedisError : public std::runtime_error
{
public:
    enum class Kind
    {
        Connection,      // unreachable, lost, or no answer within the timeout
        Authentication,  // the password was refused or is needed
        Setup,           // the database could not be selected
    };

    CRedisError(Kind kind, const std::string& what) : std::runtime_error(what), m_kind(kind) {}
    Kind GetKind() const { return m_kind; }

private:
    Kind m_kind;
};

struct RedisReplyDeleter
{
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using RedisReply = std::unique_ptr<redisReply, RedisReplyDeleter>;

class CRedisConnection
{
public:
    // Throws CRedisError with a one-line reason. The timeout bounds the
    // connection and every later wait for a reply.
    CRedisConnection(const RedisAddress& address, std::chrono::milliseconds timeout);
    ~CRedisConnection();
    CRedisConnection(const CRedisConnection&) = delete;
    CRedisConnection& operator=(const CRedisConnection&) = delete;

    // Sends one command and returns its reply, which may be an error reply.
    // Throws CRedisError (Connection) when the link fails; the connection is
    // of no use after that.
    RedisReply Run(const CRedisCommand& command);

    // Pipelining: Append queues commands locally, NextReply sends what is
    // queued and returns the replies one by one, in order.
    void Append(const CRedisCommand& command);
    RedisReply NextReply();

    const RedisAddress& Address() const { return m_address; }

private:
    [[noreturn]] void Fail(const std::string& doing);

    RedisAddress m_address;
    redisContext* m_context = nullptr;
    std::string m_pending;  // appended commands not yet handed to hiredis
};

// Transient server-side refusals (loading after a restart, busy, read-only
// replica, out of memory...): worth retrying later on a new connection.
bool IsTransientRedisError(const redisReply& reply);

#endif
