# quillon_add_test(<name> SOURCES <files...> LIBS <targets...> [KEYRING] [TIMEOUT <s>])
#
# One QtTest executable per class or feature. Every test runs through
# tests/support/run-test, which gives it a throw-away HOME and XDG folders and the
# offscreen platform; KEYRING tests also get a private D-Bus session with a fresh
# gnome-keyring, so no test touches the user's files or keyring.
set(QUILLON_TEST_RUNNER ${CMAKE_CURRENT_LIST_DIR}/../tests/support/run-test)
# Under QUILLON_SANITIZE any finding fails the test.
set(QUILLON_ASAN_OPTIONS "halt_on_error=1:detect_leaks=1")
set(QUILLON_SANITIZER_ENVIRONMENT
    "ASAN_OPTIONS=${QUILLON_ASAN_OPTIONS}"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# quillon_test_asan_options(<test> <options>): AddressSanitizer options one test needs beyond
# the common ones, for faults in code that is not ours.
function(quillon_test_asan_options test options)
    if(QUILLON_SANITIZE)
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
            "ASAN_OPTIONS=${QUILLON_ASAN_OPTIONS}:${options}")
    endif()
endfunction()

function(quillon_add_test name)
    cmake_parse_arguments(ARG "KEYRING" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(mode plain)
    if(ARG_KEYRING)
        set(mode keyring)
    endif()
    add_test(NAME ${name} COMMAND ${QUILLON_TEST_RUNNER} ${mode} $<TARGET_FILE:${name}>)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set(environment "QUILLON_BUILD_DIR=${CMAKE_BINARY_DIR};QUILLON_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    if(QUILLON_SANITIZE)
        list(APPEND environment ${QUILLON_SANITIZER_ENVIRONMENT})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()

# quillon_add_benchmark(<name> SOURCES <files...> LIBS <targets...> [KEYRING])
# Benchmarks are plain executables that print their figures; the `benchmarks` target runs them all.
# KEYRING runs one inside a session bus with an unlocked keyring, as a desktop has.
if(NOT TARGET benchmarks)
    add_custom_target(benchmarks COMMENT "Running the benchmarks")
endif()
function(quillon_add_benchmark name)
    cmake_parse_arguments(ARG "KEYRING" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    set(mode plain)
    if(ARG_KEYRING)
        set(mode keyring)
    endif()
    add_custom_target(run_${name}
        COMMAND ${QUILLON_TEST_RUNNER} ${mode} $<TARGET_FILE:${name}>
        DEPENDS ${name} USES_TERMINAL)
    add_dependencies(benchmarks run_${name})
endfunction()
