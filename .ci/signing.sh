#!/usr/bin/env bash
# Proves the Windows signing step with a throwaway CA made here: the zipped
# bin2dd.exe is signed, verifies against that CA, gives back the unsigned
# bytes when the signature is removed, is signed identically twice, and runs
# under Wine; the password never appears on a command line, and a missing
# password or certificate stops with its own message. Needs what the windows
# preset needs, osslsigncode, openssl and strace; run after `cmake --workflow
# --preset windows`. Every check stops the script on a difference.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
# The signing time and the packages' times: the last commit's, or, without
# git, one fixed time for every build below.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
  export SOURCE_DATE_EPOCH
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=bin2dd throwaway CA" \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=bin2dd throwaway signer" \
  -keyout signer.key -out signer.csr 2>/dev/null
printf 'keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -days 1 -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
  -extfile signer.ext -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
  -passout pass:throwaway -out signer.p12
cd "$top"

# Says what went wrong and stops.
fail() {
  echo "signing check failed: $*" >&2
  exit 1
}

# The same build, first unsigned, then signed twice.
cmake --preset windows -B "$work/build" -DBUILD_TESTING=OFF -DBIN2DD_SIGN_PKCS12= >/dev/null
cmake --build "$work/build" >/dev/null
cpack --config "$work/build/CPackConfig.cmake" >/dev/null
unzip -p "$work"/build/packages/bin2dd-*-win64.zip bin2dd.exe >"$work/unsigned.exe"

# A certificate that is not there stops the configure, naming it.
if said=$(cmake "$work/build" -DBIN2DD_SIGN_PKCS12="$work/missing.p12" 2>&1); then
  fail "configure accepted a missing certificate"
fi
grep -q "missing.p12" <<<"$said" || fail "no word of the missing certificate: $said"

cmake "$work/build" -DBIN2DD_SIGN_PKCS12="$work/signer.p12" >/dev/null
# Without the password: its own message, and no package of an earlier run.
if said=$(env -u BIN2DD_SIGN_PASSWORD cpack --config "$work/build/CPackConfig.cmake" 2>&1); then
  fail "cpack signed without a password"
fi
grep -q "BIN2DD_SIGN_PASSWORD" <<<"$said" || fail "no word of the missing password: $said"
if ls "$work"/build/packages/bin2dd-*-win64.zip* 2>/dev/null; then
  fail "a failed signing left packages of an earlier run"
fi
for round in 1 2; do
  BIN2DD_SIGN_PASSWORD=throwaway strace -f -qq -s 256 -e trace=execve -o "$work/exec$round.log" \
    cpack --config "$work/build/CPackConfig.cmake" >/dev/null
  unzip -p "$work"/build/packages/bin2dd-*-win64.zip bin2dd.exe >"$work/signed$round.exe"
  grep -q osslsigncode "$work/exec$round.log" || fail "osslsigncode never ran"
  if grep throwaway "$work/exec$round.log"; then
    fail "the password is on a command line"
  fi
done
echo "password: on no command line"

osslsigncode verify -CAfile "$work/ca.pem" -in "$work/signed1.exe" | grep -E "^Signature verification: ok"
cmp "$work/signed1.exe" "$work/signed2.exe" || fail "two signings differ"
echo "two signings: identical"
osslsigncode remove-signature -in "$work/signed1.exe" -out "$work/removed.exe" >/dev/null
cmp "$work/removed.exe" "$work/unsigned.exe" || fail "the signature removed is not the unsigned program"
echo "signature removed: the unsigned bytes"
if cmp -s "$work/signed1.exe" "$work/unsigned.exe"; then
  fail "the signed program is the unsigned one"
fi

printf 'ABCDEFGH' >"$work/x.bin"
(cd "$work" && WINEPREFIX="$top/build/windows/wineprefix" "$top/cmake/wine-run.sh" signed1.exe x.bin)
printf 'dd 044434241h\r\ndd 048474645h\r\n' | cmp - "$work/x.INC" || fail "the signed program's output differs"
echo "signed program: converts under Wine"
