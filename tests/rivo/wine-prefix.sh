#!/usr/bin/env bash
# The Wine that the tests of the Windows front run in, made once per test run
# (a CTest fixture) and stopped at its end.
#
#   wine-prefix.sh start DIR WINE64 WINESERVER
#   wine-prefix.sh stop DIR WINESERVER
#
# start makes DIR/prefix afresh (64-bit, no display) with the dialog font
# mapped to IPAGothic (a fresh prefix has no Japanese glyphs), keeps its
# wineserver running for the whole run and writes DIR/ready; without Wine it
# writes the reason to DIR/skip, and the tests skip with it. DIR/locale gets a
# ja_JP.UTF-8 locale of the tests' own (LOCPATH) for Wine's Japanese interface.
#
# Wine's desktop takes its display from the first program that needs it, a
# console test without one; the dialog test's programs (rivo-dialog-test.exe
# and the probe) get a desktop of their own, "dialogs", on the test's display.
set -uo pipefail
action=$1 dir=$2
# Wine keeps its server's socket in a folder it makes under TMPDIR: DIR/tmp,
# which goes with the rest of DIR (the tests give Wine the same TMPDIR).
export WINEPREFIX="$dir/prefix" WINEDEBUG=-all TMPDIR="$dir/tmp"

if [ "$action" = stop ]; then
  [ -d "$WINEPREFIX" ] && "$3" -k 2>/dev/null
  rm -rf "$dir/tmp"
  exit 0
fi

wine=$3 server=$4
# A server left running by a run that never got to its cleanup goes first.
[ -d "$WINEPREFIX" ] && [ -x "$server" ] && "$server" -k 2>/dev/null
rm -rf "$dir"
mkdir -p "$dir"
if [ ! -x "$wine" ] || [ ! -x "$server" ]; then
  echo "64-bit Wine (wine64) is not installed; scripts/deps test installs it" > "$dir/skip"
  cat "$dir/skip"
  exit 0
fi
log="$dir/setup.log"
# Wine's own services outlive wineboot: none of them may hold CTest's output.
exec </dev/null >"$log" 2>&1
mkdir -p "$WINEPREFIX" "$TMPDIR"
"$server" -p
# No installer for Mono or Gecko: nothing here needs them, and they would ask.
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i || { echo "wineboot failed" > "$dir/skip"; exit 1; }
cat > "$dir/settings.reg" <<'SETTINGS'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Tahoma"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"dialogs"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\rivo-dialog-test.exe\Explorer]
"Desktop"="dialogs"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\rivo-probe.exe\Explorer]
"Desktop"="dialogs"
SETTINGS
"$wine" regedit "$dir/settings.reg"
if [ -d /usr/share/i18n/locales ] && command -v localedef >/dev/null; then
  mkdir -p "$dir/locale"
  localedef -i ja_JP -f UTF-8 "$dir/locale/ja_JP.UTF-8" || true
fi
touch "$dir/ready"
