#!/usr/bin/env bash
# While an install runs, the program answers the system's hardware wizards:
# a window titled exactly "Hardware Installation" gets the C key pressed and
# released, over and over with at least 50 ms between presses while it stays
# open; one titled exactly "Found New Hardware Wizard" gets Escape; windows
# whose titles only contain those words, or a piece of them, get nothing.
# The windows come one at a time, those that must get nothing first: the
# other two then show, by the keys they get, that the program still ran. The
# install is the longest one (a four-port machine, everything chosen), so that
# on a busy machine the program still runs while the windows come, and it
# ends as usual: no key reached the progress window.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/machine.sh"
machine_setup wizard_dismisser

e2e_require "$M_WIZARD"
machine_provision full4
machine_watch_start
e2e_start_program "$E2E_EXE" INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL

# wizard NAME TITLE SECONDS: the stand-in window, its keys logged to NAME.keys.
wizard() {
    wine "$M_WIZARD" "$2" "$3" "$(winepath_of "$E2E_DIR/$1.keys")" >/dev/null 2>&1 ||
        e2e_fail "wizard window \"$2\" failed"
}
for i in $(seq 1 100); do grep -q 'window shown' "$M_WATCH_LOG" && break; sleep 0.05; done
rm -f "$E2E_DIR"/*.keys
wizard longer "Hardware Installation Wizard" 0.8
wizard shorter "New Hardware Wizard" 0.8
e2e_running || e2e_fail "the program ended while the windows that must get nothing were shown"
wizard installation "Hardware Installation" 1.2
wizard found_new "Found New Hardware Wizard" 1.2

e2e_wait_exit 30 || { e2e_fail "the program did not end within 30 s"; e2e_finish; }
machine_watch_wait
e2e_expect_end 0 RESULT.SUCCESS
machine_dump after
machine_expect_install after 1 4

# check_keys NAME VK: NAME.keys holds key-down and key-up pairs of VK only,
# at least three, the presses at least 50 ms apart (45 for the clock's grain).
check_keys() {
    local log=$E2E_DIR/$1.keys summary
    summary=$(awk -v vk="$2" '
        $2 ~ /^(sys)?key(down|up)$/ {
            if ($3 != vk) other++
            if ($2 == "keyup") ups++
            if ($2 == "keydown") {
                if (downs > 0 && (gap == "" || $1 - last < gap)) gap = $1 - last
                last = $1
                downs++
            }
        }
        END { printf "%d %d %d %s\n", downs, ups, other, (gap == "" ? "-" : gap) }
    ' "$log")
    read -r downs ups other gap <<<"$summary"
    [ "${other:-1}" -eq 0 ] || e2e_fail "$1: keys other than $2: $(tr '\n' '|' <"$log")"
    [ "${downs:-0}" -ge 3 ] || e2e_fail "$1: $downs presses of $2, expected several: $(tr '\n' '|' <"$log")"
    [ "${ups:-0}" -ge $((downs - 1)) ] && [ "${ups:-0}" -le "${downs:-0}" ] ||
        e2e_fail "$1: $downs key-downs but $ups key-ups"
    [ "$gap" = - ] || [ "$gap" -ge 45 ] || e2e_fail "$1: presses only $gap ms apart"
}
check_keys installation 0x43
check_keys found_new 0x1B
for quiet in longer shorter; do
    grep -q ' keys 0 down 0 up$' "$E2E_DIR/$quiet.keys" ||
        e2e_fail "$quiet: a window of another title received keys: $(tr '\n' '|' <"$E2E_DIR/$quiet.keys")"
done

e2e_finish
