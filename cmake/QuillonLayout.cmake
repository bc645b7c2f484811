# quillon_check_includes(ALLOW <prefixes...> [DENY <prefixes...>] [SKIP <folders...>])
#
# Keeps the dependencies pointing one way (app -> ui -> core -> analytics; crash reporting and
# the stand-in backend on their own). Includes are written from the repository's root, so the
# first folder of a project include names the library it belongs to: the configure step fails
# when a file of the calling folder (its tests and benchmarks aside) includes a header outside
# the prefixes it is allowed, or inside one it is denied.
set(QUILLON_LAYERS app ui core analytics crashreporting backend tests)

function(quillon_check_includes)
    cmake_parse_arguments(ARG "" "" "ALLOW;DENY;SKIP" ${ARGN})
    file(GLOB_RECURSE files LIST_DIRECTORIES false CONFIGURE_DEPENDS
         RELATIVE ${CMAKE_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(file IN LISTS files)
        if(file MATCHES "/(tests|bench)/")
            continue()
        endif()
        set(skipped FALSE)
        foreach(folder IN LISTS ARG_SKIP)
            if(file MATCHES "^${folder}/")
                set(skipped TRUE)
            endif()
        endforeach()
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
            set(allowed FALSE)
            foreach(prefix IN LISTS ARG_ALLOW)
                if(header MATCHES "^${prefix}/")
                    set(allowed TRUE)
                endif()
            endforeach()
            foreach(prefix IN LISTS ARG_DENY)
                if(header MATCHES "^${prefix}/")
                    set(allowed FALSE)
                endif()
            endforeach()
            if(NOT allowed)
                message(FATAL_ERROR "${file} includes \"${header}\": "
                        "this folder may use only ${ARG_ALLOW}")
            endif()
        endforeach()
    endforeach()
endfunction()
