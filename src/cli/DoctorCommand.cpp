#include "cli/CommandRun.h"
#include "doctor/DoctorChecks.h"
#include "cli/Json.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "update/ServerAddress.h"

#include <algorithm>

namespace talvex::cli {
namespace {

// Wide enough for "problem" and a blank.
constexpr std::size_t kLevelColumn = 9;

std::string findingLines(const Finding& finding)
{
    std::string level = levelName(finding.level);
    level.resize(kLevelColumn, ' ');
    std::string text = level + finding.check;
    if (!finding.subject.empty())
        text += " " + finding.subject;
    text += ": " + finding.text + "\n";
    for (const std::string& fix : finding.fixes)
        text += std::string(kLevelColumn, ' ') + "fix: " + fix + "\n";
    return text;
}

Json findingJson(const Finding& finding)
{
    Json fixes = Json::array();
    for (const std::string& fix : finding.fixes)
        fixes.push_back(fix);
    return JsonObject()
        .add("check", finding.check)
        .add("subject", finding.subject)
        .add("level", levelName(finding.level))
        .add("text", finding.text)
        .add("fixes", fixes)
        .value();
}

} // namespace

ExitCode runDoctor(CommandRun& run)
{
    const Step<VersionServer> chosen = versionServerForCommand(run);
    if (!chosen)
        return chosen.error();
    const VersionServer& server = *chosen;
    std::vector<std::string> ports;
    if (const auto port = run.call.value("--port"))
        ports.push_back(*port);

    const std::vector<Finding> findings = runDoctorChecks(run.context, ports, server);
    const auto problems = std::count_if(findings.begin(), findings.end(), [](const Finding& finding) {
        return finding.level == Finding::Level::Problem;
    });
    if (run.call.has("--json")) {
        Json all = Json::array();
        for (const Finding& finding : findings)
            all.push_back(findingJson(finding));
        run.console.result(JsonObject()
                               .add("version", toolVersionText(kToolVersion))
                               .add("problems", static_cast<long long>(problems))
                               .add("findings", all)
                               .text());
    } else {
        for (const Finding& finding : findings)
            run.console.resultText(findingLines(finding));
        const std::string count = std::to_string(problems) + (problems == 1 ? " problem needs" : " problems need");
        run.console.result(problems == 0 ? std::string("Nothing needs fixing.") : count + " fixing.");
    }
    return problems == 0 ? ExitCode::Ok : ExitCode::Failure;
}

} // namespace talvex::cli
