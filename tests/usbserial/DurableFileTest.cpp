#include "usbserial/DurableFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace talvex;
namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

// Backups of one chip made at once (two windows, a window and talvexctl)
// land under one name: none may be lost or replaced.
TEST(DurableFile, AKeptNameIsNeverReplacedEvenByWritersAtOnce)
{
    const fs::path folder = fs::temp_directory_path() / ("talvex-durable-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const fs::path name = folder / "eeprom.bin";

    ASSERT_TRUE(writeFileDurably(name, "first", Existing::Keep));
    EXPECT_EQ(writeFileDurably(name, "second", Existing::Keep).status(), Status::Busy);
    EXPECT_EQ(contentOf(name), "first");
    ASSERT_TRUE(writeFileDurably(name, "chosen", Existing::Replace));
    EXPECT_EQ(contentOf(name), "chosen");

    // Each writer takes the next free name, as the backup does.
    constexpr int kWriters = 8;
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.emplace_back([&folder, writer] {
            for (int copy = 1; copy <= kWriters; ++copy) {
                const fs::path path = folder / ("same-" + std::to_string(copy) + ".bin");
                if (writeFileDurably(path, "writer " + std::to_string(writer), Existing::Keep).status() != Status::Busy)
                    return;
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    std::set<std::string> kept;
    for (int copy = 1; copy <= kWriters; ++copy)
        kept.insert(contentOf(folder / ("same-" + std::to_string(copy) + ".bin")));
    EXPECT_EQ(kept.size(), static_cast<std::size_t>(kWriters)) << "a backup was lost";
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
    fs::remove_all(folder);
}
