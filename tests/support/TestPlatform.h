// The tests' own platform pieces: blocking TCP sockets for the test servers
// and proxies, child processes, and the process's resource figures. POSIX
// on Linux, Windows Sockets and the Win32 API on Windows. Socket handles are
// ints on both (a 32-bit Windows SOCKET fits); -1 is "no socket".
#ifndef KELM_TESTS_SUPPORT_TESTPLATFORM_H
#define KELM_TESTS_SUPPORT_TESTPLATFORM_H

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testplatform
{

/// A new TCP socket (IPv4, or IPv6), or -1.
int OpenTcpSocket(bool ipv6 = false);
void CloseSocket(int s);
/// An integer socket option (SO_REUSEADDR, SO_RCVBUF, TCP_NODELAY...).
void SetIntOption(int s, int level, int name, int value);
void SetReceiveTimeout(int s, int milliseconds);
/// One send or receive call: bytes moved, 0 at the end of the stream, -1 on
/// failure. A send to a closed peer fails; it never raises a signal.
long SendSome(int s, const void* data, std::size_t size);
long ReceiveSome(int s, void* data, std::size_t size);
/// The last failed call was interrupted by a signal and may be repeated.
bool WasInterrupted();
/// The last failed accept lost a connection that was not accepted yet, or
/// was interrupted: accepting again may succeed.
bool AcceptMayRetry();

/// Ends both directions and wakes every call blocked on s in other threads
/// (accept included). The socket stays open until CloseSocket.
void WakeBlockedCalls(int s);
/// Ends our receiving side and wakes a receive blocked on it.
void StopReading(int s);
/// Orderly close of our sending side (FIN).
void StopWriting(int s);
/// Closes s abortively (RST). Where the descriptor can be kept valid it
/// stays s, now a closed socket; otherwise s becomes -1.
void ResetConnection(std::atomic<int>& s);

struct ProcessEnd
{
    bool Hung = false;     ///< still running at the timeout; killed
    bool Crashed = false;  ///< ended by a signal or an exception
    int Code = 0;          ///< exit status, or the signal or exception code
};
/// Runs argv[0] with the arguments and waits for its end.
ProcessEnd RunProcess(const std::vector<std::string>& argv, std::chrono::seconds timeout);
/// A program built beside this one, given the path the build tree knows it by.
std::string SiblingProgram(const std::string& buildPath);

/// Open descriptors (POSIX) or handles (Windows) of this process.
std::size_t OpenHandles();
/// Processor time the calling thread has used so far.
std::chrono::microseconds ThreadCpuTime();
/// Resident set (working set) of this process, in KiB.
uint64_t ResidentKiB();

}  // namespace testplatform

#endif
