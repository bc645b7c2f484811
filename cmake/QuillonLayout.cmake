# quillon_check_includes(ALLOW <prefixes...> [DENY <prefixes...>] [SKIP <folders...>])
#
# Keeps the dependencies pointing one way (app -> ui -> core -> analytics; crash reporting and
# the stand-in backend on their own). Includes are written from the repository's root, so the
# first folder of a project include names the library it belongs to: the configure step fails
# when a file of the calling folder (its tests and benchmarks aside) includes a header outside
# the prefixes it is allowed, or inside one it is denied.
set(QUILLON_LAYERS app ui core analytics crashreporting backend tests)

# Sets <out> to TRUE when <text> begins with one of the folders given after it.
function(_quillon_in_folders out text)
    foreach(folder IN LISTS ARGN)
        string(FIND "${text}" "${folder}/" at)
        if(at EQUAL 0)
            set(${out} TRUE PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${out} FALSE PARENT_SCOPE)
endfunction()

function(quillon_check_includes)
    cmake_parse_arguments(ARG "" "" "ALLOW;DENY;SKIP" ${ARGN})
    file(GLOB_RECURSE files LIST_DIRECTORIES false CONFIGURE_DEPENDS
         RELATIVE ${CMAKE_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(file IN LISTS files)
        if(file MATCHES "/(tests|bench)/")
            continue()
        endif()
        _quillon_in_folders(skipped "${file}" ${ARG_SKIP})
        if(skipped)
            continue()
        endif()
        file(STRINGS ${CMAKE_SOURCE_DIR}/${file} lines REGEX "^#include \"[^\"]+\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
            string(REGEX MATCH "^[^/]+" top "${header}")
            if(NOT top IN_LIST QUILLON_LAYERS OR NOT header MATCHES "/")
                continue()
            endif()
            _quillon_in_folders(allowed "${header}" ${ARG_ALLOW})
            _quillon_in_folders(denied "${header}" ${ARG_DENY})
            if(NOT allowed OR denied)
                message(FATAL_ERROR "${file} includes \"${header}\": "
                        "this folder may use only ${ARG_ALLOW}")
            endif()
        endforeach()
    endforeach()
endfunction()
