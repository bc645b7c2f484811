# The include check run on small trees of its own: one that keeps the folders' order, and one
# a fault, each of which must stop the check with a message naming the file, the include and
# the rule. cmake -DWORK=<scratch folder> -P tst_layoutcheck.cmake; WORK is removed at the end.
cmake_minimum_required(VERSION 3.25)

if(DEFINED CHECK_TREE)
    include(${CMAKE_CURRENT_LIST_DIR}/../QuillonLayout.cmake)
    quillon_check_tree(${CHECK_TREE} ui ALLOW ui core ORDER top "left|right" bottom)
    return()
endif()

# Writes <file> under the tree, with one include line per header given.
function(write_source tree file)
    set(text "#pragma once\n")
    foreach(header IN LISTS ARGN)
        string(APPEND text "#include \"${header}\"\n")
    endforeach()
    file(WRITE ${tree}/${file} "${text}")
endfunction()

# A tree that keeps the rules: down a level, down two, into its own folder, into another
# library it may use, and a test of a lower folder that reaches up.
function(write_sound_tree tree)
    file(REMOVE_RECURSE ${tree})
    write_source(${tree} ui/top/A.h ui/left/B.h ui/bottom/C.h core/model/Draft.h)
    write_source(${tree} ui/left/B.h ui/bottom/C.h)
    write_source(${tree} ui/right/D.cpp ui/right/D.h ui/bottom/C.h)
    write_source(${tree} ui/right/D.h)
    write_source(${tree} ui/bottom/C.h)
    write_source(${tree} ui/bottom/tests/tst_c.cpp ui/top/A.h)
endfunction()

set(failures 0)
# Adds <file> including <header> to the sound tree (none when <file> is empty) and runs the
# check, which must stop with a message matching the pattern given after them (its parts
# joined), or pass where there is none.
function(check_case name file header)
    string(JOIN "" expected ${ARGN})
    set(tree ${WORK}/tree)
    write_sound_tree(${tree})
    if(NOT file STREQUAL "")
        write_source(${tree} ${file} ${header})
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -DCHECK_TREE=${tree}
                            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # CMake breaks its messages into lines; the expected text is matched across them.
    string(REGEX REPLACE "[ \n]+" " " output "${output}")
    set(fault "")
    if(expected STREQUAL "")
        if(NOT result EQUAL 0)
            set(fault "the check failed on a sound tree: ${output}")
        endif()
    elseif(result EQUAL 0)
        set(fault "the check let ${file} including \"${header}\" pass")
    elseif(NOT output MATCHES "${expected}")
        set(fault "the message does not say \"${expected}\": ${output}")
    endif()
    if(NOT fault STREQUAL "")
        message(SEND_ERROR "${name}: ${fault}")
        math(EXPR count "${failures} + 1")
        set(failures ${count} PARENT_SCOPE)
    endif()
endfunction()

check_case("sound" "" "")
check_case("upward" ui/bottom/E.h ui/top/A.h
           "ui/bottom/E.h includes \"ui/top/A.h\": inside ui a folder includes only the folders "
           "below its own \\(top > left\\|right > bottom\\), and ui/top/ is not below ui/bottom/")
check_case("upward by two levels" ui/bottom/E.cpp ui/left/B.h
           "ui/bottom/E.cpp includes \"ui/left/B.h\"")
check_case("sideways" ui/left/E.h ui/right/D.h
           "ui/left/E.h includes \"ui/right/D.h\".* ui/right/ is not below ui/left/")
check_case("unplaced folder" ui/extra/E.h ""
           "ui/extra/ has no place in ui's folder order \\(top > left\\|right > bottom\\)")
check_case("outside the allowance" ui/bottom/E.h app/Main.h
           "ui/bottom/E.h includes \"app/Main.h\": this folder may use only ui, core")

file(REMOVE_RECURSE ${WORK})
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} case(s) failed")
endif()
