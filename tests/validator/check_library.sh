#!/usr/bin/env bash
# The plug-in library needs nothing a Linux desktop lacks, and exports only
# its two entries.
#   check_library.sh path/to/plonkrift6v2.so
set -uo pipefail
library=${1:?usage: check_library.sh LIBRARY}
failures=0
checks=0
verdict() {  # verdict OK TEXT
  checks=$((checks + 1))
  if [ "$1" = 0 ]; then echo "PASS $2"; else echo "FAIL $2"; failures=$((failures + 1)); fi
}

# The C and C++ runtimes, Xlib with its xcb transport, Cairo with what Cairo
# itself pulls in (pixman, fontconfig, freetype and its compressors, PNG,
# zlib, expat, the X render and shared-memory extensions).
allowed='^(linux-vdso|ld-linux-x86-64|ld-linux-aarch64|libc|libm|libstdc\+\+|libgcc_s|libpthread|libdl|librt'
allowed+='|libX11|libX11-xcb|libxcb|libxcb-shm|libxcb-render|libXau|libXdmcp|libXext|libXrender|libbsd|libmd'
allowed+='|libcairo|libpixman-1|libfontconfig|libfreetype|libpng16|libz|libexpat|libbrotlidec|libbrotlicommon|libbz2|libuuid)\.so'

if ! closure=$(ldd "$library" 2>&1); then
  echo "FAIL ldd cannot read $library: $closure"
  echo "0 passed, 1 failed"
  exit 1
fi
names=$(echo "$closure" | awk '{print $1}' | sed 's#.*/##' | sort -u)
echo "libraries the plug-in loads (ldd):"
echo "$names" | sed 's/^/  /'
unexpected=$(echo "$names" | grep -Ev "$allowed" || true)
missing=$(echo "$closure" | grep 'not found' || true)
verdict "$([ -z "$unexpected" ] && echo 0 || echo 1)" "dependencies are desktop libraries only${unexpected:+; unexpected: $(echo $unexpected)}"
verdict "$([ -z "$missing" ] && echo 0 || echo 1)" "every dependency is found${missing:+; missing: $(echo $missing)}"

needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
echo "direct dependencies (readelf NEEDED): $(echo $needed)"

# Defined, exported symbols: everything the dynamic symbol table offers a host.
exported=$(readelf -W --dyn-syms "$library" | awk '$7 != "UND" && ($5 == "GLOBAL" || $5 == "WEAK" || $5 == "GNU_UNIQUE") && $6 == "DEFAULT" && $8 != "" {sub(/@.*/, "", $8); print $8}' | sort -u)
echo "exported symbols: $(echo $exported)"
verdict "$([ "$(echo $exported)" = "VSTPluginMain main" ] && echo 0 || echo 1)" "exports exactly VSTPluginMain and main"

verdict "$(readelf -d "$library" | grep -q 'RPATH\|RUNPATH' && echo 1 || echo 0)" "no RPATH or RUNPATH into the build tree"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
