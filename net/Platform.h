// The library's few platform differences, in one place. Linux runs on
// POSIX and Boost.Thread; the Windows build uses Windows Sockets through
// Asio's I/O completion ports and the standard library's thread.
#ifndef KELM_NET_PLATFORM_H
#define KELM_NET_PLATFORM_H

#include <boost/system/error_code.hpp>

#include <ctime>
#include <functional>

#if defined(_WIN32)
#include <thread>
#else
#include <boost/thread/thread.hpp>
#endif

namespace Platform
{

#if defined(_WIN32)
// Boost.Thread has compiled parts that are not built for Windows here: the
// network thread is a std::thread, with the same lifetime rules (joinable,
// join, detach, std::this_thread::get_id inside it).
using NetworkThread = std::thread;
#else
using NetworkThread = boost::thread;
#endif

/// How the quote client's engine is told that one thread runs it. With
/// Asio's reactor (POSIX), the socket's own operations then take no lock:
/// only the network thread starts and completes them, except the first
/// connect (before that thread exists) and the close of Stop (after it has
/// left the engine); posting from other threads stays locked. Windows'
/// completion ports read the hint as a count of threads: one.
int EngineConcurrencyHint();

/// Starts the network thread running body. Failure to create it raises
/// boost::thread_resource_error on every platform.
NetworkThread StartNetworkThread(std::function<void()> body);

/// Code 1236, "connection aborted by the local system", with which Windows
/// ends a read that our own side cut off: compared by value, in any category.
/// POSIX has no such code; its nearest, ECONNABORTED, takes its place.
bool IsLocallyAborted(const boost::system::error_code& error);

/// Whether an exception raised inside the library (Launch's "resolve"
/// error) can unwind into the application. The Windows DLL carries its own
/// copy of the C++ runtime, so that it needs nothing but system DLLs, and an
/// exception cannot unwind from that copy into an application's frames,
/// whichever compiler built the application: it would end the process.
#if defined(_WIN32)
constexpr bool ExceptionsReachTheApplication = false;
#else
constexpr bool ExceptionsReachTheApplication = true;
#endif

/// The C runtime's local time of a calendar time (thread-safe form).
std::tm LocalTime(std::time_t time);

}  // namespace Platform

#endif
