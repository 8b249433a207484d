# Cross-compiling for 64-bit Windows with Debian's MinGW-w64.
#
# Used alone it builds the Windows dependencies (scripts/win-deps.sh). With
# CATRACA_WIN_DEPS (a CMake variable or the environment variable of that name)
# naming the folder win-deps.sh filled, it also finds the Windows Qt and
# MariaDB Connector/C there, so the project itself cross-builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

# The posix thread model: std::thread and std::mutex are missing from the win32 one.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${MINGW_TRIPLE}-strip CACHE FILEPATH "")

# Host programs (moc, rcc, ninja) come from the build machine; libraries,
# headers and CMake packages only from the Windows folders.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT CATRACA_WIN_DEPS AND DEFINED ENV{CATRACA_WIN_DEPS})
  set(CATRACA_WIN_DEPS "$ENV{CATRACA_WIN_DEPS}")
endif()
if(CATRACA_WIN_DEPS)
  # try_compile projects re-read this file without the cache.
  set(ENV{CATRACA_WIN_DEPS} "${CATRACA_WIN_DEPS}")
  list(APPEND CMAKE_FIND_ROOT_PATH "${CATRACA_WIN_DEPS}/qt" "${CATRACA_WIN_DEPS}/mariadb" "${CATRACA_WIN_DEPS}/firebird")
  list(APPEND CMAKE_PREFIX_PATH "${CATRACA_WIN_DEPS}/qt")
  # Qt's build tools run on this machine: the host Qt of the same version.
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
  set(MARIADB_DIR "${CATRACA_WIN_DEPS}/mariadb" CACHE PATH "")
  set(FIREBIRD_DIR "${CATRACA_WIN_DEPS}/firebird" CACHE PATH "")
endif()
