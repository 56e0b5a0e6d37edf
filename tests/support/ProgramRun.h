#pragma once

// A program of the build spawned to its end (POSIX), its output kept.

#include "firmware/UploadBench.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace talvex::test {

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string readWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

/// Runs the program to its end with standard output and error in files,
/// or standard output on the device named.
inline ProgramResult runProgram(const std::string& program, std::vector<std::string> args,
                                const std::string& outDevice, char* const* envp)
{
    TempFolder folder;
    const std::string out = outDevice.empty() ? folder.path("out") : outDevice;
    const std::string err = folder.path("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ProgramResult result;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    if (outDevice.empty())
        result.out = readWholeFile(out);
    result.err = readWholeFile(err);
    return result;
}

/// Runs the program to its end with standard output and error in files,
/// its environment this process's with `environment` ("NAME=value")
/// taking the place of what it names.
inline ProgramResult runProgramWith(const std::string& program, std::vector<std::string> args,
                                    std::vector<std::string> environment, const std::string& outDevice = {})
{
    for (char** variable = environ; *variable; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(environment.begin(), environment.end(),
                                          [&](const std::string& own) { return own.rfind(name, 0) == 0; });
        if (!replaced)
            environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    return runProgram(program, std::move(args), outDevice, envp.data());
}

inline ProgramResult runProgram(const std::string& program, std::vector<std::string> args,
                                const std::string& outDevice = {})
{
    return runProgram(program, std::move(args), outDevice, environ);
}

/// talvexctl, the program the build made.
inline ProgramResult talvexctl(std::vector<std::string> args, const std::string& outDevice = {})
{
    return runProgram(TALVEXCTL_PATH, std::move(args), outDevice);
}

} // namespace talvex::test
