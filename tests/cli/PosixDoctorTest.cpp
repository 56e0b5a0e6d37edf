// talvexctl doctor on this machine: a port this user may not open, a port
// another process holds, a proxy setting that leads nowhere and one that
// works; and its checks of ModemManager, brltty, the udev rule and the
// latency timer against a system tree made up for the test.

#include "cli/Console.h"
#include "doctor/DoctorChecks.h"
#include "cli/Talvexctl.h"
#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "serial/PortAccess.h"
#include "serial/PosixPortHost.h"
#include "usbserial/LibftdiBackend.h"
#include "update/LoopbackServer.h"
#include "update/ScopedEnvironment.h"
#include "support/Pty.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace talvex;
using namespace talvex::cli;
using talvex::test::Pty;
using talvex::test::RefusingPort;
using talvex::test::ScopedEnvironment;

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct ChildRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, count);
    std::fclose(file);
    return text;
}

/// `run` in a child process, as `user` when given (root can open any port,
/// so the test becomes someone else): its status and what it wrote.
ChildRun inChild(std::optional<uid_t> user, const std::function<int(std::ostream&, std::ostream&)>& run)
{
    // Opened before the child drops its rights, so it may still write them.
    std::FILE* const files[2] = {std::tmpfile(), std::tmpfile()};
    const pid_t child = ::fork();
    if (child == 0) {
        const passwd* entry = user ? ::getpwuid(*user) : nullptr;
        if (user && (::setgroups(0, nullptr) != 0 || ::setgid(entry ? entry->pw_gid : *user) != 0 ||
                     ::setuid(*user) != 0))
            ::_exit(99);
        std::ostringstream out;
        std::ostringstream err;
        const int status = run(out, err);
        std::fputs(out.str().c_str(), files[0]);
        std::fputs(err.str().c_str(), files[1]);
        std::fflush(nullptr);
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(files[0]), readAll(files[1])};
}

/// talvexctl on the host's own ports, in a child process.
ChildRun runInChild(const std::vector<std::string>& arguments, std::optional<uid_t> user = std::nullopt)
{
    return inChild(user, [&](std::ostream& out, std::ostream& err) {
        PosixPortHost host;
        VirtualClock clock;
        ApplicationContext context(host, clock);
        Console console(out, err);
        return runTalvexctl(arguments, context, console);
    });
}

/// A process other than this one that holds the port open and locked, as
/// a second copy of the tool would: `sleep`, with the locked port inherited.
class PortHolder {
public:
    /// Unlocked, as a terminal program like screen holds it.
    explicit PortHolder(const std::string& port, bool locked = true)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0 || (locked && ::flock(fd, LOCK_EX | LOCK_NB) != 0))
                ::_exit(98);
            ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(97);
        }
        // Ready once the program runs: it took the lock before.
        const std::string comm = "/proc/" + std::to_string(m_pid) + "/comm";
        for (int tries = 0; tries < 400; ++tries) {
            std::ifstream in(comm);
            std::string name;
            if (std::getline(in, name) && name == "sleep")
                return;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~PortHolder()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

std::string refusingServer(const RefusingPort& port)
{
    return "http://127.0.0.1:" + std::to_string(port.port()) + "/version.html";
}

/// Groups the user database adds beyond /etc/group, as LDAP, SSSD or
/// userdb would: getgrouplist(3) answers them, the group file lacks them.
std::vector<gid_t> g_databaseGroups;

} // namespace

extern "C" int getgrouplist(const char* user, gid_t group, gid_t* groups, int* count)
{
    using Real = int (*)(const char*, gid_t, gid_t*, int*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getgrouplist"));
    const int room = *count;
    const int found = real(user, group, groups, count);
    const int wanted = *count + static_cast<int>(g_databaseGroups.size());
    if (found < 0 || wanted > room) {
        *count = wanted;
        return -1;
    }
    std::copy(g_databaseGroups.begin(), g_databaseGroups.end(), groups + *count);
    *count = wanted;
    return wanted;
}

TEST(PosixDoctor, GroupFromTheUserDatabaseCountsAsMembership)
{
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr)
        GTEST_SKIP() << "needs root and the group dialout";
    Pty pty;
    ASSERT_EQ(::chown(pty.slave().c_str(), kNobody, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty.slave().c_str(), 0660), 0);
    const std::string joinedLater = "root joined the group dialout after logging in";
    const auto before = diagnosePermission(pty.slave());
    ASSERT_TRUE(before);
    if (contains(before->reason, joinedLater))
        GTEST_SKIP() << "root is in dialout by /etc/group already";

    g_databaseGroups = {dialout->gr_gid};
    const auto diagnosis = diagnosePermission(pty.slave());
    g_databaseGroups.clear();
    ASSERT_TRUE(diagnosis);
    EXPECT_TRUE(contains(diagnosis->reason, joinedLater)) << diagnosis->reason;
    EXPECT_TRUE(contains(diagnosis->fixes.front(), "log out and in again (or run: newgrp dialout)"))
        << diagnosis->fixes.front();
    for (const std::string& fix : diagnosis->fixes)
        EXPECT_FALSE(contains(fix, "usermod")) << fix;
}

TEST(PosixDoctor, PortThisUserCannotOpenGetsItsReasonAndFix)
{
    Pty pty;
    RefusingPort server;
    const bool root = ::geteuid() == 0;
    std::optional<uid_t> user;
    std::string reason;
    std::string fix;
    if (root) {
        // Root opens anything: the port goes to a group that nobody is not in.
        const group* dialout = ::getgrnam("dialout");
        if (dialout == nullptr)
            GTEST_SKIP() << "no group dialout on this machine";
        ASSERT_EQ(::chown(pty.slave().c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(pty.slave().c_str(), 0660), 0);
        user = kNobody;
        const passwd* nobody = ::getpwuid(kNobody);
        const std::string name = nobody ? nobody->pw_name : std::to_string(kNobody);
        reason = "belongs to root:dialout with mode 0660, and " + name + " is not in the group dialout";
        fix = "sudo usermod -aG dialout " + name + ", then log out and in again";
    } else {
        ASSERT_EQ(::chmod(pty.slave().c_str(), 0), 0);
        reason = "with mode 0000, which does not let its owner";
        fix = "chmod u+rw " + pty.slave();
    }

    const ChildRun doctor = runInChild({"doctor", "--port", pty.slave(), "--server", refusingServer(server)}, user);
    ASSERT_NE(doctor.status, 99) << "could not become user nobody";
    EXPECT_EQ(doctor.status, 1) << doctor.out << doctor.err;
    const std::string line = "problem  port " + pty.slave() + ": this user cannot open it (permission denied): " +
                             pty.slave() + " ";
    EXPECT_TRUE(contains(doctor.out, line)) << doctor.out;
    EXPECT_TRUE(contains(doctor.out, reason)) << doctor.out;
    EXPECT_TRUE(contains(doctor.out, "\n         fix: " + fix + "\n")) << doctor.out;
    EXPECT_TRUE(contains(doctor.out, "problems need fixing.")) << doctor.out;

    // The settings window's connect says the same after the system's reason.
    const ChildRun info = runInChild({"info", "--port", pty.slave()}, user);
    EXPECT_EQ(info.status, 4) << info.err;
    EXPECT_TRUE(contains(info.err, "ERROR: " + pty.slave() + " Port open error!\n" + pty.slave() +
                                       ": Permission denied\nFix: " + fix + "\n"))
        << info.err;
}

TEST(PosixDoctor, PortHeldByAnotherProcessNamesIt)
{
    Pty pty;
    RefusingPort server;
    PortHolder holder(pty.slave());
    ASSERT_GT(holder.pid(), 0) << "the holding process did not start";
    const std::string pid = std::to_string(holder.pid());

    const ChildRun doctor = runInChild({"doctor", "--port", pty.slave(), "--server", refusingServer(server), "--json"});
    EXPECT_EQ(doctor.status, 1) << doctor.err;
    EXPECT_TRUE(contains(doctor.out, "\"subject\":\"" + pty.slave() + "\",\"level\":\"problem\",\"text\":\"in use: "
                                     "sleep (pid " + pid + ") holds it\""))
        << doctor.out;
    EXPECT_TRUE(contains(doctor.out, "\"fixes\":[\"close sleep (pid " + pid + "), or end it: kill " + pid + "\"]"))
        << doctor.out;
}

TEST(PosixDoctor, HoldersThisUserCannotSeeAreCountedNotPassed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hold the port as another user";
    Pty pty;
    RefusingPort server;
    ASSERT_EQ(::chmod(pty.slave().c_str(), 0666), 0);
    PortHolder rootsScreen(pty.slave(), false);
    ASSERT_GT(rootsScreen.pid(), 0) << "the holding process did not start";

    const ChildRun doctor
        = runInChild({"doctor", "--port", pty.slave(), "--server", refusingServer(server)}, kNobody);
    ASSERT_NE(doctor.status, 99) << "could not become user nobody";
    const std::string start = "note     port " + pty.slave() + ": this user can open it; not a USB device; ";
    const auto at = doctor.out.find(start);
    ASSERT_NE(at, std::string::npos) << doctor.out;
    // Root's holder is among the processes nobody may not look into.
    const int unchecked = std::atoi(doctor.out.c_str() + at + start.size());
    EXPECT_GE(unchecked, 1) << doctor.out;
    EXPECT_TRUE(contains(doctor.out, start + std::to_string(unchecked) + " processes of other users could not be "
                                     "checked for holding it (only root sees their open files)\n"))
        << doctor.out;
    EXPECT_TRUE(contains(doctor.out, "fix: check them as root: sudo talvexctl doctor --port " + pty.slave()))
        << doctor.out;
}

TEST(PosixDoctor, ProxySettingThatLeadsNowhereIsNamedWithItsFix)
{
    Pty pty;
    ScopedEnvironment environment;
    environment.withoutProxies();
    RefusingPort deadProxy;
    const std::string proxy = "http://127.0.0.1:" + std::to_string(deadProxy.port());
    environment.set("http_proxy", proxy);

    const ChildRun doctor
        = runInChild({"doctor", "--port", pty.slave(), "--server", "http://versions.talvex.invalid/version.html"});
    EXPECT_EQ(doctor.status, 1);
    EXPECT_TRUE(contains(doctor.out, "problem  version-server http://versions.talvex.invalid/version.html: "
                                     "no connection to the proxy; asked through the proxy " + proxy +
                                     " (from http_proxy)"))
        << doctor.out;
    EXPECT_TRUE(contains(doctor.out, "fix: check the proxy setting http_proxy=" + proxy + ", or unset it"))
        << doctor.out;
}

TEST(PosixDoctor, OpenErrorLinesAddTheFixOnlyForPermission)
{
    Pty pty;
    EXPECT_EQ(portOpenErrorLines(pty.slave(), {Status::Busy, pty.slave() + ": Device or resource busy"}),
              (std::vector<std::string>{"ERROR: " + pty.slave() + " Port open error!",
                                        pty.slave() + ": Device or resource busy"}));
    const auto denied = portOpenErrorLines(pty.slave(), {Status::Denied, pty.slave() + ": Permission denied"});
    ASSERT_EQ(denied.size(), 3u);
    EXPECT_EQ(denied[2].rfind("Fix: ", 0), 0u) << denied[2];
    const auto missing = portOpenErrorLines("/dev/ttyUSB99", {Status::Denied, "/dev/ttyUSB99: Permission denied"});
    ASSERT_EQ(missing.size(), 3u);
    EXPECT_EQ(missing[2], "Fix: talvexctl doctor --port /dev/ttyUSB99 tells why and what to do");
}

namespace {

/// A made-up system: /proc, sysfs and udev's rule directories under one
/// temporary directory, with the programmer on ttyUSB7.
class FakeSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("talvex-doctor-" + std::to_string(::getpid()));
        fs::remove_all(root);
        paths.proc = (root / "proc").string();
        paths.sysClassTty = (root / "sys/class/tty").string();
        paths.udevRuleDirectories = {(root / "etc/udev/rules.d").string(), (root / "lib/udev/rules.d").string()};
        for (const std::string& directory : paths.udevRuleDirectories)
            fs::create_directories(directory);

        const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
        const fs::path port = usb / "1-2:1.0/ttyUSB7";
        fs::create_directories(port);
        write(usb / "idVendor", "0403\n");
        write(usb / "idProduct", "6010\n");
        write(usb / "busnum", "1\n");
        write(usb / "devnum", "5\n");
        paths.devBusUsb = (root / "dev/bus/usb").string();
        write(port / "latency_timer", "16\n");
        fs::create_directories(root / "sys/class/tty/ttyUSB7");
        fs::create_directory_symlink(port, root / "sys/class/tty/ttyUSB7/device");
    }
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& file, const std::string& text)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

    void process(int pid, const std::string& name, const std::string& arguments)
    {
        write(root / "proc" / std::to_string(pid) / "comm", name + "\n");
        write(root / "proc" / std::to_string(pid) / "cmdline", arguments);
    }

    void installPackagedRule()
    {
        // The rule the package ships, as it is in the tree.
        const fs::path packaged = fs::path(__FILE__).parent_path().parent_path().parent_path() / "packaging" /
                                  kUdevRuleName;
        ASSERT_TRUE(fs::exists(packaged)) << packaged;
        fs::copy_file(packaged, fs::path(paths.udevRuleDirectories.back()) / kUdevRuleName);
    }

    fs::path root;
    SystemPaths paths;
};

} // namespace

TEST_F(FakeSystem, ModemManagerWithoutTheRuleIsAProblemAndThePackagedRuleSettlesIt)
{
    process(812, "ModemManager", std::string("/usr/sbin/ModemManager\0", 23));
    Finding finding = checkModemManager(runningProcesses(paths), paths);
    EXPECT_EQ(finding.level, Finding::Level::Problem);
    EXPECT_TRUE(contains(finding.text, "runs (ModemManager (pid 812)) and no udev rule tells it to leave 0403:6010"))
        << finding.text;
    ASSERT_EQ(finding.fixes.size(), 2u);
    EXPECT_TRUE(contains(finding.fixes[1], "sudo systemctl disable --now ModemManager"));
    EXPECT_EQ(checkUdevRule(paths).level, Finding::Level::Problem);

    installPackagedRule();
    finding = checkModemManager(runningProcesses(paths), paths);
    EXPECT_EQ(finding.level, Finding::Level::Ok) << finding.text;
    const Finding rule = checkUdevRule(paths);
    EXPECT_EQ(rule.level, Finding::Level::Ok) << rule.text;
    EXPECT_EQ(rule.subject, (fs::path(paths.udevRuleDirectories.back()) / kUdevRuleName).string());
}

TEST_F(FakeSystem, RuleInEtcMasksThePackagedOne)
{
    installPackagedRule();
    fs::create_symlink("/dev/null", fs::path(paths.udevRuleDirectories.front()) / kUdevRuleName);
    const Finding finding = checkUdevRule(paths);
    EXPECT_EQ(finding.level, Finding::Level::Problem);
    EXPECT_TRUE(contains(finding.text, "masked")) << finding.text;

    // An override without the access tag is in force, and incomplete.
    fs::remove(fs::path(paths.udevRuleDirectories.front()) / kUdevRuleName);
    write(fs::path(paths.udevRuleDirectories.front()) / kUdevRuleName,
          "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6010\", "
          "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
    const UdevRuleState state = findUdevRule(paths);
    EXPECT_TRUE(state.installed());
    EXPECT_FALSE(state.grantsAccess);
    EXPECT_TRUE(contains(checkUdevRule(paths).text, "lacks TAG+=\"uaccess\""));
}

TEST_F(FakeSystem, BrlttyRuleNamingTheChipIsAProblem)
{
    write(fs::path(paths.udevRuleDirectories.back()) / "85-brltty.rules",
          "# Device: 0403:6010\n"
          "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at\", GOTO=\"brltty_usb_run\"\n");
    EXPECT_EQ(checkBrltty(runningProcesses(paths), paths).level, Finding::Level::Ok)
        << "a comment and another product do not count";

    write(fs::path(paths.udevRuleDirectories.back()) / "85-brltty.rules",
          "ENV{PRODUCT}==\"403/6010/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"ht\", GOTO=\"brltty_usb_run\"\n");
    process(640, "brltty", std::string("/sbin/brltty\0", 13));
    const Finding finding = checkBrltty(runningProcesses(paths), paths);
    EXPECT_EQ(finding.level, Finding::Level::Problem);
    EXPECT_TRUE(contains(finding.text, "runs (brltty (pid 640)); its rule ")) << finding.text;
    EXPECT_TRUE(contains(finding.text, "85-brltty.rules names 0403:6010")) << finding.text;
    ASSERT_EQ(finding.fixes.size(), 1u);
    EXPECT_TRUE(contains(finding.fixes[0], "sudo apt-get remove brltty"));
}

TEST_F(FakeSystem, HoldersAndLatencyOfTheProgrammersPort)
{
    process(300, "minicom", std::string("minicom\0", 8));
    fs::create_directories(root / "proc/300/fd");
    fs::create_symlink("/dev/ttyUSB7", root / "proc/300/fd/3");
    fs::create_symlink("/dev/null", root / "proc/300/fd/4");
    process(301, "bash", std::string("bash\0", 5));
    fs::create_directories(root / "proc/301/fd");
    fs::create_symlink("/dev/ttyUSB8", root / "proc/301/fd/0");

    const Holders holders = findHolders({"/dev/ttyUSB7"}, paths);
    ASSERT_EQ(holders.byNode.size(), 1u);
    const auto& found = holders.byNode.at("/dev/ttyUSB7");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pid, 300);
    EXPECT_EQ(found[0].name, "minicom");

    const auto identity = usbIdentityOf("/dev/ttyUSB7", paths);
    ASSERT_TRUE(identity);
    EXPECT_TRUE(isProgrammerChip(identity->vendorId, identity->productId));
    const std::vector<Finding> latency = checkLatencyTimers({"/dev/ttyUSB7", "/dev/ttyUSB9"}, paths);
    ASSERT_EQ(latency.size(), 1u) << "ttyUSB9 is not in this system";
    EXPECT_EQ(latency[0].level, Finding::Level::Note);
    EXPECT_TRUE(contains(latency[0].text, "16 ms")) << latency[0].text;
    ASSERT_EQ(latency[0].fixes.size(), 1u);
    EXPECT_TRUE(contains(latency[0].fixes[0], "echo 1 | sudo tee ")) << latency[0].fixes[0];
    EXPECT_TRUE(contains(latency[0].fixes[0], "1-2:1.0/ttyUSB7/latency_timer")) << latency[0].fixes[0];

    write(fs::path(identity->deviceDirectory) / "latency_timer", "1\n");
    EXPECT_EQ(checkLatencyTimers({"/dev/ttyUSB7"}, paths)[0].level, Finding::Level::Ok);
}

namespace {

/// What `check` finds as user nobody (root reads and writes anything):
/// each finding's level, subject, text and fixes.
std::string asOtherUser(const std::function<std::vector<Finding>()>& check)
{
    const std::optional<uid_t> user = ::geteuid() == 0 ? std::optional<uid_t>(kNobody) : std::nullopt;
    return inChild(user, [&](std::ostream& out, std::ostream&) {
        for (const Finding& finding : check()) {
            out << levelName(finding.level) << " " << finding.subject << ": " << finding.text << "\n";
            for (const std::string& fix : finding.fixes)
                out << "fix: " << fix << "\n";
        }
        return 0;
    }).out;
}

} // namespace

TEST_F(FakeSystem, UsbDeviceNodeThisUserMayNotWriteIsAProblemWithItsFixes)
{
    const fs::path node = root / "dev/bus/usb/001/005";
    write(node, "");
    fs::permissions(node, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto check = [this] { return checkUsbDeviceNodes({"/dev/ttyUSB7", "/dev/ttyUSB7"}, paths); };

    std::string found = asOtherUser(check);
    EXPECT_EQ(found.rfind("problem " + node.string() + ": this user may not read and write it (", 0), 0u) << found;
    EXPECT_TRUE(contains(found, " 0444): libusb cannot open the programmer's chip")) << found;
    EXPECT_TRUE(contains(found, "\nfix: install the udev rule: ")) << found;
    EXPECT_TRUE(contains(found, "\nfix: over ssh, where uaccess gives nothing: sudo setfacl -m u:")) << found;
    EXPECT_TRUE(contains(found, ":rw " + node.string() + " (until the programmer is plugged in again)\n")) << found;
    EXPECT_TRUE(contains(found, "GROUP=\"dialout\", MODE=\"0660\"")) << found;

    installPackagedRule();
    found = asOtherUser(check);
    EXPECT_TRUE(contains(found, "\nfix: at the machine's screen: plug the programmer in again")) << found;

    fs::permissions(node, fs::perms::all);
    EXPECT_EQ(asOtherUser(check), "ok " + node.string() + ": this user may read and write it: the USB serial "
                                  "number can be read and written\n");
}

#ifdef TALVEX_OLD_LIBFTDI
TEST_F(FakeSystem, LibftdiOlderThanOneFiveIsNamedWithItsFix)
{
    paths.libftdi = TALVEX_OLD_LIBFTDI;
    PosixPortHost host;
    VirtualClock clock;
    ApplicationContext context(host, clock);
    context.setFtdiLibraryLoaders({[] { return FtdiLoadResult {nullptr, "no D2XX here", {}}; },
                                   [] { return loadLibftdi(TALVEX_OLD_LIBFTDI); }});
    const Finding finding = checkFtdiLibraries(context, paths);
    EXPECT_EQ(finding.level, Finding::Level::Problem);
    EXPECT_TRUE(contains(finding.text, std::string("libftdi 1.4 (") + TALVEX_OLD_LIBFTDI + ") is too old; the USB "
                                       "serial number needs libftdi 1.5 or later: the USB serial number cannot"))
        << finding.text;
    ASSERT_EQ(finding.fixes.size(), 1u);
    EXPECT_TRUE(contains(finding.fixes[0], "install libftdi 1.5 or later")) << finding.fixes[0];
}
#endif
