#!/usr/bin/env bash
# Installs the build tree into a temporary root and reads every ELF file it
# holds, plus the static package program given on the command line: each must
# carry the hardening that cmake/DozoHardening.cmake asks for.
#   HardeningCheck.sh <build-dir> [<static-program>...]
set -uo pipefail
build=$1; shift
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null || exit 1

# The functions glibc can check: every X that has an exported __X_chk.
libc=$(ldd /bin/true | awk '/libc\.so/ {print $3}')
declare -A fortifiable
while read -r name; do fortifiable[$name]=1; done < <(readelf -W --dyn-syms "$libc" |
  awk '{print $8}' | sed -n 's/^__\(.*\)_chk\(@.*\)\?$/\1/p' | sort -u)
[ ${#fortifiable[@]} -gt 0 ] || { echo "FAIL: no checked functions found in $libc"; exit 1; }

# The linker writes the CET note only when every object it links carries one.
# Debian 12's glibc start files (crti.o, crtn.o) and libc.a do not, so there
# the note cannot appear; check instead that the compiler instrumented our
# code: every exported function of a library, and main of a program, starts
# with endbr64.
crti=$(gcc -print-file-name=crti.o)
if readelf -W -n "$crti" 2>/dev/null | grep -q 'x86 feature:.*IBT'; then
  cet_note_possible=yes
else
  cet_note_possible=no
  echo "note: $crti carries no CET property, so checking endbr64 at entry points instead of the note"
fi

check_endbr() {  # <file> <program|library>
  local f=$1 kind=$2 entries name addr first
  if [ "$kind" = program ]; then
    entries=$(readelf -W -s "$f" | awk '$4 == "FUNC" && $7 != "UND" && $8 == "main" {print $2}')
  else
    entries=$(readelf -W --dyn-syms "$f" | awk '$4 == "FUNC" && $5 == "GLOBAL" && $7 != "UND" {print $2}')
  fi
  [ -n "$entries" ] || { fail "$f" "no entry point to check for endbr64"; return; }
  for addr in $entries; do
    first=$(objdump -d --no-show-raw-insn --start-address=0x$addr --stop-address=$((0x$addr + 4)) "$f" |
      awk '/^ +[0-9a-f]+:/ {print $2; exit}')
    [ "$first" = endbr64 ] || { fail "$f" "function at 0x$addr does not start with endbr64 (CET)"; return; }
  done
}

failures=0
fail() { echo "FAIL $1: $2"; failures=$((failures + 1)); }

check() {  # <file> <kind: program|library|static>
  local f=$1 kind=$2 headers dynamic notes symbols before=$failures
  headers=$(readelf -W -h -l "$f") || { fail "$f" "not readable as ELF"; return; }
  dynamic=$(readelf -W -d "$f")
  notes=$(readelf -W -n "$f")
  grep -q 'GNU_RELRO' <<<"$headers" || fail "$f" "no GNU_RELRO segment"
  grep -E 'GNU_STACK' <<<"$headers" | grep -q 'RWE' && fail "$f" "executable stack"
  grep -q 'GNU_STACK' <<<"$headers" || fail "$f" "no GNU_STACK segment"
  if [ "$cet_note_possible" = yes ]; then
    grep -q 'x86 feature:.*IBT.*SHSTK' <<<"$notes" || fail "$f" "no CET property note (IBT, SHSTK)"
  elif [ "$kind" != static ]; then
    check_endbr "$f" "$kind"
  fi
  if [ "$kind" = static ]; then
    # Stripped and static: look for the canary load and glibc's overflow
    # report, which only the checked functions pull in.
    [ "$(objdump -d "$f" | grep -c '%fs:0x28')" -gt 0 ] || fail "$f" "no stack canary"
    grep -aq 'buffer overflow detected' "$f" || fail "$f" "no FORTIFY checks"
    return
  fi
  grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$f" "no BIND_NOW"
  if [ "$kind" = program ]; then
    grep -q 'Type:.*DYN' <<<"$headers" && grep -q 'FLAGS_1.*PIE' <<<"$dynamic" ||
      fail "$f" "not a PIE"
  fi
  symbols=$(readelf -W --dyn-syms "$f" | awk '$7 == "UND" {sub(/@.*/, "", $8); print $8}')
  grep -qx '__stack_chk_fail' <<<"$symbols" || fail "$f" "no stack protector (__stack_chk_fail)"
  # Like hardening-check: a file that calls checkable functions must call at
  # least one of them checked; a file that calls none has nothing to check.
  if ! grep -q '^__.*_chk$' <<<"$symbols"; then
    local s
    for s in $symbols; do
      if [ -n "${fortifiable[$s]:-}" ]; then fail "$f" "calls $s but no _chk function (FORTIFY)"; break; fi
    done
  fi
  [ "$failures" -eq "$before" ] && echo "ok   $f"
}

count=0
while IFS= read -r -d '' f; do
  [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  case "$f" in */bin/*) check "$f" program ;; *) check "$f" library ;; esac
  count=$((count + 1))
done < <(find "$root" -type f -print0)
for f in "$@"; do check "$f" static; count=$((count + 1)); done

[ "$count" -gt 0 ] || { echo "FAIL: no ELF file installed"; exit 1; }
echo "$count files checked, $failures problems"
[ "$failures" -eq 0 ]
