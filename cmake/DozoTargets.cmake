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

# The test files of `target` compiled eight to a file, in every tree alike
# (a name two files share fails everywhere), each batch parsing the shared
# headers once. CMake's own unity build names the files by absolute path; these
# batches name them from where the batch lies, so with the build tree inside
# the clone a batch reads the same in every clone and ccache gives one clone
# the objects another compiled (as it does for files compiled alone).
function(dozo_test_batches target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_batches)
  set(batches "")
  set(text "")
  set(count 0)
  list(LENGTH ARGN left)
  foreach(source IN LISTS ARGN)
    math(EXPR left "${left} - 1")
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE path)
    if(path MATCHES "\\.cpp$")
      cmake_path(RELATIVE_PATH path BASE_DIRECTORY ${dir} OUTPUT_VARIABLE from_batch)
      string(APPEND text "#include \"${from_batch}\"\n")
      set_source_files_properties(${source} PROPERTIES HEADER_FILE_ONLY ON)
      math(EXPR count "${count} + 1")
    endif()
    if(count EQUAL 8 OR (left EQUAL 0 AND count GREATER 0))
      list(LENGTH batches n)
      set(batch ${dir}/batch_${n}.cpp)
      # Written only when its text changes, so a configure rebuilds nothing.
      file(CONFIGURE OUTPUT ${batch} CONTENT "${text}" @ONLY)
      list(APPEND batches ${batch})
      set(text "")
      set(count 0)
    endif()
  endforeach()
  target_sources(${target} PRIVATE ${batches})
endfunction()

# Compile definitions NAME="the file TARGET builds, from the build tree" for a
# test or benchmark program, which finds it from there at run time
# (tests/support/build_tree.h, bench/built_file.h): an absolute path would
# differ from clone to clone, and ccache could share none of its objects.
#   dozo_built_files(program NAME target [NAME target ...])
function(dozo_built_files program)
  set(definitions "")
  while(ARGN)
    list(POP_FRONT ARGN name built)
    list(APPEND definitions
      "${name}=\"$<PATH:RELATIVE_PATH,$<TARGET_FILE:${built}>,${CMAKE_BINARY_DIR}>\"")
  endwhile()
  target_compile_definitions(${program} PRIVATE ${definitions})
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
  # Most test files start with gtest.h, the heaviest header they read: parsed
  # once per program instead of once per batch. Not with clang, whose
  # precompiled header is named by absolute path in arguments ccache does not
  # rewrite (-Xclang ...): the sanitizer tree's test objects would then be
  # its own in every clone, where without it they are cache hits.
  list(LENGTH ARGN count)
  if(count GREATER 2 AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
  endif()
  target_compile_definitions(${target} PRIVATE DOZO_LIBRARY_SUBDIR="${DOZO_LIBRARY_SUBDIR}")
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  dozo_test_batches(${target} ${ARGN})
  # One variable per property: a list-valued ENVIRONMENT would be split into
  # separate properties on its way through test discovery.
  # Tests are listed when CTest starts rather than after every link, so a
  # build runs none of its test programs.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "DOZO_BUILD_DIR=set:${CMAKE_BINARY_DIR}")
endfunction()

# Gives the tests of a dozo_test program whose names match `regex` the label
# `label`. Test names are only known after the build, so a CTest script
# labels them as it reads the discovered list.
function(dozo_label_tests target label regex)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_${label}.cmake)
  file(WRITE ${script} "foreach(test IN LISTS ${target}_TESTS)\n"
                       "  if(test MATCHES [[${regex}]])\n"
                       "    set_tests_properties(\"\${test}\" PROPERTIES LABELS ${label})\n"
                       "  endif()\n"
                       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# The label `faults` for these tests of a dozo_test program, so the fault
# suite (ctest -L faults) takes the two-writer and changed-source cases where
# they live, and CI still runs each once.
function(dozo_fault_tests target)
  list(TRANSFORM ARGN REPLACE "\\." "\\\\.")
  list(JOIN ARGN "|" names)
  dozo_label_tests(${target} faults "^(${names})$")
endfunction()

# A benchmark program: built with the rest, run only by scripts/bench.
function(dozo_bench target)
  add_executable(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
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
