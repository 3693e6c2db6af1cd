#!/usr/bin/env bash
# Signing of the medium, with a throw-away certificate authority: setup.exe is signed and verifies
# against that authority, a flipped byte breaks the signature, signing changes nothing but the signature,
# and each bad certificate (wrong password, a key that is not the certificate's, expired or not yet valid,
# missing files, not for code signing) fails with a message that names it and leaves the media as they were.
# Works on the program already built in build/x86; the media go to a folder of its own. A signed setup.exe
# that verifies is left at build/signed/setup.exe for the end-to-end tests.
# Usage: sign-test.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[[ -f "$root/build/x86/src/setup.exe" ]] || { echo "sign-test: build/x86/src/setup.exe is not built"; exit 1; }

tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
export DIST_DIR=$tmp/dist
unset SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD SIGN_TIMESTAMP_URL SIGN_URL
# A copy of the built programs and packages as they are now: a build may replace them while this runs.
export BUILD_DIR=$tmp/build
mkdir -p "$tmp/built"
mkdir -p "$BUILD_DIR/x86/src"
cp "$root/build/x86/src/setup.exe" "$BUILD_DIR/x86/src/setup.exe"
cp -a "$root/build/x86/Package" "$BUILD_DIR/x86/Package"
cp "$root/build/x86/src/setup.exe" "$tmp/built/medium.exe"

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
not() { ! "$@"; }
check() {  # name, command...
  local name=$1; shift
  if "$@"; then ok; else fail "$name"; fi
}

# --- the throw-away authority and its certificates ---
pki=$tmp/pki
mkdir -p "$pki/db"
: >"$pki/db/index.txt"
cat >"$pki/ca.cnf" <<EOF
[ca]
default_ca = test_ca
[test_ca]
dir = $pki
database = \$dir/db/index.txt
new_certs_dir = \$dir/db
serial = \$dir/db/serial
certificate = \$dir/ca.pem
private_key = \$dir/ca.key
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
[req]
distinguished_name = dn
prompt = no
[dn]
CN = Throw-away Test CA
[ca_ext]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[code_signing]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server_only]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
EOF
echo 1000 >"$pki/db/serial"
ossl() { openssl "$@" >>"$pki/log" 2>&1 || { echo "sign-test: openssl $1 failed:"; tail -n 5 "$pki/log"; exit 1; }; }
ossl req -x509 -config "$pki/ca.cnf" -extensions ca_ext -newkey rsa:2048 -nodes -keyout "$pki/ca.key" \
  -out "$pki/ca.pem" -days 2
issue() {  # name, extensions section, ca options...
  local name=$1 ext=$2; shift 2
  ossl req -new -newkey rsa:2048 -nodes -keyout "$pki/$name.key" -out "$pki/$name.csr" -subj "/CN=Horunde $name"
  ossl ca -batch -config "$pki/ca.cnf" -extensions "$ext" -in "$pki/$name.csr" -out "$pki/$name.crt" "$@"
  openssl x509 -in "$pki/$name.crt" -out "$pki/$name.pem"
}
issue good code_signing -days 1
issue other code_signing -days 1
issue expired code_signing -startdate 20200101000000Z -enddate 20200102000000Z
issue future code_signing -startdate 20990101000000Z -enddate 20990102000000Z
issue server server_only -days 1
# The key of the good certificate, encrypted, and the same pair as a PKCS#12 file with the chain.
ossl pkey -in "$pki/good.key" -aes256 -passout pass:correct-horse -out "$pki/good-enc.key"
ossl pkcs12 -export -in "$pki/good.pem" -inkey "$pki/good.key" -certfile "$pki/ca.pem" -passout pass:p12-pass \
  -out "$pki/good.p12"

# --- helpers ---
make_dist() {  # env assignments...; output in $tmp/out, exit code in $rc
  env "$@" "$root/scripts/make-dist.sh" >"$tmp/out" 2>&1
  rc=$?
}
snapshot() { (cd "$DIST_DIR" && find . -type f -print0 | sort -z | xargs -0 sha256sum; find . | sort); }
# osslsigncode refuses to overwrite its output files.
is_signed() { rm -f "$tmp/sig.der"; osslsigncode extract-signature -in "$1" -out "$tmp/sig.der" >/dev/null 2>&1; }
verifies() {
  osslsigncode verify -in "$1" -CAfile "$pki/ca.pem" >"$tmp/verify" 2>&1 &&
    grep -q '^Signature verification: ok' "$tmp/verify"
}
unsigned_is_built() {  # medium: the signed file without its signature is the build output
  rm -f "$tmp/bare.exe"
  osslsigncode remove-signature -in "$DIST_DIR/$1/setup.exe" -out "$tmp/bare.exe" >/dev/null 2>&1 &&
    cmp -s "$tmp/bare.exe" "$tmp/built/$1.exe"
}
version_kept() {
  local v
  v=$("$root/tests/dist/pe-version.py" "$1") &&
    grep -qx 'ProductName=≪ホルンデ≫サンプル版' <<<"$v" && grep -qx 'ProductVersion=2.04' <<<"$v" &&
    grep -qx 'FileVersion=2.04' <<<"$v"
}
output_says() { grep -q -- "$1" "$tmp/out" || { echo "  output was:"; sed 's/^/    /' "$tmp/out"; return 1; }; }
lines_matching() { grep -c -- "$1" "$tmp/out"; }

# --- no certificate: unsigned, said in one line ---
make_dist
check "unsigned make-dist succeeds" test "$rc" -eq 0
check "no certificate: one line says setup.exe is not signed" test "$(lines_matching 'not signed')" -eq 1
check "no certificate: setup.exe carries no signature" not is_signed "$DIST_DIR/medium/setup.exe"
check "no certificate: setup.exe is the build output" cmp -s "$DIST_DIR/medium/setup.exe" "$tmp/built/medium.exe"
check "no certificate: medium.iso made" test -s "$DIST_DIR/medium.iso"

# --- PEM certificate with an encrypted key ---
make_dist SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD=correct-horse
check "signed make-dist succeeds" test "$rc" -eq 0 || sed 's/^/    /' "$tmp/out"
check "without a time-stamp server one line says so" test "$(lines_matching 'not time-stamped')" -eq 1
check "the password never reaches the output" not grep -q correct-horse "$tmp/out"
exe=$DIST_DIR/medium/setup.exe
check "setup.exe is signed" is_signed "$exe"
check "setup.exe verifies against the test CA" verifies "$exe"
check "the signature is SHA-256" grep -q '^Message digest algorithm *: SHA256' "$tmp/verify"
check "the signature names the product" grep -q 'Text description: Horunde Sample Edition' "$tmp/verify"
check "the signature is not time-stamped" grep -q 'Timestamp is not available' "$tmp/verify"
check "setup.exe without its signature is byte for byte the build output" unsigned_is_built "medium"
check "setup.exe's version resource still names the product and 2.04" version_kept "$exe"
cp "$exe" "$tmp/flipped.exe"
# A byte in the middle of the code, covered by the signed digest.
off=$(( $(stat -c %s "$tmp/built/medium.exe") / 2 ))
printf "\\x$(printf %02x $(( ($(od -An -tu1 -j "$off" -N1 "$exe") ^ 0xff) )))" |
  dd of="$tmp/flipped.exe" bs=1 seek="$off" conv=notrunc status=none
check "setup.exe with one byte flipped fails verification" not verifies "$tmp/flipped.exe"
check "setup.exe with one byte flipped: the digest mismatch is found" grep -q 'MISMATCH' "$tmp/verify"
# The signed program and its authority, kept for the end-to-end test that installs from it
# (tests/e2e/run.sh lays it out as a medium). Only a copy that verifies is kept.
kept=$root/build/signed
rm -rf "$kept"
if verifies "$DIST_DIR/medium/setup.exe"; then
  mkdir -p "$kept" && cp "$DIST_DIR/medium/setup.exe" "$kept/setup.exe" && cp "$pki/ca.pem" "$kept/test-ca.pem"
fi
check "media and images of the signed build pass the distribution check" \
  bash -c "'$root/tests/dist/check-dist.sh' '$DIST_DIR' >'$tmp/check' 2>&1 || { cat '$tmp/check'; false; }"

# --- PKCS#12 with its password ---
make_dist SIGN_PKCS12="$pki/good.p12" SIGN_PASSWORD=p12-pass
check "PKCS#12 make-dist succeeds" test "$rc" -eq 0 || sed 's/^/    /' "$tmp/out"
check "PKCS#12: setup.exe verifies against the test CA" verifies "$DIST_DIR/medium/setup.exe"
check "PKCS#12: setup.exe without its signature is the build output" unsigned_is_built "medium"

# --- failures: each names its problem and leaves the media as they were ---
before=$(snapshot)
fails_with() {  # label, expected message, env assignments...
  local label=$1 message=$2; shift 2
  make_dist "$@"
  check "$label: make-dist fails" test "$rc" -ne 0
  check "$label: the message says \"$message\"" output_says "$message"
  check "$label: dist is left as it was" test "$(snapshot)" == "$before"
  check "$label: no staging folder is left behind" not compgen -G "$tmp/dist-staging.*"
}
fails_with "wrong key password" "wrong password for key" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD=wrong
fails_with "encrypted key without password" "is encrypted: set SIGN_PASSWORD" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key"
fails_with "wrong PKCS#12 password" "wrong password for PKCS#12 file" SIGN_PKCS12="$pki/good.p12" SIGN_PASSWORD=wrong
fails_with "mismatched key" "private key does not belong to certificate" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/other.key"
fails_with "expired certificate" "expired on" SIGN_CERT="$pki/expired.pem" SIGN_KEY="$pki/expired.key"
fails_with "certificate not yet valid" "is not valid before" SIGN_CERT="$pki/future.pem" SIGN_KEY="$pki/future.key"
fails_with "missing certificate file" "certificate file not found" \
  SIGN_CERT="$pki/absent.pem" SIGN_KEY="$pki/good.key"
fails_with "missing key file" "key file not found" SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/absent.key"
fails_with "certificate without its key" "SIGN_KEY is missing" SIGN_CERT="$pki/good.pem"
fails_with "missing PKCS#12 file" "PKCS#12 file not found" SIGN_PKCS12="$pki/absent.p12" SIGN_PASSWORD=x
fails_with "certificate not for code signing" "not for code signing" \
  SIGN_CERT="$pki/server.pem" SIGN_KEY="$pki/server.key"
fails_with "unreachable time-stamp server" "could not sign" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good.key" SIGN_TIMESTAMP_URL=http://127.0.0.1:9/

echo "sign: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
