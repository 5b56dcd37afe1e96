#include "CRedisCommand.h"

#include <charconv>

namespace
{

template <typename T>
std::string_view Format(char (&buffer)[32], T value)
{
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

void AppendLine(std::string& out, char marker, std::size_t number)
{
    char buffer[32];
    out += marker;
    out.append(Format(buffer, number));
    out.append("\r\n", 2);
}

}  // namespace

CRedisCommand::CRedisCommand(std::initializer_list<std::string_view> args)
{
    for (std::string_view arg : args)
        Arg(arg);
}

void CRedisCommand::Clear()
{
    m_body.clear();
    m_count = 0;
}

CRedisCommand& CRedisCommand::Arg(std::string_view text)
{
    return Arg(text, std::string_view());
}

CRedisCommand& CRedisCommand::Arg(std::string_view first, std::string_view second)
{
    AppendLine(m_body, '$', first.size() + second.size());
    m_body.append(first.data(), first.size());
    m_body.append(second.data(), second.size());
    m_body.append("\r\n", 2);
    ++m_count;
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

void CRedisCommand::AppendTo(std::string& out) const
{
    AppendLine(out, '*', static_cast<std::size_t>(m_count));
    out += m_body;
}
