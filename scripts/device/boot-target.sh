#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Boots the device programs on an emulated device, whose own busybox runs the program suite there.
# Usage: scripts/device/boot-target.sh [PROGRAM...]   (default: the two device presets' programs)
# The device is build-device.sh's, made with MIPS_MUSL_SF_PREFIX and _SYSROOT or the stand-in
# SDK, on qemu's Malta board; its console is kept in build/boot-target/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- "$root"/build/mips-musl-sf{,-static}/quarvelt-tc

. "$root/scripts/lib/tally.sh"
. "$root/scripts/lib/cmake-values.sh"
"$root/scripts/apt-need.sh" cmake qemu-system-mips
sysroot=${MIPS_MUSL_SF_SYSROOT:-$(preset_value mips-musl-sf MIPS_MUSL_SF_SYSROOT)}
prefix=${MIPS_MUSL_SF_PREFIX:-$(preset_value mips-musl-sf MIPS_MUSL_SF_PREFIX)}
console=$root/build/boot-target/console.log device=$root/build/boot-target/device
rows=$(sh "$root/tests/program.sh" --rows | wc -l)
# One run at a time in a checkout: each replaces the device and the console.
mkdir -p "${device%/*}"; exec {lock}>"$console.lock"; flock "$lock"; rm -f "$console"
"$root/scripts/device/build-device.sh" "$device" "$prefix" "$sysroot"

# The device's files, in a tree whose paths gen_init_cpio's list can hold unquoted.
work=$(mktemp -d -p /tmp)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/root/{dev,lib,proc,test,tmp}; chmod 1777 "$work/root/tmp"
cp -a "$device/bin" "$work/root/"; cp "$sysroot/lib/libc.so" "$work/root/lib/"
cp "$root"/tests/{program.sh,report-line.txt} "$work/root/test/"
cp "$root/scripts/device/boot-init.sh" "$work/root/init"
# shellcheck disable=SC2016 # registers of assembly, not shell
printf '%s\n' 'int main(void) {' \
	'__asm__ volatile(".set push\n.set hardfloat\ncfc1 $2, $31\n.set pop" ::: "$2"); return 0; }' |
	"${prefix}gcc" ${sysroot:+"--sysroot=$sysroot"} -static -x c -o "$work/root/fpu" -
# Each program, and a link to libc.so for the loader it asks for.
for ((i = 1; i <= $#; i++)); do
	mkdir "$work/root/test/$i"; cp "${!i}" "$work/root/test/$i/quarvelt-tc"
	loader=$("${prefix}readelf" -l "${!i}" | sed -n 's|.*interpreter: \(.*\)\]|\1|p')
	[ -z "$loader" ] || ln -sf libc.so "$work/root$loader"
done
{
	find "$work/root" -mindepth 1 \( -type d -printf 'dir /%P %m 0 0\n' \) -o \
		\( -type f -printf 'file /%P %p %m 0 0\n' \) -o -printf 'slink /%P %l 777 0 0\n'
	printf 'nod /dev/%s 0666 0 0 c 1 %s\n' null 3 full 7
} | "$device/gen_init_cpio" - >"$work/initramfs"
. "$root/scripts/lib/long-step.sh"
# timeout stays in the step's process group, which a signal ends.
long_step "boot $*" "$console" timeout --foreground 300 qemu-system-mips -M malta -cpu 24Kc \
	-nographic -no-reboot -nic none -vga none -kernel "$device/vmlinux" -initrd "$work/initramfs" \
	-append "console=ttyS0 panic=-1 init=/init" || failed "qemu exited with status $?"
lines=$(tr -d '\r' <"$console" | grep -av '^\[ *[0-9]*\.[0-9]*\] ' || true)

# Records whether boot-init.sh's part PART shows a line matching each extended PATTERN, else
# names the part's failing rows and its last line.
shows() { # what, part, patterns
	local part p
	part=$(awk -v h="== $2" '/^== / { on = ($0 == h); next } on' <<<"$lines")
	for p in "${@:3}"; do
		grep -qxE -- "$p" <<<"$part" && continue
		failed "$1: no line \"$p\"; failing rows: $(sed -n 's/^FAIL  \([a-z_]*\):.*/\1/p' <<<"$part" |
			xargs); last line: $(tail -n 1 <<<"$part")" && return
	done
	passed "$1: $3"
}
for ((i = 1; i <= $#; i++)); do
	shows "${!i} under ash" "sh $i/quarvelt-tc" "$rows passed, 0 failed"
	shows "${!i} under hush" "hush $i/quarvelt-tc" "$rows passed, 0 failed"
done
shows "SIGPIPE ignored" sigpipe "$((rows - 1)) passed, 1 failed" \
	"FAIL  reader_gone: exit status 255 \(want 141\); stdout, then stderr:" \
	" *the suite's caller ignores or blocks SIGPIPE.*"
shows "ash without \"command\"" smallest "command exit status 127"
shows "FPU control" fpu "fpu exit status 132"
tally boot
