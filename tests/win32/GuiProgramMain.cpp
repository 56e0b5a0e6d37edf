// A program of the GUI subsystem, made as the window program is
// (talvex_windows_program ... GUI, and useParentConsole before printing),
// for what can be checked without Qt: its subsystem and resources, and
// that its --version reaches the file or pipe it was started with.

#include "app/ParentConsole.h"
#include "protocol/VersionText.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0)
        return 2;
    talvex::useParentConsole();
    std::printf("TalvexUSB-Setting Manager %s\n", talvex::toolVersionText(talvex::kToolVersion).c_str());
    return 0;
}
