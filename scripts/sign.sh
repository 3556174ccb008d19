#!/usr/bin/env bash
# Signs files in place with Debian's osslsigncode (Authenticode for the
# programs, libraries and installers; a package signature for .msix).
#
#   SORVANE_SIGN_PFX=<certificate.pfx> SORVANE_SIGN_PASSWORD=<password> scripts/sign.sh FILE...
#
# The password is handed to osslsigncode in a file only this user can read,
# never on a command line. A package needs osslsigncode 2.7 or later;
# with an older one the script says so and fails. Set SORVANE_SIGN_TIMESTAMP
# to a time-stamping server's URL to have the signatures time-stamped.
set -euo pipefail
pfx="${SORVANE_SIGN_PFX:-}"
if [ -z "$pfx" ] || [ ! -f "$pfx" ]; then
    echo "sign.sh: SORVANE_SIGN_PFX does not name a certificate file (\"$pfx\")" >&2
    exit 2
fi
if [ -z "${SORVANE_SIGN_PASSWORD+set}" ]; then
    echo "sign.sh: SORVANE_SIGN_PASSWORD is not set" >&2
    exit 2
fi

# "osslsigncode 2.9, using: ..." -> 2.9
version=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9][0-9.]*\).*/\1/p')
packages_supported() {
    local major=${version%%.*} minor=${version#*.}
    minor=${minor%%.*}
    [ -n "$version" ] && { [ "$major" -gt 2 ] || { [ "$major" -eq 2 ] && [ "$minor" -ge 7 ]; }; }
}

umask 077
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%s' "$SORVANE_SIGN_PASSWORD" > "$work/password"

for file in "$@"; do
    case "$file" in
    *.msix | *.appx)
        if ! packages_supported; then
            echo "sign.sh: osslsigncode ${version:-?} cannot sign packages (2.7 or later can): $file stays unsigned" >&2
            exit 3
        fi
        options=() ;;
    *) options=(-h sha256) ;;
    esac
    if [ -n "${SORVANE_SIGN_TIMESTAMP:-}" ]; then options+=(-ts "$SORVANE_SIGN_TIMESTAMP"); fi
    osslsigncode sign -pkcs12 "$pfx" -readpass "$work/password" "${options[@]}" \
        -in "$file" -out "$work/signed" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
    # Written back over the file itself: makensis reads its finalised files
    # from the same path.
    cat "$work/signed" > "$file"
    rm -f "$work/signed"
    echo "signed $(basename "$file")"
done
