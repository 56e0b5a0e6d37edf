#include "cli/CommandRun.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "update/VersionCheck.h"
#include "update/VersionNotice.h"

#include <charconv>

namespace talvex::cli {
namespace {

// "host", "host:port" or "[v6 address]:port".
std::optional<VersionServer> serverFrom(const std::string& text, VersionServer server)
{
    std::string host = text;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':')
                return std::nullopt;
            port = text.substr(close + 2);
        }
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos && text.find(':') == colon) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty())
        return std::nullopt;
    server.host = host;
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
            return std::nullopt;
        server.port = static_cast<std::uint16_t>(value);
    }
    return server;
}

// The reply's bytes may be anything: only printable ASCII is shown.
std::string shown(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c >= ' ' && c <= '~' ? c : '?';
    return quoted + "\"";
}

// Why a check that reached the server stored no version.
std::optional<std::string> replyProblem(const VersionCheckResult& checked, const VersionServer& server)
{
    switch (checked.reply) {
    case VersionReply::Named: return std::nullopt;
    case VersionReply::NotConnected:
    case VersionReply::NotSent: return std::string("did not take the request");
    case VersionReply::TimedOut:
        return "did not answer within " + std::to_string(server.receiveTimeout.count()) + " ms";
    case VersionReply::NoReply: return std::string("closed the connection without a reply");
    case VersionReply::NoVersion: break;
    case VersionReply::NotANumber:
        return "named the firmware version " + shown(checked.named.firmwareNotANumber.value_or("")) +
               ", which is not a number";
    }
    return std::string("named no version");
}

} // namespace

ExitCode runCheckVersion(CommandRun& run)
{
    ApplicationContext& context = run.context;
    VersionServer server = context.versionServer();
    if (const auto text = run.call.value("--server")) {
        const auto chosen = serverFrom(*text, server);
        if (!chosen)
            return run.fail(ExitCode::BadArguments, "--server takes HOST or HOST:PORT, not \"" + *text + "\"");
        server = *chosen;
    }

    std::optional<int> programmerFirmware;
    if (run.call.has("--port")) {
        ExitCode failure = ExitCode::Ok;
        const auto connection = connectForCommand(run, failure);
        if (!connection)
            return failure;
        if (connection->identity.mode == ProgrammerMode::Application)
            programmerFirmware = context.detection().versionNumber;
    }

    LatestVersions& latest = context.latestVersions();
    const VersionCheckResult checked = checkVersionDetailed(
        latest, [&](const std::string& message) { run.console.log(message); }, server);
    const std::string where = server.host + ":" + std::to_string(server.port);
    if (checked.status != VersionCheckStatus::Checked)
        return run.fail(ExitCode::Failure, "could not reach the version server " + where);
    if (const auto problem = replyProblem(checked, server))
        return run.fail(ExitCode::Failure, "the version server " + where + " " + *problem);

    if (const auto& software = checked.named.softwareNotANumber)
        run.console.error("check-version: the version server " + where + " named the software version " +
                          shown(*software) + ", which is not a number");
    run.console.result("firmware: " + firmwareRevisionText(latest.latestFwVersion));
    if (latest.latestSwVersion > 0)
        run.console.result("software: " + toolVersionText(latest.latestSwVersion));
    // Without a programmer its firmware is not compared.
    const VersionNotice notice = newVersionNotice(latest, programmerFirmware.value_or(latest.latestFwVersion),
                                                  kToolVersion, server.host);
    if (notice.show)
        run.console.resultText(notice.text);
    return ExitCode::Ok;
}

} // namespace talvex::cli
