# The release package, `cmake --build --preset windows --target package`
# (windows-x86 for 32-bit Windows): one zip with the program, the
# administrator's guide and the document it points to (RELIABILITY.md), the
# licence and BUILDINFO.txt (what the build was made with), and SHA256SUMS beside it. cmake/release.py writes them so that
# two builds of the same sources give the same bytes, and signs the program
# first when a key is given (NORVANE_SIGN_PKCS12; docs/ADMIN.md). The
# program goes in as built (the release link already strips it), so an
# unsigned release holds the file the tests check.
install(TARGETS norvane RUNTIME DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/docs/ADMIN.md" "${PROJECT_SOURCE_DIR}/docs/RELIABILITY.md"
        DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt)

find_package(Python3 3.9 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
  message(STATUS "Python 3 missing: no release package (target 'package')")
  return()
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(system win64)
  set(title "64-bit Windows (x64)")
else()
  set(system win32)
  set(title "32-bit Windows (x86)")
endif()
set(release_name "norvane-${PROJECT_VERSION}-${system}")
set(release_manifest "${CMAKE_BINARY_DIR}/release.json")
cmake_path(GET CMAKE_TOOLCHAIN_FILE FILENAME toolchain)
string(CONFIGURE [=[{
  "name": "@release_name@",
  "title": "Norvane @PROJECT_VERSION@ for @title@",
  "source": "@PROJECT_SOURCE_DIR@",
  "files": [["norvane.exe", "$<TARGET_FILE:norvane>"],
            ["ADMIN.md", "@PROJECT_SOURCE_DIR@/docs/ADMIN.md"],
            ["RELIABILITY.md", "@PROJECT_SOURCE_DIR@/docs/RELIABILITY.md"],
            ["LICENSE.txt", "@PROJECT_SOURCE_DIR@/LICENSE"]],
  "configuration": "$<CONFIG>",
  "toolchain": "@toolchain@",
  "cxx": "@CMAKE_CXX_COMPILER@",
  "rc": "@CMAKE_RC_COMPILER@",
  "dlltool": "@CMAKE_DLLTOOL@",
  "cmake": "@CMAKE_COMMAND@"
}
]=] manifest @ONLY)
file(GENERATE OUTPUT "${release_manifest}" CONTENT "${manifest}")

# Only the program and the documents: `--target all package` builds the
# test programs too. A build folder that CPack once wrote to keeps its
# configuration, and CMake keeps the name "package" for CPack while it is
# there.
file(REMOVE "${CMAKE_BINARY_DIR}/CPackConfig.cmake" "${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake")
add_custom_target(package
  COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/cmake/release.py" "${release_manifest}"
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
  COMMENT "The release ${release_name}.zip and SHA256SUMS"
  VERBATIM)
add_dependencies(package norvane)
