#include "net/Platform.h"

#include <boost/asio/detail/concurrency_hint.hpp>
#include <boost/asio/error.hpp>
#include <boost/thread/exceptions.hpp>

#include <system_error>

namespace Platform
{

int EngineConcurrencyHint()
{
#if defined(_WIN32)
    return 1;
#else
    return BOOST_ASIO_CONCURRENCY_HINT_UNSAFE_IO;
#endif
}

NetworkThread StartNetworkThread(std::function<void()> body)
{
#if defined(_WIN32)
    try
    {
        return std::thread(std::move(body));
    }
    catch (const std::system_error& error)
    {
        throw boost::thread_resource_error(error.code().value(), "cannot start the network thread");
    }
#else
    return boost::thread(std::move(body));
#endif
}

bool IsLocallyAborted(const boost::system::error_code& error)
{
#if defined(_WIN32)
    return error.value() == 1236;  // ERROR_CONNECTION_ABORTED
#else
    return error == boost::asio::error::connection_aborted;
#endif
}

std::tm LocalTime(std::time_t time)
{
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    return local;
}

}  // namespace Platform
