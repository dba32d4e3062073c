# Writes the installer's file lists from the staging folder: install.nsh installs every file
# (folders first created), uninstall.nsh removes exactly those files and then the folders,
# deepest first, each only when empty, so the uninstaller never takes anything it did not
# bring. A file in use (a program still running) is removed at the next restart, and so are
# its folders (the RemoveFolder macro of tessera.nsi).
#   cmake -DSTAGE=<staging folder> -DOUT=<folder for the lists> -P NsisFileLists.cmake
file(GLOB_RECURSE files RELATIVE "${STAGE}" "${STAGE}/*")
list(SORT files)
set(install "")
set(uninstall "")
set(dirs "")
foreach(f IN LISTS files)
  get_filename_component(dir "${f}" DIRECTORY)
  string(REPLACE "/" "\\" wdir "${dir}")
  string(REPLACE "/" "\\" wf "${f}")
  if(dir STREQUAL "")
    string(APPEND install "SetOutPath \"$INSTDIR\"\n")
  else()
    string(APPEND install "SetOutPath \"$INSTDIR\\${wdir}\"\n")
    list(APPEND dirs "${wdir}")
  endif()
  string(APPEND install "File \"${STAGE}/${f}\"\n")
  string(APPEND uninstall "Delete /REBOOTOK \"$INSTDIR\\${wf}\"\n")
endforeach()
list(REMOVE_DUPLICATES dirs)
list(SORT dirs)
list(REVERSE dirs)
foreach(d IN LISTS dirs)
  string(APPEND uninstall "!insertmacro RemoveFolder \"$INSTDIR\\${d}\"\n")
endforeach()
file(WRITE "${OUT}/install.nsh" "${install}")
file(WRITE "${OUT}/uninstall.nsh" "${uninstall}")
