#include "RedisAddress.h"

#include <charconv>

namespace
{

constexpr const char* Scheme = "redis://";

// The address as it may be shown: without what stands before an '@'.
std::string Shown(const std::string& text)
{
    const auto at = text.rfind('@');
    if (at == std::string::npos || text.compare(0, 8, Scheme) != 0)
        return text;
    return Scheme + std::string("***") + text.substr(at);
}

template <typename T>
bool ParseNumber(const std::string& text, T& value)
{
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// HOST[:PORT] with HOST possibly in brackets (IPv6).
bool ParseHostPort(const std::string& text, RedisAddress& address, std::string& error)
{
    std::string port;
    if (!text.empty() && text.front() == '[')
    {
        const auto close = text.find(']');
        if (close == std::string::npos || close == 1)
            return error = "unterminated or empty [IPv6] host", false;
        address.Host = text.substr(1, close - 1);
        if (close + 1 < text.size())
        {
            if (text[close + 1] != ':')
                return error = "expected ':' after the [IPv6] host", false;
            port = text.substr(close + 2);
            if (port.empty())
                return error = "empty port", false;
        }
    }
    else
    {
        const auto colon = text.find(':');
        address.Host = text.substr(0, colon);
        if (colon != std::string::npos)
        {
            port = text.substr(colon + 1);
            if (port.find(':') != std::string::npos)
                return error = "an IPv6 host must be written in brackets", false;
            if (port.empty())
                return error = "empty port", false;
        }
    }
    if (address.Host.empty())
        return error = "no host", false;
    if (!port.empty())
    {
        unsigned value = 0;
        if (!ParseNumber(port, value) || value == 0 || value > 65535)
            return error = "bad port '" + port + "'", false;
        address.Port = static_cast<uint16_t>(value);
    }
    return true;
}

}  // namespace

bool RedisAddress::Parse(const std::string& text, RedisAddress& address, std::string& error)
{
    address = RedisAddress();
    const std::string scheme = Scheme;
    if (text.compare(0, scheme.size(), scheme) != 0)
        return error = "malformed Redis address '" + Shown(text) + "' (expected redis://HOST:PORT[/DB])", false;
    std::string rest = text.substr(scheme.size());
    const auto slash = rest.find('/');
    if (slash != std::string::npos)
    {
        const std::string database = rest.substr(slash + 1);
        if (!database.empty() && (!ParseNumber(database, address.Database) || address.Database < 0))
            return error = "malformed Redis address '" + Shown(text) + "': bad database '" + database + "'", false;
        rest.erase(slash);
    }
    // The password may itself hold '@' or ':', so the last '@' ends it.
    const auto at = rest.rfind('@');
    if (at != std::string::npos)
    {
        const std::string credentials = rest.substr(0, at);
        const auto colon = credentials.find(':');
        address.User = credentials.substr(0, colon);
        if (colon != std::string::npos)
            address.Password = credentials.substr(colon + 1);
        else
            std::swap(address.User, address.Password);  // redis://PASSWORD@HOST
        rest.erase(0, at + 1);
    }
    std::string reason;
    if (!ParseHostPort(rest, address, reason))
        return error = "malformed Redis address '" + Shown(text) + "': " + reason, false;
    return true;
}

std::string RedisAddress::Text() const
{
    const std::string host = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
    return Scheme + host + ":" + std::to_string(Port) + "/" + std::to_string(Database);
}
