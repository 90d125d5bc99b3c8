# The part both Windows toolchains share; each toolchain file sets DIAG_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR, then includes this file.
# The -posix compilers are the ones whose libstdc++ has std::thread, std::mutex and
# std::future; the -win32 flavour of GCC 12 lacks them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DIAG_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIAG_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DIAG_MINGW_PREFIX}-windres)
set(CMAKE_AR ${DIAG_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${DIAG_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${DIAG_MINGW_PREFIX}-strip CACHE FILEPATH "")

# Libraries and headers come from the mingw sysroot only; programs (windres, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DIAG_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and add_custom_command run the built .exe files under wine through this wrapper,
# which picks the loader that fits the program.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
