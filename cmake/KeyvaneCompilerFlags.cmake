# Warnings and sanitizers for every target of the project, through one interface library
# that each target links, so third-party code built in the tree is not affected.
add_library(keyvane_compile_flags INTERFACE)
target_compile_options(keyvane_compile_flags INTERFACE -Wall -Wextra -Wpedantic)
if(KEYVANE_WERROR)
    target_compile_options(keyvane_compile_flags INTERFACE -Werror)
endif()

# What is installed names no path of the build folder, debugging information included: the
# build folder's own files (the compiler's working folder, generated sources) are recorded
# relative to it, as distributions build.
if(KEYVANE_INSTALLS)
    add_compile_options("-ffile-prefix-map=${PROJECT_BINARY_DIR}=.")
endif()

if(KEYVANE_SANITIZE)
    list(JOIN KEYVANE_SANITIZE "," _keyvane_sanitizers)
    add_compile_options(-fsanitize=${_keyvane_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_keyvane_sanitizers})
    # GCC warns that ThreadSanitizer cannot model atomic_thread_fence, which Qt's own headers
    # use (global statics in code that Qt's QML compiler generates); the warning is about Qt,
    # not about this project, and must not fail the -Werror build.
    if("thread" IN_LIST KEYVANE_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-tsan)
    endif()
endif()

# Fuzzing: every library is instrumented for coverage and AddressSanitizer; the fuzz targets
# themselves link libFuzzer's main (keyvane_add_fuzzer in tests/fuzz).
if(KEYVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KEYVANE_FUZZ needs clang (use the 'fuzz' preset)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
