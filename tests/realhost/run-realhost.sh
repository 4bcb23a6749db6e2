#!/usr/bin/env bash
# Renders through the plug-in inside Ardour 7 (ardour7-lua, dummy backend) at
# two tempos, twice each, and checks the recordings: gate steps on the host's
# sixteenth grid, FD1's echo at its delay, finite output, agreement with our
# own renderer (which plays the VST 2 library), identical renders. With --lv2
# Ardour plays the LV2 bundle instead, found by its URI, and sends it the
# transport as time:Position; with --vst3 the VST3 bundle, found through
# Ardour's scan cache by its class name. One PASS/FAIL line per check, then
# "N passed, N failed".
#
# usage: run-realhost.sh [--lv2 BUNDLE_DIR | --vst3 BUNDLE_DIR] PLUGIN.so PLONKRIFT-RENDER REALHOST-CHECK WORKDIR
# Environment: REALHOST_TEMPOS (default "120 93"), REALHOST_BARS (4),
# REALHOST_SPEED (dummy backend driver, default "5x Speed").
set -euo pipefail

# PLUGIN.so is the VST 2 library in every case: the reference renders play it.
format=vst
bundle=""
if { [ "${1:-}" = --lv2 ] || [ "${1:-}" = --vst3 ]; } && [ $# -ge 2 ]; then
  format=${1#--}
  bundle=$(readlink -f "$2")
  shift 2
fi
if [ $# -ne 4 ]; then
  echo "usage: $0 [--lv2 BUNDLE_DIR | --vst3 BUNDLE_DIR] PLUGIN.so PLONKRIFT-RENDER REALHOST-CHECK WORKDIR" >&2
  exit 2
fi
plugin=$(readlink -f "$1")
renderer=$(readlink -f "$2")
checker=$(readlink -f "$3")
work=$4
here=$(cd "$(dirname "$0")" && pwd)
tempos=${REALHOST_TEMPOS:-120 93}
bars=${REALHOST_BARS:-4}
speed=${REALHOST_SPEED:-5x Speed}
ardour_lib=/usr/lib/ardour7
steps=5,8,11,14   # the "on" steps of params.txt
delay_beats=0.5   # FD1 Delay Time of params.txt

command -v ardour7-lua >/dev/null || { echo "ardour7-lua not found (Debian package ardour)" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work/home/.config/ardour7" "$work/home/.cache" "$work/vst" "$work/vst3" "$work/lv2"
work=$(cd "$work" && pwd)
log="$work/log"
mkdir -p "$log"

# A home of our own: Ardour's settings and plug-in cache start empty each run.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
if [ "$format" = lv2 ]; then
  # Ardour finds LV2 plug-ins through lilv, in LV2_PATH: lv2-dev's
  # vocabularies and a copy of the bundle, nothing else.
  export LV2_PATH="$work/lv2"
  for vocabulary in /usr/lib/lv2/*.lv2; do
    [[ $(dpkg -S "$vocabulary" 2>/dev/null) == lv2-dev:* ]] && ln -s "$vocabulary" "$LV2_PATH/$(basename "$vocabulary")"
  done
  cp -r "$bundle" "$LV2_PATH/plonkrift6.lv2"
  passed=0
else
  # ardour7-lua only reads the plug-in cache; Ardour's own out-of-process
  # scanners fill it. The cache is trusted while it is newer than the plug-in,
  # with a resolution of one second: date the plug-in back first.
  if [ "$format" = vst3 ]; then
    scanner=$ardour_lib/ardour-vst3-scanner
    export VST3_PATH="$work/vst3"
    target="$VST3_PATH/plonkrift6.vst3"
    cp -r "$bundle" "$target"
  else
    scanner=$ardour_lib/ardour-vst-scanner
    export LXVST_PATH="$work/vst"
    target="$LXVST_PATH/plonkrift6v2.so"
    cp "$plugin" "$target"
  fi
  [ -x "$scanner" ] || { echo "$scanner not found" >&2; exit 2; }
  cat >"$XDG_CONFIG_HOME/ardour7/config" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="use-lxvst" value="1"/>
    <Option name="use-vst3" value="1"/>
    <Option name="discover-plugins-on-start" value="1"/>
  </Config>
</Ardour>
EOF
  find "$target" -exec touch -d '-1 minute' {} +
  if ! LD_LIBRARY_PATH=$ardour_lib timeout -k 5 120 "$scanner" -f "$target" >"$log/scan.txt" 2>&1 </dev/null; then
    cat "$log/scan.txt"
    echo "FAIL scan: Ardour's $format scanner rejected the plug-in"
    echo "0 passed, 1 failed"
    exit 1
  fi
  echo "PASS scan: $(grep -o "Found Plugin.*" "$log/scan.txt" | head -1)"
  passed=1
fi
failed=0

sets=()
while IFS='|' read -r index name value _; do
  [[ $index =~ ^[0-9]+$ ]] || continue
  sets+=(--set "$name=$value")
done <"$here/params.txt"

render() { # tempo run
  local tempo=$1 run=$2 session="$work/s-$1-$2" out="$log/ardour-$1-$2.txt"
  local started=$SECONDS
  if ! RH_SESSION="$session" RH_TEMPO="$tempo" RH_BARS="$bars" RH_SPEED="$speed" RH_PARAMS="$here/params.txt" RH_FORMAT="$format" \
      timeout -k 10 300 ardour7-lua "$here/render.lua" >"$out" 2>&1 </dev/null ||
      ! grep -q '^RH-DONE' "$out"; then
    grep -E '^(RH-|Error)' "$out" >&2 || tail -20 "$out" >&2
    return 1
  fi
  # Each recorded channel must be one region at bar 1 that plays its file
  # from the start, so sample n of the file is sample n of the song.
  local line track channel position start length path
  while read -r _ track channel position start length path; do
    if [ "$position" != 0 ] || [ "$start" != 0 ]; then
      echo "region of $track channel $channel at $position, offset $start: not at bar 1" >&2
      return 1
    fi
    ln -sf "$path" "$work/$track-$tempo-$run-$channel.wav"
  done < <(grep '^RH-REGION' "$out")
  for f in fx cap; do
    for c in 0 1; do
      [ -e "$work/$f-$tempo-$run-$c.wav" ] || { echo "no recording of $f channel $c" >&2; return 1; }
    done
  done
  echo "   ardour7-lua at $tempo BPM, render $run: $((SECONDS - started)) s ($(grep -o 'rolled.*' "$out"))"
}

count() { # output of realhost-check
  passed=$((passed + $(grep -c '^PASS' <<<"$1" || true)))
  failed=$((failed + $(grep -c '^FAIL' <<<"$1" || true)))
}

for tempo in $tempos; do
  ok=1
  for run in a b; do
    if ! render "$tempo" "$run"; then
      echo "FAIL ${tempo}bpm ardour-render-$run: ardour7-lua did not finish the render (log: $log/ardour-$tempo-$run.txt)"
      failed=$((failed + 1))
      ok=0
    fi
  done
  [ $ok = 1 ] || continue
  w="$work"
  "$checker" join "$w/fx-$tempo-a-0.wav" "$w/fx-$tempo-a-1.wav" "$w/input-$tempo.wav"
  "$renderer" --plugin "$plugin" --tempo "$tempo" --block 256 --start 0 "${sets[@]}" -o "$w/reference-$tempo.wav" \
    "$w/input-$tempo.wav" >"$log/render-$tempo.txt" 2>&1
  set +e
  result=$("$checker" analyse --label "${tempo}bpm" --tempo "$tempo" --bars "$bars" --steps "$steps" \
    --delay-beats "$delay_beats" --input "$w/fx-$tempo-a-0.wav" "$w/fx-$tempo-a-1.wav" \
    --capture "$w/cap-$tempo-a-0.wav" "$w/cap-$tempo-a-1.wav" --reference "$w/reference-$tempo.wav" \
    --twin "$w/cap-$tempo-b-0.wav" "$w/cap-$tempo-b-1.wav")
  status=$?
  set -e
  echo "$result"
  count "$result"
  if [ $status -ne 0 ] && ! grep -q '^FAIL' <<<"$result"; then
    echo "FAIL ${tempo}bpm analysis: realhost-check stopped with status $status"
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
