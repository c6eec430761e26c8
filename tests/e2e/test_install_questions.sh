#!/usr/bin/env bash
# Without "SILENT" the install asks its two questions, in order, each in a Yes/No
# box with no owner, while the progress window shows an empty status line;
# "BASE_DEVICE" and "MAROVEL_SERIAL" on the command line change nothing then.
# Answered Yes (base device) and No (Marovel card) by pressing the buttons, it
# installs the base device, the one-port card and Serial Port C, and maps
# only Serial Port C to COM3; Serial Ports D to F stay as they were.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup install_questions

base_caption='Install the Base Device Driver?'
card_caption='Install the Marovel RS-232 Driver?'
machine_provision full4
machine_dump before

machine_watch_start --hold 600 --answer "$base_caption=yes" --answer "$card_caption=no"
e2e_start_program "$E2E_EXE64" INSTALL BASE_DEVICE MAROVEL_SERIAL
e2e_wait_exit 60 || { e2e_fail "the program did not end within 60 s"; e2e_finish; }
machine_watch_wait
machine_dump after

e2e_assert_eq 0 "$E2E_EXIT" "exit code"
e2e_assert_eq RESULT.SUCCESS "$(e2e_markers)" "markers"

# The boxes as the watch read them (a line break as \x0A): caption, text,
# buttons, and the markers at that moment.
machine_expect_lines "message boxes" "$(machine_boxes_seen)" <<'BOXES'
Install the Base Device Driver?|Do you want to install the base device driver?\x0A\x0ANote: Not recommended if installing the ZAN Point of Sale drivers.\x0A|&Yes,&No|none
Install the Marovel RS-232 Driver?|Is an RS-232 Marovel card present?\x0A\x0A|&Yes,&No|none
BOXES
machine_expect_lines "buttons pressed" "$(sed -n 's/^ *[0-9]* box answer //p' "$M_WATCH_LOG")" <<'ANSWERS'
"&Yes"
"&No"
ANSWERS

machine_expect_status <<'LINES'
may: Checking for previously installed drivers...
must: ""
may: Installing ZAN 7350-21x Base Device...
must: Installing ZAN 7350-21x Base Device...[OK]
may: Installing ZAN 7350-21x Serial Multifunction Device...
must: Installing ZAN 7350-21x Serial Multifunction Device...[OK]
may: Installing Serial Port C...
must: Installing Serial Port C...[OK]
may: Mapping Serial Port C to COM3...
must: Mapping Serial Port C to COM3...[OK]
LINES

machine_expect_trace < <(
    echo 'CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n'
    machine_trace_install_rows 3
    machine_trace_map_port 'MF\\PCI1D9E_COMF'
)

machine_expect_base after 1
machine_expect_card after 1
machine_expect_port after C 'MF\PCI1D9E_COMF' COM3 1
for port in D E F; do machine_expect_unchanged before after "Serial Port $port"; done
machine_expect_files after <<'FILES'
+ inf\ZANBaseD.inf
FILES

e2e_finish
