#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Boots each device program on an emulated device, whose own busybox runs the program suite there.
#
#   scripts/device/boot-target.sh [PROGRAM...]   (default: the programs of the two device presets)
#
# The device: qemu's Malta board, a 24Kc core, build-device.sh's kernel without
# FPU support and its smallest busybox, built with MIPS_MUSL_SF_PREFIX and
# _SYSROOT or the stand-in SDK.  Each program boots once as quarvelt-tc beside
# program.sh and report-line.txt (the sysroot's libc.so its loader when
# dynamic), with /tmp, /dev/null, /dev/full, /proc and boot-init.sh as init.
# The console must show every row passed under ash and under hush; the suite,
# from a caller that ignores SIGPIPE, failing reader_gone and saying why; and
# the controls: ash without "command", and one FPU instruction killed by
# SIGILL.  Consoles are kept in build/boot-target/logs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- "$root"/build/mips-musl-sf{,-static}/quarvelt-tc

. "$root/scripts/lib/tally.sh"
. "$root/scripts/lib/cmake-values.sh"
sysroot=${MIPS_MUSL_SF_SYSROOT:-$(preset_value mips-musl-sf MIPS_MUSL_SF_SYSROOT)}
prefix=${MIPS_MUSL_SF_PREFIX:-$(preset_value mips-musl-sf MIPS_MUSL_SF_PREFIX)}
logs=$root/build/boot-target/logs
device=$root/build/boot-target/device
rows=$(sh "$root/tests/program.sh" --rows | wc -l)
# One run at a time in a checkout: each replaces the device and the logs.
mkdir -p "$logs" && exec {lock}>"$logs.lock" && flock "$lock" && rm -rf "$logs" && mkdir "$logs"
"$root/scripts/device/build-device.sh" "$device" "$prefix" "$sysroot"
"$root/scripts/apt-need.sh" qemu-system-mips

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2016 # registers of assembly, not shell
printf '%s\n' '#include <stdio.h>' 'int main(void) {' \
	'__asm__ volatile(".set push\n.set hardfloat\ncfc1 $2, $31\n.set pop" ::: "$2");' \
	'return puts("the FPU instruction ran");' '}' | "${prefix}gcc" -static -x c -o "$work/fpu" -
# The initramfs list takes paths unquoted: what goes in is copied to names without spaces.
cp "$root"/tests/{program.sh,report-line.txt} "$root/scripts/device/boot-init.sh" \
	"$device/bin/busybox" "$sysroot/lib/libc.so" "$work/"
{
	printf 'dir %s 0 0\n' "/bin 0755" "/dev 0755" "/lib 0755" "/proc 0755" "/test 0755" "/tmp 1777"
	printf 'nod /dev/%s 0666 0 0 c 1 %s\n' null 3 full 7
	printf 'file /%s 0755 0 0\n' "init $work/boot-init.sh" "fpu $work/fpu" \
		"bin/busybox $work/busybox" "test/quarvelt-tc $work/quarvelt-tc" \
		"test/program.sh $work/program.sh" "test/report-line.txt $work/report-line.txt"
	find "$device/bin" -type l -printf 'slink /bin/%f %l 0777 0 0\n'
} >"$work/list"

# Records whether the console's part PART has a whole line matching each
# extended PATTERN, else names the part's failing rows and its last line.
shows() { # what, part, patterns
	local part p
	part=$(awk -v h="== $2" '/^== / { on = ($0 == h); next } on' <<<"$console")
	for p in "${@:3}"; do
		grep -qxE -- "$p" <<<"$part" && continue
		failed "$1: no line \"$p\"; failing rows:" \
			"$(sed -n 's/^FAIL  \([a-z_]*\):.*/\1/p' <<<"$part" | xargs); last line: $(tail -n 1 <<<"$part")"
		return
	done
	passed "$1: $3"
}

for program; do
	interp=$("${prefix}readelf" -l "$program" | sed -n 's/.*program interpreter: \(.*\)\]/\1/p')
	cp "$program" "$work/quarvelt-tc"
	cp "$work/list" "$work/image"
	[ -z "$interp" ] || printf '%s\n' "file /lib/libc.so $work/libc.so 0755 0 0" \
		"slink $interp libc.so 0777 0 0" >>"$work/image"
	"$device/gen_init_cpio" "$work/image" >"$work/initramfs"
	log=$logs/$(find "$logs" -type f | wc -l).log
	echo "== $program (${interp:-static}), console in $log"
	timeout 300 qemu-system-mips -M malta -cpu 24Kc -nographic -no-reboot -nic none -vga none \
		-kernel "$device/vmlinux" -initrd "$work/initramfs" -append "console=ttyS0 panic=-1 init=/init" \
		</dev/null >"$log" 2>&1 || failed "$program: qemu exited with status $?"
	console=$(tr -d '\r' <"$log" | grep -av '^\[ *[0-9]*\.[0-9]*\] ' || true)
	shows ash sh "$rows passed, 0 failed"
	shows hush hush "$rows passed, 0 failed"
	shows "SIGPIPE ignored" sigpipe "$((rows - 1)) passed, 1 failed" \
		"FAIL  reader_gone: exit status 255 \(want 141\); stdout, then stderr:" \
		" *the suite's caller ignores or blocks SIGPIPE.*"
	shows "ash without \"command\"" smallest "command exit status 127"
	shows "FPU control" fpu "fpu exit status 132"
done
tally boot
