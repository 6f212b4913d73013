# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# What CI, the clean roots and the device scripts read: README lines, presets, the emulator.
#
#   . scripts/lib/proofs.sh
#   readme_lines HEADING [README]   the indented lines under "## HEADING", a trailing backslash
#                                   joining two; fails, naming the section, when there is none
#   preset_env NAME                 CMakePresets.json's value of the environment variable NAME
#   device_emulator                 the command the device's toolchain file runs programs under
proofs_checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

readme_lines() {
	local lines
	lines=$(awk -v h="## $1" '/^## / { on = ($0 == h) }
		on && sub(/^    /, "") { if (sub(/\\$/, "")) { joined = joined $0; next } print joined $0; joined = "" }' "${2:-README.md}")
	[ -n "$lines" ] || { echo "${2:-README.md}: no command line under \"## $1\"" >&2 && return 1; }
	printf '%s\n' "$lines"
}

preset_env() {
	local value
	value=$(sed -n "s/.*\"$1\": \"\\([^\"]*\\)\".*/\\1/p" "$proofs_checkout/CMakePresets.json" | head -n 1)
	[ -n "$value" ] || { echo "CMakePresets.json gives $1 no value" >&2; return 1; }
	echo "${value//\$\{sourceDir\}/$proofs_checkout}"
}

device_emulator() {
	local file=$proofs_checkout/cmake/toolchains/mips32r2-sf-musl.cmake
	sed -n 's/^set(CMAKE_CROSSCOMPILING_EMULATOR \(.*\))$/\1/p' "$file" | grep .
}
