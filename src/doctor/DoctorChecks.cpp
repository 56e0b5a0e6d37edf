#include "doctor/DoctorChecks.h"

#include "context/ApplicationContext.h"
#include "protocol/DetectionResults.h"
#include "protocol/VersionText.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvex::cli {
namespace {

namespace fs = std::filesystem;

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}
const std::string kVendorText = hex4(kFtdiVendorId);
const std::string kProductText = hex4(kProgrammerProductId);
const std::string kChip = kVendorText + ":" + kProductText;

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trimmed(std::string text)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string canonicalNode(const std::string& port)
{
    std::error_code error;
    const fs::path node = fs::canonical(port, error);
    return error ? port : node.string();
}

std::string named(const std::vector<ProcessInfo>& processes)
{
    std::string text;
    for (const ProcessInfo& process : processes)
        text += (text.empty() ? "" : ", ") + process.name + " (pid " + std::to_string(process.pid) + ")";
    return text;
}

std::vector<ProcessInfo> called(const std::vector<ProcessInfo>& processes, const std::string& name)
{
    std::vector<ProcessInfo> found;
    std::copy_if(processes.begin(), processes.end(), std::back_inserter(found),
                 [&](const ProcessInfo& process) { return process.name == name; });
    return found;
}

/// The rule files udev reads: one per file name, the first directory's.
std::vector<fs::path> ruleFiles(const SystemPaths& paths)
{
    std::map<std::string, fs::path> byName;
    for (const std::string& directory : paths.udevRuleDirectories) {
        std::error_code error;
        for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.size() > 6 && name.compare(name.size() - 6, 6, ".rules") == 0)
                byName.emplace(name, it->path());
        }
    }
    std::vector<fs::path> files;
    for (const auto& [name, path] : byName)
        files.push_back(path);
    return files;
}

/// Rule lines (not comments) that name the chip, in either of udev's spellings.
std::vector<std::pair<fs::path, std::string>> chipRuleLines(const SystemPaths& paths)
{
    const std::string product = "403/" + kProductText + "/";
    std::vector<std::pair<fs::path, std::string>> lines;
    for (const fs::path& file : ruleFiles(paths)) {
        std::istringstream text(readAll(file));
        for (std::string line; std::getline(text, line);) {
            const std::string rule = trimmed(line);
            if (rule.empty() || rule.front() == '#')
                continue;
            const std::string lower = lowered(rule);
            const bool ids = lower.find("\"" + kVendorText + "\"") != std::string::npos
                             && lower.find("\"" + kProductText + "\"") != std::string::npos;
            if (ids || lower.find(product) != std::string::npos)
                lines.emplace_back(file, rule);
        }
    }
    return lines;
}

std::string installRuleStep()
{
    return std::string("install the udev rule: sudo apt-get install talvex-setting-manager, or from the source "
                       "tree: sudo install -m 644 packaging/") +
           kUdevRuleName + " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger";
}

const char* const kModemManagerOff = "without a modem on this machine: sudo systemctl disable --now ModemManager";
const char* const kBrlttyOff = "without a braille display on this machine: sudo apt-get remove brltty (or keep "
                               "it from starting for USB devices: sudo systemctl mask brltty-udev.service)";

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

#ifndef _WIN32
const char* const kUsbGroupRuleStep
    = "or for every login of the group dialout: echo 'SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", "
      "ATTR{idVendor}==\"0403\", ATTR{idProduct}==\"6010\", GROUP=\"dialout\", MODE=\"0660\"' | sudo tee "
      "/etc/udev/rules.d/61-talvex-usb-dialout.rules && sudo udevadm control --reload-rules && sudo udevadm "
      "trigger";

std::string currentUser()
{
    if (const passwd* entry = ::getpwuid(::geteuid()))
        return entry->pw_name;
    return std::to_string(::geteuid());
}

// " (root:root 0664)", or nothing when the node cannot be looked at.
std::string ownerText(const std::string& node)
{
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0)
        return "";
    const passwd* owner = ::getpwuid(info.st_uid);
    const group* group = ::getgrgid(info.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return " (" + (owner ? std::string(owner->pw_name) : std::to_string(info.st_uid)) + ":" +
           (group ? std::string(group->gr_name) : std::to_string(info.st_gid)) + " " + mode + ")";
}
#endif

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

Finding checkUdevRule(const SystemPaths& paths)
{
#ifdef _WIN32
    (void)paths;
    return {"udev-rule", kUdevRuleName, Finding::Level::Ok, "not needed on Windows", {}};
#else
    const UdevRuleState rule = findUdevRule(paths);
    Finding finding {"udev-rule", rule.path.empty() ? std::string(kUdevRuleName) : rule.path,
                     Finding::Level::Problem, "", {}};
    if (rule.path.empty()) {
        finding.text = std::string("not installed: the programmer's ports (") + kChip +
                       ") belong to the group dialout only, and ModemManager may probe them";
        finding.fixes.push_back(installRuleStep());
    } else if (rule.masked) {
        finding.text = "masked by " + rule.path + " (empty, or a link to /dev/null)";
        finding.fixes.push_back("sudo rm " + rule.path + " && sudo udevadm control --reload-rules");
    } else if (!rule.complete()) {
        finding.text = std::string("installed but incomplete: it lacks ") +
                       (!rule.grantsAccess ? "TAG+=\"uaccess\"" : "ENV{ID_MM_DEVICE_IGNORE}=\"1\"") + " for " + kChip;
        finding.fixes.push_back("reinstall it: sudo apt-get install --reinstall talvex-setting-manager");
    } else {
        finding.level = Finding::Level::Ok;
        finding.text = "installed: the user at the machine's screen may open the programmer's ports, and "
                       "ModemManager leaves them alone";
    }
    return finding;
#endif
}

Finding checkModemManager(const std::vector<ProcessInfo>& processes, const SystemPaths& paths)
{
    const std::vector<ProcessInfo> running = called(processes, "ModemManager");
    Finding finding {"modemmanager", "", Finding::Level::Ok, "not running", {}};
    if (running.empty())
        return finding;
    for (const auto& [file, line] : chipRuleLines(paths)) {
        if (line.find("ID_MM_DEVICE_IGNORE") != std::string::npos) {
            finding.text = "runs (" + named(running) + "); " + file.string() + " tells it to leave " + kChip +
                           " alone";
            return finding;
        }
    }
    const std::string& arguments = running.front().commandLine;
    const auto policy = arguments.find("--filter-policy=");
    if (policy != std::string::npos) {
        const std::string value = lowered(arguments.substr(policy + 16, arguments.find(' ', policy) - policy - 16));
        if (value == "strict" || value == "paranoid") {
            finding.level = Finding::Level::Note;
            finding.text = "runs (" + named(running) + ") with the filter policy " + value +
                           ", which leaves plain serial adapters alone; no udev rule tells it so for " + kChip;
            finding.fixes.push_back(installRuleStep());
            return finding;
        }
    }
    finding.level = Finding::Level::Problem;
    finding.text = "runs (" + named(running) + ") and no udev rule tells it to leave " + kChip +
                   " alone: it may send AT commands to the programmer's port just when the tool opens it";
    finding.fixes.push_back(installRuleStep());
    finding.fixes.emplace_back(kModemManagerOff);
    return finding;
}

Finding checkBrltty(const std::vector<ProcessInfo>& processes, const SystemPaths& paths)
{
    const std::vector<ProcessInfo> running = called(processes, "brltty");
    std::vector<std::string> claims;
    for (const auto& [file, line] : chipRuleLines(paths)) {
        const bool brltty = lowered(file.filename().string()).find("brltty") != std::string::npos
                            || lowered(line).find("brltty") != std::string::npos;
        if (brltty && std::find(claims.begin(), claims.end(), file.string()) == claims.end())
            claims.push_back(file.string());
    }
    const std::string runs = running.empty() ? "not running" : "runs (" + named(running) + ")";
    if (claims.empty())
        return {"brltty", "", Finding::Level::Ok, runs + "; no rule of it names " + kChip, {}};
    std::string files;
    for (const std::string& file : claims)
        files += (files.empty() ? "" : ", ") + file;
    return {"brltty",
            "",
            Finding::Level::Problem,
            runs + "; its rule " + files + " names " + kChip +
                ", so it takes the programmer's ports as a braille display's when the programmer is plugged in",
            {kBrlttyOff}};
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

std::vector<Finding> checkUsbDeviceNodes(const std::vector<std::string>& ports, const SystemPaths& paths)
{
    std::vector<Finding> findings;
#ifdef _WIN32
    (void)ports;
    (void)paths;
#else
    std::set<std::string> seen;
    for (const std::string& port : ports) {
        const auto identity = usbIdentityOf(port, paths);
        if (!identity || !isProgrammerChip(identity->vendorId, identity->productId) || identity->usbNode.empty()
            || !seen.insert(identity->usbNode).second)
            continue;
        const std::string& node = identity->usbNode;
        Finding finding {"usb-device", node, Finding::Level::Ok,
                         "this user may read and write it: the USB serial number can be read and written", {}};
        // Effective ids and access lists (uaccess) count, as for libusb's open.
        if (::faccessat(AT_FDCWD, node.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
            const int error = errno;
            if (error != EACCES && error != EPERM && error != EROFS) {
                finding.level = Finding::Level::Note;
                finding.text = std::string("not checked: ") + std::strerror(error);
                findings.push_back(std::move(finding));
                continue;
            }
            finding.level = Finding::Level::Problem;
            finding.text = "this user may not read and write it" + ownerText(node) +
                           ": libusb cannot open the programmer's chip, so the USB serial number can be neither "
                           "read nor written";
            const UdevRuleState rule = findUdevRule(paths);
            if (!rule.installed() || !rule.grantsAccess)
                finding.fixes.push_back(installRuleStep() + "; then plug the programmer in again");
            else
                finding.fixes.push_back("at the machine's screen: plug the programmer in again so that the udev "
                                        "rule " + rule.path + " applies");
            finding.fixes.push_back("over ssh, where uaccess gives nothing: sudo setfacl -m u:" + currentUser() +
                                    ":rw " + node + " (until the programmer is plugged in again)");
            finding.fixes.emplace_back(kUsbGroupRuleStep);
        }
        findings.push_back(std::move(finding));
    }
#endif
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
