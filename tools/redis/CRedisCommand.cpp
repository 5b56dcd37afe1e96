#include "tools/redis/CRedisCommand.h"

#include <charconv>

namespace
{

template <typename T>
std::string_view Format(char (&buffer)[32], T value)
{
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

}  // namespace

CRedisCommand::CRedisCommand(std::initializer_list<std::string_view> args)
{
    for (std::string_view arg : args)
        Arg(arg);
}

void CRedisCommand::Clear()
{
    m_arena.clear();
    m_offsets.clear();
    m_lengths.clear();
}

CRedisCommand& CRedisCommand::Arg(std::string_view text)
{
    m_offsets.push_back(m_arena.size());
    m_lengths.push_back(text.size());
    m_arena.append(text.data(), text.size());
    return *this;
}

CRedisCommand& CRedisCommand::Append(std::string_view text)
{
    m_lengths.back() += text.size();
    m_arena.append(text.data(), text.size());
    return *this;
}

CRedisCommand& CRedisCommand::Arg(double value)
{
    char buffer[32];
    return Arg(Format(buffer, value));
}

CRedisCommand& CRedisCommand::Arg(int64_t value)
{
    char buffer[32];
    return Arg(Format(buffer, value));
}

CRedisCommand& CRedisCommand::Arg(uint64_t value)
{
    char buffer[32];
    return Arg(Format(buffer, value));
}

const char** CRedisCommand::Pointers() const
{
    // Built on demand: the arena may have moved while arguments were added.
    m_pointers.resize(m_offsets.size());
    for (std::size_t i = 0; i < m_offsets.size(); ++i)
        m_pointers[i] = m_arena.data() + m_offsets[i];
    return m_pointers.data();
}
