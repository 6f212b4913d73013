# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# The device scripts' counted checks, a line each, a closing count; the ELF interpreter they read.
#
#   . scripts/lib/checks.sh
#   passed WHAT...        records a check that held
#   failed WHAT...        records one that did not
#   checks_done NAME      prints "NAME: N passed, M failed"; fails when any failed
#   interpreter FILE      the program interpreter FILE asks for, none for a static one ($READELF)
checks_passed=0
checks_failed=0

passed() { printf '  ok    %s\n' "$*" && checks_passed=$((checks_passed + 1)); }
failed() { printf '  FAIL  %s\n' "$*" && checks_failed=$((checks_failed + 1)); }

checks_done() {
	echo "$1: $checks_passed passed, $checks_failed failed"
	[ "$checks_failed" -eq 0 ]
}

interpreter() {
	"${READELF:-readelf}" -l "$1" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p'
}
