# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# readme_lines: the command lines the README shows under a heading.
# Usage: . scripts/lib/readme-lines.sh
#   readme_lines HEADING [README]   the indented lines under "## HEADING", a trailing backslash
#                                   joining two; fails, naming the section, when there is none
readme_lines() {
	local lines
	lines=$(awk -v h="## $1" '/^## / { on = ($0 == h) } on && sub(/^    /, "") {
		if (sub(/\\$/, "")) { joined = joined $0; next } print joined $0; joined = "" }' \
		"${2:-README.md}")
	[ -n "$lines" ] || { echo "${2:-README.md}: no command line under \"## $1\"" >&2 && return 1; }
	printf '%s\n' "$lines"
}
