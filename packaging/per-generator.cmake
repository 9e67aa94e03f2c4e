# Read by cpack once per generator: the archive holds the release component
# (the show folder alone), the Debian package the full install.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL release)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON) # unpacks into a folder of its own
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_RELEASE_FILE_NAME})
endif()
