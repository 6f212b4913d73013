# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# A tally of the device scripts' checks: a line each, then a closing count.
# Usage: . scripts/lib/tally.sh
#   passed WHAT... | failed WHAT...   records a check that held, or one that did not
#   record WHAT CMD...                records whether CMD succeeds, its output dropped
#   tally NAME                        prints "NAME: N passed, M failed"; fails when any failed
tally_passed=0 tally_failed=0

passed() { printf '  ok    %s\n' "$*" && tally_passed=$((tally_passed + 1)); }
failed() { printf '  FAIL  %s\n' "$*" && tally_failed=$((tally_failed + 1)); }
record() { if "${@:2}" >/dev/null 2>&1; then passed "$1"; else failed "$1"; fi; }

tally() { echo "$1: $tally_passed passed, $tally_failed failed" && [ "$tally_failed" -eq 0 ]; }
