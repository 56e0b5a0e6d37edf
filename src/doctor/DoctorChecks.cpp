#include "doctor/DoctorText.h"

#include "context/ApplicationContext.h"
#include "protocol/DetectionResults.h"
#include "protocol/VersionText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace talvex::cli {
namespace {

namespace fs = std::filesystem;

std::string canonicalNode(const std::string& port)
{
    std::error_code error;
    const fs::path node = fs::canonical(port, error);
    return error ? port : node.string();
}

std::vector<std::string> fixesForHolders(const std::vector<ProcessInfo>& holders)
{
    std::vector<std::string> fixes;
    for (const ProcessInfo& process : holders) {
        if (process.name == "ModemManager")
            fixes.push_back(installRuleStep() + "; or, " + kModemManagerOff);
        else if (process.name == "brltty")
            fixes.emplace_back(kBrlttyOff);
        else
            fixes.push_back("close " + process.name + " (pid " + std::to_string(process.pid) +
                            "), or end it: kill " + std::to_string(process.pid));
    }
    return fixes;
}

std::string uncheckedText(int unreadable)
{
    return std::to_string(unreadable) + (unreadable == 1 ? " process" : " processes") +
           " of other users could not be checked for holding it (only root sees their open files)";
}

std::string rootCheckStep(const std::string& port)
{
    return "check them as root: sudo talvexctl doctor --port " + port + " (or: sudo fuser -v " + port + ")";
}


std::string identityText(const std::optional<SysfsUsbDevice>& identity)
{
    if (!identity)
        return "not a USB device";
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", identity->vendorId, identity->productId);
    std::string text = std::string("USB ") + ids;
    if (isProgrammerChip(identity->vendorId, identity->productId))
        text += ", the programmer's FTDI chip";
    return text;
}

} // namespace

const char* levelName(Finding::Level level)
{
    switch (level) {
    case Finding::Level::Ok: return "ok";
    case Finding::Level::Note: return "note";
    case Finding::Level::Problem: return "problem";
    }
    return "problem";
}

std::vector<ProcessInfo> runningProcesses(const SystemPaths& paths)
{
    std::vector<ProcessInfo> processes;
    std::error_code error;
    for (fs::directory_iterator it(paths.proc, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        ProcessInfo process;
        process.pid = std::stoi(name);
        process.name = trimmed(readAll(it->path() / "comm"));
        std::string arguments = readAll(it->path() / "cmdline");
        std::replace(arguments.begin(), arguments.end(), '\0', ' ');
        process.commandLine = trimmed(arguments);
        processes.push_back(std::move(process));
    }
    std::sort(processes.begin(), processes.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return processes;
}

Holders findHolders(const std::vector<std::string>& nodes, const SystemPaths& paths)
{
    Holders holders;
    const std::set<std::string> wanted(nodes.begin(), nodes.end());
#ifndef _WIN32
    const int self = static_cast<int>(::getpid());
#else
    const int self = -1;
#endif
    for (const ProcessInfo& process : runningProcesses(paths)) {
        if (process.pid == self)
            continue;
        std::error_code error;
        fs::directory_iterator it(fs::path(paths.proc) / std::to_string(process.pid) / "fd", error);
        if (error) {
            // Another user's process: only root sees its descriptors.
            if (error == std::errc::permission_denied)
                ++holders.unreadable;
            continue;
        }
        std::set<std::string> seen;
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(it->path(), linkError).string();
            if (!linkError && wanted.count(target) != 0 && seen.insert(target).second)
                holders.byNode[target].push_back(process);
        }
    }
    return holders;
}

std::vector<Finding> checkPorts(ApplicationContext& context, const std::vector<std::string>& ports,
                                const SystemPaths& paths)
{
    std::vector<Finding> findings;
    if (ports.empty()) {
        findings.push_back({"port", "", Finding::Level::Note,
                            "no serial ports found: is the programmer plugged in?",
                            {"plug the programmer in; \"talvexctl ports\" lists what answers"}});
        return findings;
    }
    std::vector<std::string> nodes;
    for (const std::string& port : ports)
        nodes.push_back(canonicalNode(port));
    const Holders holders = findHolders(nodes, paths);

    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i];
        const auto found = holders.byNode.find(nodes[i]);
        const std::vector<ProcessInfo> others = found == holders.byNode.end() ? std::vector<ProcessInfo>{}
                                                                              : found->second;
        const std::optional<SysfsUsbDevice> identity = usbIdentityOf(port, paths);
        Finding finding {"port", port, Finding::Level::Ok, "", {}};
        OpenResult opened = context.host().open(port, kNormalMode);
        if (opened) {
            opened->reset(); // closed again at once, its settings restored
            finding.text = "this user can open it; " + identityText(identity);
            if (!others.empty()) {
                finding.level = Finding::Level::Problem;
                finding.text += "; but " + named(others) + " has it open too, and may talk to the device "
                                "while the tool does";
                finding.fixes = fixesForHolders(others);
            } else if (holders.unreadable > 0) {
                // A holder may hide among them: no "ok" for what was not looked at.
                finding.level = Finding::Level::Note;
                finding.text += "; " + uncheckedText(holders.unreadable);
                finding.fixes.push_back(rootCheckStep(port));
            }
            findings.push_back(std::move(finding));
            continue;
        }
        const Failure error = opened.failure();
        finding.level = Finding::Level::Problem;
        switch (error.status) {
        case Status::Denied:
            if (const auto diagnosis = diagnosePermission(port, paths)) {
                finding.text = "this user cannot open it (permission denied): " + diagnosis->reason;
                finding.fixes = diagnosis->fixes;
            } else {
                finding.text = "this user cannot open it: " + error.detail;
            }
            break;
        case Status::Busy:
            if (!others.empty()) {
                finding.text = "in use: " + named(others) + " holds it";
                finding.fixes = fixesForHolders(others);
            } else {
                finding.text = "in use by a process this user cannot see";
                finding.fixes.push_back("sudo fuser -v " + port + " names it; close it, or end it with kill");
            }
            break;
        case Status::Gone:
            finding.text = "not there (unplugged?): " + error.detail;
            finding.fixes.emplace_back("plug the programmer in; \"talvexctl ports\" lists what answers");
            break;
        default:
            finding.text = "does not open: " + error.detail;
            break;
        }
        if (identity)
            finding.text += "; " + identityText(identity);
        findings.push_back(std::move(finding));
    }
    return findings;
}

std::vector<Finding> checkLatencyTimers(const std::vector<std::string>& ports, const SystemPaths& paths)
{
    std::vector<Finding> findings;
    for (const std::string& port : ports) {
        const auto identity = usbIdentityOf(port, paths);
        if (!identity)
            continue;
        const fs::path file = fs::path(identity->deviceDirectory) / "latency_timer";
        std::error_code error;
        if (!fs::exists(file, error))
            continue;
        const std::string value = trimmed(readAll(file));
        Finding finding {"latency-timer", port, Finding::Level::Ok, value + " ms", {}};
        if (value != "1" && value != "0") {
            finding.level = Finding::Level::Note;
            finding.text = value + " ms: every answer of the device waits up to that long in the chip, which "
                                   "slows the firmware upload";
            finding.fixes.push_back("echo 1 | sudo tee " + file.string() +
                                    " (the udev rule sets it when the programmer is plugged in)");
        }
        findings.push_back(std::move(finding));
    }
    return findings;
}

std::vector<Finding> runDoctorChecks(ApplicationContext& context, std::vector<std::string> ports,
                                     const VersionServer& server, const SystemPaths& paths)
{
    if (ports.empty())
        ports = context.host().candidateNames();
    std::vector<Finding> findings = checkPorts(context, ports, paths);
#ifndef _WIN32
    findings.push_back(checkUdevRule(paths));
    const std::vector<ProcessInfo> processes = runningProcesses(paths);
    findings.push_back(checkModemManager(processes, paths));
    findings.push_back(checkBrltty(processes, paths));
    for (Finding& finding : checkLatencyTimers(ports, paths))
        findings.push_back(std::move(finding));
#endif
#ifndef _WIN32
    for (Finding& finding : checkUsbDeviceNodes(ports, paths))
        findings.push_back(std::move(finding));
#endif
    findings.push_back(checkFtdiLibraries(context, paths));
    findings.push_back(checkVersionServer(server));
    return findings;
}

} // namespace talvex::cli
