#pragma once

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace talvex::test {

/// The simulator program serving the programmer on two pseudo-terminals,
/// from construction until destruction; its arguments as on its command line.
class SimulatorProcess {
public:
    explicit SimulatorProcess(std::vector<std::string> args)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), TALVEX_SIMULATOR_PATH);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            m_pid = -1;
            ::close(out[0]);
            return;
        }
        FILE* stream = ::fdopen(out[0], "r");
        char line[256];
        while (m_paths.size() < 2 && std::fgets(line, sizeof line, stream)) {
            std::string text(line);
            const auto space = text.find(' ');
            if (space != std::string::npos)
                m_paths.push_back(text.substr(space + 1, text.find_last_not_of("\r\n") - space));
        }
        m_stream = stream;
    }

    ~SimulatorProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stream)
            std::fclose(m_stream);
    }

    bool ready() const { return m_pid > 0 && m_paths.size() == 2; }
    const std::string& path(int reader) const { return m_paths.at(static_cast<std::size_t>(reader - 1)); }

private:
    pid_t m_pid = -1;
    FILE* m_stream = nullptr;
    std::vector<std::string> m_paths;
};

} // namespace talvex::test
