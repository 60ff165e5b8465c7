# Registers the fuzz smoke runs with the native test run (label "fuzz"): one
# test builds the targets with clang (preset "fuzz", build/fuzz), then each
# target runs a few seconds over its seeds and fresh inputs.
find_program(NORVANE_FUZZ_CLANG NAMES clang++-14)
if(NOT NORVANE_FUZZ_CLANG)
  message(STATUS "clang++-14 not found: the fuzz smoke runs are not registered")
  return()
endif()

set(NORVANE_FUZZ_SMOKE_SECONDS 5 CACHE STRING "How long each fuzz target runs in the test run")
set(run "${PROJECT_SOURCE_DIR}/fuzz/run.sh")
if(NORVANE_WERROR)
  set(werror ON)
else()
  set(werror OFF)
endif()
add_test(NAME fuzz.build COMMAND nice -n 10 bash "${run}" build ${werror})
# The build uses both cores beside the Wine tests, which mostly wait: it
# starts among the first, and yields to them (nice).
set_tests_properties(fuzz.build PROPERTIES LABELS fuzz TIMEOUT 900 COST 100
                                           FIXTURES_SETUP fuzz_targets)

file(GLOB fuzz_sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/fuzz/fuzz_*.cpp")
foreach(source IN LISTS fuzz_sources)
  get_filename_component(target "${source}" NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" name "${target}")
  add_test(NAME fuzz.${name} COMMAND bash "${run}" smoke ${name} ${NORVANE_FUZZ_SMOKE_SECONDS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 120
                       FIXTURES_REQUIRED fuzz_targets)
endforeach()
