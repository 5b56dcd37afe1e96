// kelm-quote-sim as a child process, for the session tests: it logs in demo
// with the password secret and serves au2406 and ag2406; its log (standard
// error) tells what reached it. Kill ends it with SIGKILL, as a crash
// would; Start again runs a new one, on the same port if asked. POSIX only.
#ifndef KELM_TESTS_SESSION_CSIMULATORPROCESS_H
#define KELM_TESTS_SESSION_CSIMULATORPROCESS_H

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "sim/SimProcess.h"

class CSimulatorProcess
{
public:
    CSimulatorProcess() = default;
    ~CSimulatorProcess()
    {
        Kill();
        std::remove(m_log.c_str());
    }
    CSimulatorProcess(const CSimulatorProcess&) = delete;
    CSimulatorProcess& operator=(const CSimulatorProcess&) = delete;

    // Listens on 127.0.0.1:port (0: a free port). The port of a simulator
    // just killed may take a moment to be free: a few attempts.
    void Start(uint16_t port = 0)
    {
        Kill();
        for (int attempt = 0; attempt < 50 && !m_process; ++attempt)
        {
            m_process = std::make_unique<simtest::Process>(
                KELM_QUOTE_SIM_PATH,
                std::vector<std::string>{"--listen", "127.0.0.1:" + std::to_string(port), "--user", "demo:secret",
                                         "--instruments", "au2406,ag2406", "--rate", "50"},
                false, m_log);
            const std::string address = m_process->ReadLine();
            if (address.empty())
            {
                m_process.reset();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            m_port = static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)));
        }
        if (!m_process)
            throw std::runtime_error("kelm-quote-sim did not start on port " + std::to_string(port));
    }

    void Kill()
    {
        if (m_process)
            m_process->Kill();
        m_process.reset();
    }

    uint16_t Port() const { return m_port; }
    std::string Address() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

    // Requests the simulator took since the last Start, from its log.
    int Logins() { return Lines(": 'demo' logged in"); }
    int Subscriptions(const std::string& code)
    {
        return Lines(": subscribed " + code) + Lines(": subscription of '" + code + "' refused");
    }

private:
    int Lines(const std::string& part) const
    {
        std::ifstream log(m_log);
        int count = 0;
        for (std::string line; std::getline(log, line);)
            if (line.size() >= part.size() && line.compare(line.size() - part.size(), part.size(), part) == 0)
                ++count;
        return count;
    }

    const std::string m_log = simtest::TempPath("session_simulator.log");
    std::unique_ptr<simtest::Process> m_process;
    uint16_t m_port = 0;
};

#endif
