# Writes the program's notices: Dozo's own licence, the libraries it links
# dynamically and the font it draws with, then the notices of the libraries
# linked statically into every package, as the package program itself prints
# them (--licenses), so that those texts live in one place only.
# The Windows front's notices are the file it carries them in (WINDOWS).
#   cmake -DLICENSE=... -DTHIRD_PARTY=... [-DSTUB=rivo-stub] [-DWINDOWS=licenses.txt]
#         -DOUTPUT=... -P DozoNotices.cmake
file(READ "${LICENSE}" own)
file(READ "${THIRD_PARTY}" third)
set(text "Vuvurazir (Dozo)\n\n${own}\n\n${third}")
if(STUB)
  execute_process(COMMAND "${STUB}" --licenses OUTPUT_VARIABLE packaged RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${STUB} --licenses failed: ${code}")
  endif()
  string(APPEND text "\nA package made on the RIVO暗号化 tab (librivo.so) for a Linux recipient runs\n"
                     "a program that carries these libraries; `<package> --licenses` shows the\n"
                     "same text.\n\n"
                     "${packaged}")
endif()
if(WINDOWS)
  file(READ "${WINDOWS}" packaged)
  string(APPEND text "\nA package made for a Windows recipient runs a program that carries these\n"
                     "libraries; `<package> --licenses` and the About entry of its dialog show\n"
                     "the same text.\n\n${packaged}")
endif()
file(WRITE "${OUTPUT}" "${text}")
