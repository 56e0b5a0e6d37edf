#include "ftdi/DynamicLibrary.h"

#include <dlfcn.h>

namespace talvex {

DynamicLibrary::~DynamicLibrary()
{
    if (m_handle)
        ::dlclose(m_handle);
}

bool DynamicLibrary::load(const std::string& nameOrPath)
{
    if (m_handle)
        ::dlclose(m_handle);
    // RTLD_NOW: a library with unresolved symbols fails here, not later in
    // the middle of an EEPROM write.
    m_handle = ::dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* reason = ::dlerror();
        m_error = reason ? reason : "unknown error";
        return false;
    }
    m_error.clear();
    return true;
}

void* DynamicLibrary::symbol(const char* name) const
{
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

std::string defaultD2xxLibraryName()
{
    return "libftd2xx.so";
}

} // namespace talvex
