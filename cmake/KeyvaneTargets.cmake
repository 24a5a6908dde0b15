# The two ways a target of the project is declared.

# keyvane_add_library(NAME [INTERFACE] SOURCES...)
# A library under src/: its headers are included as "folder/Header.h" from src/, and its own
# sources are built with the project's warning flags (a target's users are not).
function(keyvane_add_library name)
    if(ARGV1 STREQUAL "INTERFACE")
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    else()
        add_library(${name} ${ARGN})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} PRIVATE keyvane_compile_flags)
    endif()
endfunction()

# keyvane_add_test(NAME LABEL label SOURCES ... [LIBRARIES ...])
# A GoogleTest program under tests/, its tests known to ctest one by one under its label.
# OPENSSL_THREADS: the program's work calls OpenSSL (and Qt) on the task pool's workers. Both keep
# state for each thread that used them (OpenSSL's error queue, Qt's data for a thread it did not
# start), freed only when the thread ends; the workers are detached and still parked when the
# test ends, and LeakSanitizer does not see the pointer that glibc keeps for the thread, so it
# reports that state. Such a program runs with a suppression of those reports
# (tests/support/openssl-thread-state.supp).
# UNSANITIZED: the program cannot run under the sanitizers, so a sanitizer build (KEYVANE_SANITIZE)
# does not build it, as it builds no Qt Quick scene; scripts/test then needs no list of names.
function(keyvane_add_test name)
    cmake_parse_arguments(ARG "OPENSSL_THREADS;UNSANITIZED" "LABEL" "SOURCES;LIBRARIES" ${ARGN})
    if(ARG_UNSANITIZED AND KEYVANE_SANITIZE)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE keyvane_test_main keyvane_compile_flags ${ARG_LIBRARIES})
    set(environment "")
    if(ARG_OPENSSL_THREADS)
        set(environment ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/openssl-thread-state.supp")
    endif()
    gtest_discover_tests(${name}
        PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 120 ${environment}
        DISCOVERY_TIMEOUT 60)
endfunction()
