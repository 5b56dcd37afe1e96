// A plain HTTP/1.0 GET on loopback for the metrics tests: the server's
// answer is read to its end, so status and body come back whole.
#ifndef KELM_TESTS_METRICS_HTTPCLIENT_H
#define KELM_TESTS_METRICS_HTTPCLIENT_H

#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace metricstest
{

struct HttpAnswer
{
    int Status = 0;  // 0: no answer
    std::string Body;
};

inline HttpAnswer HttpGet(uint16_t port, const std::string& target, const std::string& method = "GET")
{
    using boost::asio::ip::tcp;
    HttpAnswer answer;
    boost::asio::io_context io;
    tcp::socket socket(io);
    boost::system::error_code error;
    socket.connect(tcp::endpoint(boost::asio::ip::address_v4::loopback(), port), error);
    if (error)
        return answer;
    timeval timeout{30, 0};  // a hung server fails the test instead of hanging it
    ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    boost::asio::write(socket, boost::asio::buffer(request), error);
    std::string response;
    boost::asio::read(socket, boost::asio::dynamic_buffer(response), error);  // to the end
    const auto space = response.find(' ');
    const auto headersEnd = response.find("\r\n\r\n");
    if (space == std::string::npos || headersEnd == std::string::npos)
        return answer;
    answer.Status = std::atoi(response.c_str() + space + 1);
    answer.Body = response.substr(headersEnd + 4);
    return answer;
}

inline std::string UrlEncode(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text)
    {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~')
            out += static_cast<char>(c);
        else
            out += {'%', hex[c >> 4], hex[c & 15]};
    }
    return out;
}

// The value of the exposition line that starts with series ("name" or
// "name{labels}"), or -1 when there is none.
inline double SampleValue(const std::string& exposition, const std::string& series)
{
    std::size_t at = 0;
    while ((at = exposition.find(series + " ", at)) != std::string::npos)
    {
        if (at == 0 || exposition[at - 1] == '\n')
            return std::strtod(exposition.c_str() + at + series.size() + 1, nullptr);
        at += series.size();
    }
    return -1;
}

}  // namespace metricstest

#endif
