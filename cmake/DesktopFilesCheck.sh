#!/usr/bin/env bash
# The files a desktop reads about the program: they must pass the validators
# the desktops themselves use, and the metadata must show screenshots we have.
#   DesktopFilesCheck.sh <source-dir> <configured-metainfo> <man-page>...
set -uo pipefail
source=$1 metainfo=$2; shift 2
status=0
desktop-file-validate "$source/app/resources/dozo.desktop" || status=1
grep -qx 'Exec=dozo %f' "$source/app/resources/dozo.desktop" ||
  { echo "FAIL: dozo.desktop must start 'dozo %f'"; status=1; }
appstreamcli validate --no-net --pedantic "$metainfo" || status=1
# Each screenshot URL names a file of docs/screenshots, and every tab's
# screenshot there is shown (the others show details, such as a dialog).
mapfile -t shown < <(grep -o 'docs/screenshots/[^<]*' "$metainfo" | sort)
mapfile -t have < <(cd "$source" && ls docs/screenshots/tab*.png | sort)
if [ "${shown[*]}" != "${have[*]}" ]; then
  echo "FAIL: metainfo shows '${shown[*]}' but docs/screenshots holds '${have[*]}'"; status=1
fi
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "FAIL: $page:"; echo "$warnings"; status=1; }
done
exit $status
