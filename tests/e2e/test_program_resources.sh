#!/usr/bin/env bash
# The resources as built into the program of the run's architecture: dialog
# template 102 with its numeric styles, icon 128 with one 16 x 16 image, the
# version record, and a manifest that asks for administrator rights.
. "$(dirname "$0")/lib.sh"
e2e_name program_resources

# expect_line RC LINE WHAT: RC holds LINE (leading blanks ignored).
expect_line() {
    sed 's/^\s*//' <<<"$1" | grep -qxF -- "$2" || e2e_fail "$3: no line '$2'"
}

e2e_require "$E2E_EXE"
rc=$("$E2E_MINGW-windres" -J coff -O rc -i "$E2E_EXE" | grep -v '^  0x')
echo "$rc" >"$E2E_DIR/resources.rc"

# WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT, WS_EX_APPWINDOW, no caption.
dialog=$(sed -n '/^102 DIALOGEX/,/^END/p' <<<"$rc")
expect_line "$dialog" '102 DIALOGEX 0, 0, 270, 66' "dialog"
expect_line "$dialog" 'STYLE 0x900000c0' "dialog"
expect_line "$dialog" 'EXSTYLE 0x40000' "dialog"
expect_line "$dialog" 'FONT 11, "Tahoma", 400, 0, 0' "dialog"
grep -q '^CAPTION' <<<"$dialog" && e2e_fail "dialog has a caption"
# WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER | SS_CENTERIMAGE.
expect_line "$dialog" 'CONTROL "Checking for previously installed drivers...", 1000, "STATIC", 0x50020201, 7, 15, 256, 12' "dialog"
expect_line "$dialog" 'CONTROL "Please wait while the operation completes.", -1, "STATIC", 0x50020201, 15, 39, 240, 12' "dialog"
[ "$(grep -c '^\s*CONTROL' <<<"$dialog")" = 2 ] || e2e_fail "dialog: not exactly two controls"

icon=$(sed -n '/^128 14/,/^END/p' <<<"$rc")
expect_line "$icon" '0, 1, 1,	 /* Has 1 elements.  */' "icon 128"
grep -qF '"\020\020\000\000", 1, 32,' <<<"$icon" || e2e_fail "icon 128: not one 16 x 16 image"

version=$(sed -n '/^1 VERSIONINFO/,/^END/p' <<<"$rc")
expect_line "$version" 'FILEVERSION 1, 0, 0, 1' "version"
expect_line "$version" 'PRODUCTVERSION 1, 0, 0, 1' "version"
expect_line "$version" 'BLOCK "040904E4"' "version"
expect_line "$version" 'VALUE "CompanyName", "ZAN"' "version"
expect_line "$version" 'VALUE "FileVersion", "1.0.0.1"' "version"
expect_line "$version" 'VALUE "ProductVersion", "1.0.0.2"' "version"
expect_line "$version" 'VALUE "Translation", 0x409, 1252' "version"
grep -q 'VALUE "FileDescription", ".*PCI Serial Port.*Base Device.*Installer"' <<<"$version" ||
    e2e_fail "version: FileDescription does not name the installer"

grep -qF 'requestedExecutionLevel level=""requireAdministrator""' <<<"$rc" ||
    e2e_fail "manifest does not require administrator rights"
# windres names the language where it changes: once, for all of them.
[ "$(grep '^LANGUAGE' <<<"$rc")" = "LANGUAGE 9, 1" ] || e2e_fail "resources are not all U.S. English"

e2e_finish
