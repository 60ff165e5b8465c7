# The release package, `cmake --build --preset windows --target package`
# (windows-x86 for 32-bit Windows): one zip with the program, the
# administrator's guide and the licence, nothing else. The program goes in
# as built (the release link already strips it), so the file in the zip is
# the one the tests check.
install(TARGETS norvane RUNTIME DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/docs/ADMIN.md" DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME norvane)
set(CPACK_PACKAGE_VENDOR Halvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "norvane-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")
# Unpacked, the files stay together in a folder named like the zip.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
