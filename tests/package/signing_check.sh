#!/usr/bin/env bash
# scripts/sign-windows on copies of a Windows build's programs, with a throwaway self-signed
# code-signing certificate made here: both programs and the installer built from them come out
# signed by it, and osslsigncode verifies each signature against that certificate.
#
#   tests/package/signing_check.sh [BUILD]     (default build/win64)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/win64}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A build folder of copies, so that the build's own programs stay unsigned.
copy=$work/build
mkdir -p "$copy/desktop" "$copy/cli"
cp "$build/CMakeCache.txt" "$copy/"
cp "$build/desktop/ticketflash.exe" "$copy/desktop/"
cp "$build/cli/ticketflash-cli.exe" "$copy/cli/"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ticketflash test signing" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,digitalSignature,keyCertSign" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/certificate.pem" 2>/dev/null
export TICKETFLASH_SIGN_PASSWORD=throwaway-$$
export TICKETFLASH_SIGN_PKCS12=$work/signing.p12
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/certificate.pem" \
    -passout env:TICKETFLASH_SIGN_PASSWORD -out "$TICKETFLASH_SIGN_PKCS12"

scripts/sign-windows "$copy"

passed=0
failed=0
for file in "$copy/desktop/ticketflash.exe" "$copy/cli/ticketflash-cli.exe" "$copy"/*.msi; do
    echo "osslsigncode verify $(basename "$file")"
    report=$(osslsigncode verify -CAfile "$work/certificate.pem" -in "$file" 2>&1) || true
    echo "$report"
    if grep -q "Signature verification: ok" <<<"$report" &&
        grep -q "Subject: /CN=ticketflash test signing" <<<"$report"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $(basename "$file") is not verified as signed by the test certificate"
    fi
done
echo "$passed passed, $failed failed"
((passed == 3 && failed == 0))
