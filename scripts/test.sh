#!/usr/bin/env bash
# Checks the sources' format, builds everything and runs every test: a plain
# build, a packager's release builds with GCC and clang and the Debian package
# installed into a scratch root, the Windows DLL cross-built with its tests
# under Wine, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and
# each fuzz target for a bounded time. Warnings are errors in every build here.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
# A real host (Ardour) for the release stage's real-host test.
./scripts/realhost-test.sh --install

jobs=$(nproc)
stage() { echo "== $1 (at ${SECONDS}s)"; }
passed=0
skipped=0
# Runs ctest and adds what it ran to the totals: tests that skipped themselves
# (no X server, no root for a mount, ...) are counted apart from those that
# passed. ctest stops the script if any failed.
run_ctest() {
  local log total skips
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log"
  total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  skips=$(grep -c '(Skipped)$' "$log" || true)
  passed=$((passed + total - skips))
  skipped=$((skipped + skips))
  rm -f "$log"
}
fuzz_seconds=${FUZZ_SECONDS:-20}

stage "format check"
./scripts/format.sh --check

stage "release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLONKRIFT_WERROR=ON -DPLONKRIFT_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
run_ctest --test-dir build --output-on-failure -j"$jobs"

# What a packager builds: the plug-in and tools only, optimised as shipped
# (-O3 warns where -O2 does not), with each compiler; then the package.
for cc in gcc clang; do
  stage "packager's release build with $cc (plug-in and tools)"
  if [ "$cc" = gcc ]; then cxx=g++; else cxx=clang++; fi
  CC=$cc CXX=$cxx cmake -S . -B "build-rel-$cc" -DCMAKE_BUILD_TYPE=Release -DPLONKRIFT_WERROR=ON \
    -DPLONKRIFT_TESTS=OFF -DPLONKRIFT_BENCH=OFF >/dev/null
  cmake --build "build-rel-$cc" -j"$jobs"
done
stage "Debian package, unpacked into a scratch root and run from there"
package_log=$(mktemp)
tests/package/check_package.sh build-rel-gcc 2>&1 | tee "$package_log"
passed=$((passed + $(sed -n 's/^\([0-9]*\) passed, 0 failed$/\1/p' "$package_log")))
rm -f "$package_log"

# The Windows DLL from the same sources, its tests under Wine; the release
# build above gives it the editor's form and the Linux results to match.
stage "Windows build (mingw-w64) and its tests under Wine"
windows_log=$(mktemp)
./scripts/build-windows.sh --tests --native-build build 2>&1 | tee "$windows_log"
passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$windows_log" | tail -n 1)))
rm -f "$windows_log"

stage "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPLONKRIFT_SANITIZE=ON -DPLONKRIFT_WERROR=ON -DPLONKRIFT_TESTS=ON \
  -DPLONKRIFT_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp \
  run_ctest --test-dir build-asan --output-on-failure -j"$jobs"

stage "ThreadSanitizer (threaded tests)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLONKRIFT_TSAN=ON -DPLONKRIFT_WERROR=ON -DPLONKRIFT_TESTS=ON \
  -DPLONKRIFT_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
run_ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R 'Thread|Concurrent'
# The validator's cases with threads: parameter and program changes while
# blocks run, rate and block changes from two threads, effMainsChanged from
# the audio thread. A race ThreadSanitizer reports fails the case.
validator_log=$(mktemp)
build-tsan/tests/validator/plonkrift-validator --only alloc-lock,rate-block-changes,mains-audio-thread | tee "$validator_log"
passed=$((passed + $(sed -n 's/^\([0-9]*\) passed, 0 failed$/\1/p' "$validator_log")))
rm -f "$validator_log"

if [ -x fuzz/run-fuzzers.sh ]; then
  stage "fuzzers (${fuzz_seconds}s each)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPLONKRIFT_FUZZ=ON -DPLONKRIFT_WERROR=ON -DPLONKRIFT_TESTS=OFF \
    -DPLONKRIFT_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzzers
  fuzz/run-fuzzers.sh build-fuzz "$fuzz_seconds"
  passed=$((passed + $(find build-fuzz -type f -perm -u+x -name 'fuzz_*' -not -path '*/CMakeFiles/*' | wc -l)))
fi

echo "finished in ${SECONDS}s"
echo "total: ${passed} passed, ${skipped} skipped, 0 failed"
