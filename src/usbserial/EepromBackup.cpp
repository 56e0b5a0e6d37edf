#include "usbserial/EepromBackup.h"

#include "usbserial/DurableFile.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

namespace talvex {
namespace {

// Large enough for any EEPROM image; a bigger file is refused unread.
constexpr std::uintmax_t kLargestReadFile = 4096;

std::filesystem::path environmentPath(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

} // namespace

std::string eepromFileBytes(const EepromContents& words)
{
    std::string bytes;
    for (const std::uint16_t word : words) {
        bytes += static_cast<char>(word & 0xFF);
        bytes += static_cast<char>(word >> 8);
    }
    return bytes;
}

std::optional<EepromContents> eepromFromFileBytes(const std::string& bytes)
{
    if (bytes.size() != 128 && bytes.size() != 256 && bytes.size() != 512)
        return std::nullopt;
    EepromContents words(bytes.size() / 2);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                              static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return words;
}

EepromContents eepromFromAnyBytes(const std::string& bytes)
{
    std::string image = bytes.substr(0, 2 * kEepromWords);
    image.resize(2 * kEepromWords, static_cast<char>(0xFF));
    return *eepromFromFileBytes(image);
}

std::filesystem::path defaultEepromBackupDirectory()
{
#if defined(_WIN32)
    if (const auto local = environmentPath("LOCALAPPDATA"); !local.empty())
        return local / "Talvex" / "eeprom-backups";
#else
    if (const auto data = environmentPath("XDG_DATA_HOME"); !data.empty())
        return data / "talvex" / "eeprom-backups";
    if (const auto home = environmentPath("HOME"); !home.empty())
        return home / ".local" / "share" / "talvex" / "eeprom-backups";
#endif
    return std::filesystem::temp_directory_path() / "talvex-eeprom-backups";
}

std::string eepromBackupFileName(const std::string& chipSerial, std::chrono::system_clock::time_point when)
{
    std::string name;
    for (const char c : chipSerial) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        name += plain ? c : '_';
    }
    if (name.empty())
        name = "blank";
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local {};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return "eeprom-" + name + "-" + stamp + ".bin";
}

EepromFileCheck readEepromFile(const std::filesystem::path& path)
{
    EepromFileCheck check;
    std::error_code code;
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    if (code) {
        check.error = code.message();
        return check;
    }
    check.size = static_cast<std::size_t>(size);
    if (size > kLargestReadFile)
        return check;
    std::ifstream file(path, std::ios::binary);
    check.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
        check.error = "cannot be read";
        return check;
    }
    check.size = check.bytes.size();
    check.words = eepromFromFileBytes(check.bytes);
    if (check.words) {
        const std::size_t checked = eepromCheckedWords(check.words->size());
        check.checksumHolds = ftdiChecksum(*check.words, checked) == (*check.words)[checked - 1];
    }
    return check;
}

Result<void> writeEepromFile(const std::filesystem::path& path, const EepromContents& words, Existing existing)
{
    return writeFileDurably(path, eepromFileBytes(words), existing);
}

} // namespace talvex
