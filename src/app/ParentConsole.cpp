#include "app/ParentConsole.h"

#include <cstdio>

#include <windows.h>

namespace talvex {
namespace {

bool goesSomewhere(DWORD which)
{
    const HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void useParentConsole()
{
    // Redirected output is the caller's choice; a console would steal it.
    const bool out = goesSomewhere(STD_OUTPUT_HANDLE);
    const bool err = goesSomewhere(STD_ERROR_HANDLE);
    if ((out && err) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE* reopened = nullptr;
    if (!out)
        freopen_s(&reopened, "CONOUT$", "w", stdout);
    if (!err)
        freopen_s(&reopened, "CONOUT$", "w", stderr);
}

} // namespace talvex
