#!/usr/bin/env bash
# Signing of the medium, with a throw-away certificate authority: setup.exe is signed and verifies
# against that authority, a flipped byte breaks the signature, signing changes nothing but the signature
# (setup.exe is then the build output with the digests of its Package filled in), the password comes from a
# file that only openssl and osslsigncode open and is in no program's arguments or environment, make refuses a
# password given to it before any recipe runs, and each bad certificate or password file (wrong password, a key
# that is not the certificate's, expired or not yet valid, missing files, a password file others can read or that
# is not one line, not for code signing) or a program that is not the 32-bit build fails with a message that
# names it and leaves the media as they were.
# Works on the program already built in build/x86; the media go to a folder of its own. A signed medium
# that verifies is left at build/signed/ (setup.exe and Package/) for the end-to-end tests.
# Usage: sign-test.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[[ -f "$root/build/x86/src/setup.exe" ]] || { echo "sign-test: build/x86/src/setup.exe is not built"; exit 1; }
command -v strace >/dev/null || { echo "sign-test: strace is not installed (scripts/install-deps.sh installs it)"; exit 1; }

tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
export DIST_DIR=$tmp/dist
unset SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL SIGN_URL
# A copy of the built programs and packages as they are now: a build may replace them while this runs.
export BUILD_DIR=$tmp/build
mkdir -p "$tmp/built"
mkdir -p "$BUILD_DIR/x86/src"
cp "$root/build/x86/src/setup.exe" "$BUILD_DIR/x86/src/setup.exe"
cp -a "$root/build/x86/Package" "$BUILD_DIR/x86/Package"
# What make dist signs: the build output with the digests of the Package beside it filled in.
cp "$root/build/x86/src/setup.exe" "$tmp/built/medium.exe"
"$root/scripts/payload-records.py" write "$tmp/built/medium.exe" "$BUILD_DIR/x86/Package" ||
  { echo "sign-test: the payload records could not be written"; exit 1; }

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

# The password files, named unlike the passwords they hold so that a password found in a trace is the password.
pw=$tmp/pw
mkdir -m 700 "$pw"
password_file() {  # name, content as a printf format, mode
  printf "$2" >"$pw/$1" && chmod "${3:-600}" "$pw/$1"
}
password_file key.pw 'correct-horse\n'   # ended by a newline, as echo writes it
password_file p12.pw 'p12-pass'          # without one
password_file wrong.pw 'wrong\n'
password_file shared.pw 'correct-horse\n' 640
password_file crlf.pw 'correct-horse\r\n'
password_file two-lines.pw 'correct-horse\nmore\n'
password_file empty.pw ''
password_file blank.pw '\n'

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
# strace follows make-dist and every program it starts, one file per process: each program's path, arguments
# and environment, and each file opened.
trace=$tmp/trace
traced_make_dist() {  # env assignments...; like make_dist
  rm -rf "$trace" && mkdir "$trace"
  env "$@" strace -f -ff -qq -v -s 1000000 -e trace=execve,openat -o "$trace/p" "$root/scripts/make-dist.sh" \
    >"$tmp/out" 2>&1
  rc=$?
}
# The programs of the traced run (a bash script by its name) that did what the awk condition says, sorted.
programs_that() {  # awk condition on a line of the trace, with the variable file set to the second argument
  local p
  for p in "$trace"/p.*; do
    awk -v file="${2:-}" '
      /^execve\(/ && / = 0$/ {
        split($0, q, "\""); prog = q[2]; sub(/.*\//, "", prog)
        if (prog == "bash") { prog = q[6]; sub(/.*\//, "", prog) }
      }
      '"$1"' { print (prog == "" ? "(a subshell)" : prog) }' "$p"
  done | sort -u | paste -sd ' '
}
opened_by() { programs_that '/^openat\(/ && index($0, "\"" file "\"") && !/ = -1 /' "$1"; }
ran() { programs_that '/^execve\(/ && / = 0$/'; }
output_says() { grep -q -- "$1" "$tmp/out" || { echo "  output was:"; sed 's/^/    /' "$tmp/out"; return 1; }; }
lines_matching() { grep -c -- "$1" "$tmp/out"; }

# --- no certificate: unsigned, said in one line ---
make_dist
check "unsigned make-dist succeeds" test "$rc" -eq 0
check "no certificate: one line says setup.exe is not signed" test "$(lines_matching 'not signed')" -eq 1
check "no certificate: setup.exe carries no signature" not is_signed "$DIST_DIR/medium/setup.exe"
check "no certificate: setup.exe is the build output with its payload records" \
  cmp -s "$DIST_DIR/medium/setup.exe" "$tmp/built/medium.exe"
check "the build output itself records nothing" \
  bash -c "'$root/scripts/payload-records.py' show '$root/build/x86/src/setup.exe' | grep -qx '0 records'"
check "no certificate: medium.iso made" test -s "$DIST_DIR/medium.iso"

# --- PEM certificate with an encrypted key ---
traced_make_dist SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/key.pw"
check "signed make-dist succeeds" test "$rc" -eq 0 || sed 's/^/    /' "$tmp/out"
check "without a time-stamp server one line says so" test "$(lines_matching 'not time-stamped')" -eq 1
check "the password never reaches the output" not grep -q correct-horse "$tmp/out"
check "the trace holds the environment of the programs run" grep -rqF "SIGN_PASSWORD_FILE=$pw/key.pw" "$trace"
check "the trace shows osslsigncode and xorriso run" \
  bash -c "grep -rq '^execve(\"[^\"]*/osslsigncode\"' '$trace' && grep -rq '^execve(\"[^\"]*/xorriso\"' '$trace'"
check "no program had the password in its arguments or environment" not grep -rq correct-horse "$trace"
check "only openssl, osslsigncode and sign.sh's own check open the password file" \
  test "$(opened_by "$pw/key.pw")" == "openssl osslsigncode sign.sh"
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
# The signed medium and its authority, kept for the end-to-end test that installs from it
# (tests/e2e/run.sh lays it out). Only a copy that verifies is kept.
kept=$root/build/signed
rm -rf "$kept"
if verifies "$DIST_DIR/medium/setup.exe"; then
  mkdir -p "$kept" && cp "$DIST_DIR/medium/setup.exe" "$kept/setup.exe" && cp -a "$DIST_DIR/medium/Package" "$kept/" &&
    cp "$pki/ca.pem" "$kept/test-ca.pem"
fi
check "media and images of the signed build pass the distribution check" \
  bash -c "'$root/tests/dist/check-dist.sh' '$DIST_DIR' >'$tmp/check' 2>&1 || { cat '$tmp/check'; false; }"

# --- PKCS#12 with its password ---
traced_make_dist SIGN_PKCS12="$pki/good.p12" SIGN_PASSWORD_FILE="$pw/p12.pw"
check "PKCS#12 make-dist succeeds" test "$rc" -eq 0 || sed 's/^/    /' "$tmp/out"
check "PKCS#12: no program had the password in its arguments or environment" not grep -rq p12-pass "$trace"
check "PKCS#12: only openssl, osslsigncode and sign.sh's own check open the password file" \
  test "$(opened_by "$pw/p12.pw")" == "openssl osslsigncode sign.sh"
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
fails_with "wrong key password" "wrong password for key .* (in $pw/wrong.pw, SIGN_PASSWORD_FILE)" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/wrong.pw"
fails_with "encrypted key without password" "is encrypted: name the file holding its password with SIGN_PASSWORD_FILE" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key"
fails_with "wrong PKCS#12 password" "wrong password for PKCS#12 file .* (in $pw/wrong.pw, SIGN_PASSWORD_FILE)" \
  SIGN_PKCS12="$pki/good.p12" SIGN_PASSWORD_FILE="$pw/wrong.pw"
fails_with "PKCS#12 without password" "needs a password: name the file holding it with SIGN_PASSWORD_FILE" \
  SIGN_PKCS12="$pki/good.p12"
fails_with "missing password file" "password file not found: $pw/absent.pw" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/absent.pw"
fails_with "password file others can read" "password file $pw/shared.pw can be read by other users (mode 640)" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/shared.pw"
fails_with "password file with a Windows line end" "password file $pw/crlf.pw has a carriage return" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/crlf.pw"
fails_with "password file of two lines" "password file $pw/two-lines.pw has more than one line" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/two-lines.pw"
fails_with "empty password file" "password file $pw/empty.pw is empty" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/empty.pw"
fails_with "password file of an empty line" "password file $pw/blank.pw is empty" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good-enc.key" SIGN_PASSWORD_FILE="$pw/blank.pw"
# With a key that needs no password, which would be signed with if the password were let through.
fails_with "password in the environment" "SIGN_PASSWORD is not read from the environment.*SIGN_PASSWORD_FILE" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good.key" SIGN_PASSWORD=correct-horse
traced_make_dist SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good.key" SIGN_PASSWORD=correct-horse
check "password in the environment: make-dist refuses it before it starts any program" test "$(ran)" == "make-dist.sh"
fails_with "mismatched key" "private key does not belong to certificate" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/other.key"
fails_with "expired certificate" "expired on" SIGN_CERT="$pki/expired.pem" SIGN_KEY="$pki/expired.key"
fails_with "certificate not yet valid" "is not valid before" SIGN_CERT="$pki/future.pem" SIGN_KEY="$pki/future.key"
fails_with "missing certificate file" "certificate file not found" \
  SIGN_CERT="$pki/absent.pem" SIGN_KEY="$pki/good.key"
fails_with "missing key file" "key file not found" SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/absent.key"
fails_with "certificate without its key" "SIGN_KEY is missing" SIGN_CERT="$pki/good.pem"
fails_with "missing PKCS#12 file" "PKCS#12 file not found" SIGN_PKCS12="$pki/absent.p12" SIGN_PASSWORD_FILE="$pw/p12.pw"
fails_with "certificate not for code signing" "not for code signing" \
  SIGN_CERT="$pki/server.pem" SIGN_KEY="$pki/server.key"
fails_with "unreachable time-stamp server" "could not sign" \
  SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good.key" SIGN_TIMESTAMP_URL=http://127.0.0.1:9/
# A program that is not the 32-bit build (here the same file marked for x86-64) is never signed.
mkdir -p "$tmp/build64/x86/src"
cp -a "$BUILD_DIR/x86/Package" "$tmp/build64/x86/Package"
cp "$BUILD_DIR/x86/src/setup.exe" "$tmp/build64/x86/src/setup.exe"
pe=$(od -An -tu4 -j 60 -N4 "$tmp/build64/x86/src/setup.exe" | tr -d ' ')
printf '\x64\x86' | dd of="$tmp/build64/x86/src/setup.exe" bs=1 seek=$((pe + 4)) conv=notrunc status=none
fails_with "a 64-bit program" "is not the 32-bit (i686) program" \
  BUILD_DIR="$tmp/build64" SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good.key"

# sign.sh on its own takes no password from the environment either, and touches nothing then.
cp "$tmp/built/medium.exe" "$tmp/alone.exe"
SIGN_CERT="$pki/good.pem" SIGN_KEY="$pki/good.key" SIGN_PASSWORD=correct-horse "$root/scripts/sign.sh" \
  "$tmp/alone.exe" >"$tmp/out" 2>&1
rc=$?
check "sign.sh with a password in the environment fails" test "$rc" -ne 0
check "sign.sh with a password in the environment: the message points to SIGN_PASSWORD_FILE" \
  output_says "SIGN_PASSWORD is not read from the environment.*SIGN_PASSWORD_FILE"
check "sign.sh with a password in the environment leaves the file as it was" cmp -s "$tmp/alone.exe" "$tmp/built/medium.exe"

# --- make: a password given to make is refused while the Makefile is read, before any recipe runs ---
# make runs each recipe line with the SHELL given on its command line: this one runs nothing, it only notes
# the line and its environment. So no build starts here even when make does not refuse.
recorder=$tmp/recipe-shell
printf '#!/bin/sh\n{ printf "recipe: %%s\\n" "$2"; export -p; } >>"%s"\n' "$tmp/recipes" >"$recorder"
chmod +x "$recorder"
run_make() {  # [VAR=value...] make arguments...: output in $tmp/out, exit code in $rc, recipes in $tmp/recipes
  rm -f "$tmp/recipes"
  env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS "$@" >"$tmp/out" 2>&1
  rc=$?
}
run_make make -C "$root" --no-print-directory dist SHELL="$recorder" SIGN_PASSWORD_FILE="$pw/key.pw"
check "make dist with a password file runs its recipes" \
  bash -c "test $rc -eq 0 && grep -q '^recipe: scripts/install-deps.sh' '$tmp/recipes'"
check "make dist hands the password file's name to make-dist" grep -qF "SIGN_PASSWORD_FILE=\"$pw/key.pw\"" "$tmp/recipes"
check "make dist: no recipe has the password in its command or environment" not grep -q correct-horse "$tmp/recipes"
run_make make -C "$root" dist SHELL="$recorder" SIGN_PASSWORD=correct-horse
check "password on make's command line: make fails" test "$rc" -ne 0
check "password on make's command line: the message points to SIGN_PASSWORD_FILE" \
  output_says "SIGN_PASSWORD is refused (from the command line).*SIGN_PASSWORD_FILE"
check "password on make's command line: no recipe ran" test ! -e "$tmp/recipes"
run_make SIGN_PASSWORD=correct-horse make -C "$root" dist SHELL="$recorder"
check "password in make's environment: make fails" test "$rc" -ne 0
check "password in make's environment: the message points to SIGN_PASSWORD_FILE" \
  output_says "SIGN_PASSWORD is refused (from the environment).*SIGN_PASSWORD_FILE"
check "password in make's environment: no recipe ran" test ! -e "$tmp/recipes"

echo "sign: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
