// One Redis command built directly in the protocol's wire form ("*<count>"
// then "$<length>" and the bytes of every argument), so that many of them
// can be handed to the connection as one block. Once its storage has grown
// to size, building a command allocates nothing.
#ifndef KELM_TOOLS_REDIS_CREDISCOMMAND_H
#define KELM_TOOLS_REDIS_CREDISCOMMAND_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class CRedisCommand
{
public:
    CRedisCommand() = default;
    CRedisCommand(std::initializer_list<std::string_view> args);

    void Clear();
    CRedisCommand& Arg(std::string_view text);
    // One argument made of two texts (a key: prefix and name).
    CRedisCommand& Arg(std::string_view first, std::string_view second);
    // The shortest text that reads back as the same number.
    CRedisCommand& Arg(double value);
    CRedisCommand& Arg(int64_t value);
    CRedisCommand& Arg(uint64_t value);
    CRedisCommand& Arg(int value) { return Arg(static_cast<int64_t>(value)); }

    int Count() const { return m_count; }
    // Appends the command in wire form to out.
    void AppendTo(std::string& out) const;

private:
    std::string m_body;  // the arguments in wire form
    int m_count = 0;
};

#endif
