# Cross build of the same programs for x86_64 Windows. Never shipped: it is the test build
# for hosts that run no 32-bit user code, where only wine's 64-bit loader starts.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(DIAG_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
