#!/usr/bin/env bash
# make dist: the folder to ship and its zip.
#
#   build/dist/ZanDriverInstaller.exe      the 32-bit program; on 64-bit
#                                          Windows it hands the run to
#   build/dist/x64/ZanDriverInstaller.exe  the 64-bit program
#   build/dist/README.txt                  for the person deploying it (CRLF)
#   build/ZanDriverInstaller-<version>.zip the folder's contents
#
# The version is the file version of res/version.h. The folder and the zip
# are checked before the script ends: each program for its processor, the
# readme with CRLF line ends, the zip holding exactly the folder's files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "dist: $*" >&2; exit 1; }

version=$(sed -n 's/^#define ZAN_FILE_VERSION_TEXT "\(.*\)"$/\1/p' "$root/res/version.h")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no file version in res/version.h"
exe32=$root/build/win32/ZanDriverInstaller.exe
exe64=$root/build/win64/ZanDriverInstaller.exe
for f in "$exe32" "$exe64"; do [ -f "$f" ] || fail "$f is missing; run make dist (or make windows) first"; done

dist=$root/build/dist
zip=$root/build/ZanDriverInstaller-$version.zip
rm -rf "$dist" "$zip"
mkdir -p "$dist/x64"
cp "$exe32" "$dist/ZanDriverInstaller.exe"
cp "$exe64" "$dist/x64/ZanDriverInstaller.exe"
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/tools/dist/README.txt" >"$dist/README.txt"
(cd "$dist" && zip -q -X "$zip" ZanDriverInstaller.exe x64/ZanDriverInstaller.exe README.txt)

# --- Checks ---------------------------------------------------------------------
[ "$(x86_64-w64-mingw32-objdump -f "$dist/ZanDriverInstaller.exe" | sed -n 's/.*file format //p')" = pei-i386 ] ||
    fail "ZanDriverInstaller.exe is not the 32-bit program"
[ "$(x86_64-w64-mingw32-objdump -f "$dist/x64/ZanDriverInstaller.exe" | sed -n 's/.*file format //p')" = pei-x86-64 ] ||
    fail "x64/ZanDriverInstaller.exe is not the 64-bit program"
[ "$(grep -c $'\r$' "$dist/README.txt")" = "$(wc -l <"$dist/README.txt")" ] || fail "README.txt has lines without CRLF"
grep -q "version=\"$version\"" "$root/res/ZanDriverInstaller.exe.manifest" ||
    fail "the manifest's version is not $version"
listed=$(zip -sf "$zip" | sed -n 's/^  //p' | sort | tr '\n' ' ')
[ "$listed" = "README.txt ZanDriverInstaller.exe x64/ZanDriverInstaller.exe " ] || fail "the zip holds: $listed"

echo "dist: $(cd "$root" && echo build/dist) ($version):"
(cd "$dist" && find . -type f -printf '  %P  %s bytes\n' | sort)
echo "dist: ${zip#$root/}, $(stat -c %s "$zip") bytes"
