#!/usr/bin/env bash
# What the Wine tests are held against, made by the native (Linux) build:
#   demo-*.wav, demo-*-dry.wav   plonkrift-render's output and the input it
#                                played, for the cases of test_render_wine
#                                and test_vst3_wine
#   editor-*.png / .pic          plonkrift-shot's pictures of the editor for
#                                the states test_editor_wine brings it into,
#                                and each as a stored picture value that the
#                                Windows side can read
# Usage: linux_references.sh NATIVE_BUILD_DIR OUTPUT_DIR
set -euo pipefail
native=$1
out=$2
mkdir -p "$out"
render=$native/tools/render/plonkrift-render
shot=$native/tools/shot/plonkrift-shot
picture=$native/tools/picture/plonkrift-picture
plugin=$native/plonkrift6v2.so

# name, then plonkrift-render's song options (test_render_wine.cpp plays the same)
while read -r name options; do
  # shellcheck disable=SC2086
  "$render" --plugin "$plugin" $options -o "$out/$name.wav" --dry "$out/$name-dry.wav" >/dev/null
done <<'CASES'
demo-120 --tail 2
demo-93 --tempo 93 --rate 48000 --block 333 --start 2.5 --tail 1
CASES
# A program and values set before playback (test_vst3_wine.cpp sets the same).
"$render" --plugin "$plugin" --tempo 110 --block 256 --tail 1 --program 3 --set Step2=1 --set Step5=0 \
  --set "Gate Shuffle=0.25" --set "FD1 Cutoff=0.75" --set "FD2 LFO->Pan=0.5" \
  -o "$out/demo-program.wav" --dry "$out/demo-program-dry.wav" >/dev/null

# The editor after test_editor_wine's gestures: steps 2 to 9 painted over
# empty rows, FD1 cutoff dragged from 0.2 to 0.3.
gestures=()
for n in $(seq 1 16); do
  gestures+=(--set "Step$n=$([ "$n" -ge 2 ] && [ "$n" -le 9 ] && echo 1 || echo 0)" --set "Tie$n=0")
done
gestures+=(--set "FD1 Cutoff=0.3")
"$shot" -o "$out/editor-gestures.png" "${gestures[@]}"
"$shot" -o "$out/editor-default.png"
"$shot" -o "$out/editor-no-time-info.png" --no-time-info
"$shot" -o "$out/editor-info.png" --info
for name in editor-gestures editor-default editor-no-time-info editor-info; do
  "$picture" --opaque "$out/$name.png" -o "$out/$name.pic"
done
