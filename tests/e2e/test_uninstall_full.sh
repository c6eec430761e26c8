#!/usr/bin/env bash
# "UNINSTALL" on a four-port machine whose base device and card have drivers,
# with decoy devices and OEM INF copies: the base device and the card are
# found by their exact descriptions and removed, the decoys (a longer
# description, and a shorter piece of it, both met first in the search) and
# the serial ports stay. Of the OEM INF files only those naming a removed
# device's hardware ID on one line are deleted, with their .pnf (oem10 for the
# base device; oem14 for the card, whose missing .pnf is traced "----> Failed");
# an ID cut short (oem11), split across two lines (oem12), in UTF-16 (oem13) or
# another vendor's (oem15) keeps its file. The removed rows' own INF and PNF
# files go; the four-port package, with no second card found, stays.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup uninstall_full

machine_provision full4 decoys --oem
machine_posmachine update 'PCI\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E' 'C:\windows\inf\ZANBaseD.inf' >/dev/null
machine_posmachine update 'PCI\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10' 'C:\windows\inf\1port\ZAN2kmf.inf' >/dev/null
: >"$E2E_WINDIR/inf/4port/ZAN2kmf.pnf"
touch "$E2E_WINDIR/RESULT.FAIL"
machine_dump before
machine_expect_base before 1
machine_expect_card before 1

machine_watch_start
e2e_start_program "$E2E_EXE64" UNINSTALL
e2e_wait_exit 30 || { e2e_fail "the program did not end within 30 s"; e2e_finish; }
machine_watch_wait
machine_dump after

e2e_assert_eq 0 "$E2E_EXIT" "exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "markers"
machine_expect_status <<'LINES'
may: Checking for previously installed drivers...
may: ""
must: Removing previously installed drivers and devices...
may: Removing ZAN 7350-21x Base Device...
must: ZAN 7350-21x Base Device found, removing...
must: ZAN 7350-21x Base Device found, removing...[OK]
may: Removing ZAN 7350-21x Serial Multifunction Device...
must: ZAN 7350-21x Serial Multifunction Device found, removing...
must: ZAN 7350-21x Serial Multifunction Device found, removing...[OK]
may: Removing ZAN 7350-21x Serial Multifunction Device...
may: Uninstall Complete!
LINES

# The INF folder lists the OEM files in name order under Wine.
machine_expect_trace <<'TRACE'
CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n
**** Removing installed drivers ****
--> Device Enumeration(FindDevice)
----> FindDevice match(REG_SZ)!
----> Driver installation found
----> Removing Device
--> REMOVING DEVICE....
----> Removing all OEM*.inf/pnf files associated with the specified search key
----> Retreiving the windows path
C:\\windows
oem10.inf
--> Opening OEM* File
----> Search Key Found!
----> Deleting INF File
----> Deleting PNF File
oem11.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem12.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem13.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem14.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem15.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
--> Device Enumeration(FindDevice)
----> FindDevice match(REG_SZ)!
----> Driver installation found
----> Removing Device
--> REMOVING DEVICE....
----> Removing all OEM*.inf/pnf files associated with the specified search key
----> Retreiving the windows path
C:\\windows
oem11.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem12.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem13.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
oem14.inf
--> Opening OEM* File
----> Search Key Found!
----> Deleting INF File
----> Deleting PNF File
----> Failed
oem15.inf
--> Opening OEM* File
----> Search Key Not Found, exiting....
--> Device Enumeration(FindDevice)
----> No more devices\n
TRACE

machine_expect_lines "devices left" "$(machine_descriptions after)" <<'DEVICES'
Serial Port C
Serial Port D
Serial Port E
Serial Port F
ZAN 7350-21x Base
ZAN 7350-21x Base Device 2
DEVICES
for device in "ZAN 7350-21x Base" "ZAN 7350-21x Base Device 2" "Serial Port C" "Serial Port F"; do
    machine_expect_unchanged before after "$device"
done
machine_expect_files after <<'FILES'
- inf\oem10.inf
- inf\oem10.pnf
+ inf\oem11.inf
+ inf\oem11.pnf
+ inf\oem12.inf
+ inf\oem12.pnf
+ inf\oem13.inf
+ inf\oem13.pnf
- inf\oem14.inf
+ inf\oem15.inf
+ inf\oem15.pnf
- inf\ZANBaseD.inf
- inf\ZANBaseD.pnf
- inf\1port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.inf
+ inf\4port\ZAN2kmf.pnf
+ inf\ZANPorts.inf
FILES

e2e_finish
