#!/usr/bin/env bash
# The validator's runner turns a case that crashes and one that hangs into
# failures, and still prints its closing count.
#   check_runner.sh VALIDATOR
set -uo pipefail
out=$("${1:?}" --only runner-crash,runner-hang 2>&1)
code=$?
echo "$out"
ok=1
[ "$code" = 1 ] || { echo "expected exit code 1, got $code"; ok=0; }
echo "$out" | grep -q '^FAIL runner-crash .*crashed with signal 11' || { echo "the crash was not reported"; ok=0; }
echo "$out" | grep -q '^FAIL runner-hang .*hung' || { echo "the hang was not reported"; ok=0; }
[ "$(echo "$out" | tail -1)" = "0 passed, 2 failed" ] || { echo "wrong closing line"; ok=0; }
[ "$ok" = 1 ]
