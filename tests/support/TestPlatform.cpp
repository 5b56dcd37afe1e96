#include "support/TestPlatform.h"

#include <thread>

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

extern char** environ;
#endif

namespace testplatform
{

#if defined(_WIN32)

namespace
{

bool StartSockets()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

// Blocking Windows Sockets calls are not woken by shutdown, only by
// cancelling the thread's I/O on the socket.
void CancelBlockedCalls(int s)
{
    ::CancelIoEx(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(s)), nullptr);
}

// Quotes one argument for CreateProcess's command line.
std::string Quoted(const std::string& argument)
{
    std::string out = "\"";
    for (char c : argument)
        out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace

int OpenTcpSocket(bool ipv6)
{
    static const bool started = StartSockets();
    if (!started)
        return -1;
    const SOCKET s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

void CloseSocket(int s)
{
    ::closesocket(static_cast<SOCKET>(s));
}

void SetIntOption(int s, int level, int name, int value)
{
    ::setsockopt(static_cast<SOCKET>(s), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

void SetReceiveTimeout(int s, int milliseconds)
{
    const DWORD timeout = static_cast<DWORD>(milliseconds);
    ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof timeout);
}

long SendSome(int s, const void* data, std::size_t size)
{
    return ::send(static_cast<SOCKET>(s), static_cast<const char*>(data), static_cast<int>(size), 0);
}

long ReceiveSome(int s, void* data, std::size_t size)
{
    return ::recv(static_cast<SOCKET>(s), static_cast<char*>(data), static_cast<int>(size), 0);
}

bool WasInterrupted()
{
    return false;  // no signals interrupt Windows Sockets calls
}

bool AcceptMayRetry()
{
    return ::WSAGetLastError() == WSAECONNRESET;
}

void WakeBlockedCalls(int s)
{
    ::shutdown(static_cast<SOCKET>(s), SD_BOTH);
    CancelBlockedCalls(s);
}

void StopReading(int s)
{
    ::shutdown(static_cast<SOCKET>(s), SD_RECEIVE);
    CancelBlockedCalls(s);
}

void StopWriting(int s)
{
    ::shutdown(static_cast<SOCKET>(s), SD_SEND);
}

void ResetConnection(std::atomic<int>& s)
{
    // Only closing the socket sends the reset, and a handle cannot be
    // replaced in place: the owner sees -1 from now on.
    const int socket = s.exchange(-1);
    const linger hard{1, 0};
    ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                 sizeof hard);
    ::closesocket(static_cast<SOCKET>(socket));
}

ProcessEnd RunProcess(const std::vector<std::string>& argv, std::chrono::seconds timeout)
{
    std::string commandLine;
    for (const std::string& argument : argv)
        commandLine += (commandLine.empty() ? "" : " ") + Quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ProcessEnd end;
    if (!::CreateProcessA(argv[0].c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
    {
        end.Crashed = true;
        end.Code = static_cast<int>(::GetLastError());
        return end;
    }
    const DWORD waitMs = static_cast<DWORD>(std::chrono::milliseconds(timeout).count());
    if (::WaitForSingleObject(process.hProcess, waitMs) != WAIT_OBJECT_0)
    {
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        end.Hung = true;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Exception codes (access violation 0xC0000005 and its kin) have the
    // two top bits set; exit statuses of ours never do.
    end.Crashed = !end.Hung && (code & 0xC0000000u) == 0xC0000000u;
    end.Code = static_cast<int>(code);
    return end;
}

std::string SiblingProgram(const std::string& buildPath)
{
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string directory(self);
    directory.erase(directory.find_last_of("\\/") + 1);
    return directory + buildPath.substr(buildPath.find_last_of("\\/") + 1);
}

std::size_t OpenHandles()
{
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

std::chrono::microseconds ThreadCpuTime()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return std::chrono::microseconds((ticks(kernel) + ticks(user)) / 10);  // 100 ns units
}

uint64_t ResidentKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1024;
}

#else

int OpenTcpSocket(bool ipv6)
{
    return ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
}

void CloseSocket(int s)
{
    ::close(s);
}

void SetIntOption(int s, int level, int name, int value)
{
    ::setsockopt(s, level, name, &value, sizeof value);
}

void SetReceiveTimeout(int s, int milliseconds)
{
    const timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

long SendSome(int s, const void* data, std::size_t size)
{
    return ::send(s, data, size, MSG_NOSIGNAL);
}

long ReceiveSome(int s, void* data, std::size_t size)
{
    return ::recv(s, data, size, 0);
}

bool WasInterrupted()
{
    return errno == EINTR;
}

bool AcceptMayRetry()
{
    return errno == EINTR || errno == ECONNABORTED;
}

void WakeBlockedCalls(int s)
{
    ::shutdown(s, SHUT_RDWR);
}

void StopReading(int s)
{
    ::shutdown(s, SHUT_RD);
}

void StopWriting(int s)
{
    ::shutdown(s, SHUT_WR);
}

void ResetConnection(std::atomic<int>& s)
{
    const linger hard{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    // close() with a zero linger sends the reset; the descriptor number
    // stays owned by the caller, so it is replaced by a dead socket.
    const int dead = ::socket(AF_INET, SOCK_STREAM, 0);
    ::dup2(dead, s);
    ::close(dead);
}

ProcessEnd RunProcess(const std::vector<std::string>& argv, std::chrono::seconds timeout)
{
    std::vector<std::string> arguments = argv;
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    pid_t pid = 0;
    ProcessEnd end;
    if (::posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0)
    {
        end.Crashed = true;
        end.Code = -1;
        return end;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (::waitpid(pid, &status, WNOHANG) != pid)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            end.Hung = true;
            return end;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    end.Crashed = !WIFEXITED(status);
    end.Code = WIFEXITED(status) ? WEXITSTATUS(status) : (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return end;
}

std::string SiblingProgram(const std::string& buildPath)
{
    return buildPath;
}

std::size_t OpenHandles()
{
    std::size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd"))
    {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
}

std::chrono::microseconds ThreadCpuTime()
{
    timespec time{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::microseconds(time.tv_nsec / 1000);
}

uint64_t ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) / 1024;
}

#endif

}  // namespace testplatform
