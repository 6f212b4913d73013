#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and tests quarvelt-tc for the device (MIPS32r2 big-endian, soft-float, musl) and reports its footprint.
#
#   scripts/check-target.sh
#
# Makes the stand-in SDK in build/mips-sdk (or reuses it), runs the device
# presets' workflows, whose test runs the C header's program under an FPU-less
# emulated core, and then checks each device binary: ELF header,
# floating-point ABI, no FPU instruction, dynamic dependencies and stripped
# size.  Exits non-zero when anything is off.
set -euo pipefail
cd "$(dirname "$0")/.."

sdk=build/mips-sdk
scripts/standin-sdk.sh "$sdk"
objdump=$sdk/bin/mips-linux-muslsf-objdump
strip=$sdk/bin/mips-linux-muslsf-strip
export READELF=$sdk/bin/mips-linux-muslsf-readelf
# shellcheck source=scripts/checks.sh
. scripts/checks.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

check() { # description, then the command that must succeed
	local what=$1
	shift
	if "$@" >/dev/null 2>&1; then
		passed "$what"
	else
		failed "$what"
	fi
}

# Succeeds when TEXT has a line matching each extended regular expression.
has() { # text, then the patterns
	local text=$1 pattern
	shift
	for pattern; do
		grep -Eq -- "$pattern" <<<"$text" || return 1
	done
}

# Succeeds when the disassembly has no coprocessor 1 (FPU) instruction: loads,
# stores and moves to or from it, its branches, and the .s/.d/.w/.l/.ps
# operations.  A disassembly that fails or holds no instruction proves nothing.
no_fpu() {
	local code
	code=$("$objdump" -d --no-show-raw-insn "$1" | awk -F'\t' 'NF >= 2 { print $2 }') && [ -n "$code" ] &&
		! grep -Eq '^([ls][wd]x?c1|m[tf]h?c1|[ct]fc1|bc1|c\.|[a-z0-9]+(\.[a-z0-9]+)*\.(s|d|w|l|ps)$)' <<<"$code"
}

report() { # preset, largest stripped size, expected NEEDED entries, expected interpreter
	local preset=$1 limit=$2 needed=$3 interp=$4
	local bin=build/$preset/quarvelt-tc size header flags abi deps loader
	"$strip" -o "$tmp/stripped" "$bin"
	size=$(wc -c <"$tmp/stripped")
	header=$("$READELF" -h "$bin")
	flags=$(echo "$header" | grep 'Flags:')
	abi=$("$READELF" -A "$bin")
	deps=$("$READELF" -d "$bin" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
	loader=$(interpreter "$bin")
	echo "== $preset: $bin"
	echo "  file:     $(file -b "$bin")"
	echo "  header:   $(echo "$header" | awk -F': *' '/Data|Machine|Flags/ { printf "%s; ", $2 }')"
	echo "  FP ABI:   $(echo "$abi" | awk '/^FP ABI|^CPR1 size|^ISA:/ { printf "%s; ", $0 }')"
	echo "  NEEDED:   $deps"
	echo "  stripped: $size bytes (at most $limit)"
	check "32-bit big-endian MIPS" has "$header" ELF32 "big endian" "Machine:.*MIPS"
	check "MIPS32r2, o32" has "$flags" o32 mips32r2
	check "FP ABI soft float, CPR1 size 0" has "$abi" "^FP ABI: *Soft float" "^CPR1 size: *0$"
	check "no FPU instruction" no_fpu "$bin"
	check "NEEDED: ${needed:-none}" test "$deps" = "$needed"
	check "interpreter: ${interp:-none}" test "$loader" = "$interp"
	check "stripped size $size <= $limit" test "$size" -le "$limit"
}

for preset in mips-musl-sf mips-musl-sf-static; do
	cmake --workflow --preset "$preset"
done
report mips-musl-sf 3000 "libc.so " /lib/ld-musl-mips-sf.so.1
report mips-musl-sf-static 32768 "" ""
checks_done footprint
