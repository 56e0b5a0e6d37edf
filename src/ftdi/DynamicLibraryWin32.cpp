#include "ftdi/DynamicLibrary.h"

#include <windows.h>

namespace talvex {
namespace {

std::string systemMessage(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                              | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : "error " + std::to_string(code);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace

DynamicLibrary::~DynamicLibrary()
{
    if (m_handle)
        ::FreeLibrary(static_cast<HMODULE>(m_handle));
}

bool DynamicLibrary::load(const std::string& nameOrPath)
{
    if (m_handle)
        ::FreeLibrary(static_cast<HMODULE>(m_handle));
    m_handle = ::LoadLibraryA(nameOrPath.c_str());
    if (!m_handle) {
        m_error = systemMessage(::GetLastError());
        return false;
    }
    m_error.clear();
    return true;
}

void* DynamicLibrary::symbol(const char* name) const
{
    if (!m_handle)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

std::string defaultD2xxLibraryName()
{
    return "ftd2xx.dll";
}

} // namespace talvex
