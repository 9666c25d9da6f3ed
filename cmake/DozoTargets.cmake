# Helpers every part uses, so that output places, warnings and visibility are
# decided once.

set(DOZO_WARNINGS -Wall -Wextra -Wshadow -Wformat=2)

# dozo_part(<name> <folder>): adds a part with its tests, benchmarks and fuzz
# targets (tests/<name>, bench/<name>, fuzz/<name>) when the part is selected.
macro(dozo_part name folder)
  if("${name}" IN_LIST DOZO_PARTS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/CMakeLists.txt)
    add_subdirectory(${folder})
    if(BUILD_TESTING AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/${name}/CMakeLists.txt)
      add_subdirectory(tests/${name})
    endif()
    if(DOZO_BENCH AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench/${name}/CMakeLists.txt)
      add_subdirectory(bench/${name})
    endif()
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${name}/CMakeLists.txt)
      add_subdirectory(fuzz/${name})
    endif()
  endif()
endmacro()

# Shared libraries must resolve every symbol when linked, except under clang's
# sanitizers: their runtime is linked into the program only, and the library
# finds it there when loaded.
set(DOZO_NO_UNDEFINED -Wl,--no-undefined)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND CMAKE_CXX_FLAGS MATCHES "sanitize")
  set(DOZO_NO_UNDEFINED "")
endif()

# A shared library of ours: hidden visibility, only the API marked for export.
function(dozo_shared_library target)
  add_library(${target} SHARED ${ARGN})
  target_compile_options(${target} PRIVATE ${DOZO_WARNINGS})
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${target} PRIVATE ${DOZO_NO_UNDEFINED} -Wl,--exclude-libs,ALL)
  # Loaded by dlopen, never run: no executable bit, as Debian installs libraries.
  install(TARGETS ${target} LIBRARY DESTINATION ${DOZO_LIBDIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

# dozo_exports(<target> <map>): the linker exports exactly the names of a
# version script, whatever the compiler or its sanitizers instantiate. On
# Windows the .def file does this.
function(dozo_exports target map)
  if(NOT WIN32)
    target_link_options(${target} PRIVATE -Wl,--version-script=${map})
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${map})
  endif()
endfunction()

# dozo_hot(<target>...): code whose loops are the whole cost of the tests that
# run it. Sanitizer trees compile at -O0, which is quickest to build; these
# are built at -O1 there (as fully checked), which runs their tests several
# times quicker.
function(dozo_hot)
  if(CMAKE_CXX_FLAGS MATCHES "sanitize")
    foreach(target IN LISTS ARGN)
      target_compile_options(${target} PRIVATE -O1)
    endforeach()
  endif()
endfunction()

# A GoogleTest executable, one per part, placed in tests/ of the build tree so
# bin/ holds only what we ship. Every one links the shared helpers of
# tests/support.
function(dozo_test target)
  add_executable(${target} ${ARGN})
  target_compile_options(${target} PRIVATE ${DOZO_WARNINGS})
  target_link_libraries(${target} PRIVATE dozo_test_support GTest::gtest GTest::gtest_main)
  # A test program is glue around the code under test: in optimised trees
  # -O1 compiles it a fifth quicker than -O2, and it runs about as fast.
  target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-O1>)
  # Test files start with gtest.h, the heaviest header most of them read:
  # parsed once per program instead of once per file. A file that does not
  # read it (a helper, the code under test built in) is compiled as written.
  list(LENGTH ARGN count)
  if(count GREATER 2)
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
    foreach(source IN LISTS ARGN)
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE path)
      file(STRINGS ${path} reads_gtest REGEX "^#include <gtest/gtest.h>")
      if(NOT reads_gtest)
        set_source_files_properties(${source} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
      endif()
    endforeach()
  endif()
  target_compile_definitions(${target} PRIVATE DOZO_LIBRARY_SUBDIR="${DOZO_LIBRARY_SUBDIR}")
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    UNITY_BUILD ON
    UNITY_BUILD_BATCH_SIZE 8)
  # One variable per property: a list-valued ENVIRONMENT would be split into
  # separate properties on its way through test discovery.
  # Tests are listed when CTest starts rather than after every link, so a
  # build runs none of its test programs.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "DOZO_BUILD_DIR=set:${CMAKE_BINARY_DIR}")
endfunction()

# Gives tests of a dozo_test program the label `faults` too, so the fault
# suite (ctest -L faults) takes the two-writer and changed-source cases where
# they live, and CI still runs each once. Test names are only known after the
# build, so a CTest script labels them as it reads the discovered list.
function(dozo_fault_tests target)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_faults.cmake)
  set(text "")
  foreach(test IN LISTS ARGN)
    string(APPEND text "list(FIND ${target}_TESTS \"${test}\" found)\n"
                       "if(NOT found EQUAL -1)\n"
                       "  set_tests_properties(\"${test}\" PROPERTIES LABELS faults)\n"
                       "endif()\n")
  endforeach()
  file(WRITE ${script} "${text}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# A benchmark program: built with the rest, run only by scripts/bench.
function(dozo_bench target)
  add_executable(${target} ${ARGN})
  target_compile_options(${target} PRIVATE ${DOZO_WARNINGS})
  target_compile_definitions(${target} PRIVATE DOZO_LIBRARY_SUBDIR="${DOZO_LIBRARY_SUBDIR}")
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# A fuzz target: with DOZO_FUZZ a libFuzzer binary; always a replay driver
# that runs the committed corpus under CTest.
set(DOZO_FUZZ_SECONDS 30 CACHE STRING "Length of each fuzz_session test in seconds")
function(dozo_fuzz target corpus_dir)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_compile_options(${target}_replay PRIVATE ${DOZO_WARNINGS})
  target_link_libraries(${target}_replay PRIVATE ${F_LIBS})
  set_target_properties(${target}_replay PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  if(BUILD_TESTING)
    add_test(NAME fuzz_replay.${target} COMMAND ${target}_replay ${corpus_dir})
  endif()
  if(DOZO_FUZZ)
    add_executable(${target} ${F_SOURCES})
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${target} PRIVATE ${F_LIBS})
    set_target_properties(${target} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    if(NOT TARGET fuzzers)
      add_custom_target(fuzzers)
    endif()
    add_dependencies(fuzzers ${target})
    # A short session from the committed corpus, run by scripts/test under
    # CI (ctest -L fuzz_session); new inputs go to the build tree, never
    # into the committed corpus.
    if(BUILD_TESTING)
      add_test(NAME fuzz_session.${target}
        COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/FuzzSession.sh $<TARGET_FILE:${target}>
                ${corpus_dir} ${CMAKE_BINARY_DIR}/fuzz/sessions/${target} ${DOZO_FUZZ_SECONDS})
      math(EXPR timeout "${DOZO_FUZZ_SECONDS} + 120")
      set_tests_properties(fuzz_session.${target} PROPERTIES LABELS fuzz_session TIMEOUT ${timeout})
    endif()
  endif()
endfunction()
