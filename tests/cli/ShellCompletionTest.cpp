// talvexctl's shell completions, made from the command table: every
// command and option is offered by each, and bash's really completes.

#include "cli/CommandTable.h"
#include "cli/ShellCompletion.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "support/ProgramRun.h"

#include <fstream>
#endif

using namespace talvex::cli;

TEST(ShellCompletion, EveryCommandAndOptionIsInEachShellsScript)
{
    for (const char* shell : {"bash", "zsh", "fish"}) {
        const std::string script = shellCompletion(shell);
        ASSERT_FALSE(script.empty()) << shell;
        for (const CommandEntry& command : commandTable()) {
            const std::string name(command.name);
            const std::string offered = std::string(shell) == "fish" ? "-a " + name.substr(name.rfind(' ') + 1)
                                                                     : "\"" + name + "\")";
            EXPECT_NE(script.find(offered), std::string::npos) << shell << ": " << name;
            for (const OptionEntry& option : command.options) {
                const std::string written = std::string(shell) == "fish" ? "-l " + std::string(option.name.substr(2))
                                                                         : std::string(option.name);
                EXPECT_NE(script.find(written), std::string::npos) << shell << ": " << name << " " << option.name;
            }
        }
        for (const OptionEntry& option : globalOptions())
            EXPECT_NE(script.find(std::string(option.name.substr(2))), std::string::npos) << shell << option.name;
    }
    EXPECT_TRUE(shellCompletion("tcsh").empty());
}

#if !defined(_WIN32)
TEST(ShellCompletion, BashCompletesCommandsGroupWordsAndEachCommandsOptions)
{
    talvex::test::TempFolder folder;
    const std::string path = folder.path("talvexctl");
    std::ofstream(path) << shellCompletion("bash");
    const auto complete = [&](const std::string& line) {
        const std::string script = "source '" + path + "'; COMP_WORDS=(" + line + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));"
            " [[ $1 == blank ]] && COMP_WORDS+=('') && COMP_CWORD=${#COMP_WORDS[@]}-1; _talvexctl;"
            " printf '%s\\n' \"${COMPREPLY[@]}\"";
        return talvex::test::runProgram("/bin/bash", {"-c", script, "bash"}).out;
    };
    EXPECT_EQ(complete("talvexctl u"), "upload\nusb-serial\n");
    EXPECT_EQ(complete("talvexctl usb-serial w"), "write\n");
    EXPECT_EQ(complete("talvexctl --sim-state state.txt usb-serial r"), "restore\n") << "a value is no command";
    EXPECT_EQ(complete("talvexctl usb-serial write --lo"), "--location\n");
    EXPECT_EQ(complete("talvexctl card atr --card"), "--card-list\n");
    EXPECT_EQ(complete("talvexctl upload --s"), "--serialize\n--simulate\n--sim-state\n--sim-cards\n");
}
#endif
