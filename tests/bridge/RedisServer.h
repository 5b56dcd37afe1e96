// A real redis-server for a test or a benchmark: its own scratch directory and a free
// loopback port, chosen below the kernel's ephemeral range so that no
// port-0 socket of a test running in parallel can take it while the server
// is down between a kill and a restart.
#ifndef KELM_TESTS_BRIDGE_REDISSERVER_H
#define KELM_TESTS_BRIDGE_REDISSERVER_H

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/SimProcess.h"
#include "tools/redis/CRedisConnection.h"

namespace bridgetest
{

class RedisServer
{
public:
    struct Settings
    {
        bool Persistent = false;  // append-only file, synced on every write
        std::string Password;     // requirepass
        uint16_t ReplicaOf = 0;   // the port of a primary on 127.0.0.1 to follow
    };

    RedisServer() : RedisServer(Settings{}) {}
    explicit RedisServer(const Settings& settings) : m_settings(settings)
    {
        std::string dir = (std::filesystem::temp_directory_path() / "kelm-redis-XXXXXX").string();
        if (::mkdtemp(dir.data()) != nullptr)
            m_dir = dir;
        std::mt19937 random(std::random_device{}());
        std::uniform_int_distribution<int> ports(20000, 32000);
        for (int attempt = 0; attempt < 20 && !m_process; ++attempt)
        {
            m_port = static_cast<uint16_t>(ports(random));
            Launch();
        }
    }

    ~RedisServer()
    {
        Kill();
        if (!m_dir.empty())
            std::filesystem::remove_all(m_dir);
    }
    RedisServer(const RedisServer&) = delete;
    RedisServer& operator=(const RedisServer&) = delete;

    bool Running() const { return m_process != nullptr; }
    uint16_t Port() const { return m_port; }
    std::string Url() const { return "redis://127.0.0.1:" + std::to_string(m_port); }

    // SIGKILL: whatever was not yet in the append-only file is gone.
    void Kill()
    {
        if (!m_process)
            return;
        m_process->Signal(SIGKILL);
        m_process->Wait();
        m_process.reset();
    }

    // SIGSTOP and SIGCONT: a server that stops answering, with what clients
    // send meanwhile waiting in its sockets, and takes it up again.
    void Pause() { m_process->Signal(SIGSTOP); }
    void Resume() { m_process->Signal(SIGCONT); }

    // The same port and directory again; false when the port was taken.
    bool Restart()
    {
        Kill();
        return Launch();
    }

    std::unique_ptr<CRedisConnection> Connect() const
    {
        RedisAddress address;
        address.Host = "127.0.0.1";
        address.Port = m_port;
        address.Password = m_settings.Password;
        return std::make_unique<CRedisConnection>(address, std::chrono::seconds(10));
    }

private:
    // Starts the server and waits until its log says it accepts
    // connections (its own log: a server of another test on the same port
    // would answer a probe).
    bool Launch()
    {
        const std::string log = m_dir + "/redis-" + std::to_string(++m_launches) + ".log";
        std::vector<std::string> args = {"--port", std::to_string(m_port), "--bind", "127.0.0.1", "--dir", m_dir,
                                         "--save", "", "--logfile", log, "--daemonize", "no", "--protected-mode", "no",
                                         "--appendonly", m_settings.Persistent ? "yes" : "no", "--appendfsync",
                                         "always"};
        if (!m_settings.Password.empty())
            args.insert(args.end(), {"--requirepass", m_settings.Password});
        if (m_settings.ReplicaOf != 0)
            args.insert(args.end(), {"--replicaof", "127.0.0.1", std::to_string(m_settings.ReplicaOf)});
        auto process = std::make_unique<simtest::Process>(KELM_REDIS_SERVER_PATH, args);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline)
        {
            std::ifstream in(log);
            const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (text.find("Ready to accept connections") != std::string::npos)
            {
                m_process = std::move(process);
                return true;
            }
            if (process->Wait(std::chrono::milliseconds(20)) != -1)
                return false;  // it ended: the port was taken
        }
        return false;
    }

    Settings m_settings;
    std::string m_dir;
    uint16_t m_port = 0;
    int m_launches = 0;
    std::unique_ptr<simtest::Process> m_process;
};

}  // namespace bridgetest

#endif
