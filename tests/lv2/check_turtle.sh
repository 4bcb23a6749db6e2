#!/usr/bin/env bash
# The bundle's Turtle against the LV2 schemas (the .ttl
# files of Debian's lv2-dev, with sord_validate), also as written with a UI;
# then lv2info's listing of the plug-in against expected-lv2info.txt. One
# PASS/FAIL line per check, then "N passed, N failed".
#
# usage: check_turtle.sh BUNDLE_DIR TURTLE_GENERATOR PRESET_DIR
set -uo pipefail
bundle=$(cd "${1:?usage: check_turtle.sh BUNDLE_DIR TURTLE_GENERATOR PRESET_DIR}" && pwd)
generator=$2
preset_dir=$3
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
verdict() { # verdict STATUS TEXT [DETAILS FILE]
  if [ "$1" = 0 ]; then echo "PASS $2"; passed=$((passed + 1)); else
    echo "FAIL $2"; failed=$((failed + 1)); [ -n "${3:-}" ] && sed 's/^/  /' "$3" | head -40; fi
}

mapfile -t schemas < <(dpkg -L lv2-dev | grep '\.ttl$' | sort)
[ ${#schemas[@]} -gt 20 ] || { echo "FAIL the LV2 schemas of lv2-dev are not installed"; echo "0 passed, 1 failed"; exit 1; }
validate() { # validate LOG FILE...
  local log=$1
  shift
  sord_validate "${schemas[@]}" "$@" >"$log" 2>&1 && grep -q "Found 0 errors" "$log"
}

validate "$scratch/bundle.log" "$bundle"/*.ttl
verdict $? "the bundle's Turtle is valid LV2 ($(tail -1 "$scratch/bundle.log"))" "$scratch/bundle.log"

mkdir "$scratch/with-ui"
"$generator" --out "$scratch/with-ui" --binary plonkrift6.so --version 2.0.0 --ui plonkrift6_ui.so
validate "$scratch/with-ui.log" "$scratch/with-ui"/*.ttl
verdict $? "the Turtle with an X11 UI declared is valid LV2" "$scratch/with-ui.log"

# The validator does find a mistake in our files: a port index that is no number.
sed 's/lv2:index 5 ;/lv2:index "five" ;/' "$bundle/plonkrift6.ttl" >"$scratch/broken.ttl"
if validate "$scratch/broken.log" "$bundle/manifest.ttl" "$scratch/broken.ttl"; then status=1; else status=0; fi
verdict $status "sord_validate refuses a port index that is no number" "$scratch/broken.log"

# lv2info, with lv2-dev's vocabularies and our bundle as the only bundles.
mkdir "$scratch/lv2"
for vocabulary in /usr/lib/lv2/*.lv2; do
  name=$(basename "$vocabulary")
  [[ $(dpkg -S "$vocabulary" 2>/dev/null) == lv2-dev:* ]] && ln -s "$vocabulary" "$scratch/lv2/$name"
done
ln -s "$bundle" "$scratch/lv2/plonkrift6.lv2"
LV2_PATH="$scratch/lv2" lv2info urn:plonkrift:plonkrift6v2 >"$scratch/lv2info.txt" 2>"$scratch/lv2info.err"
verdict $? "lv2info lists urn:plonkrift:plonkrift6v2" "$scratch/lv2info.err"
awk -f "$here/lv2info-ports.awk" "$scratch/lv2info.txt" >"$scratch/listed.txt"
grep -v '^preset|' "$scratch/listed.txt" >"$scratch/ports.txt"
grep -v '^#' "$here/expected-lv2info.txt" | grep -v '^preset|' >"$scratch/expected-ports.txt"
diff "$scratch/expected-ports.txt" "$scratch/ports.txt" >"$scratch/ports.diff"
verdict $? "lv2info lists the $(wc -l <"$scratch/expected-ports.txt") ports as intended" "$scratch/ports.diff"
grep '^preset|Init Preset' "$scratch/listed.txt" >"$scratch/programs.txt"
grep '^preset|' "$here/expected-lv2info.txt" | diff - "$scratch/programs.txt" >"$scratch/programs.diff"
verdict $? "lv2info lists the eight programs as presets" "$scratch/programs.diff"
files=$(find "$preset_dir" -maxdepth 1 -name '*.preset' | wc -l)
others=$(grep '^preset|' "$scratch/listed.txt" | grep -vc '^preset|Init Preset')
verdict "$([ "$others" = "$files" ] && echo 0 || echo 1)" "lv2info lists $others more presets, one for each of the $files preset files"
grep -E '^\s+(Class|Required Features|Author|Binary):' "$scratch/lv2info.txt" | sed 's/^\s*//' >"$scratch/head.txt"
{ grep -qx 'Class:             Delay Plugin' "$scratch/head.txt" &&
  grep -qx 'Required Features: http://lv2plug.in/ns/ext/urid#map' "$scratch/head.txt" &&
  grep -qx 'Author:            plonkrift' "$scratch/head.txt" &&
  grep -q 'Binary:.*/plonkrift6\.lv2/plonkrift6\.so$' "$scratch/head.txt"; }
verdict $? "lv2info: class Delay Plugin, requires urid:map, author plonkrift, the bundle's binary" "$scratch/head.txt"

# The build's X11 UI, where it made one, as lv2info lists it.
if [ -f "$bundle/plonkrift6_ui.so" ]; then
  sed -n '/^\s*UIs:/,/^\s*Data URIs:/p' "$scratch/lv2info.txt" | sed 's/^\s*//' >"$scratch/uis.txt"
  { grep -qx 'urn:plonkrift:plonkrift6v2#ui' "$scratch/uis.txt" &&
    grep -qx 'Class:  http://lv2plug.in/ns/extensions/ui#X11UI' "$scratch/uis.txt" &&
    grep -q '^Binary: .*/plonkrift6\.lv2/plonkrift6_ui\.so$' "$scratch/uis.txt"; }
  verdict $? "lv2info: the X11 UI urn:plonkrift:plonkrift6v2#ui with its binary in the bundle" "$scratch/uis.txt"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
