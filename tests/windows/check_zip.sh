#!/usr/bin/env bash
# The zip for Windows users, made by cpack from the build as the build script
# makes it: the VST 2 DLL, the VST3 bundle, the install text, the licence and every preset, in one
# folder. Usage: check_zip.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -B "$scratch" >/dev/null)
zips=("$scratch"/*.zip)
[ -f "${zips[0]}" ] || { echo "cpack made no zip"; exit 1; }
listing=$(cd "$scratch" && cmake -E tar tf "${zips[0]}")
top=$(basename "${zips[0]}" .zip)
failed=0
expect() {
  if grep -qx "$top/$1" <<<"$listing"; then echo "ok: $1"; else echo "missing: $1"; failed=1; fi
}
expect plonkrift6v2.dll
expect plonkrift6.vst3/Contents/x86_64-win/plonkrift6.vst3
expect INSTALL.txt
expect LICENSE.txt
for preset in "$source"/presets/*.preset; do expect "presets/$(basename "$preset")"; done
# Stripped: a DLL with its symbols would be a third larger.
mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "${zips[0]}")
packed=$(stat -c %s "$scratch/unpacked/$top/plonkrift6v2.dll")
built=$(stat -c %s "$build/plonkrift6v2.dll")
if [ "$packed" -lt "$built" ]; then echo "ok: stripped ($packed of $built bytes)"; else echo "not stripped"; failed=1; fi
exit $failed
