#include "cli/CommandRun.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "update/ServerAddress.h"
#include "update/VersionCheck.h"
#include "update/VersionNotice.h"

namespace talvex::cli {
namespace {

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
    case VersionReply::NotOk: return "answered HTTP status " + std::to_string(checked.httpStatus) + ", not 200";
    case VersionReply::Failed: return "could not be asked: " + checked.error;
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
    const Step<VersionServer> chosen = versionServerForCommand(run);
    if (!chosen)
        return chosen.error();
    const VersionServer& server = *chosen;

    std::optional<int> programmerFirmware;
    if (run.call.has("--port")) {
        const Step<Connection> connection = connectForCommand(run);
        if (!connection)
            return connection.error();
        if (connection->identity.mode == ProgrammerMode::Application)
            programmerFirmware = context.detection().versionNumber;
    }

    LatestVersions& latest = context.latestVersions();
    const VersionCheckResult checked = checkVersionDetailed(
        latest, [&](const std::string& message) { run.console.log(message); }, server);
    std::string where = serverUrl(server);
    if (!checked.proxy.empty())
        where += " (through the proxy " + checked.proxy + ")";
    if (checked.status != VersionCheckStatus::Checked) {
        const std::string why = checked.error.empty() ? "" : ": " + checked.error;
        return run.fail(ExitCode::Failure, "could not reach the version server " + where + why);
    }
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
