# A man page made from a program's own --help, so the two cannot disagree:
#   cmake -DPROGRAM=... -DNAME=... -DSUMMARY=... -DOUTPUT=... -P TalvexManFromHelp.cmake
# The help is shown as it is printed (no filling), under NAME and DESCRIPTION.

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status TIMEOUT 30)
if(NOT status EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()

# roff would read a backslash, a hyphen or a line-leading point as markup.
function(talvex_roff text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

talvex_roff("${help}" body)
talvex_roff("${NAME}" name)
talvex_roff("${SUMMARY}" summary)
string(TOUPPER "${name}" title)
file(WRITE ${OUTPUT}
    ".TH ${title} 1 \"\" \"TalvexUSB\\-Setting Manager\" \"User Commands\"\n"
    ".SH NAME\n${name} \\- ${summary}\n"
    ".SH DESCRIPTION\n.nf\n${body}.fi\n")
