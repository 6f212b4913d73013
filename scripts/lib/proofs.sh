# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# What CI and the clean roots read: the README's command lines, ctest's tests that did not run.
#
#   . scripts/lib/proofs.sh
#   readme_lines HEADING [README]   the indented lines under "## HEADING", as they stand
#   all_ran LOG [ALLOWED]           fails when the ctest log LOG lists tests that did not run
#                                   (skipped or not built), but for those whose line matches
#                                   the extended regular expression ALLOWED
readme_lines() {
	awk -v h="## $1" '/^## / { on = ($0 == h) } on && sub(/^    /, "")' "${2:-README.md}"
}

all_ran() {
	local skipped
	skipped=$(awk '/^The following tests did not run:/ { on = 1; next } on && /^\t/ { print; next } { on = 0 }' "$1")
	if [ -n "${2:-}" ]; then
		skipped=$(grep -Ev -- "$2" <<<"$skipped" || true)
	fi
	if [ -n "$skipped" ]; then
		printf '%s: tests that did not run:\n%s\n' "$1" "$skipped" >&2
		return 1
	fi
}

