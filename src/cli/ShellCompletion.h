#pragma once

#include <string>
#include <string_view>

namespace talvex::cli {

/// talvexctl's completion for bash, zsh and fish, made from the command
/// table like --help and the man page, so every command and option is in
/// each. Nothing when `shell` is none of the three.
std::string shellCompletion(std::string_view shell);

} // namespace talvex::cli
