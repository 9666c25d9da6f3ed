#!/bin/sh
# Checks the export and import tables of the Windows libraries:
#   check-exports.sh <objdump> <folder with Rozu32.dll and Vod32.dll>
# Every export by its undecorated name at its ordinal, nothing else exported,
# and nothing imported but the system's own DLLs.
set -eu
objdump=$1
dir=$2
failed=0

# Prints "ordinal name" for every export, and "import NAME" for every DLL
# imported.
tables() {
  "$objdump" -p "$1" | awk '
    /^Ordinal Base/ { base = $3 }
    /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && /^\t\[ *[0-9]+\] / { sub(/^\t\[ */, ""); split($0, f, /\] /); print f[1] + base, f[2]; next }
    names { names = 0 }
    /^\tExport Address Table -- Ordinal Base/ { next }
    /^\t\[ *[0-9]+\] \+base\[ *[0-9]+\]/ { count++ }
    /DLL Name:/ { print "import", toupper($3) }
    END { print "addresses", count + 0 }' | sort
}

fail() {
  echo "FAIL $*"
  failed=1
}

check() {
  file=$dir/$1
  shift
  expected=$(printf '%s\n' "$@" "import KERNEL32.DLL" "import MSVCRT.DLL" | sort)
  [ -f "$file" ] || { fail "$file is missing"; return; }
  "$objdump" -f "$file" | grep -q 'file format pei-i386' || fail "$file is not a 32-bit Windows DLL"
  actual=$(tables "$file")
  if [ "$actual" = "$expected" ]; then
    echo "ok   $file"
  else
    fail "$file: tables differ (- expected, + actual)"
    printf '%s\n' "$expected" > "$file.expected-tables"
    printf '%s\n' "$actual" | diff "$file.expected-tables" - | sed -n 's/^[<>]/  &/p' || true
    rm -f "$file.expected-tables"
  fi
}

check Rozu32.dll "1 RazuGetVersion" "2 FileEncryptionA" "3 FileEncryptionC" \
  "4 FileEncryptionLC" "5 FileEncryptionLCR" "6 FileEncryptionLCB" "7 FileEncryptionLCRB" \
  "8 i_CLOL" "addresses 8"
check Vod32.dll "1 VovGetVersion" "2 VovBCMKC" "3 VovBCMKCL" "addresses 3"
exit $failed
