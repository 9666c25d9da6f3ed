#!/usr/bin/env bash
# The files a desktop reads about the program: they must pass the validators
# the desktops themselves use. The project has no public home yet, so the
# metadata names no web address (homepage, bug tracker, screenshots).
#   DesktopFilesCheck.sh <source-dir> <configured-metainfo> <man-page>...
set -uo pipefail
source=$1 metainfo=$2; shift 2
status=0
desktop-file-validate "$source/app/resources/dozo.desktop" || status=1
grep -qx 'Exec=dozo %f' "$source/app/resources/dozo.desktop" ||
  { echo "FAIL: dozo.desktop must start 'dozo %f'"; status=1; }
appstreamcli validate --no-net --pedantic "$metainfo" || status=1
if grep -n '<url\|https\?://' "$metainfo"; then
  echo "FAIL: the metainfo names a web address"; status=1
fi
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "FAIL: $page:"; echo "$warnings"; status=1; }
done
exit $status
