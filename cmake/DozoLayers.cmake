# The dependency hierarchy, kept by the build rather than by discipline.
#
#   fileio            links nothing
#   textcodec         fileio only (CRC-16, code page 932; no Qt)
#   transform, keyed  link fileio only (no Qt, nothing of the application)
#   components        fileio, contracts, textcodec, libarchive, libsodium, Qt (settings dialog); never the application
#   core              Qt Core, contracts and fileio; what both front ends share, never a widget
#   app, cli          side by side on core: app adds Qt's widgets, cli nothing but Qt Core
#                     and libsodium (locked room for secrets); both reach every library of
#                     ours by name at run time, never by linking
#
# dozo_layer(<target> <layer>) files a target under a layer; at the end of
# configuration dozo_check_layers() fails the build if a target links anything
# its layer does not allow.

set(DOZO_LAYER_ALLOWED_fileio "")
set(DOZO_LAYER_ALLOWED_textcodec "dozo_fileio")
set(DOZO_LAYER_ALLOWED_library "dozo_fileio")
set(DOZO_LAYER_ALLOWED_component "dozo_fileio;dozo_textcodec;dozo_contracts;LibArchive::LibArchive;archive;sodium;PkgConfig::.*;Qt6::.*;Threads::Threads;dl")
# The Windows front of packages also links the system's own libraries.
if(WIN32)
  list(APPEND DOZO_LAYER_ALLOWED_component advapi32 comctl32 comdlg32 gdi32 shell32 user32)
endif()
set(DOZO_LAYER_ALLOWED_core "Qt6::Core;dozo_contracts;dozo_fileio;dozo_textcodec;dl;\${CMAKE_DL_LIBS}")
set(DOZO_LAYER_ALLOWED_cli "Qt6::Core;dozo_contracts;dozo_core;dozo_fileio;sodium;dl;\${CMAKE_DL_LIBS}")
set(DOZO_LAYER_ALLOWED_app "Qt6::.*;dozo_contracts;dozo_core;dozo_app_.*;Threads::Threads;dl;\${CMAKE_DL_LIBS}")

function(dozo_layer target layer)
  set_property(GLOBAL APPEND PROPERTY DOZO_LAYERED_TARGETS ${target})
  set_property(TARGET ${target} PROPERTY DOZO_LAYER ${layer})
endfunction()

function(dozo_check_layers)
  get_property(targets GLOBAL PROPERTY DOZO_LAYERED_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(layer ${t} DOZO_LAYER)
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(NOT libs)
      continue()
    endif()
    foreach(lib IN LISTS libs)
      # Generator expressions such as $<LINK_ONLY:x> wrap plain names.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
      set(ok FALSE)
      foreach(pattern IN LISTS DOZO_LAYER_ALLOWED_${layer})
        if(lib MATCHES "^${pattern}$")
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        message(FATAL_ERROR "Layer rule broken: ${t} (layer '${layer}') links '${lib}'. See HACKING.md, Dependency rules.")
      endif()
    endforeach()
  endforeach()
endfunction()

# dozo_check_includes(<folder> <allowed folders...>): fails configuration when
# a source of <folder> (relative to the repository root) includes a header of
# ours, named by its path from the root, that lies outside the allowed
# folders. Links keep what a target may call; this keeps what it may see.
function(dozo_check_includes folder)
  set(ours "^(app|cli|core)/")
  file(GLOB_RECURSE files ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} lines REGEX "^#include [<\"]")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "^#include [<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      set(header "${CMAKE_MATCH_1}")
      if(NOT header MATCHES "/" AND EXISTS ${PROJECT_SOURCE_DIR}/${folder}/${header})
        message(FATAL_ERROR "${file}: include headers of ours by their path from the repository root: ${line}")
      endif()
      if(NOT header MATCHES "${ours}")
        continue()
      endif()
      set(ok FALSE)
      foreach(allowed IN LISTS ARGN)
        string(FIND "${header}" "${allowed}/" at)
        if(at EQUAL 0)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        message(FATAL_ERROR "${file} includes ${header}, which ${folder}/ may not see. See HACKING.md, Dependency rules.")
      endif()
    endforeach()
  endforeach()
endfunction()
