# Warnings and sanitizers for every target of the project, through one interface library
# that each target links, so third-party code built in the tree is not affected.
add_library(keyvane_compile_flags INTERFACE)
target_compile_options(keyvane_compile_flags INTERFACE -Wall -Wextra -Wpedantic)
if(KEYVANE_WERROR)
    target_compile_options(keyvane_compile_flags INTERFACE -Werror)
endif()

if(KEYVANE_SANITIZE)
    list(JOIN KEYVANE_SANITIZE "," _keyvane_sanitizers)
    add_compile_options(-fsanitize=${_keyvane_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_keyvane_sanitizers})
endif()
