// Writes talvexctl(1) to the file named, at build time.
#include "cli/ManPage.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: talvexctl-manpage FILE\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << talvex::cli::manPage();
    out.close();
    if (!out) {
        std::fprintf(stderr, "talvexctl-manpage: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
