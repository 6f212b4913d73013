#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and tests the device presets with the stand-in SDK, and checks what only that SDK settles.
# Usage: scripts/device/check-target.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/tally.sh
. scripts/lib/cmake-values.sh
scripts/apt-need.sh cmake make
prefix=$(preset_value mips-musl-sf MIPS_MUSL_SF_PREFIX)
name=${prefix##*/}
scripts/device/standin-sdk.sh "$(preset_value mips-musl-sf QUARVELT_TC_SDK)"
for preset in mips-musl-sf mips-musl-sf-static; do cmake --workflow --preset "$preset"; done
IFS=';' read -ra emulator <<<"$(cache_value build/mips-musl-sf CMAKE_CROSSCOMPILING_EMULATOR)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "== the stand-in SDK, moved, with only its bin/ on PATH"
cp -a "${prefix%/bin/*}" "$tmp/sdk"
# A global object's destructor is registered against GCC's start files' __dso_handle.
printf '%s\n' '#include <array>' '#include <cstdio>' 'int main() {}' \
	'struct Said { std::array<char, 6> s{"moved"}; ~Said() { std::puts(s.data()); } } said;' |
	record "a static C++ program with a global object" env PATH="$tmp/sdk/bin" "${name}g++" \
		-fno-exceptions -static -xc++ -o "$tmp/c++" -
record "it runs" test "$("${emulator[@]}" "$tmp/c++" 2>&1)" = moved
for t in gcc-{ar,nm,ranlib} strings; do record "$t is there" test -x "$tmp/sdk/bin/$name$t"; done

echo "== each device program: GCC's start files, stripped size"
for build in mips-musl-sf:3584 mips-musl-sf-static:32768; do
	program=build/${build%:*}/quarvelt-tc
	"${prefix}strip" -o "$tmp/stripped" "$program"
	size=$(wc -c <"$tmp/stripped")
	# Two functions of GCC's crtstuff, which no C library defines.
	crt=$("${prefix}readelf" -sW "$program" | grep -cE ' (__do_global_dtors_aux|frame_dummy)$')
	record "$program: GCC's start files" test "$crt" = 2
	record "$program: stripped, $size bytes, at most ${build#*:}" test "$size" -le "${build#*:}"
done

echo "== the device tests' FPU check"
device_check() { cmake -DREADELF="${prefix}readelf" -DOBJDUMP="${prefix}objdump" -DPROGRAM="$1" \
	-P tests/device.cmake; }
caught() { ! device_check "$2" >"$tmp/log" 2>&1 && grep -q "$1" "$tmp/log"; } # what, program
# shellcheck disable=SC2016 # registers of assembly, not shell
for insn in 'ctc1 $2,$31' 'cfc1 $2,$31' 'movt.s $f0,$f1,$fcc0' 'luxc1 $f0,$2($3)' 'lwc1 $f0,0($2)' \
	'ldc1 $f0,0($2)' 'swc1 $f0,0($2)' 'sdc1 $f0,0($2)' 'movf $2,$3,$fcc0' \
	'.set fp=64\n.set msa\naddv.b $w0,$w1,$w2'; do
	printf 'void unused(void) { __asm__(".set push\\n.set hardfloat\\n%s\\n.set pop"); }\n%s\n' \
		"$insn" 'int main(void) { return 0; }' | "${prefix}gcc" -xc -o "$tmp/fpu" -
	record "caught: $insn" caught 'holds FPU instructions' "$tmp/fpu"
done
echo '__attribute__((micromips)) int main(void) { return 0; }' | "${prefix}gcc" -xc -o "$tmp/mm" -
record "caught: microMIPS code" caught "holds microMIPS code" "$tmp/mm"
# An extended MIPS16 instruction, read as one word, would look like an FPU load.
printf 'int main(void) { return 0x7fff; }\n' | "${prefix}gcc" -mips16 -xc -o "$tmp/mips16" -
record "MIPS16 code passes" device_check "$tmp/mips16"
tally device
