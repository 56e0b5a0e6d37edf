// talvexctl(1) made from the command table: its text taken literally, and no
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
