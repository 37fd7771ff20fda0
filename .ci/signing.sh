#!/usr/bin/env bash
# Proves the Windows signing step with a throwaway CA made here: the zipped
# bin2dd.exe is signed, verifies against that CA, gives back the unsigned
# bytes when the signature is removed, is signed identically twice, and runs
# under Wine. Needs what the windows preset needs, osslsigncode and openssl;
# run after `cmake --workflow --preset windows`.
set -euo pipefail
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
cd "$top"
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

unzip -p build/windows/packages/bin2dd-*-win64.zip bin2dd.exe >"$work/unsigned.exe"
cmake --preset windows -B "$work/build" -DBUILD_TESTING=OFF \
  -DBIN2DD_SIGN_PKCS12="$work/signer.p12" >/dev/null
cmake --build "$work/build" >/dev/null
for round in 1 2; do
  BIN2DD_SIGN_PASSWORD=throwaway cpack --config "$work/build/CPackConfig.cmake" >/dev/null
  unzip -p "$work"/build/packages/bin2dd-*-win64.zip bin2dd.exe >"$work/signed$round.exe"
done

osslsigncode verify -CAfile "$work/ca.pem" -in "$work/signed1.exe" | grep -E "^Signature verification: ok"
cmp "$work/signed1.exe" "$work/signed2.exe" && echo "two signings: identical"
osslsigncode remove-signature -in "$work/signed1.exe" -out "$work/removed.exe" >/dev/null
cmp "$work/removed.exe" "$work/unsigned.exe" && echo "signature removed: the unsigned bytes"
if cmp -s "$work/signed1.exe" "$work/unsigned.exe"; then
  echo "the signed program is the unsigned one" >&2
  exit 1
fi

printf 'ABCDEFGH' >"$work/x.bin"
(cd "$work" && WINEPREFIX="$top/build/windows/wineprefix" "$top/cmake/wine-run.sh" signed1.exe x.bin)
printf 'dd 044434241h\r\ndd 048474645h\r\n' | cmp - "$work/x.INC" && echo "signed program: converts under Wine"
