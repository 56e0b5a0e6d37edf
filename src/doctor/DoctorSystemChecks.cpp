// The doctor's checks of the system around the ports: the udev rule,
// ModemManager, brltty and the USB device node libusb opens.
#include "doctor/DoctorText.h"

#include "protocol/VersionText.h"

#include <algorithm>
#include <map>
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
} // namespace

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
} // namespace talvex::cli
