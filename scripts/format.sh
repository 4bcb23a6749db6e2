#!/usr/bin/env bash
# Formats the tree's C++ sources with clang-format and the repository's
# .clang-format:
#
#   ./scripts/format.sh           reformats every tracked source in place
#   ./scripts/format.sh --check   changes nothing; lists what differs and fails
#
# Debian 12's clang-format 14 is the reference: another version may break
# lines differently.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
  *) echo "format.sh: unknown option $1" >&2; exit 2 ;;
esac

formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$formatter" ]; then
  echo "format.sh: clang-format is not installed (Debian: clang-format)" >&2
  exit 2
fi

mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
if [ "$check" = 0 ]; then
  "$formatter" -i --style=file "${sources[@]}"
  exit 0
fi

different=()
for f in "${sources[@]}"; do
  if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then different+=("$f"); fi
done
if [ ${#different[@]} -gt 0 ]; then
  printf 'format.sh: not formatted: %s\n' "${different[@]}" >&2
  echo "format.sh: run ./scripts/format.sh to format them" >&2
  exit 1
fi
echo "format.sh: ${#sources[@]} sources formatted"
