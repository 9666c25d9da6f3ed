# Hardening for everything we ship. Applied to the whole project rather than
# per target, so the static libraries linked into the programs and shared
# libraries (fileio, the application's layers, the package program's sources)
# carry the same protection as the files that hold them. The hardening test
# (cmake/HardeningCheck.sh) reads the installed ELF files and fails when one of
# these properties is missing.
#
# Sanitizer and fuzz presets turn it off: their runtimes replace the checked
# string functions and the stack layout that these flags rely on.
option(DOZO_HARDENING "Build with stack protector, FORTIFY, CET, full RELRO and PIE" ON)

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)

# The Windows DLLs (mingw-w64) take none of these ELF linker options.
if(DOZO_HARDENING AND NOT WIN32)
  add_compile_options(-fstack-protector-strong -fstack-clash-protection -fcf-protection)
  # glibc checks buffer sizes only when optimising; in a Debug build it would
  # only warn that the definition does nothing.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro,-z,now,-z,noexecstack)
endif()
