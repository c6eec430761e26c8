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

M_WATCH_ARGS=(--hold 600 --answer "$base_caption=yes" --answer "$card_caption=no")
machine_run 60 INSTALL BASE_DEVICE MAROVEL_SERIAL
machine_dump after
machine_expect_success

# The boxes as the watch read them (a line break as \x0A): caption, text,
# buttons, and the markers at that moment.
machine_expect_lines "message boxes" "$(machine_boxes_seen)" <<'BOXES'
Install the Base Device Driver?|Do you want to install the base device driver?\x0A\x0ANote: Not recommended if installing the ZAN Point of Sale drivers.\x0A|&Yes,&No|none
Install the Marovel RS-232 Driver?|Is an RS-232 Marovel card present?\x0A\x0A|&Yes,&No|none
BOXES
e2e_assert_eq '"&Yes"|"&No"' "$(sed -n 's/^ *[0-9]* box answer //p' "$M_WATCH_LOG" | paste -sd '|')" "buttons pressed"

# The status line stays empty while the questions wait.
machine_expect_status < <(
    echo 'may: Checking for previously installed drivers...'
    echo 'must: ""'
    machine_status_installed "ZAN 7350-21x Base Device" "ZAN 7350-21x Serial Multifunction Device" "Serial Port C"
    machine_status_mapped C
)
machine_expect_trace < <(machine_trace_install 3 1)

machine_expect_base after 1
machine_expect_card after 1
machine_expect_port after C COM3 1
for port in D E F; do machine_expect_unchanged before after "Serial Port $port"; done
machine_expect_files after <<'FILES'
+ inf\ZANBaseD.inf
FILES

e2e_finish
