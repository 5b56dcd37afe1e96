// Runs a command on a pseudo-terminal of a private tmux server and reads the
// screen as a user would see it: for tests of the live table.
#ifndef KELM_TESTS_TOOLS_TERMINALSCREEN_H
#define KELM_TESTS_TOOLS_TERMINALSCREEN_H

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace simtest
{

// A word for the shell, quoted.
inline std::string Quoted(const std::string& word)
{
    std::string text = "'";
    for (char c : word)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

class TerminalScreen
{
public:
    // Starts argv on a width x height terminal. The pane stays after the
    // command ends, with its last screen and its exit status.
    TerminalScreen(const std::vector<std::string>& argv, int width, int height)
    {
        static int sessions = 0;
        m_socket = "kelm-test-" + std::to_string(::getpid()) + "-" + std::to_string(++sessions);
        m_config = ::testing::TempDir() + m_socket + ".conf";
        m_statusFile = ::testing::TempDir() + m_socket + ".status";
        // The server ends itself after ten minutes, should the test die
        // before it can end it.
        std::ofstream(m_config) << "set-option -g remain-on-exit on\nset-option -g history-limit 1000\n"
                                   "run-shell -b 'for i in $(seq 600); do sleep 1; tmux has-session || exit 0; done; "
                                   "tmux kill-server'\n";
        std::string command;
        for (const std::string& word : argv)
            command += (command.empty() ? "" : " ") + Quoted(word);
        // The shell keeps the status: tmux does not always learn it from a
        // command that ends at once.
        command += "; echo $? >" + Quoted(m_statusFile);
        m_started = Tmux("new-session -d -x " + std::to_string(width) + " -y " + std::to_string(height) + " " +
                         Quoted(command)) == 0;
    }

    ~TerminalScreen()
    {
        Tmux("kill-server");
        std::remove(m_config.c_str());
        std::remove(m_statusFile.c_str());
    }

    TerminalScreen(const TerminalScreen&) = delete;
    TerminalScreen& operator=(const TerminalScreen&) = delete;

    bool Started() const { return m_started; }

    // The visible lines, or with history also those scrolled off the top
    // (tmux scrolls the screen by a line to say that the command has ended);
    // a line wrapped by the terminal is joined again, so a line longer than
    // the width shows as one.
    std::vector<std::string> Lines(bool withHistory = false)
    {
        std::string screen;
        Tmux(withHistory ? "capture-pane -p -J -S -" : "capture-pane -p -J", &screen);
        std::vector<std::string> lines;
        std::istringstream in(screen);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
        return lines;
    }

    std::string Text(bool withHistory = false)
    {
        std::string text;
        for (const std::string& line : Lines(withHistory))
            text += line + "\n";
        return text;
    }

    // Waits until the screen shows every one of texts.
    bool WaitFor(const std::vector<std::string>& texts, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;)
        {
            const std::string text = Text();
            bool all = true;
            for (const std::string& wanted : texts)
                all = all && text.find(wanted) != std::string::npos;
            if (all)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    void Keys(const std::string& keys) { Tmux("send-keys " + keys); }

    // The exit status once the command has ended and its last output is on
    // the screen (the pane is dead), -1 when it has not within the timeout.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;)
        {
            std::string dead;
            Tmux("list-panes -F '#{pane_dead}'", &dead);
            int status = -1;
            if (dead.compare(0, 1, "1") == 0 && (std::ifstream(m_statusFile) >> status))
                return status;
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

private:
    int Tmux(const std::string& arguments, std::string* output = nullptr)
    {
        // A tmux the tests run inside must not be the one spoken to.
        const std::string command =
            "env -u TMUX tmux -L " + m_socket + " -f " + Quoted(m_config) + " " + arguments + " 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        char chunk[4096];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
            if (output)
                output->append(chunk, n);
        return ::pclose(pipe);
    }

    std::string m_socket;
    std::string m_config;
    std::string m_statusFile;
    bool m_started = false;
};

}  // namespace simtest

#endif
