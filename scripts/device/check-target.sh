#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds, tests and measures quarvelt-tc for the device (MIPS32r2 big-endian, soft-float, musl).
#
#   scripts/device/check-target.sh
#
# Makes the stand-in SDK where the presets look for it and checks that, moved,
# with only its bin/ on PATH, it builds a static C program and a static C++ one
# with a global object that run.  Runs the device presets' workflows, whose
# tests run under an FPU-less emulated core.  Checks each device binary: ELF
# header, floating-point ABI, no FPU instruction, GCC's start files,
# interpreter and stripped size (dynamic 3,536 bytes, at most 3,584; static
# 30,608 on Debian 12 and 32,668 on 13, at most 32,768).  Each class of FPU
# instruction must fail the FPU check, and MIPS16 code pass it.
set -euo pipefail
cd "$(dirname "$0")/../.."

. scripts/lib/checks.sh
. scripts/lib/proofs.sh
sdk=$(preset_env QUARVELT_TC_SDK)
scripts/apt-need.sh cmake make file
scripts/device/standin-sdk.sh "$sdk"
cc=$sdk/bin/mips-linux-muslsf-gcc
objdump=$sdk/bin/mips-linux-muslsf-objdump
strip=$sdk/bin/mips-linux-muslsf-strip
export READELF=$sdk/bin/mips-linux-muslsf-readelf
read -ra emulator <<<"$(device_emulator)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Records one check, its description first: whether the command succeeds.
record() { if "${@:2}" >/dev/null 2>&1; then passed "$1"; else failed "$1"; fi; }
# Succeeds when the command fails.
negated() { ! "$@"; }
# Succeeds when TEXT has a line matching each extended regular expression.
matches_each() { # text, then the patterns
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
	record "a static C program" env PATH="$tmp/sdk/bin" mips-linux-muslsf-gcc -static -xc -o "$tmp/c" -
# A global object's destructor is registered against GCC's start files' __dso_handle.
printf '%s\n' '#include <array>' '#include <cstdio>' \
	'struct Said { std::array<char, 6> s{"moved"}; ~Said() { std::puts(s.data()); } } said;' 'int main() {}' |
	record "a static C++ program with a global object" env PATH="$tmp/sdk/bin" mips-linux-muslsf-g++ -fno-exceptions -static -xc++ -o "$tmp/c++" -
for p in c c++; do
	record "the $p program runs" test "$("${emulator[@]}" "$tmp/$p" 2>&1)" = moved
done
for t in gcc-ar gcc-nm gcc-ranlib strings; do record "$t is there" test -x "$tmp/sdk/bin/mips-linux-muslsf-$t"; done

echo "== the FPU check"
# shellcheck disable=SC2016 # registers of assembly, not shell
for insn in 'ctc1 $2,$31' 'cfc1 $2,$31' 'movt.s $f0,$f1,$fcc0' 'luxc1 $f0,$2($3)' 'lwc1 $f0,0($2)' 'ldc1 $f0,0($2)' \
	'swc1 $f0,0($2)' 'sdc1 $f0,0($2)' 'movf $2,$3,$fcc0'; do
	printf 'void unused(void) { __asm__(".set push\\n.set hardfloat\\n%s\\n.set pop"); }\nint main(void) { return 0; }\n' \
		"$insn" >"$tmp/fpu.c"
	"$cc" -o "$tmp/fpu" "$tmp/fpu.c"
	record "caught: $insn" negated no_fpu "$tmp/fpu"
done
printf 'int main(void) { return 0x7fff; }\n' >"$tmp/mips16.c"
"$cc" -mips16 -o "$tmp/mips16" "$tmp/mips16.c"
# An extended MIPS16 instruction, read as one word, would look like an FPU load.
record "MIPS16 code passes" no_fpu "$tmp/mips16"

# Prints what the preset's binary is, then records a check of each property.
describe_and_check() { # preset, largest stripped size, expected interpreter
	local preset=$1 limit=$2 interp=$3
	local bin=build/$preset/quarvelt-tc size header flags abi loader
	"$strip" -o "$tmp/stripped" "$bin"
	size=$(wc -c <"$tmp/stripped")
	header=$("$READELF" -h "$bin")
	flags=$(echo "$header" | grep 'Flags:')
	abi=$("$READELF" -A "$bin")
	loader=$(interpreter "$bin")
	echo "== $preset: $bin"
	echo "  file:     $(file -b "$bin")"
	echo "  header:   $(echo "$header" | awk -F': *' '/Data|Machine|Flags/ { printf "%s; ", $2 }')"
	echo "  FP ABI:   $(echo "$abi" | awk '/^FP ABI|^CPR1 size|^ISA:/ { printf "%s; ", $0 }')"
	echo "  stripped: $size bytes (at most $limit)"
	record "32-bit big-endian MIPS" matches_each "$header" ELF32 "big endian" "Machine:.*MIPS"
	record "MIPS32r2, o32" matches_each "$flags" o32 mips32r2
	record "FP ABI soft, CPR1 size 0" matches_each "$abi" "^FP ABI: *Soft float" "^CPR1 size: *0$"
	record "no FPU instruction" no_fpu "$bin"
	# Two functions of GCC's crtstuff, which no C library defines.
	record "GCC's start files" matches_each "$("$READELF" -sW "$bin")" ' __do_global_dtors_aux$' ' frame_dummy$'
	record "interpreter: ${interp:-none}" test "$loader" = "$interp"
	record "stripped size $size <= $limit" test "$size" -le "$limit"
}

for preset in mips-musl-sf mips-musl-sf-static; do
	cmake --workflow --preset "$preset"
done
describe_and_check mips-musl-sf 3584 /lib/ld-musl-mips-sf.so.1
describe_and_check mips-musl-sf-static 32768 ""
checks_done device
