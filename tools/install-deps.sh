#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: asks apt only for what is missing, and adds the i386
# architecture (for wine32, which runs the 32-bit programs) only when dpkg
# does not know it yet. Runs without standard input (CI, as root).
#
#   install-deps.sh             everything (the Windows builds, Wine, Xvfb, ...)
#   install-deps.sh --native    only what the native build and tests need
#   install-deps.sh --coverage  the native set and gcovr
#   install-deps.sh --demo      only what make demo shows: the 64-bit program
#                               and posmachine built, run by 64-bit Wine on
#                               Xvfb, the screenshot taken (xwd, convert)
#
# Packages come without the ones they merely recommend (which would bring
# codecs, printer drivers and fonts nothing here uses); the fonts Xvfb and
# Wine draw with are named instead. apt's own output goes to
# build/install-deps.log: one line says what is being installed, one how
# long it took; a failure prints the log's last lines.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

native=(build-essential cmake googletest libgtest-dev clang libclang-rt-14-dev ccache)
# The demo's compiler is MinGW-w64's win32-threads g++ alone: with both
# variants installed (g++-mingw-w64-x86-64), x86_64-w64-mingw32-g++ names that
# one too (the higher priority of the two alternatives), so the demo's build
# and make test's use the same compiler.
demo=(make cmake g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine fonts-liberation xvfb xfonts-base x11-apps imagemagick procps)
case "${1:-}" in
--native) want=("${native[@]}") ;;
--coverage) want=("${native[@]}" gcovr) ;;
--demo) want=("${demo[@]}") ;;
*)
  want=(
    "${native[@]}"
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 wine32:i386 fonts-wine fonts-liberation xvfb xfonts-base x11-utils x11-apps imagemagick xdotool procps zip
    openssl osslsigncode
  )
  ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
mkdir -p "$root/build"
log=$root/build/install-deps.log
echo "Installing ${#missing[@]} missing Debian packages and what they need (${missing[*]}); this takes a few minutes."
started=$(date +%s)
if ! {
  for p in "${missing[@]}"; do
    if [[ $p == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "Adding the i386 architecture (for ${p%:i386})"
      $sudo dpkg --add-architecture i386
      break
    fi
  done
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
} </dev/null >"$log" 2>&1; then
  echo "install-deps: the installation failed; the last lines of build/install-deps.log:" >&2
  tail -n 25 "$log" >&2
  exit 1
fi
echo "Installed in $(($(date +%s) - started)) s (apt's output: build/install-deps.log)."
