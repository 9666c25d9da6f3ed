# The Windows DLLs: named without the "lib" prefix, exports fixed by a module
# definition file, a version resource, and placed at the top of the build
# tree where scripts/build-windows leaves them.
enable_language(RC)

# dozo_windows_dll(<target> <def file> <major> <minor> <description>)
function(dozo_windows_dll target def major minor description)
  set(DOZO_RC_NAME ${target})
  set(DOZO_RC_MAJOR ${major})
  set(DOZO_RC_MINOR ${minor})
  set(DOZO_RC_DESCRIPTION "${description}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/DozoVersion.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc ${def})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
