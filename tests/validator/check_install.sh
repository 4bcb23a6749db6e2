#!/usr/bin/env bash
# cmake --install puts the library where Linux hosts look, in each of the
# documented ways, and the installed copy loads through its entry.
#   check_install.sh CMAKE BUILD_DIR VALIDATOR
set -uo pipefail
cmake=${1:?} build=${2:?} validator=${3:?}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
checks=0
expect_file() {  # expect_file PATH WHAT
  checks=$((checks + 1))
  if [ -f "$1" ]; then echo "PASS $2: $1"; else echo "FAIL $2: no $1"; failures=$((failures + 1)); fi
}
# Installs strip what they copy unless the build says otherwise.
strip=$(sed -n 's/^PLONKRIFT_INSTALL_STRIP:[A-Z]*=//p' "$build/CMakeCache.txt")
expect_stripped() {  # expect_stripped PATH WHAT
  case "$strip" in OFF|0|FALSE|NO) return ;; esac
  checks=$((checks + 1))
  if [ -f "$1" ] && ! readelf -S -W "$1" | grep -qE '\.symtab|\.debug_'; then echo "PASS $2 is stripped"
  else echo "FAIL $2 is not stripped: $1"; failures=$((failures + 1)); fi
}
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
dir=$(sed -n 's/^PLONKRIFT_VST_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
case "$dir" in /*) system="$dir" ;; *) system="$prefix/$dir" ;; esac

# System-wide (staged under DESTDIR so no root is needed).
DESTDIR="$scratch/stage" "$cmake" --install "$build" --component vst >/dev/null
expect_file "$scratch/stage$system/plonkrift6v2.so" "system-wide install"
expect_stripped "$scratch/stage$system/plonkrift6v2.so" "system-wide install"

# Everything: the plug-in, the tools users run and the licence.
DESTDIR="$scratch/all" "$cmake" --install "$build" >/dev/null
expect_file "$scratch/all$system/plonkrift6v2.so" "full install"
for tool in plonkrift-render plonkrift-shot plonkrift-plot; do
  expect_file "$scratch/all$prefix/bin/$tool" "full install"
done
expect_stripped "$scratch/all$prefix/bin/plonkrift-render" "full install"
expect_file "$scratch/all$prefix/share/doc/plonkrift6/copyright" "full install"

# Another prefix (only a folder relative to the prefix moves with it).
case "$dir" in /*) echo "note: PLONKRIFT_VST_INSTALL_DIR is absolute ($dir); --prefix does not move it" ;;
  *) "$cmake" --install "$build" --component vst --prefix "$scratch/prefix" >/dev/null
     expect_file "$scratch/prefix/$dir/plonkrift6v2.so" "--prefix" ;; esac

# The user's own folder: ~/.vst, or the folder configured for it.
userdir=$(sed -n 's/^PLONKRIFT_VST_USER_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -z "$userdir" ]; then
  HOME="$scratch/home" "$cmake" --install "$build" --component vst-user >/dev/null
  user="$scratch/home/.vst/plonkrift6v2.so"
else
  DESTDIR="$scratch/userstage" "$cmake" --install "$build" --component vst-user >/dev/null
  user="$scratch/userstage$userdir/plonkrift6v2.so"
fi
expect_file "$user" "user install"
expect_stripped "$user" "user install"
# Staged as a packager stages (DESTDIR): the copy lands under the stage once.
staged="$scratch/userstage2/home/someone/.vst/plonkrift6v2.so"
[ -n "$userdir" ] && staged="$scratch/userstage2$userdir/plonkrift6v2.so"
DESTDIR="$scratch/userstage2" HOME=/home/someone "$cmake" --install "$build" --component vst-user >/dev/null
expect_file "$staged" "user install staged under DESTDIR"
expect_stripped "$staged" "user install staged under DESTDIR"

# The installed copy is a working plug-in.
checks=$((checks + 1))
if out=$("$validator" --library "$user" --only entry 2>&1); then
  echo "PASS the installed copy passes the validator's entry case"
else
  echo "FAIL the installed copy does not load:"; echo "$out" | sed 's/^/  /'; failures=$((failures + 1))
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
