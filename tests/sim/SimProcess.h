// Runs a program as a child process with its standard output on a pipe, for
// tests that talk to the real executables.
#ifndef KELM_TESTS_SIM_SIMPROCESS_H
#define KELM_TESTS_SIM_SIMPROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace simtest
{

// A scratch file of this test process: several builds run the same tests at
// once on one machine.
inline std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + std::to_string(::getpid()) + "-" + name;
}

class Process
{
public:
    // Starts path with args; standard input is /dev/null, standard error is
    // inherited or, with mergeStderr, read together with standard output, or
    // written to errorFile when one is named.
    Process(const std::string& path, const std::vector<std::string>& args, bool mergeStderr = false,
            const std::string& errorFile = std::string())
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0)
        {
            ::dup2(out[1], STDOUT_FILENO);
            if (mergeStderr)
                ::dup2(out[1], STDERR_FILENO);
            else if (!errorFile.empty())
                ::dup2(::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            const int null = ::open("/dev/null", O_RDONLY);
            ::dup2(null, STDIN_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(path.c_str()));
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_stdout = out[0];
    }

    ~Process()
    {
        if (m_pid > 0 && !m_reaped)
        {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stdout >= 0)
            ::close(m_stdout);
    }

    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The next line of standard output without its line end; empty on end
    // of output or timeout.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;)
        {
            const auto end = m_buffer.find('\n');
            if (end != std::string::npos)
            {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            pollfd p{m_stdout, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::string();
            char chunk[4096];
            const ssize_t n = ::read(m_stdout, chunk, sizeof chunk);
            if (n <= 0)
                return std::string();
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Everything up to the end of standard output.
    std::string ReadAll(std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        std::string all;
        for (std::string line; !(line = ReadLine(timeout)).empty() || !m_buffer.empty();)
            all += line + "\n";
        return all;
    }

    void Signal(int number) { ::kill(m_pid, number); }
    // SIGKILL, and waits for the end.
    void Kill()
    {
        Signal(SIGKILL);
        Wait();
    }
    int Pid() const { return m_pid; }

    // True while the process has not ended.
    bool Running()
    {
        int status = 0;
        if (m_reaped || ::waitpid(m_pid, &status, WNOHANG) == 0)
            return !m_reaped;
        m_reaped = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }

    // The exit status, or -1 when it has not ended within the timeout (it
    // is then killed); 128 + n for a death by signal n.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Running())
        {
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            ::usleep(10000);
        }
        return m_status;
    }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    bool m_reaped = false;
    int m_status = -1;
    std::string m_buffer;
};

}  // namespace simtest

#endif
