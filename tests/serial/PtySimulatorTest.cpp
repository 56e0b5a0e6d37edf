// End to end over the real POSIX backend: the simulator program serves the
// programmer on two pseudo-terminals and the tool identifies it in real time.

#include "common/RealClock.h"
#include "protocol/Discovery.h"
#include "serial/NativePortHost.h"
#include "serial/PortSlot.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace talvex;

namespace {

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

// Short answer delay: the simulator answers within milliseconds, and the
// test should not take many seconds; the waits' shape is what matters.
constexpr int kAnswerDelayMs = 150;

} // namespace

TEST(PtySimulator, IdentifiesTheProgrammerThroughThePosixBackend)
{
    SimulatorProcess simulator({"--serial", "00112233445566778899AABBCCDDEEFF", "--version", "1.0A"});
    ASSERT_TRUE(simulator.ready());
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot port;

    ASSERT_TRUE(port.open(*host, simulator.path(2), kNormalMode)) << port.lastOpenError().message;
    const IdentifyResult identity = identify(port, clock, SpeedVariant::Normal, kAnswerDelayMs);
    EXPECT_EQ(identity.mode, ProgrammerMode::Application);
    EXPECT_EQ(identity.fields.serialNumber, "00112233445566778899AABBCCDDEEFF");
    EXPECT_EQ(identity.fields.readerDigit, '2');
    EXPECT_EQ(identity.versionText, "1.10");

    // The port is held exclusively while open.
    PortSlot second;
    EXPECT_FALSE(second.open(*host, simulator.path(2), kNormalMode));
    EXPECT_EQ(second.lastOpenError().kind, OpenFailure::Busy);
    port.close();

    DetectionResults results;
    results.answerDelayMs = kAnswerDelayMs;
    DiscoveryEnvironment env{*host, port, clock, {}};
    EXPECT_EQ(searchSelectedPort(env, results, {simulator.path(1), simulator.path(2)}, 0), "1");
    EXPECT_EQ(results.serialNumber, "00112233445566778899AABBCCDDEEFF");
    EXPECT_FALSE(port.isOpen());
}

TEST(PtySimulator, LowSpeedBuildAnswersOnlyAt9600Baud)
{
    SimulatorProcess simulator({"--variant", "low2"});
    ASSERT_TRUE(simulator.ready());
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot port;

    ASSERT_TRUE(port.open(*host, simulator.path(1), kNormalMode));
    EXPECT_EQ(identify(port, clock, SpeedVariant::Normal, kAnswerDelayMs).mode, ProgrammerMode::None);
    port.close();

    ASSERT_TRUE(port.open(*host, simulator.path(1), kLowSpeedMode));
    const IdentifyResult identity = identify(port, clock, SpeedVariant::LowSpeed2, kAnswerDelayMs);
    EXPECT_EQ(identity.mode, ProgrammerMode::Application);
    EXPECT_EQ(identity.fields.serialNumber, "0123456789ABCDEF0123456789ABCDEF");
}

TEST(PtySimulator, BootLoaderAnswersOnReaderOne)
{
    SimulatorProcess simulator({"--boot"});
    ASSERT_TRUE(simulator.ready());
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot port;
    ASSERT_TRUE(port.open(*host, simulator.path(1), kNormalMode));
    const IdentifyResult identity = identify(port, clock, SpeedVariant::Normal, kAnswerDelayMs);
    EXPECT_EQ(identity.mode, ProgrammerMode::BootLoader);
    EXPECT_EQ(identity.fields.serialNumber, "0123456789ABCDEF0123456789ABCDEF");
}
