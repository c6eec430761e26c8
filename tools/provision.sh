#!/usr/bin/env bash
# Arranges a simulated point-of-sale machine in an existing Wine prefix.
#
#   tools/provision.sh [--new] <prefix> <profile> [add-on...] [--oem]
#
# --new     make the prefix first (wine_env_make_prefix of tools/wine-env.sh,
#           for WINEARCH, default win64): wineboot without a display (no
#           Mono or Gecko), the X11 driver told that no window manager runs
#           (Managed=N), and Wine shut down again, so that the first program
#           shown starts Wine's desktop afresh on the display it is given.
#           The prefix appears only once it is complete: a make that fails
#           or is interrupted leaves nothing in the way of the next one.
#
# profile:  full4   base device, card, Serial Ports C to F
#           full1   base device, card, Serial Port C
#           nobase  card, Serial Ports C to F
#           empty   no device
# add-ons:  decoys  devices described "ZAN 7350-21x Base Device 2" and "ZAN 7350-21x Base"
#           card2   a second card
#           nointerface  the ports expose no serial-port interface (a driver
#                   stack without the serial enumerator): Ports class only
# --oem     OEM INF copies for the removal's cleanup (see write_oem_infs)
#
# The driver INF files go to C:\windows\inf (ZANBaseD.inf, ZANPorts.inf,
# 1port\ZAN2kmf.inf, 4port\ZAN2kmf.inf), where the installer expects them.
# POSMACHINE names the helper (default: the build of WINEARCH, win64 unless set).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
posmachine=${POSMACHINE:-$root/build/${WINEARCH:-win64}/tools/posmachine/posmachine.exe}

usage() { echo "usage: $0 [--new] <prefix> <full4|full1|nobase|empty> [decoys] [card2] [nointerface] [--oem]" >&2; exit 2; }
new=0
[ "${1:-}" = --new ] && { new=1; shift; }
[ $# -ge 2 ] || usage
prefix=$1; shift
if [ $new = 1 ]; then
  [ -e "$prefix" ] && { echo "provision: $prefix exists already" >&2; exit 2; }
  . "$here/wine-env.sh"
  wine_env_make_prefix "$prefix" "${WINEARCH:-win64}" || { echo "provision: no prefix made" >&2; exit 1; }
fi
[ -d "$prefix/drive_c/windows" ] || { echo "provision: $prefix is not a Wine prefix" >&2; exit 2; }
[ -f "$posmachine" ] || { echo "provision: $posmachine not built (make windows)" >&2; exit 2; }

words=() oem=0
for a in "$@"; do
  case $a in
    full4|full1|nobase|empty|decoys|card2|nointerface) words+=("$a") ;;
    --oem) oem=1 ;;
    *) usage ;;
  esac
done

inf=$prefix/drive_c/windows/inf
mkdir -p "$inf/1port" "$inf/4port"
cp "$here/inf/ZANBaseD.inf" "$here/inf/ZANPorts.inf" "$inf/"
cp "$here/inf/1port/ZAN2kmf.inf" "$inf/1port/"
cp "$here/inf/4port/ZAN2kmf.inf" "$inf/4port/"

# OEM INF copies as the system would have left them from earlier installs.
#   oem10  the base device's ID among other text on one line, with its .pnf  -> removed with the base device
#   oem11  only "PCI\VEN_1D9E&DEV_0B52", with .pnf                            -> kept
#   oem12  the base device's ID split across two lines, with .pnf             -> kept
#   oem13  the base device's ID in UTF-16, with .pnf                          -> kept
#   oem14  the card's ID with its revision, no .pnf                           -> removed with the card
#   oem15  another vendor's device, with .pnf                                 -> kept
write_oem_infs() {
  local d=$1
  crlf() { sed 's/$/\r/'; }
  crlf > "$d/oem10.inf" <<'INF'
[Version]
Signature="$WINDOWS NT$"
Class=System
[Manufacturer]
%ZAN%=ZAN
[ZAN]
%BaseDevice%=ZANBase_Install,PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E
[Strings]
ZAN="ZAN"
BaseDevice="ZAN 7350-21x Base Device"
INF
  crlf > "$d/oem11.inf" <<'INF'
[Version]
Signature="$WINDOWS NT$"
; Family ID only
PCI\VEN_1D9E&DEV_0B52
INF
  crlf > "$d/oem12.inf" <<'INF'
[Version]
Signature="$WINDOWS NT$"
[ZAN]
%BaseDevice%=ZANBase_Install,PCI\VEN_1D9E&DEV_0B52&
SUBSYS_0B531D9E
INF
  printf '\xff\xfe' > "$d/oem13.inf"
  crlf <<'INF' | iconv -f ASCII -t UTF-16LE >> "$d/oem13.inf"
[Version]
Signature="$WINDOWS NT$"
[ZAN]
%BaseDevice%=ZANBase_Install,PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E
INF
  crlf > "$d/oem14.inf" <<'INF'
[Version]
Signature="$WINDOWS NT$"
Class=MultiFunction
[ZAN]
%Card%=ZAN4Port_Install,PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10
INF
  crlf > "$d/oem15.inf" <<'INF'
[Version]
Signature="$WINDOWS NT$"
Class=Ports
[Other]
%Port%=Other_Install,PCI\VEN_8086&DEV_1C3D
INF
  local n
  for n in 10 11 12 13 15; do printf 'Wine PNF header\r\nC:\\windows\\inf\\oem%s.inf' "$n" > "$d/oem$n.pnf"; done
}
[ $oem = 1 ] && write_oem_infs "$inf"

if [ ${#words[@]} -gt 0 ]; then
  WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} timeout 120 wine "$posmachine" create "${words[@]}"
fi
