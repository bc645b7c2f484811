# quillon_check_includes(ALLOW <prefixes...> [DENY <prefixes...>] [SKIP <folders...>]
#                        [ORDER <levels...>])
#
# Keeps the dependencies pointing one way (app -> ui -> core -> analytics; crash reporting and
# the stand-in backend on their own). Includes are written from the repository's root, so the
# first folder of a project include names the library it belongs to: the configure step fails
# when a file of the calling folder (its tests and benchmarks aside) includes a header outside
# the prefixes it is allowed, or inside one it is denied.
#
# ORDER lists the library's feature folders from the top down, one level an argument; folders
# that share a level are joined by "|" and may not include each other. A file includes its own
# folder and the levels below its own, never one above or beside it, and every feature folder
# of the library has its place in the list (a level may name a folder still to come).
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

# Sets <out> to the level (0 at the top) of feature folder <folder> in <levels>, or -1.
function(_quillon_level out folder)
    set(index 0)
    foreach(level IN LISTS ARGN)
        string(REPLACE "|" ";" members "${level}")
        if(folder IN_LIST members)
            set(${out} ${index} PARENT_SCOPE)
            return()
        endif()
        math(EXPR index "${index} + 1")
    endforeach()
    set(${out} -1 PARENT_SCOPE)
endfunction()

# The check itself, over the files below <root>/<library>; split out so that a script can run
# it on a tree of its own.
function(quillon_check_tree root library)
    cmake_parse_arguments(ARG "" "" "ALLOW;DENY;SKIP;ORDER" ${ARGN})
    list(JOIN ARG_ORDER " > " order)
    list(JOIN ARG_ALLOW ", " allowance)
    if(ARG_ORDER)
        file(GLOB entries LIST_DIRECTORIES true RELATIVE ${root}/${library} ${root}/${library}/*)
        foreach(entry IN LISTS entries)
            if(NOT IS_DIRECTORY ${root}/${library}/${entry} OR entry MATCHES "^(tests|bench)$")
                continue()
            endif()
            _quillon_in_folders(skipped "${library}/${entry}/" ${ARG_SKIP})
            _quillon_level(level "${entry}" ${ARG_ORDER})
            if(NOT skipped AND level EQUAL -1)
                message(FATAL_ERROR "${library}/${entry}/ has no place in ${library}'s folder "
                        "order (${order}): add it where it belongs")
            endif()
        endforeach()
    endif()
    # A script run (the check's own test) has no build to re-run.
    set(depends CONFIGURE_DEPENDS)
    if(CMAKE_SCRIPT_MODE_FILE)
        set(depends "")
    endif()
    file(GLOB_RECURSE files LIST_DIRECTORIES false ${depends} RELATIVE ${root}
         ${root}/${library}/*.h ${root}/${library}/*.cpp)
    foreach(file IN LISTS files)
        if(file MATCHES "/(tests|bench)/")
            continue()
        endif()
        _quillon_in_folders(skipped "${file}" ${ARG_SKIP})
        if(skipped)
            continue()
        endif()
        # The file's feature folder, when it sits in one.
        set(from "")
        if(ARG_ORDER AND file MATCHES "^${library}/([^/]+)/")
            set(from "${CMAKE_MATCH_1}")
            _quillon_level(fromLevel "${from}" ${ARG_ORDER})
        endif()
        file(STRINGS ${root}/${file} lines REGEX "^#include \"[^\"]+\"")
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
                        "this folder may use only ${allowance}")
            endif()
            if(from STREQUAL "" OR NOT header MATCHES "^${library}/([^/]+)/")
                continue()
            endif()
            set(to "${CMAKE_MATCH_1}")
            _quillon_level(toLevel "${to}" ${ARG_ORDER})
            if(NOT to STREQUAL from AND (toLevel EQUAL -1 OR NOT toLevel GREATER fromLevel))
                message(FATAL_ERROR "${file} includes \"${header}\": inside ${library} a "
                        "folder includes only the folders below its own (${order}), and "
                        "${library}/${to}/ is not below ${library}/${from}/")
            endif()
        endforeach()
    endforeach()
endfunction()

function(quillon_check_includes)
    file(RELATIVE_PATH library ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    quillon_check_tree(${CMAKE_SOURCE_DIR} ${library} ${ARGN})
endfunction()
