#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Boots each device binary as init of an emulated device and checks what reaches the console.
#
#   scripts/device/boot-target.sh [PROGRAM...]   (default: the binaries of the two device presets)
#
# qemu-user on a 24Kc already traps a hard-float instruction; what only a boot
# shows is that a device kernel runs the binary: its ELF loader, its exec-time
# handling of the floating-point ABI with FPU support compiled out, init's
# console, and the exit status the kernel reports.  The device is qemu's Malta
# board with a 24Kc core under boot-kernel.sh's kernel.  Each case boots the
# program as /init (with the libc.so of MIPS_MUSL_SF_SYSROOT or the stand-in
# SDK when dynamic), its arguments after "--" on the kernel command line and the
# console as stdout.  A control, built with MIPS_MUSL_SF_PREFIX or the stand-in
# SDK, shows that the kernel lacks FPU support.  Exits non-zero when any case is
# off; consoles are kept in build/boot-target/logs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- "$root"/build/mips-musl-sf{,-static}/quarvelt-tc

# shellcheck source=scripts/lib/checks.sh
. "$root/scripts/lib/checks.sh"
# shellcheck source=scripts/lib/proofs.sh
. "$root/scripts/lib/proofs.sh"
sdk=$(preset_env QUARVELT_TC_SDK)
sysroot=${MIPS_MUSL_SF_SYSROOT:-$sdk/sysroot}
cc=${MIPS_MUSL_SF_PREFIX:-$sdk/bin/mips-linux-muslsf-}gcc
top=$root/build/boot-target
kernel=$top/kernel
# The report line as the console shows it: the tty ends it in CR LF.
report=$(<"$root/tests/report-line.txt")$'\r'
# Exit status 255 in the form of a wait status, as the kernel prints it.
exitcode=0x0000ff00

"$root/scripts/device/boot-kernel.sh" "$kernel"
"$root/scripts/apt-need.sh" qemu-system-mips binutils

rm -rf "$top/logs" && mkdir -p "$top/logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The control runs one FPU instruction, which a kernel without FPU support
# must kill with SIGILL (wait status 4) before the program can say it ran.
# shellcheck disable=SC2016 # registers of assembly, not shell
printf '%s\n' '#include <stdio.h>' 'int main(void) {' \
	'__asm__ volatile(".set push\n.set hardfloat\ncfc1 $2, $31\n.set pop" ::: "$2");' \
	'return puts("the FPU instruction ran");' '}' | "$cc" -static -x c -o "$work/fpu" -
# Each case: the program, the wait status the kernel must report, the case's
# name, what init's console is (the tty, the full device, or none that can be
# opened), and the program's arguments.
cases() {
	local p c
	for p; do
		for c in "no_argument|tty" "one_argument|tty|dsl.line.7" "dash_argument|tty|-h" \
			"stdout_full|full" "stdout_closed|none"; do
			echo "$p|$exitcode|$c"
		done
	done
	echo "$work/fpu|0x00000004|fpu_control|tty"
}

n=0
while IFS='|' read -r program code name console args; do
	interp=$(interpreter "$program")
	# The initramfs list takes paths unquoted: what goes in is copied to names without spaces.
	cp "$program" "$work/init"
	{
		echo "file /init $work/init 0755 0 0"
		if [ -n "$interp" ]; then
			cp "$sysroot/lib/libc.so" "$work/libc.so"
			printf '%s\n' "dir /lib 0755 0 0" "file /lib/libc.so $work/libc.so 0755 0 0" "slink $interp /lib/libc.so 0777 0 0"
		fi
		# The built-in initramfs has /dev/console already; a link can replace it.
		case $console in
		full) printf '%s\n' "nod /dev/full 0666 0 0 c 1 7" "slink /dev/console /dev/full 0777 0 0" ;;
		none) echo "slink /dev/console /dev/none 0777 0 0" ;;
		esac
	} >"$work/list"
	"$kernel/gen_init_cpio" "$work/list" >"$work/initramfs"
	n=$((n + 1))
	log=$top/logs/$n-$name.log
	start=$(date +%s%N)
	timeout 60 qemu-system-mips -M malta -cpu 24Kc -nographic -no-reboot -nic none -vga none \
		-kernel "$kernel/vmlinux" -initrd "$work/initramfs" \
		-append "console=ttyS0 panic=-1${args:+ -- $args}" </dev/null >"$log" 2>&1 || true
	tenths=$((($(date +%s%N) - start) / 100000000))
	lines=$(grep -av '^\[ *[0-9]*\.[0-9]*\] ' "$log" || true)
	got=$(grep -ao 'Attempted to kill init! exitcode=0x[0-9a-f]*' "$log" | sed 's/.*=//' || true)
	want=
	[ "$console$code" != "tty$exitcode" ] || want=$report
	if [ "$lines" = "$want" ] && [ "$got" = "$code" ]; then
		passed "$(printf '%-14s %-26s %d.%d s' "$name" "${interp:-static}" $((tenths / 10)) $((tenths % 10)))"
	else
		failed "$(printf '%-14s exit code %s, program wrote: %s (%s)' "$name" "${got:-none}" \
			"$(printf '%s' "$lines" | cat -v | tr '\n' '|')" "$log")"
	fi
done < <(cases "$@")
checks_done boot
