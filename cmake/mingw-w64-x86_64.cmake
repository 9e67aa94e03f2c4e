# Cross-compiles for Windows x64 with Debian's mingw-w64 (POSIX threads
# variant, so std::thread works). The static libraries come from
# scripts/windows-deps.sh.
#   cmake -S . -B build-windows/show -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# CMake reads this file again for every try_compile, so everything below must
# give the same result however often it runs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw_host x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw_host}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw_host}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw_host}-windres)

set(QUORLAXEN_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps/prefix"
    CACHE PATH "Prefix holding the Windows static libraries (scripts/windows-deps.sh)")
get_filename_component(_quorlaxen_deps "${QUORLAXEN_WINDOWS_DEPS}" ABSOLUTE)
# try_compile projects get only the listed variables; without this a
# user-given prefix would fall back to the default there.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORLAXEN_WINDOWS_DEPS)
list(REMOVE_DUPLICATES CMAKE_TRY_COMPILE_PLATFORM_VARIABLES)

# The deps first, so their headers and libraries win over anything of the
# same name in the mingw sysroot.
list(PREPEND CMAKE_FIND_ROOT_PATH "${_quorlaxen_deps}" /usr/${_mingw_host})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
list(PREPEND CMAKE_PREFIX_PATH "${_quorlaxen_deps}")
list(REMOVE_DUPLICATES CMAKE_PREFIX_PATH)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the deps' .pc files and nothing from the host:
# LIBDIR replaces the default search path, PKG_CONFIG_PATH would add to it.
set(ENV{PKG_CONFIG_LIBDIR} "${_quorlaxen_deps}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
