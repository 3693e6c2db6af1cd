#!/usr/bin/env bash
# Signs programs with Authenticode (SHA-256) through osslsigncode, each in place.
# Usage: sign.sh FILE...
#
# The certificate comes from the environment:
#   SIGN_CERT + SIGN_KEY   PEM certificate (leaf first, chain after it) and PEM private key
#   SIGN_PKCS12            or one PKCS#12 file holding key, certificate and chain
#   SIGN_PASSWORD_FILE     file holding the password of an encrypted key or of the PKCS#12 file: one line, a newline
#                          at its end optional and not part of the password; only its owner may read it
#   SIGN_TIMESTAMP_URL     RFC 3161 time-stamp server; without it the signatures are not time-stamped
#   SIGN_URL               optional web address the signature points to
#
# Everything that can be wrong with the certificate is checked before any file is touched. Each file is
# signed into a temporary copy; the copies replace the originals only after all of them are signed and
# checked, so a failure leaves every file as it was.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# osslsigncode writes the description as an ASCII SpcString: Japanese text would reach Windows as mojibake,
# so the signature names the product in Latin letters.
description="Horunde Sample Edition"

die() { echo "sign: $*" >&2; exit 1; }
note() { echo "sign: $*"; }

[[ $# -gt 0 ]] || die "usage: sign.sh FILE..."
# A password in the environment is inherited by every program started after it, so none is taken from there.
[[ -z ${SIGN_PASSWORD+set} ]] ||
  die "SIGN_PASSWORD is not read from the environment: put the password in a file only you can read and name it with SIGN_PASSWORD_FILE"
for f in "$@"; do [[ -f "$f" ]] || die "no such file to sign: $f"; done
command -v osslsigncode >/dev/null || die "osslsigncode is not installed"

work=$(mktemp -d "${TMPDIR:-/tmp}/sign.XXXXXX")
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT

cert=${SIGN_CERT:-} key=${SIGN_KEY:-} p12=${SIGN_PKCS12:-}
if [[ -n "$p12" && ( -n "$cert" || -n "$key" ) ]]; then
  die "give either SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, not both"
fi
if [[ -z "$p12" ]]; then
  [[ -n "$cert" ]] || die "SIGN_KEY is given but SIGN_CERT is missing"
  [[ -n "$key" ]] || die "SIGN_CERT is given but SIGN_KEY is missing"
  [[ -f "$cert" ]] || die "certificate file not found: $cert"
  [[ -f "$key" ]] || die "key file not found: $key"
else
  [[ -f "$p12" ]] || die "PKCS#12 file not found: $p12"
fi

# The password is handed to no program: openssl and osslsigncode are given the file's name and read it
# themselves, so it is in no environment and on no command line, where other programs and users could see it.
# openssl takes the first line up to its newline and keeps a carriage return; osslsigncode takes the whole file
# less the line ends at its end. They read the same password only from a file of one line, so any other file is
# refused here, before either says "wrong password" about a password that is right. That look at the file is
# bash's own read, in this process, which keeps nothing of it: no other program opens the file.
pwfile=${SIGN_PASSWORD_FILE:-}
passin=(-passin pass:)
readpass=()
if [[ -n "$pwfile" ]]; then
  [[ -e "$pwfile" ]] || die "password file not found: $pwfile (SIGN_PASSWORD_FILE)"
  [[ -f "$pwfile" ]] || die "password file is not a file: $pwfile (SIGN_PASSWORD_FILE)"
  [[ -r "$pwfile" ]] || die "password file cannot be read: $pwfile (SIGN_PASSWORD_FILE)"
  # A password that other accounts can read is shared already. Refused rather than warned about: a warning
  # scrolls past unread in a build log.
  mode=$(stat -L -c %a "$pwfile")
  (( (8#$mode & 8#044) == 0 )) ||
    die "password file $pwfile can be read by other users (mode $mode): make it readable by its owner only (chmod 600)"
  lines=0 cr='' text=''
  while IFS= read -r line || [[ -n "$line" ]]; do
    lines=$((lines + 1))
    [[ -z "$line" ]] || text=yes
    [[ "$line" != *$'\r'* ]] || cr=yes
  done <"$pwfile"
  line=''
  [[ -n $text ]] || die "password file $pwfile is empty"
  [[ -z $cr ]] || die "password file $pwfile has a carriage return (Windows line end): save it with a plain newline or none"
  [[ $lines -eq 1 ]] || die "password file $pwfile has more than one line: it must hold only the password"
  passin=(-passin "file:$pwfile")
  readpass=(-readpass "$pwfile")
fi

leaf=$work/leaf.pem
if [[ -n "$p12" ]]; then
  if ! openssl pkcs12 -in "$p12" -nokeys -clcerts "${passin[@]}" -out "$leaf" 2>"$work/err"; then
    if grep -qi 'invalid password\|mac verify' "$work/err"; then
      [[ -n "$pwfile" ]] || die "PKCS#12 file $p12 needs a password: name the file holding it with SIGN_PASSWORD_FILE"
      die "wrong password for PKCS#12 file $p12 (in $pwfile, SIGN_PASSWORD_FILE)"
    fi
    die "cannot read PKCS#12 file $p12: $(head -n1 "$work/err")"
  fi
  # The private key goes straight into the public-key extraction through a pipe, never onto disk.
  openssl pkcs12 -in "$p12" -nocerts -nodes "${passin[@]}" 2>/dev/null | openssl pkey -pubout -out "$work/key.pub" \
    2>/dev/null || die "PKCS#12 file $p12 holds no usable private key"
  # Bare PEM without the bag attributes, to compare with the certificate in the signature.
  openssl x509 -in "$leaf" -out "$leaf" 2>/dev/null || die "PKCS#12 file $p12 holds no certificate for its key"
else
  openssl x509 -in "$cert" -out "$leaf" 2>/dev/null || die "not a PEM certificate: $cert"
  if ! openssl pkey -in "$key" "${passin[@]}" -pubout -out "$work/key.pub" 2>"$work/err"; then
    if grep -q 'ENCRYPTED' "$key"; then
      [[ -n "$pwfile" ]] || die "key $key is encrypted: name the file holding its password with SIGN_PASSWORD_FILE"
      die "wrong password for key $key (in $pwfile, SIGN_PASSWORD_FILE)"
    fi
    die "not a PEM private key: $key"
  fi
fi

subject=$(openssl x509 -in "$leaf" -noout -subject -nameopt oneline,-esc_msb | sed 's/^subject= *//')
not_after=$(openssl x509 -in "$leaf" -noout -enddate | cut -d= -f2)
not_before=$(openssl x509 -in "$leaf" -noout -startdate | cut -d= -f2)
openssl x509 -in "$leaf" -noout -checkend 0 >/dev/null || die "certificate $subject expired on $not_after"
[[ $(date -d "$not_before" +%s) -le $(date +%s) ]] || die "certificate $subject is not valid before $not_before"

openssl x509 -in "$leaf" -noout -pubkey >"$work/cert.pub"
cmp -s "$work/cert.pub" "$work/key.pub" || die "the private key does not belong to certificate $subject"

# Windows refuses a signature whose certificate limits its use to purposes other than code signing. A
# certificate without the extension is valid for every purpose; CAs never issue code-signing ones like that,
# so it is let through with a warning.
eku=$(openssl x509 -in "$leaf" -noout -ext extendedKeyUsage 2>/dev/null | tail -n +2 | tr -d ' ')
if [[ -z "$eku" ]]; then
  echo "sign: warning: certificate $subject has no extended key usage; Windows takes it for code signing" >&2
elif ! tr ',' '\n' <<<"$eku" | grep -qx 'CodeSigning'; then
  die "certificate $subject is not for code signing (extended key usage: $eku)"
fi

args=(-h sha256 -n "$description")
[[ -n "${SIGN_URL:-}" ]] && args+=(-i "$SIGN_URL")
if [[ -n "${SIGN_TIMESTAMP_URL:-}" ]]; then
  args+=(-ts "$SIGN_TIMESTAMP_URL")
else
  note "no SIGN_TIMESTAMP_URL: signatures are not time-stamped and stop being valid when the certificate expires on $not_after"
fi
if [[ -n "$p12" ]]; then args+=(-pkcs12 "$p12"); else args+=(-certs "$cert" -key "$key"); fi

# The CAs that may close the chain: the machine's trusted roots and whatever came with the certificate.
cafile=$work/ca.pem
{ cat /etc/ssl/certs/ca-certificates.crt 2>/dev/null || true
  if [[ -n "$p12" ]]; then openssl pkcs12 -in "$p12" -nokeys -cacerts "${passin[@]}" 2>/dev/null || true
  else cat "$cert"; fi
} >"$cafile"

i=0
for f in "$@"; do
  i=$((i + 1))
  out=$work/$i.signed
  osslsigncode sign "${args[@]}" "${readpass[@]}" -in "$f" -out "$out" >"$work/log" 2>&1 ||
    die "osslsigncode could not sign $f: $(grep -v '^\s*$' "$work/log" | tail -n 3 | tr '\n' ' ')"
  # Check what was written before it counts: the file's own digest matches the one signed, the signer is
  # our certificate, and without its signature the file is byte for byte what it was.
  osslsigncode verify -in "$out" -CAfile "$cafile" >"$work/verify" 2>&1 || true
  current=$(sed -n 's/^Current message digest *: *//p' "$work/verify" | head -n1 | tr -d ' ')
  calculated=$(sed -n 's/^Calculated message digest *: *//p' "$work/verify" | head -n1 | tr -d ' ')
  [[ -n "$current" && "$current" == "$calculated" ]] || die "the signature written into $f does not match it"
  osslsigncode extract-signature -in "$out" -out "$work/$i.p7" >/dev/null 2>&1 ||
    die "no signature can be read back from the signed $f"
  signers=$(openssl pkcs7 -inform DER -in "$work/$i.p7" -print_certs 2>/dev/null | tr -d '\n')
  [[ "$signers" == *"$(grep -v '^-----' "$leaf" | tr -d '\n')"* ]] || die "the signature in $f is not by $subject"
  osslsigncode remove-signature -in "$out" -out "$work/$i.bare" >/dev/null 2>&1 &&
    cmp -s "$work/$i.bare" "$f" || die "signing changed more than the signature of $f"
  if grep -q '^Signature verification: ok' "$work/verify"; then chain="chain verified"
  else chain="chain not verified against this machine's roots"; fi
  chmod --reference="$f" "$out"
  note "signed $f ($subject; $chain)"
done

i=0
for f in "$@"; do
  i=$((i + 1))
  mv -f "$work/$i.signed" "$f"
done
