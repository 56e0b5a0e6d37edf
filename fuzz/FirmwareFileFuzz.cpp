// The firmware file: the name check before an upload and the image read
// from the file. Input: a name length byte, that many name bytes (each
// mapped onto the characters of ".bin", ".BIN", "x", "_"), a flag byte
// (bit 0: the file sits in a folder named "v1.bin"; bit 1: the content is
// repeated up to about the flash size), then the content.

#include "FuzzCheck.h"

#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareProtocol.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace talvex;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNameCharacters = ".binBINx_";
constexpr std::size_t kLongestName = 12;

const fs::path& scratchFolder()
{
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / ("talvex-firmware-fuzz-" + std::to_string(getpid()));
        fs::create_directories(made / "v1.bin");
        return made;
    }();
    static const bool cleaned = [] {
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        return true;
    }();
    (void)cleaned;
    return folder;
}

bool endsWithBin(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".bin") == 0;
}

void checkImage(const std::string& path, std::string_view content)
{
    const std::optional<FirmwareImage> image = readFirmwareImage(path);
    FUZZ_CHECK(image.has_value() == !content.empty());
    if (!image)
        return;
    // Never more than the flash, however long the file.
    const std::size_t taken = std::min(content.size(), kImageSize);
    FUZZ_CHECK(image->bytes.size() == kImageSize);
    FUZZ_CHECK(image->bytesRead == taken);
    FUZZ_CHECK(image->bytesFilled == kImageSize - taken);
    // Compared whole (a memcmp): a byte-wise loop made this target slow.
    std::vector<std::uint8_t> expected(kImageSize, kErasedByte);
    std::copy_n(content.begin(), taken, expected.begin());
    FUZZ_CHECK(image->bytes == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t nameLength = std::min<std::size_t>(data[0] % (kLongestName + 1), size - 2);
    std::string name;
    for (std::size_t i = 0; i < nameLength; ++i)
        name += kNameCharacters[data[1 + i] % kNameCharacters.size()];
    const std::uint8_t flags = data[1 + nameLength];
    const std::string_view given(reinterpret_cast<const char*>(data + 2 + nameLength), size - 2 - nameLength);

    std::string content(given);
    if ((flags & 2) != 0 && !given.empty()) {
        const std::size_t wanted = kImageSize - 100 + given.size() % 200;
        while (content.size() < wanted)
            content.append(content, 0, std::min(content.size(), wanted - content.size()));
    }

    const fs::path folder = (flags & 1) != 0 ? scratchFolder() / "v1.bin" : scratchFolder();
    // A folder, even one named like a firmware file, is no firmware file.
    FUZZ_CHECK(checkFirmwareFile(folder.string()) == FileCheck::NotFound);
    FUZZ_CHECK(!readFirmwareImage(folder.string()).has_value());
    if (name.empty() || name == "." || name == "..")
        return 0;

    const std::string path = (folder / name).string();
    FUZZ_CHECK(checkFirmwareFile(path) == FileCheck::NotFound);
    FUZZ_CHECK(!readFirmwareImage(path).has_value());
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
        FUZZ_CHECK(file.good());
    }
    // Only the file's own name counts, ".bin" in any case, ".bin" alone too;
    // an empty ".bin" is refused before the device is touched.
    const FileCheck expected =
        !endsWithBin(name) ? FileCheck::NotBinFile : content.empty() ? FileCheck::Unreadable : FileCheck::Ok;
    FUZZ_CHECK(checkFirmwareFile(path) == expected);
    checkImage(path, content);
    fs::remove(path);
    return 0;
}
