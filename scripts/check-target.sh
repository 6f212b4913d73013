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
readelf=$sdk/bin/mips-linux-muslsf-readelf
strip=$sdk/bin/mips-linux-muslsf-strip

passed=0
failed=0
check() { # description, then the command that must succeed
	local what=$1
	shift
	if "$@" >/dev/null 2>&1; then
		printf '  ok    %s\n' "$what"
		passed=$((passed + 1))
	else
		printf '  FAIL  %s\n' "$what"
		failed=$((failed + 1))
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
# stores and moves to or from it, its branches, and the .s/.d/.w/.l/.ps operations.
no_fpu() {
	! "$objdump" -d --no-show-raw-insn "$1" | awk -F'\t' 'NF >= 2 { print $2 }' |
		grep -Eq '^([ls][wd]x?c1|m[tf]h?c1|[ct]fc1|bc1|c\.|[a-z0-9]+(\.[a-z0-9]+)*\.(s|d|w|l|ps)$)'
}

report() { # preset, largest stripped size, expected NEEDED entries, expected interpreter
	local preset=$1 limit=$2 needed=$3 interp=$4
	local bin=build/$preset/quarvelt-tc stripped size header flags abi deps loader
	stripped=$(mktemp)
	"$strip" -o "$stripped" "$bin"
	size=$(wc -c <"$stripped")
	rm -f "$stripped"
	header=$("$readelf" -h "$bin")
	flags=$(echo "$header" | grep 'Flags:')
	abi=$("$readelf" -A "$bin")
	deps=$("$readelf" -d "$bin" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
	loader=$("$readelf" -l "$bin" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')
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
echo "footprint: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
