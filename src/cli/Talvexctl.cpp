#include "cli/Talvexctl.h"

#include "cli/CardCommands.h"
#include "cli/CommandRun.h"
#include "sim/SimulatedBench.h"
#include "common/RealClock.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "serial/NativePortHost.h"
#include "update/ServerAddress.h"

#include <memory>

namespace talvex::cli {
namespace {

// Help, version or an argument error: answered without any port.
std::optional<int> answerWithoutDevice(const ParsedArguments& parsed, Console& console)
{
    if (!parsed.ok()) {
        console.error(parsed.error);
        console.problem("Try \"talvexctl --help\".");
        return exitStatus(ExitCode::BadArguments);
    }
    const Invocation& call = parsed.invocation;
    if (call.help) {
        console.resultText(helpText(call));
        return exitStatus(ExitCode::Ok);
    }
    if (call.version && !call.command) {
        console.result("talvexctl (TalvexUSB-Setting Manager) " + toolVersionText(kToolVersion));
        return exitStatus(ExitCode::Ok);
    }
    return std::nullopt;
}

// Checked last, so that every result written counts.
int withOutputChecked(Console& console, int status)
{
    if (!console.outputLost())
        return status;
    console.error("cannot write to standard output");
    return status == exitStatus(ExitCode::Ok) ? exitStatus(ExitCode::Failure) : status;
}

// What the host says of a port it opened (Windows: an FTDI port left at
// the driver's latency) is one of the run's log lines, for this run only.
class HostLogLines {
public:
    HostLogLines(PortHost& host, Console& console)
        : m_host(host)
    {
        m_host.setLogSink([&console](const std::string& line) { console.log(line); });
    }
    ~HostLogLines() { m_host.setLogSink({}); }
    HostLogLines(const HostLogLines&) = delete;
    HostLogLines& operator=(const HostLogLines&) = delete;

private:
    PortHost& m_host;
};

} // namespace

ExitCode runInvocation(const Invocation& call, ApplicationContext& context, Console& console)
{
    console.setQuiet(call.quiet);
    const HostLogLines hostLog(context.host(), console);
    if (call.answerDelayMs)
        context.detection().answerDelayMs = *call.answerDelayMs;
    CommandRun run {call, context, console};
    if (!call.command->run)
        return run.fail(ExitCode::BadArguments, "not available");
    const ExitCode code = call.command->run(run);
    // Settings go back as they were found before the port is left.
    context.ports().a.close();
    return code;
}

int runTalvexctl(const std::vector<std::string>& arguments, ApplicationContext& context, Console& console)
{
    const ParsedArguments parsed = parseArguments(arguments);
    if (const auto answered = answerWithoutDevice(parsed, console))
        return withOutputChecked(console, *answered);
    return withOutputChecked(console, exitStatus(runInvocation(parsed.invocation, context, console)));
}

int talvexctlMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool interactive,
                  bool escapeCodes)
{
    Console console(out, err, interactive);
    console.setEscapeCodes(escapeCodes);
    const ParsedArguments parsed = parseArguments(arguments);
    if (const auto answered = answerWithoutDevice(parsed, console))
        return withOutputChecked(console, *answered);
    const Invocation& call = parsed.invocation;

    RealClock clock;
    // The version server the user set, for check-version and doctor.
    const VersionServer server
        = configuredVersionServer({}, [&](const std::string& problem) { console.error(problem); });
    if (!call.simulate) {
        const std::unique_ptr<PortHost> host = makeNativePortHost();
        ApplicationContext context(*host, clock);
        context.setVersionServer(server);
        return withOutputChecked(console, exitStatus(runInvocation(call, context, console)));
    }

    SimulatedBench bench(clock, call.simulatedProgrammers);
    std::string error;
    if (call.simState && !bench.load(*call.simState, error)) {
        console.error(error);
        return exitStatus(ExitCode::BadArguments);
    }
    if (call.simCards && !bench.setCards(*call.simCards, error)) {
        console.error(error);
        return exitStatus(ExitCode::BadArguments);
    }
    ExitCode code = ExitCode::Ok;
    {
        ApplicationContext context(bench.host(), clock);
        context.setVersionServer(server);
        context.setUsbSerialLibrary([library = bench.usbLibrary()] { return D2xxLoadResult {library, {}}; });
        code = runInvocation(call, context, console);
    }
    if (call.simState && !bench.save(*call.simState, error)) {
        console.error(error);
        if (code == ExitCode::Ok)
            code = ExitCode::Failure;
    }
    return withOutputChecked(console, exitStatus(code));
}

} // namespace talvex::cli
