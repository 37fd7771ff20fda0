#!/usr/bin/env bash
# Builds the release artefacts of the last commit twice, from clean clones in
# two folders at different times (the second under another umask), and
# checks that they are byte-identical: bin2dd, bin2dd.exe, the arm64 bin2dd
# and the .tar.gz, .deb and .zip packages. On a difference, diffoscope (where installed) shows
# what differs. Needs what the default, windows and linux-arm64 presets
# need, and strip-nondeterminism.
set -euo pipefail
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {
  git clone -q "$top" "$1"
  cd "$1"
  cmake --preset default >/dev/null
  cmake --build --preset default --target bin2dd >/dev/null
  cpack --preset default >/dev/null
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target bin2dd >/dev/null
  cpack --preset windows >/dev/null
  cmake --preset linux-arm64 >/dev/null
  cmake --build --preset linux-arm64 --target bin2dd >/dev/null
  cpack --preset linux-arm64 >/dev/null
}

(build "$work/first")
sleep 2
(umask 077 && build "$work/second/elsewhere")

status=0
for artefact in default/bin2dd windows/bin2dd.exe linux-arm64/bin2dd \
  {default,linux-arm64}/packages/*.{tar.gz,deb} windows/packages/*.zip; do
  for first in "$work"/first/build/$artefact; do
    second=$work/second/elsewhere/build/${first#"$work"/first/build/}
    if cmp -s "$first" "$second"; then
      printf 'identical  %s  %s\n' "$(sha256sum <"$first" | cut -d' ' -f1)" "${first##*/}"
    else
      printf 'DIFFERENT  %s\n' "${first##*/}"
      status=1
      if command -v diffoscope >/dev/null; then
        diffoscope "$first" "$second" | head -n 60 || true
      fi
    fi
  done
done
exit $status
