# Run by CPack on the staged package tree just before it becomes the .deb
# (CPACK_PRE_BUILD_SCRIPTS): adds what only the Debian package carries, the compressed
# changelog and the maintainer scripts that the tree's udev rules and systemd units need.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(doc "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_DEBIAN_PACKAGE_NAME}")

file(MAKE_DIRECTORY "${doc}")
execute_process(COMMAND gzip -9n -c "${CPACK_TESSERA_DEB_CHANGELOG}"
                OUTPUT_FILE "${doc}/changelog.gz" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of the changelog failed: ${rc}")
endif()
file(CHMOD "${doc}/changelog.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(scripts "${CPACK_TOPLEVEL_DIRECTORY}/maintainer-scripts")
file(REMOVE_RECURSE "${scripts}")
execute_process(COMMAND sh "${CPACK_TESSERA_DEB_SCRIPT_GENERATOR}" "${root}" "${scripts}"
                OUTPUT_VARIABLE depends OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "writing the maintainer scripts failed: ${rc}")
endif()
# The generator writes only the scripts this tree needs (postinst, prerm, postrm).
file(GLOB written LIST_DIRECTORIES false "${scripts}/post*" "${scripts}/pre*")
list(SORT written)
list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${written})
if(depends)
  if(CPACK_DEBIAN_PACKAGE_DEPENDS)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${depends}")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
  endif()
endif()
