// Writes talvexctl's completion for one shell to the file named, at build time.
#include "cli/ShellCompletion.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    const std::string script = argc == 3 ? talvex::cli::shellCompletion(argv[1]) : std::string();
    if (script.empty()) {
        std::fprintf(stderr, "usage: talvexctl-completion bash|zsh|fish FILE\n");
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << script;
    out.close();
    if (!out) {
        std::fprintf(stderr, "talvexctl-completion: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
