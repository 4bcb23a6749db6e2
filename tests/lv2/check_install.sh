#!/usr/bin/env bash
# cmake --install puts the LV2 bundle where hosts look, system-wide (component
# lv2) and for the user (lv2-user, ~/.lv2), stripped, and the installed bundle
# is one lilv finds with its binary beside it.
#   check_install.sh CMAKE BUILD_DIR
set -uo pipefail
cmake=${1:?} build=${2:?}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
verdict() { # verdict STATUS TEXT
  if [ "$1" = 0 ]; then echo "PASS $2"; passed=$((passed + 1)); else echo "FAIL $2"; failed=$((failed + 1)); fi
}
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
strip=$(cache PLONKRIFT_INSTALL_STRIP)
prefix=$(cache CMAKE_INSTALL_PREFIX)
dir=$(cache PLONKRIFT_LV2_INSTALL_DIR)
case "$dir" in /*) system="$dir" ;; *) system="$prefix/$dir" ;; esac

# The binaries the build put in its bundle: the plug-in's, and the UI's
# where the build made one.
binaries=(plonkrift6.so)
[ -f "$build/plonkrift6.lv2/plonkrift6_ui.so" ] && binaries+=(plonkrift6_ui.so)

expect_bundle() { # expect_bundle DIR WHAT
  local missing=""
  for f in manifest.ttl plonkrift6.ttl presets.ttl "${binaries[@]}"; do [ -f "$1/$f" ] || missing+=" $f"; done
  verdict "$([ -z "$missing" ] && echo 0 || echo 1)" "$2: $1${missing:+ lacks$missing}"
  case "$strip" in OFF | 0 | FALSE | NO) ;; *)
    for b in "${binaries[@]}"; do
      ! readelf -S -W "$1/$b" 2>/dev/null | grep -qE '\.symtab|\.debug_'
      verdict $? "$2: $b is stripped"
    done ;;
  esac
  # lilv finds the plug-in there, with the installed binary.
  mkdir -p "$scratch/path-$3"
  ln -s "$1" "$scratch/path-$3/plonkrift6.lv2"
  LV2_PATH="$scratch/path-$3" lv2info urn:plonkrift:plonkrift6v2 >"$scratch/lv2info-$3.txt" 2>&1
  grep -q "Binary:.*path-$3/plonkrift6.lv2/plonkrift6.so" "$scratch/lv2info-$3.txt"
  verdict $? "$2: lv2info finds the plug-in and its binary there"
}

DESTDIR="$scratch/stage" "$cmake" --install "$build" --component lv2 >/dev/null
expect_bundle "$scratch/stage$system/plonkrift6.lv2" "system-wide install (component lv2)" system
# A plain install carries the bundle too, beside the VST 2 library.
DESTDIR="$scratch/all" "$cmake" --install "$build" >/dev/null 2>&1
[ -f "$scratch/all$system/plonkrift6.lv2/manifest.ttl" ]
verdict $? "a full install puts the bundle in $system"

userdir=$(cache PLONKRIFT_LV2_USER_DIR)
if [ -z "$userdir" ]; then
  HOME="$scratch/home" "$cmake" --install "$build" --component lv2-user >/dev/null
  user="$scratch/home/.lv2/plonkrift6.lv2"
else
  DESTDIR="$scratch/userstage" "$cmake" --install "$build" --component lv2-user >/dev/null
  user="$scratch/userstage$userdir/plonkrift6.lv2"
fi
expect_bundle "$user" "user install (component lv2-user)" user
# Staged as a packager stages (DESTDIR): the bundle lands under the stage once.
staged="$scratch/userstage2/home/someone/.lv2/plonkrift6.lv2"
[ -n "$userdir" ] && staged="$scratch/userstage2$userdir/plonkrift6.lv2"
DESTDIR="$scratch/userstage2" HOME=/home/someone "$cmake" --install "$build" --component lv2-user >/dev/null
expect_bundle "$staged" "user install staged under DESTDIR" staged

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
