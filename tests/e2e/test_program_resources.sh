#!/usr/bin/env bash
# The resources as built into both programs: dialog template 102 with its
# numeric styles, icon 128 with one 16 x 16 image, the version record, and a
# manifest that asks for administrator rights.
. "$(dirname "$0")/lib.sh"
E2E_TEST=program_resources
E2E_DIR=$E2E_WORK/$E2E_TEST
mkdir -p "$E2E_DIR"

# expect_line RC LINE WHAT: RC holds LINE (leading blanks ignored).
expect_line() {
    sed 's/^\s*//' <<<"$1" | grep -qxF -- "$2" || e2e_fail "$3: no line '$2'"
}

for exe in "$E2E_EXE64:x86_64" "$E2E_EXE32:i686"; do
    file=${exe%:*} arch=${exe##*:}
    if [ ! -f "$file" ]; then
        e2e_fail "missing $file (run make windows)"
        continue
    fi
    rc=$("$arch-w64-mingw32-windres" -J coff -O rc -i "$file" | grep -v '^  0x')
    echo "$rc" >"$E2E_DIR/$arch.rc"

    # WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT, WS_EX_APPWINDOW, no caption.
    dialog=$(sed -n '/^102 DIALOGEX/,/^END/p' <<<"$rc")
    expect_line "$dialog" '102 DIALOGEX 0, 0, 270, 66' "$arch dialog"
    expect_line "$dialog" 'STYLE 0x900000c0' "$arch dialog"
    expect_line "$dialog" 'EXSTYLE 0x40000' "$arch dialog"
    expect_line "$dialog" 'FONT 11, "Tahoma", 400, 0, 0' "$arch dialog"
    grep -q '^CAPTION' <<<"$dialog" && e2e_fail "$arch dialog has a caption"
    # WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER | SS_CENTERIMAGE.
    expect_line "$dialog" 'CONTROL "Checking for previously installed drivers...", 1000, "STATIC", 0x50020201, 7, 15, 256, 12' "$arch dialog"
    expect_line "$dialog" 'CONTROL "Please wait while the operation completes.", -1, "STATIC", 0x50020201, 15, 39, 240, 12' "$arch dialog"
    [ "$(grep -c '^\s*CONTROL' <<<"$dialog")" = 2 ] || e2e_fail "$arch dialog: not exactly two controls"

    icon=$(sed -n '/^128 14/,/^END/p' <<<"$rc")
    expect_line "$icon" '0, 1, 1,	 /* Has 1 elements.  */' "$arch icon 128"
    grep -qF '"\020\020\000\000", 1, 32,' <<<"$icon" || e2e_fail "$arch icon 128: not one 16 x 16 image"

    version=$(sed -n '/^1 VERSIONINFO/,/^END/p' <<<"$rc")
    expect_line "$version" 'FILEVERSION 1, 0, 0, 1' "$arch version"
    expect_line "$version" 'PRODUCTVERSION 1, 0, 0, 1' "$arch version"
    expect_line "$version" 'BLOCK "040904E4"' "$arch version"
    expect_line "$version" 'VALUE "CompanyName", "ZAN"' "$arch version"
    expect_line "$version" 'VALUE "FileVersion", "1.0.0.1"' "$arch version"
    expect_line "$version" 'VALUE "ProductVersion", "1.0.0.2"' "$arch version"
    expect_line "$version" 'VALUE "Translation", 0x409, 1252' "$arch version"
    grep -q 'VALUE "FileDescription", ".*PCI Serial Port.*Base Device.*Installer"' <<<"$version" ||
        e2e_fail "$arch version: FileDescription does not name the installer"

    grep -qF 'requestedExecutionLevel level=""requireAdministrator""' <<<"$rc" ||
        e2e_fail "$arch manifest does not require administrator rights"
    # windres names the language where it changes: once, for all of them.
    [ "$(grep '^LANGUAGE' <<<"$rc")" = "LANGUAGE 9, 1" ] || e2e_fail "$arch resources are not all U.S. English"
done

e2e_finish
