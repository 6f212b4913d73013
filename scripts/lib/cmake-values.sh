# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# What CMake says of the project: a preset's values, a configured build's cache.
# Usage: . scripts/lib/cmake-values.sh
#   preset_value PRESET NAME   the configure preset's value of NAME, CMake's or the environment's
#   cache_value BUILD NAME     the value of NAME in the configured build BUILD's cache
preset_value() {
	local value
	value=$(cd "${BASH_SOURCE[0]%/*}/../.." && cmake --preset "$1" -N |
		sed -n "s/^  $2\(:[A-Z]*\)\?=\"\(.*\)\"$/\2/p")
	[ -n "$value" ] || { echo "the preset $1 gives $2 no value" >&2 && return 1; }
	echo "$value"
}

cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
