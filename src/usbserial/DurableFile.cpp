#include "usbserial/DurableFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
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

Result<void> moveInto(const std::filesystem::path& from, const std::filesystem::path& to, Existing existing)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (existing == Existing::Replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), flags)) {
        const DWORD code = GetLastError();
        const bool taken = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
        return fail(taken ? Status::Busy : Status::Other, systemReason());
    }
    return {};
}

unsigned long processId()
{
    return GetCurrentProcessId();
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

// Without replacing: a hard link fails on a name that is taken, where a
// rename would silently replace it.
int moveKeeping(const std::filesystem::path& from, const std::filesystem::path& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
}

Result<void> moveInto(const std::filesystem::path& from, const std::filesystem::path& to, Existing existing)
{
    const int moved = existing == Existing::Replace ? (::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno)
                                                    : moveKeeping(from, to);
    if (moved != 0)
        return fail(moved == EEXIST ? Status::Busy : Status::Other, std::strerror(moved));
    // The rename itself lives in the folder.
    const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(Status::Other, std::strerror(errno));
    const bool synced = ::fsync(fd) == 0;
    const std::string reason = synced ? std::string() : std::strerror(errno);
    ::close(fd);
    if (!synced)
        return fail(Status::Other, reason);
    return {};
}

unsigned long processId()
{
    return static_cast<unsigned long>(::getpid());
}
#endif

} // namespace

Result<void> writeFileDurably(const std::filesystem::path& path, const std::string& bytes, Existing existing)
{
    std::error_code code;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), code);
        if (code)
            return fail(Status::Other, code.message());
    }
    static std::atomic<unsigned> writes{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".partial-%lu-%u", processId(), writes++);
    std::filesystem::path temporary = path;
    temporary += suffix;
    Result<void> result;
    if (const std::string reason = writeAndFlush(temporary, bytes); !reason.empty())
        result = fail(Status::Other, reason);
    else
        result = moveInto(temporary, path, existing);
    if (!result)
        std::filesystem::remove(temporary, code);
    return result;
}

} // namespace talvex
