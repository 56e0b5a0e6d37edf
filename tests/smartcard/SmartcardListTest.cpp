// Naming a card from a list in the format of pcsc-tools' smartcard_list.txt,
// written by the test: exact lines, ".." and "." wildcards, regular
// expressions, ATR lines that share their descriptions.

#include "firmware/UploadBench.h"
#include "smartcard/SmartcardList.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace talvex;

namespace {

const char* const kList = "# smartcard list, test copy\n"
                          "#\n"
                          "3B 02 14 50\n"
                          "\tSchlumberger Multiflex 3k\n"
                          "\tsecond description line\n"
                          "\n"
                          "3B 8F 80 01 80 4F 0C A0 00 00 03 06 .. 00 01 00 00 00 00 ..\n"
                          "\tContactless storage card (wildcards)\n"
                          "3B 0. 14 51\n"
                          "\tOne digit left open\n"
                          "3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D4\n"
                          "3B F8 13 00 00 81 31 FE 45 59 75 62 69 6B 65 79 34 ..\n"
                          "\tTwo ATR lines, one description\n"
                          "3B 6[89] 00 00 .*\n"
                          "\tA regular expression\n"
                          "3B 02 14 50\n"
                          "\tA later entry for the same ATR\n"
                          "3B ((( broken\n"
                          "\tAn expression no one can read\n";

struct ListFile {
    test::TempFolder folder;
    std::string path = folder.path("smartcard_list.txt");

    ListFile()
    {
        std::ofstream file(path);
        file << kList;
    }
};

} // namespace

TEST(SmartcardList, NamesCardsByExactWildcardAndExpressionLines)
{
    ListFile list;
    struct Case {
        const char* atr;
        std::optional<std::string> name;
        std::size_t descriptions;
    };
    const Case cases[] = {
        {"3B 02 14 50", "Schlumberger Multiflex 3k", 2},
        {"3b 02 14 50", "Schlumberger Multiflex 3k", 2},
        {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A", "Contactless storage card (wildcards)", 1},
        {"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 02 00 00 00 00 6A", std::nullopt, 0},
        {"3B 07 14 51", "One digit left open", 1},
        {"3B 17 14 51", std::nullopt, 0},
        {"3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D4", "Two ATR lines, one description", 1},
        {"3B F8 13 00 00 81 31 FE 45 59 75 62 69 6B 65 79 34 00", "Two ATR lines, one description", 1},
        {"3B 69 00 00 11 22", "A regular expression", 1},
        {"3B 67 00 00 11 22", std::nullopt, 0},
        {"3B 02 14", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.atr);
        const auto card = lookUpCard(c.atr, list.path);
        ASSERT_EQ(card.has_value(), c.name.has_value());
        if (card) {
            EXPECT_EQ(card->name(), *c.name);
            EXPECT_EQ(card->descriptions.size(), c.descriptions);
        }
    }
}

TEST(SmartcardList, TheFirstListThatExistsIsAskedAndNoneIsNoName)
{
    ListFile list;
    const std::string missing = list.folder.path("no-such-list.txt");
    EXPECT_FALSE(lookUpCard("3B 02 14 50", missing).has_value());
    EXPECT_EQ(lookUpCard("3B 02 14 50", std::vector<std::string>{missing, list.path})->name(),
              "Schlumberger Multiflex 3k");
    EXPECT_FALSE(lookUpCard("3B 02 14 50", std::vector<std::string>{missing}).has_value());
    const auto paths = defaultSmartcardListPaths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.back(), "/usr/share/pcsc/smartcard_list.txt");
}
