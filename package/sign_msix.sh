#!/bin/bash
# Signs the packed package and checks it: OUTDIR/Brellow.unsigned.msix (from
# make_msix.py) becomes OUTDIR/Brellow.msix, and the signing certificate is
# kept beside it as OUTDIR/brellow-package.cer (DER).
#
#   sign_msix.sh OUTDIR                 with a key pair made for this build only
#   sign_msix.sh OUTDIR CERT KEY URL    with a release's own certificate (PEM or
#                                       DER) and private key (PEM), and the
#                                       RFC 3161 timestamp server at URL;
#                                       nothing is made
#
# A release's signature carries a trusted timestamp: without one, Windows
# refuses the package (a repair, a reinstall, a provisioned user's
# registration) once the certificate has expired. A build's own key pair
# signs without one: its certificate is trusted for that build's package only.
#
# The key pair of a default build (RSA 3072, SHA-256; key usage digital
# signature, extended key usage code signing only, not a CA; subject = the
# Publisher of identity.ini) lives in a private temporary folder that is
# removed however the script ends: once the package is signed, its private
# key exists nowhere. Nothing is written to OUTDIR unless the signed package
# passes check_msix.py against the certificate and identity.ini.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if (( $# != 1 && $# != 4 )); then
  echo "usage: sign_msix.sh OUTDIR [CERT KEY TIMESTAMP_URL]" >&2
  exit 2
fi
timestamp=()
out=$1

# APPX signing came with osslsigncode 2.7.
version=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9][0-9]*\)\.\([0-9][0-9]*\).*/\1 \2/p' || true)
read -r major minor <<<"${version:-0 0}"
if (( major < 2 || (major == 2 && minor < 7) )); then
  echo "sign_msix: osslsigncode 2.7 or later is needed to sign the package" \
       "(found: ${version:-none}); scripts/bootstrap.sh installs it" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
umask 077
if (( $# == 4 )); then
  if [[ ! "$4" =~ ^https?://[^[:space:]]+$ ]]; then
    echo "sign_msix: a release is signed with a timestamp: '$4' is not an http(s) URL" \
         "(BRELL_PACKAGE_TIMESTAMP_URL)" >&2
    exit 1
  fi
  timestamp=(-ts "$4")
  if ! openssl x509 -in "$2" -out "$work/cert.pem" 2>/dev/null &&
     ! openssl x509 -inform DER -in "$2" -out "$work/cert.pem"; then
    echo "sign_msix: $2 is not a certificate (PEM or DER)" >&2
    exit 1
  fi
  key=$3
else
  cn=$(python3 "$here/identity.py" "$here/identity.ini" common-name)
  cat >"$work/request.cnf" <<'CNF'
[req]
distinguished_name = subject
x509_extensions = codesigning
[subject]
[codesigning]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
CNF
  key=$work/key.pem
  if ! openssl req -x509 -config "$work/request.cnf" -newkey rsa:3072 -sha256 -noenc -days 3650 \
       -subj "/CN=$cn" -keyout "$key" -out "$work/cert.pem" 2>"$work/openssl.log"; then
    cat "$work/openssl.log" >&2
    exit 1
  fi
fi
openssl x509 -in "$work/cert.pem" -outform DER -out "$work/brellow-package.cer"
osslsigncode sign -certs "$work/cert.pem" -key "$key" "${timestamp[@]}" \
  -in "$out/Brellow.unsigned.msix" -out "$work/Brellow.msix" >/dev/null
(cd "$work" && python3 "$here/check_msix.py" Brellow.msix --cert brellow-package.cer \
  --identity "$here/identity.ini")
install -m 644 "$work/Brellow.msix" "$work/brellow-package.cer" "$out/"
