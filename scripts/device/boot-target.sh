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
# board with a 24Kc core, under the kernel of boot-kernel.sh beside it, built
# once in build/boot-target/kernel.  For each case an initramfs holds the
# program as /init (a dynamic one with the sysroot's libc.so,
# MIPS_MUSL_SF_SYSROOT or the stand-in SDK's, under its loader's name); its
# arguments come from the kernel command line after "--", its stdout is the
# console, and when it returns the kernel reports its exit code.  Exits
# non-zero when any case is off; each console is kept in build/boot-target/logs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- "$root"/build/mips-musl-sf{,-static}/quarvelt-tc

# shellcheck source=scripts/lib/checks.sh
. "$root/scripts/lib/checks.sh"
# shellcheck source=scripts/lib/proofs.sh
. "$root/scripts/lib/proofs.sh"
sysroot=${MIPS_MUSL_SF_SYSROOT:-$(preset_env QUARVELT_TC_SDK)/sysroot}
top=$root/build/boot-target
kernel=$top/kernel
# The report line as the console shows it: the tty ends it in CR LF.
report=$(<"$root/tests/report-line.txt")$'\r'
# Exit status 255 in the form of a wait status, as the kernel prints it.
exitcode=0x0000ff00

"$root/scripts/device/boot-kernel.sh" "$kernel"
"$root/scripts/apt-need.sh" qemu-system-mips binutils

rm -rf "$top/logs"
mkdir -p "$top/logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
n=0
for program in "$@"; do
	interp=$(interpreter "$program")
	echo "== $program (${interp:-static})"
	# The initramfs list takes paths unquoted: what goes in is copied to names without spaces.
	cp "$program" "$work/init"
	[ -z "$interp" ] || cp "$sysroot/lib/libc.so" "$work/libc.so"
	# Each case: its name, what init's console is (the tty, the full device, or
	# none that can be opened), and the program's arguments.
	while read -r name console args; do
		{
			echo "file /init $work/init 0755 0 0"
			if [ -n "$interp" ]; then
				echo "dir /lib 0755 0 0"
				echo "file /lib/libc.so $work/libc.so 0755 0 0"
				echo "slink $interp /lib/libc.so 0777 0 0"
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
		ms=$((($(date +%s%N) - start) / 1000000))
		lines=$(grep -av '^\[ *[0-9]*\.[0-9]*\] ' "$log" || true)
		code=$(grep -ao 'Attempted to kill init! exitcode=0x[0-9a-f]*' "$log" | sed 's/.*=//' || true)
		want=
		[ "$console" = tty ] && want=$report
		if [ "$lines" = "$want" ] && [ "$code" = "$exitcode" ]; then
			passed "$(printf '%-14s %d.%d s' "$name" $((ms / 1000)) $((ms % 1000 / 100)))"
		else
			failed "$(printf '%-14s exit code %s, program wrote: %s (%s)' "$name" "${code:-none}" \
				"$(printf '%s' "$lines" | cat -v | tr '\n' '|')" "$log")"
		fi
	done <<-EOF
		no_argument   tty
		one_argument  tty   dsl.line.7
		dash_argument tty   -h
		stdout_full   full
		stdout_closed none
	EOF
done
checks_done boot
