# The dependency hierarchy, kept by the build rather than by discipline.
#
#   fileio            links nothing
#   transform, keyed  link fileio only (no Qt, nothing of the application)
#   components        fileio, contracts, libarchive, libsodium, Qt (settings dialog); never the application
#   app               Qt and the dynamic loader; reaches every library of ours by name at run time
#   cli               Qt Core, the application's widget-free core and fileio; never a widget
#
# dozo_layer(<target> <layer>) files a target under a layer; at the end of
# configuration dozo_check_layers() fails the build if a target links anything
# its layer does not allow.

set(DOZO_LAYER_ALLOWED_fileio "")
set(DOZO_LAYER_ALLOWED_library "dozo_fileio")
set(DOZO_LAYER_ALLOWED_component "dozo_fileio;dozo_contracts;LibArchive::LibArchive;archive;sodium;PkgConfig::.*;Qt6::.*;Threads::Threads;dl")
set(DOZO_LAYER_ALLOWED_cli "Qt6::Core;dozo_contracts;dozo_app_core;dozo_fileio;dl;\\${CMAKE_DL_LIBS}")
set(DOZO_LAYER_ALLOWED_app "Qt6::.*;dozo_contracts;dozo_app_.*;Threads::Threads;dl;\\${CMAKE_DL_LIBS}")
set(DOZO_LAYER_ALLOWED_app_core "Qt6::Core;dozo_contracts;dl;\\${CMAKE_DL_LIBS}")

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
