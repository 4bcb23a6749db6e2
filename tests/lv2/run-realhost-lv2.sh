#!/usr/bin/env bash
# The LV2 plug-in inside Ardour 7 (ardour7-lua, dummy backend), found by its
# URI, at two tempos, twice each; the recordings are checked by
# tests/realhost's checker as the VST 2 test's are: gate steps on the host's
# sixteenth grid, FD1's echo at its delay, finite output, agreement with
# plonkrift-render playing the VST 2 library, identical renders. Ardour sends
# the LV2 plug-in its transport as time:Position. One PASS/FAIL line per
# check, then "N passed, N failed".
#
# usage: run-realhost-lv2.sh BUNDLE_DIR VST2_LIBRARY PLONKRIFT-RENDER REALHOST-CHECK WORKDIR
# Environment: REALHOST_TEMPOS (default "120 93"), REALHOST_BARS (4),
# REALHOST_SPEED (dummy backend driver, default "5x Speed").
set -euo pipefail

if [ $# -ne 5 ]; then
  echo "usage: $0 BUNDLE_DIR VST2_LIBRARY PLONKRIFT-RENDER REALHOST-CHECK WORKDIR" >&2
  exit 2
fi
bundle=$(readlink -f "$1")
vst=$(readlink -f "$2")
renderer=$(readlink -f "$3")
checker=$(readlink -f "$4")
work=$5
here=$(cd "$(dirname "$0")" && pwd)
# The parameters and their automation are the VST 2 test's.
params="$here/../realhost/params.txt"
tempos=${REALHOST_TEMPOS:-120 93}
bars=${REALHOST_BARS:-4}
speed=${REALHOST_SPEED:-5x Speed}
steps=5,8,11,14   # the "on" steps of params.txt
delay_beats=0.5   # FD1 Delay Time of params.txt

command -v ardour7-lua >/dev/null || { echo "ardour7-lua not found (Debian package ardour)" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work/home/.config/ardour7" "$work/home/.cache" "$work/lv2"
work=$(cd "$work" && pwd)
log="$work/log"
mkdir -p "$log"

# A home of our own: Ardour's settings and plug-in cache start empty each run.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
# Ardour finds LV2 plug-ins through lilv, in LV2_PATH: the LV2
# specifications and a copy of the bundle, nothing else.
export LV2_PATH="$work/lv2"
for spec in /usr/lib/lv2/*.lv2; do
  [[ $(dpkg -S "$spec" 2>/dev/null) == lv2-dev:* ]] && ln -s "$spec" "$LV2_PATH/$(basename "$spec")"
done
cp -r "$bundle" "$LV2_PATH/plonkrift6.lv2"
passed=0
failed=0

sets=()
while IFS='|' read -r index name value _; do
  [[ $index =~ ^[0-9]+$ ]] || continue
  sets+=(--set "$name=$value")
done <"$params"

render() { # tempo run
  local tempo=$1 run=$2 session="$work/s-$1-$2" out="$log/ardour-$1-$2.txt"
  local started=$SECONDS
  if ! RH_SESSION="$session" RH_TEMPO="$tempo" RH_BARS="$bars" RH_SPEED="$speed" RH_PARAMS="$params" \
      timeout -k 10 300 ardour7-lua "$here/realhost-lv2.lua" >"$out" 2>&1 </dev/null ||
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
  "$renderer" --plugin "$vst" --tempo "$tempo" --block 256 --start 0 "${sets[@]}" -o "$w/reference-$tempo.wav" \
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
