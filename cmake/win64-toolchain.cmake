# Cross-builds Velomat for 64-bit Windows with Debian's mingw-w64 (posix threads) against a prefix of the
# Windows libraries (Qt 6, SDL2, libusb, GoogleTest). The prefix is named by VELOMAT_WIN64_PREFIX, on the
# command line or in the environment; Qt's host tools come from this machine's own Qt (QT_HOST_PATH).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT VELOMAT_WIN64_PREFIX AND DEFINED ENV{VELOMAT_WIN64_PREFIX})
  set(VELOMAT_WIN64_PREFIX "$ENV{VELOMAT_WIN64_PREFIX}")
endif()
if(NOT VELOMAT_WIN64_PREFIX OR NOT EXISTS "${VELOMAT_WIN64_PREFIX}/lib/cmake/Qt6")
  message(FATAL_ERROR "VELOMAT_WIN64_PREFIX must name an unpacked Windows prefix (with lib/cmake/Qt6)")
endif()
# try_compile projects run without the cache: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELOMAT_WIN64_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${VELOMAT_WIN64_PREFIX}")
set(CMAKE_PREFIX_PATH "${VELOMAT_WIN64_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${VELOMAT_WIN64_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# The prefix's .pc files name the folder it was built in: pkg-config takes the prefix from where each
# .pc file is instead, so the prefix works wherever it is unpacked.
set(PKG_CONFIG_ARGN --define-prefix)

set(QT_HOST_PATH /usr CACHE PATH "Qt's host tools (moc, rcc, uic)")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
