#!/usr/bin/env bash
# Puts the program where a user's install puts it and starts it offscreen:
# it must bind its libraries from that install's private library folder,
# with no hint from the environment.
#   InstalledStartCheck.sh install <build-dir> <libdir>   cmake --install --prefix /usr into a DESTDIR
#   InstalledStartCheck.sh deb <build-dir> <libdir>       cpack's .deb, unpacked with dpkg-deb -x
# <libdir> is the private library folder relative to the prefix (lib/<multiarch>/dozo).
set -uo pipefail
mode=$1 build=$2 libdir=$3
root=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$root"
}
trap cleanup EXIT

case $mode in
  install)
    DESTDIR=$root/tree cmake --install "$build" --prefix /usr >/dev/null || exit 1 ;;
  deb)
    command -v dpkg-deb >/dev/null || { echo "FAIL: dpkg-deb missing (scripts/deps test)"; exit 1; }
    cpack --config "$build/CPackConfig.cmake" -B "$root/deb" >"$root/cpack.log" 2>&1 ||
      { cat "$root/cpack.log"; exit 1; }
    debs=("$root"/deb/*.deb)
    [ -f "${debs[0]}" ] || { echo "FAIL: cpack made no .deb"; exit 1; }
    dpkg-deb -x "${debs[0]}" "$root/tree" || exit 1 ;;
  *) echo "usage: $0 install|deb <build-dir> <libdir>" >&2; exit 2 ;;
esac

program=$root/tree/usr/bin/dozo
libs=$root/tree/usr/$libdir
[ -x "$program" ] || { echo "FAIL: no $program"; exit 1; }
for lib in libRozu32.so libVod32.so libunlha32.so libunlha32_settings.so librivo.so; do
  [ -f "$libs/$lib" ] || { echo "FAIL: $libs/$lib not installed"; exit 1; }
done

# Start-up binds the transform, keyed and archiver libraries; the package
# library is bound from the same folder when a package is made.
env QT_QPA_PLATFORM=offscreen "$program" >"$root/out" 2>"$root/err" &
pid=$!
wanted=(libRozu32.so libVod32.so libunlha32.so)
for _ in $(seq 300); do
  kill -0 "$pid" 2>/dev/null || break
  missing=()
  for lib in "${wanted[@]}"; do
    grep -qF " $libs/$lib" "/proc/$pid/maps" 2>/dev/null || missing+=("$lib")
  done
  [ ${#missing[@]} -eq 0 ] && break
  sleep 0.1
done
status=0
if ! kill -0 "$pid" 2>/dev/null; then
  echo "FAIL: the program ended at start-up"; status=1
elif [ ${#missing[@]} -ne 0 ]; then
  echo "FAIL: not loaded from $libs: ${missing[*]}"; status=1
fi
# Our own complaints (a library that cannot be bound, none found) start
# with "dozo:"; Qt's remarks about the offscreen platform do not count.
if grep -q '^dozo:' "$root/err"; then
  echo "FAIL: the program complained on stderr:"; cat "$root/err"; status=1
fi
[ $status -eq 0 ] && echo "ok: $program bound ${wanted[*]} from $libs"
exit $status
