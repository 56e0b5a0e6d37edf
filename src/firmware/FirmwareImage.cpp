#include "firmware/FirmwareImage.h"

#include "firmware/FirmwareProtocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace talvex {

std::filesystem::path pathFromUtf8(const std::string& text)
{
    // Read as UTF-8 on every platform (Windows would use the code page).
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

namespace {

// The extension as the user sees it: from the last point of the file
// name on, so ".bin" alone counts too.
std::string lowerCaseExtension(const std::string& path)
{
    const std::size_t nameStart = path.find_last_of("/\\");
    const std::size_t point = path.find_last_of('.');
    if (point == std::string::npos || (nameStart != std::string::npos && point < nameStart))
        return {};
    std::string extension = path.substr(point);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

FileCheck checkFirmwareFile(const std::string& path, std::string* reason)
{
    const auto unreadable = [reason](const std::string& why) {
        if (reason)
            *reason = why;
        return FileCheck::Unreadable;
    };
    if (path.empty())
        return FileCheck::NotFound;
    std::error_code error;
    const std::filesystem::path file = pathFromUtf8(path);
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
            return FileCheck::NotFound;
        return unreadable(error.message());
    }
    if (!std::filesystem::exists(status) || std::filesystem::is_directory(status))
        return FileCheck::NotFound;
    if (lowerCaseExtension(path) != ".bin")
        return FileCheck::NotBinFile;
    // A named pipe or a device would block the read, or never end it.
    if (!std::filesystem::is_regular_file(status))
        return unreadable("not a regular file");
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return unreadable(error.message());
    errno = 0;
    std::ifstream probe(file, std::ios::binary);
    if (!probe)
        return unreadable(errno != 0 ? std::generic_category().message(errno) : "cannot be opened");
    if (size == 0)
        return unreadable("the file is empty");
    return FileCheck::Ok;
}

std::optional<FirmwareImage> readFirmwareImage(const std::string& path)
{
    std::ifstream file(pathFromUtf8(path), std::ios::binary);
    if (!file)
        return std::nullopt;
    FirmwareImage image;
    image.bytes.assign(kImageSize, kErasedByte);
    // Never more than the flash takes: a huge file costs no memory.
    file.read(reinterpret_cast<char*>(image.bytes.data()), static_cast<std::streamsize>(kImageSize));
    const std::streamsize count = file.gcount();
    if (count <= 0)
        return std::nullopt;
    image.bytesRead = static_cast<std::size_t>(count);
    std::error_code error;
    image.fileSize = std::filesystem::file_size(pathFromUtf8(path), error);
    if (error || image.fileSize < image.bytesRead)
        image.fileSize = image.bytesRead;
    image.bytesFilled = kImageSize - image.bytesRead;
    // A failed read may leave garbage behind the count; erased flash it is.
    std::fill(image.bytes.begin() + count, image.bytes.end(), kErasedByte);
    return image;
}

Result<void> vetFirmwareFile(const std::string& path)
{
    std::string reason;
    switch (checkFirmwareFile(path, &reason)) {
    case FileCheck::NotFound: return fail(Status::Gone, path + ": file not found");
    case FileCheck::NotBinFile: return fail(Status::BadInput, path + ": not a .bin firmware file");
    case FileCheck::Unreadable: return fail(Status::Other, path + ": " + reason);
    case FileCheck::Ok: break;
    }
    return {};
}

} // namespace talvex
