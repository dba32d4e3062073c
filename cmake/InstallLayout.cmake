# Where an installed TESSERA keeps its files: the GNU directories under CMAKE_INSTALL_PREFIX
# (DESTDIR is honoured by `cmake --install`), and the two paths the programs take from their
# own directory to find the transport library and accuracy.dat once installed.
include(GNUInstallDirs)

if(WIN32)
  # One folder: the library and the data beside the programs.
  set(TESSERA_INSTALL_LIBRARYDIR ${CMAKE_INSTALL_BINDIR})
  set(TESSERA_INSTALL_DATADIR ${CMAKE_INSTALL_BINDIR})
else()
  # The transport library is a plug-in that the program loads by name, not a library for
  # others to link: a private directory keeps it off the linker's search path.
  set(TESSERA_INSTALL_LIBRARYDIR ${CMAKE_INSTALL_LIBDIR}/tessera)
  set(TESSERA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/tessera)
endif()

# Relative to the programs' directory, so an installed tree works wherever it was put: a
# package under /usr, a prefix in the home directory, a DESTDIR staging root.
foreach(kind LIBRARYDIR DATADIR)
  cmake_path(ABSOLUTE_PATH TESSERA_INSTALL_${kind} BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
             NORMALIZE OUTPUT_VARIABLE full)
  file(RELATIVE_PATH TESSERA_BINDIR_TO_${kind} ${CMAKE_INSTALL_FULL_BINDIR} ${full})
endforeach()
