# 64-bit Windows cross build with mingw-w64:
#   cmake -S . -B build-win64 -G Ninja -DTESSERA_WITH_GUI=OFF -DTESSERA_WINDOWS_CORE_ONLY=ON \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
# When wine is installed, ctest runs the test programs under it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESSERA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

find_program(TESSERA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TESSERA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSERA_WINE})
endif()
