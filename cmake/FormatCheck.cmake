# Checks (or with -DFIX=ON rewrites) every C and C++ source against .clang-format.
find_program(CLANG_FORMAT NAMES clang-format clang-format-14 REQUIRED)
file(GLOB_RECURSE files
  ${SOURCE_DIR}/transform/*.[ch] ${SOURCE_DIR}/transform/*.[ch]pp
  ${SOURCE_DIR}/keyed/*.[ch] ${SOURCE_DIR}/keyed/*.[ch]pp
  ${SOURCE_DIR}/contracts/*.[ch] ${SOURCE_DIR}/contracts/*.[ch]pp
  ${SOURCE_DIR}/core/*.[ch] ${SOURCE_DIR}/core/*.[ch]pp
  ${SOURCE_DIR}/app/*.[ch] ${SOURCE_DIR}/app/*.[ch]pp
  ${SOURCE_DIR}/cli/*.[ch] ${SOURCE_DIR}/cli/*.[ch]pp
  ${SOURCE_DIR}/components/*.[ch] ${SOURCE_DIR}/components/*.[ch]pp
  ${SOURCE_DIR}/tests/*.[ch] ${SOURCE_DIR}/tests/*.[ch]pp
  ${SOURCE_DIR}/bench/*.[ch] ${SOURCE_DIR}/bench/*.[ch]pp
  ${SOURCE_DIR}/fuzz/*.[ch] ${SOURCE_DIR}/fuzz/*.[ch]pp)
if(FIX)
  execute_process(COMMAND ${CLANG_FORMAT} -i ${files})
  return()
endif()
# One call for every file: a process per file cost more than the check.
# clang-format names each file it would change in its "error:" lines.
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE report)
if(NOT rc EQUAL 0)
  string(REGEX MATCHALL "[^\n]+:[0-9]+:[0-9]+: error:" places "${report}")
  set(bad "")
  foreach(place IN LISTS places)
    string(REGEX REPLACE ":[0-9]+:[0-9]+: error:$" "" f "${place}")
    list(APPEND bad ${f})
  endforeach()
  list(REMOVE_DUPLICATES bad)
  if(NOT bad)
    set(bad "${report}")  # not a formatting complaint: show what it said
  endif()
  list(JOIN bad "\n  " shown)
  message(FATAL_ERROR "Not formatted (run: cmake --build build/default --target format):\n  ${shown}")
endif()
