#pragma once

#include <string>

namespace talvex {

/// A shared library loaded at run time: dlopen/dlsym on POSIX,
/// LoadLibraryA/GetProcAddress on Windows (one source file per platform).
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    /// Loads by name (searched the system's way) or by path; false with
    /// the system's reason in error() when it cannot.
    bool load(const std::string& nameOrPath);
    bool loaded() const { return m_handle != nullptr; }

    /// The entry point's address, or null when the library has none.
    void* symbol(const char* name) const;

    /// The system's words for the last failure of load().
    const std::string& error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

/// The D2XX library's file name on this platform: "ftd2xx.dll" on
/// Windows, "libftd2xx.so" elsewhere.
std::string defaultD2xxLibraryName();

} // namespace talvex
