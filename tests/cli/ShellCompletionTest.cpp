// talvexctl's shell completions, made from the command table: bash's
// really completes, and an unknown shell gets none.

#include "cli/ShellCompletion.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "support/ProgramRun.h"

#include <fstream>
#endif

using namespace talvex::cli;

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
    EXPECT_TRUE(shellCompletion("tcsh").empty());
}
#endif
