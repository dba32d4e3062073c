# The version reaches the code through one generated header (TesseraVersion.h), written from
# project(VERSION); every target that links tessera_platform sees it.

# The ABI of the transport library: its seven exports and their signatures. Raise it when
# one of them changes; the SONAME and the file name the program loads follow it.
set(TESSERA_TRANSPORT_SOVERSION 1)

configure_file(${CMAKE_CURRENT_LIST_DIR}/TesseraVersion.h.in
               ${CMAKE_BINARY_DIR}/generated/TesseraVersion.h @ONLY)
add_library(tessera_version INTERFACE)
target_include_directories(tessera_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
