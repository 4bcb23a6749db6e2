#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each.
#
#   fuzz/run-fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]   (default 60)
#
# BUILD_DIR is a tree configured with clang and -DPLONKRIFT_FUZZ=ON and built.
# Every executable named fuzz_* in it is run; new corpus entries go to
# BUILD_DIR/fuzz-corpus/<target>, and a folder corpus/<target> anywhere under
# fuzz/ in the sources is read as seeds. Crashes, leaks, timeouts and memory
# blow-ups fail the run; their inputs land in BUILD_DIR/fuzz-artifacts/<target>/.
set -uo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 BUILD_DIR [SECONDS_PER_TARGET]" >&2
  exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=${2:-60}
sources=$(cd "$(dirname "$0")" && pwd)

mapfile -t targets < <(find "$build" -type f -perm -u+x -name 'fuzz_*' -not -path '*/CMakeFiles/*' \
                         -not -path '*/fuzz-corpus/*' -not -path '*/fuzz-artifacts/*' | sort)
if [[ ${#targets[@]} -eq 0 ]]; then
  echo "no fuzz targets found in $build" >&2
  exit 1
fi

passed=0
failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts/$name"
  log="$build/fuzz-artifacts/$name.log"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  while IFS= read -r dir; do seeds+=("$dir"); done < <(find "$sources" -type d -path "*/corpus/$name")

  echo "== $name: ${seconds}s"
  if "$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    runs=$(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "   ok: ${runs:-?} inputs run, corpus $(find "$corpus" -type f | wc -l) files"
    passed=$((passed + 1))
  else
    echo "   FAILED (log: $log)"
    tail -n 40 "$log" | sed 's/^/   | /'
    failed=$((failed + 1))
  fi
done

echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
