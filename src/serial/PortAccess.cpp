#include "serial/PortAccess.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvex {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32

std::string installRuleFix()
{
    return std::string("install the udev rule: sudo apt-get install talvex-setting-manager, or from the source "
                       "tree: sudo install -m 644 packaging/") +
           kUdevRuleName + " /etc/udev/rules.d/ && sudo udevadm control --reload-rules; then plug the programmer "
                           "in again";
}

std::string userName(uid_t uid)
{
    if (const passwd* entry = ::getpwuid(uid))
        return entry->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    if (const group* entry = ::getgrgid(gid))
        return entry->gr_name;
    return std::to_string(gid);
}

bool inProcessGroups(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// The system's user database (files, LDAP, SSSD, userdb) puts the user in
// the group: a membership that a new login would bring.
bool memberOnNextLogin(const passwd* entry, gid_t gid)
{
    if (entry == nullptr)
        return false;
    if (entry->pw_gid == gid)
        return true;
    std::vector<gid_t> groups(32);
    for (int tries = 0; tries < 8; ++tries) {
        int count = static_cast<int>(groups.size());
        if (::getgrouplist(entry->pw_name, entry->pw_gid, groups.data(), &count) >= 0)
            return std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
        // Too small: count now says how many there are.
        groups.resize(std::max<std::size_t>(static_cast<std::size_t>(count), groups.size() * 2));
    }
    return false;
}

std::string octal(unsigned mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

#endif

} // namespace

UdevRuleState findUdevRule(const SystemPaths& paths)
{
    UdevRuleState state;
    for (const std::string& directory : paths.udevRuleDirectories) {
        const fs::path file = fs::path(directory) / kUdevRuleName;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(file, error);
        if (error || !fs::exists(status))
            continue;
        state.path = file.string();
        if (fs::is_symlink(status) && fs::read_symlink(file, error) == "/dev/null") {
            state.masked = true;
            return state;
        }
        std::ifstream in(file);
        bool anyRule = false;
        for (std::string line; std::getline(in, line);) {
            const auto start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#')
                continue;
            anyRule = true;
            char product[8];
            std::snprintf(product, sizeof product, "%04x", kProgrammerProductId);
            const bool forChip = line.find(product) != std::string::npos;
            if (forChip && line.find("TAG+=\"uaccess\"") != std::string::npos)
                state.grantsAccess = true;
            if (forChip && line.find("ENV{ID_MM_DEVICE_IGNORE}=\"1\"") != std::string::npos)
                state.quietsModemManager = true;
        }
        // An empty file in /etc hides the packaged one, as a link to /dev/null does.
        state.masked = !anyRule;
        return state;
    }
    return state;
}

std::optional<SysfsUsbDevice> usbIdentityOf(const std::string& portPath, const SystemPaths& paths)
{
    return usbDeviceOfTty(portPath, paths.sysClassTty, paths.devBusUsb);
}

std::optional<PermissionDiagnosis> diagnosePermission(const std::string& portPath, const SystemPaths& paths)
{
#ifdef _WIN32
    (void)portPath;
    (void)paths;
    return std::nullopt;
#else
    struct stat info {};
    if (::stat(portPath.c_str(), &info) != 0)
        return std::nullopt;
    PermissionDiagnosis diagnosis;
    const uid_t self = ::geteuid();
    diagnosis.user = userName(self);
    diagnosis.owner = userName(info.st_uid);
    diagnosis.group = groupName(info.st_gid);
    diagnosis.mode = info.st_mode & 07777;
    const unsigned mode = diagnosis.mode;
    const std::string& user = diagnosis.user;
    const std::string& groupText = diagnosis.group;

    const bool owner = info.st_uid == self;
    const bool ownerOpens = (mode & 0600) == 0600;
    const bool groupOpens = (mode & 0060) == 0060;
    const bool othersOpen = (mode & 0006) == 0006;
    const bool member = inProcessGroups(info.st_gid);
    const bool listed = memberOnNextLogin(::getpwuid(self), info.st_gid);

    diagnosis.reason = portPath + " belongs to " + diagnosis.owner + ":" + groupText + " with mode " + octal(mode);
    if (owner && !ownerOpens)
        diagnosis.reason += ", which does not let its owner " + user + " read and write it";
    else if (!owner && groupOpens && !member && !listed)
        diagnosis.reason += ", and " + user + " is not in the group " + groupText;
    else if (!owner && groupOpens && !member)
        diagnosis.reason += ", and " + user + " joined the group " + groupText + " after logging in";
    else if (!owner && !groupOpens && !othersOpen)
        diagnosis.reason += ", which lets no one but " + diagnosis.owner + " (and root) open it";
    else
        diagnosis.reason += ", yet an access list or a security module refuses " + user;

    if (const auto identity = usbIdentityOf(portPath, paths); identity && isProgrammerChip(identity->vendorId, identity->productId)) {
        const UdevRuleState rule = findUdevRule(paths);
        if (!rule.path.empty() && rule.masked)
            diagnosis.fixes.push_back("the udev rule " + rule.path + " is masked: sudo rm " + rule.path +
                                      "; then plug the programmer in again");
        else if (!rule.installed() || !rule.grantsAccess)
            diagnosis.fixes.push_back(installRuleFix());
        else
            diagnosis.fixes.push_back("plug the programmer in again so that the udev rule " + rule.path +
                                      " applies (it lets in the user at the machine's screen; over ssh, join the "
                                      "group instead)");
    }
    if (!owner && groupOpens && !member && groupText != "root") {
        if (listed)
            diagnosis.fixes.push_back("log out and in again (or run: newgrp " + groupText + "): the membership in " +
                                      groupText + " counts from the next login");
        else
            diagnosis.fixes.push_back("sudo usermod -aG " + groupText + " " + user + ", then log out and in again");
    }
    if (owner && !ownerOpens)
        diagnosis.fixes.push_back("chmod u+rw " + portPath);
    if (diagnosis.fixes.empty())
        diagnosis.fixes.push_back("sudo setfacl -m u:" + user + ":rw " + portPath +
                                  " (lasts until the device is plugged in again)");
    return diagnosis;
#endif
}

std::vector<std::string> portOpenErrorLines(const std::string& portName, const Failure& error)
{
    std::vector<std::string> lines {"ERROR: " + portName + " Port open error!", error.detail};
#ifndef _WIN32
    // On Windows a refused port is one in use, which no permission would change.
    if (error.status == Status::Denied) {
        const auto diagnosis = diagnosePermission(portName);
        if (diagnosis)
            lines.push_back("Fix: " + diagnosis->fixes.front());
        else
            lines.push_back("Fix: talvexctl doctor --port " + portName + " tells why and what to do");
    }
#endif
    return lines;
}

} // namespace talvex
