#!/usr/bin/env bash
# pkcs11-tool against the demo token: lists slots, tokens and mechanisms, makes a P-256 key
# pair, signs with ECDSA-SHA256 on the token, and OpenSSL verifies the signature with the
# public key read back from the token.
set -euo pipefail
make_demo_token=$1
module=$2
pkcs11_tool=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/keyvane-pkcs11-tool-XXXXXX")
trap 'rm -rf "$work"' EXIT

while IFS= read -r line; do
    export "${line?}"
done < <("$make_demo_token" --module "$module" "$work/token")
[ "$KEYVANE_PKCS11_MODULE" = "$module" ]
# The demo's touch takes seconds; tens of milliseconds are enough here.
echo '{"slots": {"1": {"touch_delay_ms": 20}}}' >"$work/token/control.json"

tool() {
    "$pkcs11_tool" --module "$KEYVANE_PKCS11_MODULE" "$@"
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

tool --list-slots >"$work/slots.txt"
grep -q 'Keyvane demo token' "$work/slots.txt" || fail "token label not listed"
grep -q 'serial num *: 12AB34CD' "$work/slots.txt" || fail "serial not listed"

tool --list-mechanisms >"$work/mechanisms.txt"
grep -q '^ *ECDSA-SHA256' "$work/mechanisms.txt" || fail "ECDSA-SHA256 not listed"
grep -q '^ *ECDSA-KEY-PAIR-GEN' "$work/mechanisms.txt" || fail "EC key generation not listed"

tool --login --pin 12345678 --keypairgen --key-type EC:prime256v1 --id 4b56 --label passkey \
    >"$work/keygen.txt" 2>&1 || { cat "$work/keygen.txt"; fail "key generation"; }

printf 'authenticator data || client data hash' >"$work/data.bin"
tool --login --pin 12345678 --sign --mechanism ECDSA-SHA256 --id 4b56 --signature-format openssl \
    --input-file "$work/data.bin" --output-file "$work/signature.der" >"$work/sign.txt" 2>&1 \
    || { cat "$work/sign.txt"; fail "signing"; }

tool --read-object --type pubkey --id 4b56 --output-file "$work/public.der" >/dev/null 2>&1 \
    || fail "reading the public key"
openssl pkey -pubin -inform DER -in "$work/public.der" -out "$work/public.pem"
openssl dgst -sha256 -verify "$work/public.pem" -signature "$work/signature.der" "$work/data.bin" \
    || fail "OpenSSL rejects the token's signature"

# And a changed message must not verify.
printf 'something else' >"$work/other.bin"
if openssl dgst -sha256 -verify "$work/public.pem" -signature "$work/signature.der" "$work/other.bin" \
    >/dev/null 2>&1; then
    fail "a signature verified over the wrong data"
fi

# The touch was waited for on the token: C_Sign is in the call log with success.
grep -qP '\tC_Sign\tsession=\d+\t0x0$' "$work/token/calls.log" || fail "C_Sign missing from the call log"
echo "pkcs11-tool against the virtual token: OK"
