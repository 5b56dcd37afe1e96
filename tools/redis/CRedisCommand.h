// The arguments of one Redis command, built without allocating once its
// storage has grown to size: texts and numbers are copied into one arena and
// handed to hiredis as pointer and length arrays.
#ifndef KELM_TOOLS_REDIS_CREDISCOMMAND_H
#define KELM_TOOLS_REDIS_CREDISCOMMAND_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class CRedisCommand
{
public:
    CRedisCommand() = default;
    CRedisCommand(std::initializer_list<std::string_view> args);

    void Clear();
    CRedisCommand& Arg(std::string_view text);
    // The shortest text that reads back as the same number.
    CRedisCommand& Arg(double value);
    CRedisCommand& Arg(int64_t value);
    CRedisCommand& Arg(uint64_t value);
    CRedisCommand& Arg(int value) { return Arg(static_cast<int64_t>(value)); }
    // Appends to the last argument instead of starting one.
    CRedisCommand& Append(std::string_view text);

    int Count() const { return static_cast<int>(m_offsets.size()); }
    // Valid until the command is changed.
    const char** Pointers() const;
    const std::size_t* Lengths() const { return m_lengths.data(); }

private:
    std::string m_arena;
    std::vector<std::size_t> m_offsets;
    std::vector<std::size_t> m_lengths;
    mutable std::vector<const char*> m_pointers;
};

#endif
