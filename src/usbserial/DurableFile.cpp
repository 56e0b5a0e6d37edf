#include "usbserial/DurableFile.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talvex {
namespace {

#if defined(_WIN32)
std::string systemReason()
{
    const DWORD code = GetLastError();
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string reason(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

std::string writeAndFlush(const std::filesystem::path& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return systemReason();
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        && written == bytes.size() && FlushFileBuffers(file);
    std::string reason = ok ? std::string() : systemReason();
    CloseHandle(file);
    return reason;
}

std::string replace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (!MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return systemReason();
    return {};
}
#else
std::string writeAndFlush(const std::filesystem::path& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::strerror(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string reason = std::strerror(n < 0 ? errno : EIO);
            ::close(fd);
            return reason;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        return reason;
    }
    if (::close(fd) != 0)
        return std::strerror(errno);
    return {};
}

std::string replace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return std::strerror(errno);
    // The rename itself lives in the folder.
    const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const bool synced = ::fsync(fd) == 0;
    const std::string reason = synced ? std::string() : std::strerror(errno);
    ::close(fd);
    return reason;
}
#endif

} // namespace

std::string writeFileDurably(const std::filesystem::path& path, const std::string& bytes)
{
    std::error_code code;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), code);
        if (code)
            return code.message();
    }
    std::filesystem::path temporary = path;
    temporary += ".partial";
    std::string reason = writeAndFlush(temporary, bytes);
    if (reason.empty())
        reason = replace(temporary, path);
    if (!reason.empty())
        std::filesystem::remove(temporary, code);
    return reason;
}

} // namespace talvex
