# 32-bit Windows cross build with mingw-w64 (compiles and links; a wine64-only machine cannot
# run its programs, so this build carries no tests):
#   cmake -S . -B build-win32 -G Ninja -DTESSERA_WITH_GUI=OFF -DTESSERA_WINDOWS_CORE_ONLY=ON \
#         -DTESSERA_WITH_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TESSERA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
