# Where an installed Keyvane keeps its files (GNUInstallDirs), and the PKCS#11 modules the
# programs load when KEYVANE_PKCS11_MODULE is not set. Installed programs find everything
# relative to their own folder or at a system path: no path of the build folder is compiled in.

# The desktop's name of the program (its desktop entry, icon and metainfo), and the bitmap sizes
# of its icon in the hicolor theme beside the drawing.
set(KEYVANE_APP_ID "org.keyvane.Keyvane")
set(KEYVANE_ICON_SIZES 16 24 32 48 64 128 256 512)

# The virtual token (and the script that makes a demo token with it): a module of ours that
# no other program should find in the system's library folders.
set(KEYVANE_INSTALL_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/keyvane")
set(KEYVANE_VIRTUAL_TOKEN_FILE_NAME "libkeyvane-virtual-token.so")
# The installed virtual token as the installed programs reach it from their own folder.
file(RELATIVE_PATH KEYVANE_INSTALLED_VIRTUAL_TOKEN "${CMAKE_INSTALL_FULL_BINDIR}"
    "${CMAKE_INSTALL_FULL_LIBDIR}/keyvane/${KEYVANE_VIRTUAL_TOKEN_FILE_NAME}")

# The default module of an installed program: p11-kit's proxy, which offers the tokens of every
# module registered with p11-kit. Programs run from the build folder use the virtual token built
# with them instead (ModuleLocations, keyvane-build-tree.conf).
pkg_get_variable(KEYVANE_P11KIT_PROXY_MODULE p11-kit-1 proxy_module)
# A cache made before installed programs had a default of their own holds the build's virtual
# token here; an installed program must never name a path of the build folder.
if(KEYVANE_DEFAULT_PKCS11_MODULE STREQUAL "${PROJECT_BINARY_DIR}/tools/virtual_token/${KEYVANE_VIRTUAL_TOKEN_FILE_NAME}")
    unset(KEYVANE_DEFAULT_PKCS11_MODULE CACHE)
endif()
set(KEYVANE_DEFAULT_PKCS11_MODULE "${KEYVANE_P11KIT_PROXY_MODULE}"
    CACHE FILEPATH "PKCS#11 module that installed programs load when KEYVANE_PKCS11_MODULE is not set")

# keyvane_program_layout(TARGET)
# A program of the product: installed in the programs' folder; in the build folder, the file
# beside it that names the virtual token built with it (its default module there, and the
# user-interface test mode's), which an installed program has not.
function(keyvane_program_layout target)
    if(KEYVANE_INSTALLS)
        install(TARGETS ${target} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    endif()
    if(TARGET keyvane_virtual_token)
        file(GENERATE OUTPUT "$<TARGET_FILE_DIR:${target}>/keyvane-build-tree.conf"
            CONTENT "# Written by CMake for the programs of this build folder; never installed.\nvirtual-token=$<TARGET_FILE:keyvane_virtual_token>\n")
    endif()
endfunction()
