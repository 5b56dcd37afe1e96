// Helpers of the server tests: literal bytes from hex text, and a plain
// blocking TCP client on loopback with a receive timeout, so that the tests
// see exactly the bytes on the wire.
#ifndef KELM_TESTS_SIM_SIMTESTSUPPORT_H
#define KELM_TESTS_SIM_SIMTESTSUPPORT_H

#include "support/TestPlatform.h"

#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace simtest
{

using Bytes = std::vector<uint8_t>;

// "03F1 0000 00000022" -> bytes; blanks and line breaks are ignored.
inline Bytes Hex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text)
    {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (v < 0 || v > 15)
            throw std::invalid_argument("bad hex digit");
        if (high < 0)
            high = v;
        else
        {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return out;
}

inline Bytes Cat(const Bytes& a, const Bytes& b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

class TestClient
{
public:
    explicit TestClient(uint16_t port, int timeoutMs = 3000) : m_socket(m_io)
    {
        m_socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
        m_socket.set_option(boost::asio::ip::tcp::no_delay(true));
        testplatform::SetReceiveTimeout(static_cast<int>(m_socket.native_handle()), timeoutMs);
    }

    void Write(const Bytes& bytes) { boost::asio::write(m_socket, boost::asio::buffer(bytes)); }

    // Exactly n bytes; throws on timeout or end of stream.
    Bytes Read(std::size_t n)
    {
        Bytes out(n);
        boost::asio::read(m_socket, boost::asio::buffer(out));
        return out;
    }

    // One frame: prefix and body.
    Bytes ReadFrame()
    {
        Bytes frame = Read(4);
        const uint32_t length = (uint32_t(frame[0]) << 24) | (uint32_t(frame[1]) << 16) |
                                (uint32_t(frame[2]) << 8) | frame[3];
        frame.resize(4 + length);
        boost::asio::read(m_socket, boost::asio::buffer(frame.data() + 4, length));
        return frame;
    }

    // True when the peer has closed (end of stream or reset) within the
    // receive timeout; bytes still in flight are skipped.
    bool WaitClosed()
    {
        uint8_t buffer[4096];
        for (;;)
        {
            boost::system::error_code error;
            m_socket.read_some(boost::asio::buffer(buffer), error);
            if (error == boost::asio::error::eof || error == boost::asio::error::connection_reset)
                return true;
            if (error)
                return false;
        }
    }

    boost::asio::ip::tcp::socket& Socket() { return m_socket; }

private:
    boost::asio::io_context m_io;
    boost::asio::ip::tcp::socket m_socket;
};

}  // namespace simtest

#endif
