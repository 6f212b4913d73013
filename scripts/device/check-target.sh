#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and tests quarvelt-tc for the device (MIPS32r2 big-endian, soft-float, musl) and reports its footprint.
#
#   scripts/device/check-target.sh
#
# Makes the stand-in SDK in build/mips-sdk (or reuses it) and checks that,
# moved elsewhere and with nothing but its bin/ on PATH, it still builds a
# static C and a C++ program that run.  Runs the device presets' workflows,
# whose tests run the C header's program and the entry with argc 0 under an
# FPU-less emulated core, and checks each device binary: ELF header,
# floating-point ABI, no FPU instruction, dynamic dependencies and stripped
# size.  The FPU check is itself checked: every class of FPU instruction, in a
# function linked but never called, must fail it, and MIPS16 code must pass.
# Exits non-zero when anything is off.
set -euo pipefail
cd "$(dirname "$0")/../.."

sdk=build/mips-sdk
scripts/device/standin-sdk.sh "$sdk"
cc=$sdk/bin/mips-linux-muslsf-gcc
objdump=$sdk/bin/mips-linux-muslsf-objdump
strip=$sdk/bin/mips-linux-muslsf-strip
export READELF=$sdk/bin/mips-linux-muslsf-readelf
# The emulator the program suite runs device programs under.
read -ra emulator < <(sed -n 's/.*"QUARVELT_TC_EMULATOR": "\([^"]*\)".*/\1/p' CMakePresets.json)
# shellcheck source=scripts/lib/checks.sh
. scripts/lib/checks.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

check() { # description, then the command that must succeed
	if "${@:2}" >/dev/null 2>&1; then passed "$1"; else failed "$1"; fi
}
fails() {
	! "$@"
}
# Succeeds when TEXT has a line matching each extended regular expression.
has() { # text, then the patterns
	local p
	for p in "${@:2}"; do grep -Eq -- "$p" <<<"$1" || return 1; done
}

# Succeeds when the code has no instruction that an FPU-less core traps,
# judged by encoding: the major opcodes COP1, COP1X, LWC1, LDC1, SWC1 and SDC1,
# and SPECIAL's MOVCI (movf, movt).  Only whole 32-bit words are judged; MIPS16
# code, which has none, shows in 16-bit halves.  A disassembly that fails or
# holds no instruction proves nothing.
no_fpu() {
	local words
	words=$("$objdump" -d "$1" | awk -F'\t' 'NF >= 3 { sub(/ +$/, "", $2); print $2 }') && [ -n "$words" ] &&
		! grep -Eq '^(4[4-7c-f]|[c-f][4-7])[0-9a-f]{6}$|^0[0-3][0-9a-f]{4}[048c]1$' <<<"$words"
}

echo "== the stand-in SDK, moved, with only its bin/ on PATH"
cp -a "$sdk" "$tmp/sdk"
printf '%s\n' '#include <stdio.h>' 'int main(void) { return puts("moved") < 0; }' |
	check "a static C program" env PATH="$tmp/sdk/bin" mips-linux-muslsf-gcc -static -xc -o "$tmp/c" -
printf '%s\n' '#include <array>' '#include <cstdio>' \
	'int main() { constexpr std::array<char, 6> s{"moved"}; return std::puts(s.data()) < 0; }' |
	check "a static C++ program" env PATH="$tmp/sdk/bin" mips-linux-muslsf-g++ -static -xc++ -o "$tmp/c++" -
for p in c c++; do
	check "the $p program runs" test "$("${emulator[@]}" "$tmp/$p" 2>&1)" = moved
done
for tool in gcc-ar gcc-nm gcc-ranlib strings; do
	check "$tool is there" test -x "$tmp/sdk/bin/mips-linux-muslsf-$tool"
done

echo "== the FPU check"
# shellcheck disable=SC2016 # registers of assembly, not shell
for insn in 'ctc1 $2,$31' 'cfc1 $2,$31' 'movt.s $f0,$f1,$fcc0' 'luxc1 $f0,$2($3)' 'lwc1 $f0,0($2)' 'ldc1 $f0,0($2)' \
	'swc1 $f0,0($2)' 'sdc1 $f0,0($2)' 'movf $2,$3,$fcc0'; do
	printf 'void unused(void) { __asm__(".set push\\n.set hardfloat\\n%s\\n.set pop"); }\nint main(void) { return 0; }\n' \
		"$insn" >"$tmp/fpu.c"
	"$cc" -o "$tmp/fpu" "$tmp/fpu.c"
	check "caught: $insn" fails no_fpu "$tmp/fpu"
done
printf 'int main(void) { return 0x7fff; }\n' >"$tmp/mips16.c"
"$cc" -mips16 -o "$tmp/mips16" "$tmp/mips16.c"
# An extended MIPS16 instruction, read as one word, would look like an FPU load.
check "MIPS16 code passes" no_fpu "$tmp/mips16"

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
checks_done device
