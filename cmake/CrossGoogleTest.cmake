# GoogleTest for a mingw-w64 cross build. There is no prebuilt GoogleTest for the target, so
# build it from the source tree that Debian's libgtest-dev installs.
# (Debian: libgtest-dev; -DTESSERA_GTEST_SOURCE=DIR names another tree.)
find_path(TESSERA_GTEST_SOURCE CMakeLists.txt PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
          DOC "GoogleTest source tree for cross builds" REQUIRED)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
# GoogleTest is third-party code: our warning flags are not its business.
add_subdirectory(${TESSERA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t} AND NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
  if(TARGET ${t})
    set_target_properties(${t} PROPERTIES COMPILE_OPTIONS "")
  endif()
endforeach()
include(GoogleTest)

# Listing the cases of every test program at build or test time would start wine once per
# program and once more per case. Instead each test program is one ctest test that runs all its
# cases in one wine process (through CMAKE_CROSSCOMPILING_EMULATOR).
function(gtest_discover_tests target)
  cmake_parse_arguments(arg "" "TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;DISCOVERY_MODE;XML_OUTPUT_DIR" "EXTRA_ARGS;PROPERTIES;TEST_FILTER" ${ARGN})
  set(dir ${arg_WORKING_DIRECTORY})
  if(NOT dir)
    set(dir ${CMAKE_BINARY_DIR}/bin)
  endif()
  add_test(NAME ${arg_TEST_PREFIX}${target} COMMAND ${target} ${arg_EXTRA_ARGS} WORKING_DIRECTORY ${dir})
  if(arg_PROPERTIES)
    set_tests_properties(${arg_TEST_PREFIX}${target} PROPERTIES ${arg_PROPERTIES})
  endif()
endfunction()
