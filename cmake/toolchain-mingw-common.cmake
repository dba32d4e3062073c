# Shared part of the two mingw-w64 toolchain files. The including file sets
# TESSERA_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The "-posix" flavour of the Debian compilers brings std::thread and std::mutex; the plain
# ("win32" threads) flavour does not. Use it when installed.
foreach(lang_tool IN ITEMS "C;gcc" "CXX;g++")
  list(GET lang_tool 0 lang)
  list(GET lang_tool 1 tool)
  find_program(TESSERA_MINGW_${lang} NAMES ${TESSERA_MINGW_TRIPLE}-${tool}-posix ${TESSERA_MINGW_TRIPLE}-${tool} REQUIRED)
  set(CMAKE_${lang}_COMPILER ${TESSERA_MINGW_${lang}})
endforeach()
find_program(CMAKE_RC_COMPILER NAMES ${TESSERA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSERA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: a user's machine (and a fresh wine prefix) has no mingw runtime DLLs,
# so libgcc, libstdc++ and winpthread go into each program and into Bulklink.dll. A build
# against Qt for Windows (whose DLLs use the runtime DLLs, shipped beside them) sets
# TESSERA_MINGW_SHARED_RUNTIME: its programs share that one runtime, and the pieces that
# must stand alone (Bulklink.dll, instlaunch.exe) link it statically themselves.
if(NOT TESSERA_MINGW_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
  set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()
