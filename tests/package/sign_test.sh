#!/usr/bin/env bash
# Sign.*: a throwaway certificate made with openssl signs, through
# scripts/sign.sh, copies of the deliverables and an installer made with
# it (whose uninstaller, written by installing it under Wine, must be signed
# too), or a copy of the package; `osslsigncode verify` checks each, after
# refusing each unsigned original, and names the certificate's subject.
#
#   sign_test.sh <source folder> <build folder> binaries|package
set -euo pipefail
source=$1
build=$2
what=$3
work=$(mktemp -d)
installed=
cleanup() {
    if [ -n "$installed" ] && [ -f "$installed/Uninstall.exe" ]; then
        "$build/wine-run.sh" "Z:${installed//\//\\}\\Uninstall.exe" /S "_?=Z:${installed//\//\\}" >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

subject="CN=Brenmoor"
password="throwaway-$$"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/${subject}" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" -passout "pass:$password"
export SORVANE_SIGN_PFX="$work/cert.pfx" SORVANE_SIGN_PASSWORD="$password"

# verify FILE: signed by the throwaway certificate.
verify() {
    if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; then
        fail "$(basename "$1") does not verify: $(tail -n 3 "$work/verify.log" | tr '\n' ' ')"
        return
    fi
    grep -q "Subject: /${subject}\|Subject: ${subject}" "$work/verify.log" ||
        fail "$(basename "$1"): the signer is not ${subject}: $(grep -m1 Subject "$work/verify.log")"
    echo "verified $(basename "$1")"
}
unsigned() {
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1 && fail "$(basename "$1") verifies unsigned"
    return 0
}

case "$what" in
binaries)
    mkdir "$work/dist"
    for name in Sorvane.exe SorvaneExt.dll Sorvane.0411 UnLha32.dll; do
        cp "$build/dist/$name" "$work/dist/$name"
        unsigned "$work/dist/$name"
        "$source/scripts/sign.sh" "$work/dist/$name" >/dev/null
        verify "$work/dist/$name"
    done
    # The signed library still loads and registers as before.
    "$build/wine-run.sh" regsvr32 /s "Z:${work//\//\\}\\dist\\SorvaneExt.dll" || fail "the signed library does not register"
    "$build/wine-run.sh" regsvr32 /s /u "Z:${work//\//\\}\\dist\\SorvaneExt.dll" || true

    # The installer and the uninstaller it writes, signed by makensis.
    makensis -V2 -NOCD -DDIST_FILES="$build/installer/dist-install.nsh" -DDIST_REMOVE="$build/installer/dist-remove.nsh" \
        -DSIGN="$source/scripts/sign.sh" -DOUTFILE="$work/Setup.exe" "$source/installer/Sorvane.nsi" >"$work/makensis.log" 2>&1 ||
        { cat "$work/makensis.log"; fail "makensis failed"; exit 1; }
    grep -q "signed" "$work/makensis.log" || fail "makensis ran no signing"
    verify "$work/Setup.exe"
    installed="$work/installed"
    "$build/wine-run.sh" "Z:${work//\//\\}\\Setup.exe" /S "/D=Z:${installed//\//\\}" || fail "the signed installer failed ($?)"
    if [ -f "$installed/Uninstall.exe" ]; then verify "$installed/Uninstall.exe"; else fail "no Uninstall.exe installed"; fi
    ;;
package)
    cp "$build/package/Sorvane.msix" "$work/Sorvane.msix"
    unsigned "$work/Sorvane.msix"
    "$source/scripts/sign.sh" "$work/Sorvane.msix" >/dev/null
    verify "$work/Sorvane.msix"
    # Still a sound package, now with its signature; its publisher is the
    # certificate's subject, as Windows requires.
    PYTHONDONTWRITEBYTECODE=1 python3 "$source/tests/package/check_package.py" --signed "$work/Sorvane.msix" || fail "the signed package fails its check"
    publisher=$(python3 -c "import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).read('AppxManifest.xml').decode())" "$work/Sorvane.msix" | sed -n 's/.*Publisher="\([^"]*\)".*/\1/p' | head -n 1)
    [ "$publisher" = "$subject" ] || fail "the manifest's Publisher \"$publisher\" is not the subject $subject"
    ;;
*)
    echo "usage: sign_test.sh <source> <build> binaries|package"; exit 2 ;;
esac
echo "$failures failed"
[ "$failures" -eq 0 ]
