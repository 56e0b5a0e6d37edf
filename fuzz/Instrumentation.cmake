# Flags for every object of a TALVEX_FUZZ build. The libraries get the
# coverage hooks without libFuzzer's main; only the targets link it.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TALVEX_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++), not ${CMAKE_CXX_COMPILER_ID}")
endif()
if(TALVEX_SANITIZE OR TALVEX_TSAN)
    message(FATAL_ERROR "TALVEX_FUZZ brings its own sanitizers: leave TALVEX_SANITIZE and TALVEX_TSAN off")
endif()
# -O1 whatever the build type: fast enough to fuzz, still precise stacks.
# The library assertions turn an out-of-range operator[] into a finding
# that ASan would miss inside a std::array or a vector's capacity.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -O1 -g -D_GLIBCXX_ASSERTIONS)
add_link_options(-fsanitize=address,undefined)
