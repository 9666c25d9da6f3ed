# The Windows front of packages, for librivo.so to embed beside the Linux one.
# Cross-compiled with mingw-w64 as a project of its own (this source tree with
# cmake/mingw-x86_64.cmake), against libsodium built from Debian's source
# package by cmake/WindowsSodium.sh and kept in the user's cache folder.
#
# Sets RIVO_WINDOWS_FRONT (the program, or empty) and RIVO_WINDOWS_MISSING
# (why there is none: configuration says so, librivo.so then makes Linux
# packages only, and the tests of the Windows front skip with that reason),
# RIVO_WINDOWS_LICENSES (its notices) and, for the tests, RIVO_WINDOWS_PROBE.
option(DOZO_WINDOWS_FRONT "Build the Windows front of packages (mingw-w64, Debian's libsodium source)" ON)

set(RIVO_WINDOWS_FRONT "")
set(RIVO_WINDOWS_PROBE "")
set(RIVO_WINDOWS_LICENSES "")
set(RIVO_WINDOWS_MISSING "")
find_program(DOZO_MINGW64_GCC NAMES x86_64-w64-mingw32-gcc-posix)
find_program(DOZO_MINGW64_GXX NAMES x86_64-w64-mingw32-g++-posix)
find_program(DOZO_MINGW64_WINDRES NAMES x86_64-w64-mingw32-windres)

if(NOT DOZO_WINDOWS_FRONT)
  set(RIVO_WINDOWS_MISSING "turned off (DOZO_WINDOWS_FRONT=OFF)")
elseif(NOT DOZO_MINGW64_GCC OR NOT DOZO_MINGW64_GXX OR NOT DOZO_MINGW64_WINDRES)
  set(RIVO_WINDOWS_MISSING
      "mingw-w64 for x86-64 (g++-mingw-w64-x86-64-posix) is not installed; scripts/deps build installs it")
else()
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(cache_root "$ENV{XDG_CACHE_HOME}/dozo")
  else()
    set(cache_root "$ENV{HOME}/.cache/dozo")
  endif()
  set(work ${CMAKE_BINARY_DIR}/windows-sodium)
  file(MAKE_DIRECTORY ${work})
  message(STATUS "Windows front: libsodium from Debian's source package (cached in ${cache_root}; log: ${work}/log)")
  execute_process(
    COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/WindowsSodium.sh ${DOZO_MINGW64_GCC} ${work} ${cache_root}
    OUTPUT_VARIABLE sodium OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_FILE ${work}/log
    RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS "${sodium}/lib/libsodium.a")
    file(STRINGS ${work}/log tail)
    list(LENGTH tail lines)
    if(lines GREATER 5)
      math(EXPR from "${lines} - 5")
      list(SUBLIST tail ${from} 5 tail)
    endif()
    list(JOIN tail "\n    " tail)
    set(RIVO_WINDOWS_MISSING
        "libsodium for Windows could not be had from Debian's source package (see ${work}/log):\n    ${tail}")
  endif()
endif()

# Seen by the tests and the About box's notices, in folders of their own.
macro(dozo_windows_front_publish)
  foreach(name IN ITEMS RIVO_WINDOWS_FRONT RIVO_WINDOWS_PROBE RIVO_WINDOWS_LICENSES
                        RIVO_WINDOWS_MISSING)
    set(${name} "${${name}}" CACHE INTERNAL "")
  endforeach()
endmacro()

if(RIVO_WINDOWS_MISSING)
  if(DOZO_WINDOWS_FRONT)
    message(WARNING "The Windows front of packages is not built: ${RIVO_WINDOWS_MISSING}")
  else()
    message(STATUS "The Windows front of packages is not built: ${RIVO_WINDOWS_MISSING}")
  endif()
  dozo_windows_front_publish()
  return()
endif()
message(STATUS "Windows front: libsodium ${sodium}")

include(ExternalProject)
set(front_tree ${CMAKE_BINARY_DIR}/windows-front)
set(RIVO_WINDOWS_FRONT ${front_tree}/rivo-windows.exe)
set(RIVO_WINDOWS_LICENSES ${front_tree}/components/rivo/windows/licenses.txt)
set(targets rivo_windows)
set(byproducts ${RIVO_WINDOWS_FRONT} ${RIVO_WINDOWS_LICENSES})
if(BUILD_TESTING)
  set(RIVO_WINDOWS_PROBE ${front_tree}/rivo-probe.exe)
  list(APPEND targets rivo_probe)
  list(APPEND byproducts ${RIVO_WINDOWS_PROBE})
endif()
ExternalProject_Add(rivo_windows_front
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${front_tree}
  LIST_SEPARATOR |
  CMAKE_ARGS --toolchain ${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
             -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF -DDOZO_BENCH=OFF
             -DCMAKE_COMPILE_WARNING_AS_ERROR=${CMAKE_COMPILE_WARNING_AS_ERROR}
             -DDOZO_PARTS=fileio|rivo -DDOZO_WINDOWS_SODIUM=${sodium}
             -DDOZO_WINDOWS_PROBE=${BUILD_TESTING}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${targets}
  BUILD_BYPRODUCTS ${byproducts}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
dozo_windows_front_publish()
