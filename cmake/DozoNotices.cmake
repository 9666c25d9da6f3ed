# Writes the program's notices: Dozo's own licence, the libraries it links
# dynamically and the font it draws with, then the notices of the libraries
# linked statically into every package, as the package program itself prints
# them (--licenses), so that those texts live in one place only.
#   cmake -DLICENSE=... -DTHIRD_PARTY=... [-DSTUB=rivo-stub] -DOUTPUT=... -P DozoNotices.cmake
file(READ "${LICENSE}" own)
file(READ "${THIRD_PARTY}" third)
set(text "Vuvurazir (Dozo)\n\n${own}\n\n${third}")
if(STUB)
  execute_process(COMMAND "${STUB}" --licenses OUTPUT_VARIABLE packaged RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${STUB} --licenses failed: ${code}")
  endif()
  string(APPEND text "\nEvery package made on the RIVO暗号化 tab (librivo.so) runs a program that\n"
                     "carries these libraries; `<package> --licenses` shows the same text.\n\n"
                     "${packaged}")
endif()
file(WRITE "${OUTPUT}" "${text}")
