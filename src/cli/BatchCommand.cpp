#include "batch/BatchReport.h"
#include "batch/BatchUpload.h"
#include "batch/ProgrammerSearch.h"
#include "cli/BatchProgress.h"
#include "cli/BatchTable.h"
#include "cli/CommandRun.h"
#include "context/ApplicationContext.h"
#include "firmware/FirmwareImage.h"
#include "protocol/VersionText.h"

#include <algorithm>
#include <filesystem>

namespace talvex::cli {
namespace {

// "auto": every port of the host; otherwise exactly the ports named.
bool portsFrom(const std::string& text, std::vector<std::string>& ports, std::string& error)
{
    if (text == "auto")
        return true;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        const std::string name = text.substr(at, end - at);
        if (name.empty()) {
            error = "--ports takes auto or port names separated by commas (COM3,COM5 or /dev/ttyUSB0,/dev/ttyUSB2), "
                    "not \"" + text + "\"";
            return false;
        }
        if (std::find(ports.begin(), ports.end(), name) == ports.end())
            ports.push_back(name);
        at = end + 1;
    }
    return true;
}

// Said before any port is opened, so a batch never ends without its record.
std::optional<std::string> reportProblem(const std::string& path)
{
    if (!reportFormatFor(path))
        return path + ": the report is a .csv or a .jsonl file";
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code failure;
    if (std::filesystem::is_directory(file, failure))
        return path + ": is a folder, not a report file";
    const std::filesystem::path folder = file.parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, failure))
        return path + ": the folder " + folder.string() + " does not exist";
    return std::nullopt;
}

void printFound(Console& console, const std::vector<FoundProgrammer>& found)
{
    console.log("Found " + std::to_string(found.size()) + (found.size() == 1 ? " programmer:" : " programmers:"));
    for (std::size_t i = 0; i < found.size(); ++i)
        console.log("  " + foundLine(i, found[i]));
}

void printRecords(CommandRun& run, const ReportHeader& header, const std::vector<BatchRecord>& records)
{
    if (run.call.has("--json")) {
        // The report's own records, as one array.
        std::string text = "[";
        for (const BatchRecord& record : records) {
            if (text.size() > 1)
                text += ',';
            text += jsonLine(header, record);
        }
        text += ']';
        run.console.result(text);
        return;
    }
    for (const std::string& line : recordTable(records))
        run.console.result(line);
}

} // namespace

ExitCode runBatchUpload(CommandRun& run)
{
    const std::string& path = run.positional(0);
    // Before any port is opened.
    if (const Result<void> usable = vetFirmwareFile(path); !usable)
        return run.fail(ExitCode::BadArguments, usable.failure().detail);
    const std::optional<std::string> report = run.call.value("--report");
    if (report) {
        if (const auto problem = reportProblem(*report))
            return run.fail(ExitCode::BadArguments, *problem);
    }
    ApplicationContext& context = run.context;
    ProgrammerSearchRequest request;
    std::string error;
    if (!portsFrom(run.call.value("--ports").value_or("auto"), request.ports, error))
        return run.fail(ExitCode::BadArguments, error);
    request.answerDelayMs = context.detection().answerDelayMs;
    request.log = [&](const std::string& line) { run.console.log(line); };

    run.console.log(request.ports.empty() ? "Searching every port for programmers ..."
                                          : "Searching the ports given for programmers ...");
    const std::vector<FoundProgrammer> found = findProgrammers(context.host(), context.clock(), request);
    if (found.empty())
        return run.fail(ExitCode::NoProgrammer, "no programmer answered");
    printFound(run.console, found);

    BatchSettings settings;
    settings.firmwarePath = path;
    settings.serialize = run.call.has("--serialize");
    settings.answerDelayMs = context.detection().answerDelayMs;
    BatchEnvironment env {context.host(), context.clock(), [&context] { return context.loadUsbSerialLibrary(); }};
    BatchProgress progress(run.console, context.clock(), found);
    const BatchResult result = BatchUpload(env, settings, progress).run(found);
    if (result.error)
        return run.fail(ExitCode::Failure, *result.error + "; nothing was uploaded");

    const ReportHeader header {reportDateNow(), toolVersionText(kToolVersion), path, result.firmwareSha256};
    printRecords(run, header, result.records);
    const ExitCode verdict = result.allConfirmed() ? ExitCode::Ok : ExitCode::UploadFailed;
    if (report && !appendReport(*report, header, result.records, error)) {
        run.fail(ExitCode::Failure, error);
        return verdict == ExitCode::Ok ? ExitCode::Failure : verdict;
    }
    if (verdict != ExitCode::Ok) {
        const auto failed = std::count_if(result.records.begin(), result.records.end(),
                                          [](const BatchRecord& record) { return !record.confirmed; });
        return run.fail(verdict, std::to_string(failed) + " of " + std::to_string(result.records.size()) +
                                     " programmers failed; the table says why");
    }
    return ExitCode::Ok;
}

} // namespace talvex::cli
