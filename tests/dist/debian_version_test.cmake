# Which changelog versions the build takes for its own: every Debian version
# of the project's version, as distributions number their builds, and no
# other version. cmake -P tests/dist/debian_version_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../dist/debian_version.cmake)

# changelog version | upstream version | taken
set(rows
    "0.1.0|0.1.0|TRUE"
    "0.1.0+b1|0.1.0|TRUE"
    "0.1.0-1|0.1.0|TRUE"
    "0.1.0-1+b2|0.1.0|TRUE"
    "1:0.1.0-3|0.1.0|TRUE"
    "0.1.0+deb13u1|0.1.0|TRUE"
    "0.1.0-1+deb13u1|0.1.0|TRUE"
    "0.1.0~bpo12+1|0.1.0|TRUE"
    "0.1.0-1~bpo12+1|0.1.0|TRUE"
    "0.1.0-0ubuntu1|0.1.0|TRUE"
    "0.1.0build1|0.1.0|TRUE"
    "0.1.0ubuntu1|0.1.0|TRUE"
    "0.1.0~ppa1|0.1.0|TRUE"
    "0.1.0+dfsg-1|0.1.0|TRUE"
    "0.1.1|0.1.0|FALSE"
    "0.1.1-1|0.1.0|FALSE"
    "0.1.0.1|0.1.0|FALSE"
    "0.1.01|0.1.0|FALSE"
    "10.1.0|0.1.0|FALSE"
    "0.1|0.1.0|FALSE"
    "|0.1.0|FALSE"
    "1:0.2.0-1|0.1.0|FALSE"
    # The dots are dots.
    "1x10x2|1.10.2|FALSE"
    "1.10.2-1|1.10.2|TRUE"
)

set(failures 0)
foreach(row IN LISTS rows)
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 version)
    list(GET row 1 upstream)
    list(GET row 2 expected)
    quendra_debian_version_matches("${version}" "${upstream}" taken)
    if(NOT taken STREQUAL expected)
        message(SEND_ERROR "'${version}' as a version of ${upstream}: ${taken}, expected ${expected}")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()
list(LENGTH rows count)
if(failures)
    message(FATAL_ERROR "${failures} of ${count} versions judged wrong")
endif()
message(STATUS "${count} versions judged right")
