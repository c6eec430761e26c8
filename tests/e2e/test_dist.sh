#!/usr/bin/env bash
# make dist (tools/dist.sh into the test's folder, from the programs of
# build/; no Wine); the signed checks are of the run's architecture's program.
# 1. Its PE time stamp is the last commit's time.
# 2. Two runs 2 s apart in two time zones give the same bytes; README.txt has
#    CRLF and its version; the zip is named after res/version.h, its files
#    dated with the commit; SHA256SUMS checks; the zip's SHA-256 comes last.
# 3. Signed as PEM files and as a .pfx (a throwaway certificate): the same
#    bytes, signed at the commit's time; verifies, but not with a byte
#    changed; the resources (version record) are the unsigned program's.
# 4. Bad signing input: one line naming the fault (* in the table: any text),
#    and neither folder nor zip left (an older one is gone too).
. "$(dirname "$0")/lib.sh"
e2e_name dist

version=$(sed -n 's/^#define ZAN_FILE_VERSION_TEXT "\(.*\)"$/\1/p' "$E2E_ROOT/res/version.h")
zip_name=ZanDriverInstaller-$version.zip
program=$([ "$E2E_ARCH" = win64 ] && echo x64/ZanDriverInstaller.exe || echo ZanDriverInstaller.exe)
pki=$E2E_DIR/pki
e2e_require "$E2E_EXE32" "$E2E_EXE64"

# dist OUT [VARIABLE=VALUE...]: tools/dist.sh into OUT with those variables
# (@ stands for the certificates' folder); its output in OUT.out and OUT.err.
dist() {
    local out=$E2E_DIR/$1
    shift
    rm -rf "$out" && mkdir -p "$out"
    env "${@//@/$pki}" "$E2E_ROOT/tools/dist.sh" "$out" >"$out.out" 2>"$out.err"
}

# same A B WHAT: the folders and zips of runs A and B are the same bytes.
same() {
    [ -n "$(ls "$E2E_DIR/$1/dist")" ] && diff -r "$E2E_DIR/$1" "$E2E_DIR/$2" >/dev/null ||
        e2e_fail "$3: runs $1 and $2 differ"
}

# --- 1. The PE time stamp ----------------------------------------------------------
date=${SOURCE_DATE_EPOCH:-$(git -C "$E2E_ROOT" log -1 --format=%ct 2>/dev/null || echo 1767225600)}
e2e_assert_eq "$(TZ=UTC0 date -d "@$date" '+%a %b %e %T %Y')" \
    "$(TZ=UTC0 "$E2E_MINGW-objdump" -p "$E2E_EXE" | sed -n 's/^Time\/Date\s*//p')" "PE time stamp"

# --- 2. Two runs, the same bytes ----------------------------------------------------
dist plain TZ=UTC0 || e2e_fail "dist: $(cat "$E2E_DIR/plain.err")"
sleep 2
dist again TZ=XST-14 || e2e_fail "dist again: $(cat "$E2E_DIR/again.err")"
same plain again "two runs"
d=$E2E_DIR/plain/dist
e2e_assert_eq "$zip_name dist" "$(ls -A "$E2E_DIR/plain" | LC_ALL=C sort | xargs)" "folder and zip"
e2e_assert_eq "ZanDriverInstaller $version"$'\r' "$(head -n 1 "$d/README.txt")" "README.txt's first line"
e2e_assert_eq 0 "$(grep -vc $'\r$' "$d/README.txt")" "README.txt: lines without CRLF"
# A zip holds times to 2 s: an odd second is rounded up (23:59:59 reads 00:00:00).
e2e_assert_eq "$(TZ=UTC0 date -d "@$((date + date % 2))" +%Y%m%d.%H%M)" \
    "$(zipinfo -T "$E2E_DIR/plain/$zip_name" | sed -n 's/.* \([0-9]\{8\}\.[0-9]\{4\}\)[0-9]\{2\} .*/\1/p' | sort -u)" "the zip's file times"
e2e_assert_eq "README.txt ZanDriverInstaller.exe x64/ZanDriverInstaller.exe" \
    "$(sed 's/^[0-9a-f]\{64\}  //' "$d/SHA256SUMS" | sort | xargs)" "the files SHA256SUMS lists"
(cd "$d" && sha256sum --quiet -c SHA256SUMS) >/dev/null 2>&1 || e2e_fail "SHA256SUMS does not check"
e2e_assert_eq "$(cd "$E2E_DIR/plain" && sha256sum "$zip_name" | cut -c 1-64)" \
    "$(tail -n 1 "$E2E_DIR/plain.out" | cut -c 1-64)" "the zip's SHA-256, last line printed"

# --- 3. Signed ------------------------------------------------------------------------
e2e_signing_certs "$pki"
dist pem SIGN_CERT=@/signer.pem SIGN_KEY=@/signer.key SIGN_CA=@/ca.pem || e2e_fail "signed: $(cat "$E2E_DIR/pem.err")"
dist pfx SIGN_CERT=@/signer.pfx SIGN_PASS_FILE=@/pfx.pass SIGN_CA=@/ca.pem || e2e_fail "signed with .pfx: $(cat "$E2E_DIR/pfx.err")"
same pem pfx "signed twice"
signed=$E2E_DIR/pem/dist/$program
osslsigncode verify -CAfile "$pki/ca.pem" -in "$signed" >"$E2E_DIR/verify.log" 2>&1 || e2e_fail "signed: does not verify"
e2e_assert_eq "Signing time: $(TZ=UTC0 date -d "@$date" '+%b %e %T %Y GMT')" \
    "$(grep -o 'Signing time: .*' "$E2E_DIR/verify.log")" "signed: the signing time"
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(0x1000); b = f.read(1); f.seek(0x1000); f.write(bytes([b[0] ^ 1]))' "$signed"
osslsigncode verify -CAfile "$pki/ca.pem" -in "$signed" >"$E2E_DIR/verify-changed.log" 2>&1 &&
    e2e_fail "signed: verifies with a byte changed"
[ "$("$E2E_MINGW-windres" -J coff -O rc -i "$E2E_DIR/pfx/dist/$program")" = "$("$E2E_MINGW-windres" -J coff -O rc -i "$E2E_EXE")" ] ||
    e2e_fail "signed: the resources differ from the unsigned program's"

# --- 4. Bad signing input ---------------------------------------------------------------
while IFS='|' read -r what settings message; do
    mkdir -p "$E2E_DIR/bad/dist" && touch "$E2E_DIR/bad/$zip_name"
    # shellcheck disable=SC2086
    dist bad $settings && e2e_fail "$what: dist succeeded"
    want="dist: ${message//@/$pki}"
    [[ $(cat "$E2E_DIR/bad.err") == $want ]] || e2e_fail "$what: printed $(cat "$E2E_DIR/bad.err")"
    e2e_assert_eq "" "$(ls -A "$E2E_DIR/bad")" "$what: left behind"
done <<'ROWS'
wrong password|SIGN_CERT=@/signer.pfx SIGN_PASS=wrong|SIGN_CERT @/signer.pfx cannot be opened: wrong password (SIGN_PASS or SIGN_PASS_FILE), or not a PKCS#12 file
key of no certificate|SIGN_CERT=@/signer.pem SIGN_KEY=@/other.key|the private key @/other.key does not belong to the certificate in @/signer.pem
not for code signing|SIGN_CERT=@/tls.pem SIGN_KEY=@/signer.key|the certificate in @/tls.pem is not for code signing (its extended key usage lacks Code Signing)
missing key|SIGN_CERT=@/signer.pem SIGN_KEY=@/gone.key|SIGN_KEY: cannot read @/gone.key
another root|SIGN_CERT=@/signer.pem SIGN_KEY=@/signer.key SIGN_CA=@/tls.pem|the signature of ZanDriverInstaller.exe does not verify against @/tls.pem: Verify error: *
ROWS

e2e_finish
