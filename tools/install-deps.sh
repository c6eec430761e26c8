#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: asks apt only for what is missing, and adds the i386
# architecture (for wine32, which runs the 32-bit programs) only when dpkg
# does not know it yet. Runs without standard input (CI, as root).
set -euo pipefail

want=(
  build-essential cmake googletest libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 xvfb x11-utils x11-apps imagemagick xdotool procps zip
  openssl osslsigncode
)
[ "${1:-}" = "--native" ] && want=(build-essential cmake googletest libgtest-dev clang libclang-rt-14-dev)

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
for p in "${missing[@]}"; do
  if [[ $p == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture (for ${p%:i386})"
    $sudo dpkg --add-architecture i386
    break
  fi
done
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" </dev/null
