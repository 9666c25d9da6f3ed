#!/usr/bin/env bash
# Builds libsodium for the Windows front of packages: a static library for
# x86-64 Windows, cross-compiled with mingw-w64 from Debian's own source
# package, at the version of the libsodium the Linux front links.
#
#   cmake/WindowsSodium.sh CC WORK CACHE_ROOT
#
# CC is the cross compiler, WORK a folder of the build tree for apt's state
# and the source, CACHE_ROOT where built libraries are kept across clones
# (one folder per source version and compiler). Prints the folder that holds
# include/, lib/libsodium.a, copyright and VERSION; anything else goes to
# standard error. The machine's apt sources are read, never changed: the
# source is fetched through a private source list under WORK.
set -euo pipefail

cc=$1 work=$2 cache_root=$3
say() { printf '%s\n' "$*" >&2; }

# The version: that of the libsodium the Linux front is built with, so both
# fronts carry the same library; else the newest source apt can find.
version=$(dpkg-query -W -f='${Version}' libsodium-dev 2>/dev/null || true)
compiler=$("$cc" -dumpversion)
compiler_package=$(dpkg-query -S "$(readlink -f "$(command -v "$cc")")" 2>/dev/null | cut -d: -f1 || true)
[ -z "$compiler_package" ] || compiler="$compiler-$(dpkg-query -W -f='${Version}' "$compiler_package")"

if [ -n "$version" ]; then
  folder="$cache_root/libsodium-$version-$compiler"
  if [ -f "$folder/VERSION" ] && [ -f "$folder/lib/libsodium.a" ]; then
    printf '%s\n' "$folder"
    exit 0
  fi
fi

# A source list of our own: a deb-src line for every bookworm source of the
# machine's (one-line lists and deb822 files alike), same mirrors and keys.
apt_dir="$work/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
list="$apt_dir/sources.list"
rm -f "$apt_dir/parts/"*
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -r "$f" ] || continue
  sed -n -E 's/^[[:space:]]*deb[[:space:]]+(.*[[:space:]]bookworm[^[:space:]]*[[:space:]].*)$/deb-src \1/p' "$f"
done > "$list"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -r "$f" ] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)Types:[^\n]*[[:space:]]deb([[:space:]]|$)/ && /(^|\n)Suites:[^\n]*bookworm/ &&
       !/(^|\n)Enabled:[[:space:]]*no/ {
         sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
       }' "$f" > "$apt_dir/parts/$(basename "$f")"
done
apt=(-o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
     -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
     -o APT::Sandbox::User=root -q)
say "libsodium for Windows: fetching Debian's source package (private source list in $apt_dir)"
apt-get "${apt[@]}" update >&2
if [ -z "$version" ]; then
  version=$(apt-cache "${apt[@]}" showsrc libsodium | sed -n 's/^Version: //p' | sort -V | tail -n 1)
  [ -n "$version" ] || { say "no source package libsodium in apt's sources"; exit 1; }
  folder="$cache_root/libsodium-$version-$compiler"
  if [ -f "$folder/VERSION" ] && [ -f "$folder/lib/libsodium.a" ]; then
    printf '%s\n' "$folder"
    exit 0
  fi
fi

source_dir="$work/source"
rm -rf "$source_dir"
mkdir -p "$source_dir"
(cd "$source_dir" && apt-get "${apt[@]}" source "libsodium=$version") >&2
tree=$(find "$source_dir" -mindepth 1 -maxdepth 1 -type d -name 'libsodium-*' | head -n 1)
[ -n "$tree" ] || { say "apt-get source gave no libsodium tree"; exit 1; }

# Built beside its final place and renamed there when complete, so a build
# that stops half-way leaves nothing another configure would take.
mkdir -p "$cache_root"
staging=$(mktemp -d "$cache_root/.libsodium-build-XXXXXX")
trap 'rm -rf "$staging"' EXIT
say "libsodium for Windows: building $version with $cc (once per version and compiler)"
(
  cd "$tree"
  autoreconf -fi
  ./configure --host=x86_64-w64-mingw32 CC="$cc" --prefix="$staging/install" \
              --disable-shared --enable-static --disable-ssp --disable-dependency-tracking
  make -j"$(nproc)"
  make install
) >&2
mkdir -p "$staging/result/lib"
cp -R "$staging/install/include" "$staging/result/include"
cp "$staging/install/lib/libsodium.a" "$staging/result/lib/"
cp "$tree/debian/copyright" "$staging/result/copyright"
printf '%s\n' "$version" > "$staging/result/VERSION"
if ! mv -T "$staging/result" "$folder" 2>/dev/null; then
  # Another configure finished first: its library is the same.
  [ -f "$folder/VERSION" ] || { say "cannot place $folder"; exit 1; }
fi
printf '%s\n' "$folder"
