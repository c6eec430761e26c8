#!/usr/bin/env bash
# make reproducible: proves that make dist rebuilds the shipped files bit for
# bit. Two fresh clones of the last commit, in folders of different names,
# each run make dist from nothing, the second at least a minute after the
# first began and under another time zone and umask; then every file of the
# two dist folders and the two zips are compared with cmp. Changes not
# committed are not part of the clones. KEEP=1 keeps the clones.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d /tmp/zan-reproducible.XXXXXX)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
# Every object compiled anew in each clone, none taken from a compiler cache.
export CCACHE_DISABLE=1
fail() { echo "reproducible: $*" >&2; exit 1; }

# build FOLDER: a clone of the commit in FOLDER and make dist in it.
build() {
    git clone --quiet --no-checkout "$root" "$1" && git -C "$1" checkout --quiet --detach "$commit" ||
        fail "cannot clone $commit into $1"
    echo "reproducible: make dist in $1 (TZ=${TZ:-unset}, umask $(umask))"
    make -C "$1" --no-print-directory dist >"$1.log" 2>&1 || { tail -n 20 "$1.log" >&2; fail "make dist failed in $1 (log: $1.log)"; }
}

first=$(date +%s)
(export TZ=UTC0; umask 022; build "$work/one")
wait=$((first + 60 - $(date +%s)))
[ $wait -le 0 ] || sleep $wait
second=$(date +%s)
(export TZ=XST-14; umask 077; build "$work/second-clone")

a=$work/one/build b=$work/second-clone/build
files=$(cd "$a" && find dist -type f | sort; ls ZanDriverInstaller-*.zip)
[ "$files" = "$(cd "$b" && find dist -type f | sort; ls ZanDriverInstaller-*.zip)" ] ||
    fail "the two builds made different files"
differ=0
for f in $files; do
    cmp "$a/$f" "$b/$f" || differ=1
done
[ $differ -eq 0 ] || fail "the two builds of $commit differ"
echo "reproducible: the two builds of ${commit:0:12}, begun $((second - first)) s apart, are the same bytes:"
(cd "$a" && for f in $files; do printf '  %s  %s bytes\n' "$f" "$(stat -c %s "$f")"; done)
(cd "$a" && sha256sum ZanDriverInstaller-*.zip)
