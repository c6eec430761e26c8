#!/usr/bin/env bash
# make dist: the folder to ship and its zip.
#
#   tools/dist.sh [OUT]     OUT: where the folder and the zip go (default build)
#
#   OUT/dist/ZanDriverInstaller.exe      the 32-bit program; on 64-bit
#                                        Windows it hands the run to
#   OUT/dist/x64/ZanDriverInstaller.exe  the 64-bit program
#   OUT/dist/README.txt                  for the person deploying it (CRLF)
#   OUT/dist/SHA256SUMS                  the SHA-256 of each file above
#   OUT/ZanDriverInstaller-<version>.zip the folder's contents
#
# The version is the file version of res/version.h. Two runs on the same
# programs give the same bytes: the files carry the build date of
# tools/source-date.sh (the programs were linked with it), the zip holds them
# in a fixed order with that date as their time (zip stores local time: UTC
# here) and no extra fields.
#
# Signing, when the builder has a certificate (osslsigncode, Authenticode):
#   SIGN_CERT=cert.pem SIGN_KEY=key.pem  the certificate (the chain may follow
#                                        it in the file) and its private key
#   SIGN_CERT=cert.pfx                   or both in a PKCS#12 file (.pfx, .p12)
#   SIGN_PASS=... or SIGN_PASS_FILE=f    the password of the .pfx or the key
#   SIGN_PKCS11_MODULE=module.so         the key is on a token: SIGN_KEY is its
#                                        PKCS#11 URI, SIGN_PASS the PIN
#   SIGN_CA=ca.pem                       the root (and intermediate)
#                                        certificates the signature is verified
#                                        against; default the system's store
#   SIGN_TIMESTAMP_URL=url               an RFC 3161 time stamp server
# Without a time stamp server the signing time is the build date, and a
# signed rebuild is the same bytes too. Both programs are signed before the
# checksums and the zip are made, and verified before the script ends.
#
# Everything is made in a temporary folder beside OUT and moved into place
# only when complete: after a failure neither the folder nor the zip is there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
fail() { echo "dist: $*" >&2; exit 1; }

version=$(sed -n 's/^#define ZAN_FILE_VERSION_TEXT "\(.*\)"$/\1/p' "$root/res/version.h")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no file version in res/version.h"
dist=$out/dist
zip=$out/ZanDriverInstaller-$version.zip
rm -rf "$dist" "$zip"
stage=$(mktemp -d "$out/.dist.XXXXXX")
# Until the end, a failure removes whatever was made.
trap 'rm -rf "$stage" "$dist" "$zip"' EXIT

date=$("$root/tools/source-date.sh")
exe32=$root/build/win32/ZanDriverInstaller.exe
exe64=$root/build/win64/ZanDriverInstaller.exe
# pe_time FILE: the time stamp of a program's file header, in seconds since 1970.
pe_time() { od -An -tu4 -j $(($(od -An -tu4 -j 60 -N 4 "$1") + 8)) -N 4 "$1" | tr -d ' '; }
for f in "$exe32" "$exe64"; do
    [ -f "$f" ] || fail "$f is missing; run make dist (or make windows) first"
    [ "$(pe_time "$f")" = "$date" ] || fail "$f was not linked with the build date $date; run make dist (or make windows)"
done
[ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" != "$(cd "$root" && pwd -P)" ] ||
    [ -z "$(git -C "$root" status --porcelain)" ] ||
    echo "dist: note: the work tree has changes not committed: this build is not the last commit's"

# --- Signing inputs, checked before anything is signed -----------------------
sign=()
# password: the password of the .pfx, the key or the token, one line.
password() { if [ -n "${SIGN_PASS_FILE:-}" ]; then head -n 1 -- "$SIGN_PASS_FILE"; else printf '%s\n' "${SIGN_PASS:-}"; fi; }
if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}${SIGN_PKCS11_MODULE:-}" ]; then
    command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (tools/install-deps.sh installs it)"
    [ -n "${SIGN_CERT:-}" ] || fail "SIGN_CERT is not set: the certificate (.pem with SIGN_KEY, or .pfx) to sign with"
    for v in SIGN_CERT SIGN_KEY SIGN_PASS_FILE SIGN_CA; do
        f=${!v:-}
        [ -z "$f" ] || [[ $v = SIGN_KEY && $f = pkcs11:* ]] || [ -r "$f" ] || fail "$v: cannot read $f"
    done
    cert=$stage/cert.pem
    if [[ ${SIGN_CERT,,} = *.pfx || ${SIGN_CERT,,} = *.p12 ]]; then
        [ -z "${SIGN_KEY:-}" ] || fail "SIGN_KEY is given with the .pfx $SIGN_CERT, which holds the key itself"
        pkcs12() { openssl pkcs12 -in "$SIGN_CERT" -passin fd:3 "$@" 3< <(password) 2>/dev/null ||
            openssl pkcs12 -legacy -in "$SIGN_CERT" -passin fd:3 "$@" 3< <(password) 2>/dev/null; }
        pkcs12 -nokeys -clcerts -out "$cert" ||
            fail "SIGN_CERT $SIGN_CERT cannot be opened: wrong password (SIGN_PASS or SIGN_PASS_FILE), or not a PKCS#12 file"
        key_public=$(pkcs12 -nocerts -nodes | openssl pkey -pubout 2>/dev/null) || key_public=""
        sign=(-pkcs12 "$SIGN_CERT")
    else
        openssl x509 -in "$SIGN_CERT" -out "$cert" 2>/dev/null || fail "SIGN_CERT $SIGN_CERT is not a PEM certificate"
        [ -n "${SIGN_KEY:-}" ] || fail "SIGN_KEY is not set: the private key of $SIGN_CERT"
        if [ -n "${SIGN_PKCS11_MODULE:-}" ]; then
            # The token keeps its key: osslsigncode checks that it matches.
            key_public=""
            sign=(-pkcs11module "$SIGN_PKCS11_MODULE" -certs "$SIGN_CERT" -key "$SIGN_KEY")
        else
            key_public=$(openssl pkey -in "$SIGN_KEY" -passin fd:3 -pubout 3< <(password) 2>/dev/null) ||
                fail "SIGN_KEY $SIGN_KEY cannot be read: wrong password (SIGN_PASS or SIGN_PASS_FILE), or not a private key"
            sign=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
        fi
    fi
    [ -z "${SIGN_PKCS11_MODULE:-}" ] && [ "$key_public" != "$(openssl x509 -in "$cert" -noout -pubkey)" ] &&
        fail "the private key ${SIGN_KEY:-in $SIGN_CERT} does not belong to the certificate in $SIGN_CERT"
    openssl x509 -in "$cert" -noout -ext extendedKeyUsage 2>/dev/null | tr ',' '\n' | grep -qx ' *Code Signing' ||
        fail "the certificate in $SIGN_CERT is not for code signing (its extended key usage lacks Code Signing)"
    if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
        sign+=(-ts "$SIGN_TIMESTAMP_URL")
    else
        sign+=(-time "$date")
    fi
    verify=() trusted="the system's certificates"
    [ -z "${SIGN_CA:-}" ] || verify=(-CAfile "$SIGN_CA") trusted=$SIGN_CA
    # Fetching revocation lists during the check needs a network; the check is of the files.
    osslsigncode verify --help 2>&1 | grep -q -- -ignore-cdp && verify+=(-ignore-cdp)
fi

# --- The folder ---------------------------------------------------------------
mkdir -p "$stage/dist/x64"
files=(ZanDriverInstaller.exe x64/ZanDriverInstaller.exe README.txt SHA256SUMS)
declare -A built=([ZanDriverInstaller.exe]=$exe32 [x64/ZanDriverInstaller.exe]=$exe64)
for f in "${!built[@]}"; do
    if [ ${#sign[@]} -eq 0 ]; then
        cp "${built[$f]}" "$stage/dist/$f"
    elif ! osslsigncode sign "${sign[@]}" -h sha256 -readpass /dev/fd/3 -in "${built[$f]}" -out "$stage/dist/$f" \
        3< <(password) >"$stage/sign.log" 2>&1; then
        fail "osslsigncode could not sign $f: $(grep -v '^Succeeded$' "$stage/sign.log" | head -n 1)"
    fi
done
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/tools/dist/README.txt" >"$stage/dist/README.txt"
(cd "$stage/dist" && sha256sum "${files[@]:0:3}" >SHA256SUMS)
chmod 644 "${files[@]/#/$stage/dist/}"
touch -d "@$date" "${files[@]/#/$stage/dist/}"
(cd "$stage/dist" && TZ=UTC0 zip -q -X -D "$stage/dist.zip" "${files[@]}")

# --- Checks ---------------------------------------------------------------------
s=$stage/dist
[ "$(x86_64-w64-mingw32-objdump -f "$s/ZanDriverInstaller.exe" | sed -n 's/.*file format //p')" = pei-i386 ] ||
    fail "ZanDriverInstaller.exe is not the 32-bit program"
[ "$(x86_64-w64-mingw32-objdump -f "$s/x64/ZanDriverInstaller.exe" | sed -n 's/.*file format //p')" = pei-x86-64 ] ||
    fail "x64/ZanDriverInstaller.exe is not the 64-bit program"
[ "$(grep -c $'\r$' "$s/README.txt")" = "$(wc -l <"$s/README.txt")" ] || fail "README.txt has lines without CRLF"
grep -q "version=\"$version\"" "$root/res/ZanDriverInstaller.exe.manifest" ||
    fail "the manifest's version is not $version"
(cd "$s" && sha256sum --quiet -c SHA256SUMS) >/dev/null 2>&1 || fail "SHA256SUMS does not match the files"
listed=$(zip -sf "$stage/dist.zip" | sed -n 's/^  //p' | sort | tr '\n' ' ')
[ "$listed" = "README.txt SHA256SUMS ZanDriverInstaller.exe x64/ZanDriverInstaller.exe " ] || fail "the zip holds: $listed"
if [ ${#sign[@]} -gt 0 ]; then
    for f in ZanDriverInstaller.exe x64/ZanDriverInstaller.exe; do
        osslsigncode verify "${verify[@]}" -in "$s/$f" >"$stage/verify.log" 2>&1 ||
            fail "the signature of $f does not verify against $trusted: $(grep -o -m 1 'Verify error:.*\|.*MISMATCH.*' "$stage/verify.log" | tr -s ' ')"
    done
fi

mv "$stage/dist" "$dist"
mv "$stage/dist.zip" "$zip"
trap 'rm -rf "$stage"' EXIT
echo "dist: $(cd "$root" && realpath -s --relative-base=. "$dist") ($version, $([ ${#sign[@]} -gt 0 ] && echo signed || echo not signed), dated $(date -u -d "@$date" '+%F %T UTC')):"
(cd "$dist" && find . -type f -printf '  %P  %s bytes\n' | sort)
(cd "$root" && sha256sum "$(realpath -s --relative-base=. "$zip")")
