// talvexctl(1) made from the command table: every command in it, and no
// help text that roff would take for a request.

#include "cli/CommandTable.h"
#include "cli/ManPage.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace talvex::cli;

TEST(ManPage, TextIsShownLiterally)
{
    EXPECT_EQ(roffText("--port"), "\\-\\-port");
    EXPECT_EQ(roffText("C:\\firmware"), "C:\\efirmware");
    EXPECT_EQ(roffText(".bin files"), "\\&.bin files");
    EXPECT_EQ(roffText("'quoted'"), "\\&'quoted'");
    EXPECT_EQ(roffText("a.b 'c'"), "a.b 'c'");
}

TEST(ManPage, EveryCommandAndOptionIsInIt)
{
    const std::string page = manPage();
    for (const CommandEntry& command : commandTable()) {
        const std::string heading = ".SS " + roffText("talvexctl " + std::string(command.name)) + "\n";
        EXPECT_NE(page.find(heading), std::string::npos) << heading;
        EXPECT_NE(page.find(roffText(command.summary) + ".\n"), std::string::npos) << command.name;
        for (const OptionEntry& option : command.options)
            EXPECT_NE(page.find(".TP\n\\fB" + roffText(option.name) + "\\fR"), std::string::npos)
                << command.name << " " << option.name;
    }
    for (const OptionEntry& option : globalOptions())
        EXPECT_NE(page.find("\\fB" + roffText(option.name) + "\\fR"), std::string::npos) << option.name;
    // The choice lists are filled in, as in --help.
    EXPECT_EQ(page.find("{clocks}"), std::string::npos);
    for (const char* code : {"0", "1", "2", "3", "4", "5", "6", "7"})
        EXPECT_NE(page.find(".TP\n\\fB" + std::string(code) + "\\fR\n"), std::string::npos) << code;
}

TEST(ManPage, OnlyItsOwnRequestsStartALine)
{
    const std::set<std::string> requests {"TH", "SH", "SS", "TP", "IP", "PP", "RS", "RE", "B", "br"};
    std::istringstream lines(manPage());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        if (line.empty() || (line.front() != '.' && line.front() != '\''))
            continue;
        const std::string request = line.substr(1, line.find(' ') == std::string::npos ? std::string::npos
                                                                                         : line.find(' ') - 1);
        EXPECT_TRUE(requests.count(request)) << "line " << count << ": " << line;
    }
    EXPECT_GT(count, 200);
}
