#!/usr/bin/env bash
# The Debian package of a build: made by cpack, unpacked into a scratch root
# (as dpkg would install it, without touching the system), and checked there:
# its fields, that every file is where hosts and users look, stripped, and that
# the installed tools run and the installed plug-in loads.
#   check_package.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: check_package.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
checks=0
verdict() {  # verdict OK TEXT
  checks=$((checks + 1))
  if [ "$1" = 0 ]; then echo "PASS $2"; else echo "FAIL $2"; failures=$((failures + 1)); fi
}
ok() { "$@" >/dev/null 2>&1 && echo 0 || echo 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
rm -f "$build"/*.deb
if ! out=$(cd "$build" && cpack -G DEB 2>&1); then
  echo "FAIL cpack:"; echo "$out" | sed 's/^/  /'
  echo "0 passed, 1 failed"
  exit 1
fi
deb=$(ls "$build"/*.deb)
echo "package: $deb ($(du -h "$deb" | cut -f1))"
dpkg-deb --field "$deb"
dpkg-deb --contents "$deb"

field() { dpkg-deb --field "$deb" "$1"; }
verdict "$([ "$(field Package)" = plonkrift6 ] && echo 0 || echo 1)" "package name plonkrift6"
verdict "$([ "$(field Version)" = "$version" ] && echo 0 || echo 1)" "package version $(field Version) is the project's $version"
verdict "$([ "$(field Section)" = sound ] && echo 0 || echo 1)" "section sound"
verdict "$([ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] && echo 0 || echo 1)" "maintainer and description"
if command -v dpkg-shlibdeps >/dev/null; then
  depends=$(field Depends)
  missing=""
  for p in libc6 libstdc++6 libcairo2 libx11-6 libsndfile1; do
    echo "$depends" | grep -q "\b$p\b" || missing+=" $p"
  done
  verdict "$([ -z "$missing" ] && echo 0 || echo 1)" "dependencies from the libraries' packages${missing:+; missing:$missing}"
fi

root="$scratch/root"
dpkg-deb --extract "$deb" "$root"
expect=(usr/lib/vst/plonkrift6v2.so "usr/lib/vst3/plonkrift6.vst3/Contents/$(uname -m)-linux/plonkrift6.so"
        usr/bin/plonkrift-render usr/bin/plonkrift-shot usr/bin/plonkrift-plot
        usr/share/doc/plonkrift6/copyright)
if [ -d "$build/plonkrift6.lv2" ]; then  # the build made the LV2 bundle
  expect+=(usr/lib/lv2/plonkrift6.lv2/manifest.ttl usr/lib/lv2/plonkrift6.lv2/plonkrift6.so)
  [ -f "$build/plonkrift6.lv2/plonkrift6_ui.so" ] && expect+=(usr/lib/lv2/plonkrift6.lv2/plonkrift6_ui.so)
fi
for preset in "$source_dir"/presets/*; do
  [ -f "$preset" ] && [ "$(basename "$preset")" != CMakeLists.txt ] &&
    expect+=("usr/share/plonkrift6/presets/$(basename "$preset")")
done
for f in "${expect[@]}"; do verdict "$([ -f "$root/$f" ] && echo 0 || echo 1)" "/$f is in the package"; done
verdict "$(cmp -s "$root/usr/share/doc/plonkrift6/copyright" "$source_dir/LICENSE" && echo 0 || echo 1)" \
  "the licence is the package's copyright file"

# Stripped: no symbol table and no debug sections in anything installed.
unstripped=""
for f in $(find "$root" -type f); do
  if readelf -h "$f" >/dev/null 2>&1 && readelf -S -W "$f" | grep -qE '\.symtab|\.debug_'; then
    unstripped+=" ${f#"$root"}"
  fi
done
verdict "$([ -z "$unstripped" ] && echo 0 || echo 1)" "every installed program and library is stripped${unstripped:+; not:$unstripped}"
echo "installed library: $(stat -c %s "$root/usr/lib/vst/plonkrift6v2.so") bytes" \
  "(built: $(stat -c %s "$build/plonkrift6v2.so") bytes)"

# The installed tools say the package's version (the renderer once it has --version).
for tool in plonkrift-render plonkrift-shot plonkrift-plot; do
  if ! "$root/usr/bin/$tool" --help 2>&1 | grep -q -- --version; then
    echo "note: $tool has no --version"
    continue
  fi
  said=$("$root/usr/bin/$tool" --version 2>&1)
  verdict "$([ "$said" = "$tool $version" ] && echo 0 || echo 1)" "$tool --version says \"$said\""
done

# The installed plug-in loads in the installed renderer and plays the demo.
verdict "$(ok "$root/usr/bin/plonkrift-render" --plugin "$root/usr/lib/vst/plonkrift6v2.so" -o "$scratch/demo.wav")" \
  "the installed renderer plays the demo through the installed plug-in"
verdict "$([ -s "$scratch/demo.wav" ] && echo 0 || echo 1)" "the demo was written"
# Without --plugin, the installed renderer finds the library installed with it
# (the loader's log names the file it loaded) unless this machine has one
# installed where the renderer looks first.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
vst_dir=$(sed -n 's/^PLONKRIFT_VST_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
case "$vst_dir" in /*) system="$vst_dir" ;; *) system="$prefix/$vst_dir" ;; esac
if [ -e "$system/plonkrift6v2.so" ]; then
  echo "note: $system/plonkrift6v2.so is installed on this machine; not checking the renderer's own search"
else
  loaded=$(env -u LXVST_PATH -u VST_PATH -u PLONKRIFT_PLUGIN HOME="$scratch/home" LD_DEBUG=files \
    "$root/usr/bin/plonkrift-render" --info 2>&1 >/dev/null |
    sed -n 's/.*file=\([^ ]*plonkrift6v2\.so\) .*dynamically loaded.*/\1/p' | head -n 1)
  verdict "$([ "$loaded" = "$root/usr/lib/vst/plonkrift6v2.so" ] && echo 0 || echo 1)" \
    "without --plugin the installed renderer loads the installed library (loaded: ${loaded:-nothing})"
fi
verdict "$(ok "$root/usr/bin/plonkrift-shot" -o "$scratch/editor.png")" "the installed plonkrift-shot draws the editor"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
