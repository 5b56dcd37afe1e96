// Where a Redis server is: redis://[[USER]:PASSWORD@]HOST[:PORT][/DB].
#ifndef KELM_TOOLS_REDIS_REDISADDRESS_H
#define KELM_TOOLS_REDIS_REDISADDRESS_H

#include <cstdint>
#include <string>

struct RedisAddress
{
    std::string Host;        // a name or an IP address; IPv6 without the brackets
    uint16_t Port = 6379;
    int Database = 0;
    std::string User;        // empty: the default user
    std::string Password;    // empty: no authentication

    // Fills address from text; false with a one-line reason in error.
    static bool Parse(const std::string& text, RedisAddress& address, std::string& error);
    // redis://HOST:PORT/DB, never with the password.
    std::string Text() const;
};

#endif
