#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Boots each device binary as init of an emulated device and checks what reaches the console.
#
#   scripts/boot-target.sh [PROGRAM...]   (default: the binaries of the two device presets)
#
# The device is a Malta board with a MIPS32r2 big-endian core (qemu's 24Kc, no
# FPU) and a kernel without floating-point support, so that nothing emulates a
# hard-float instruction: tinyconfig and scripts/boot-target.config over
# Debian's linux-source-6.1, built once in build/boot-target and then reused.
# For each case an initramfs holds the program as /init (a dynamic one with the
# sysroot's libc.so, MIPS_MUSL_SF_SYSROOT or the stand-in SDK's, under its
# loader's name); its arguments come from the kernel command line after "--",
# its stdout is the console, and when it returns the kernel reports its exit
# code.  Exits non-zero when any case is off; each console is kept in
# build/boot-target/logs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- "$root"/build/mips-musl-sf/quarvelt-tc "$root"/build/mips-musl-sf-static/quarvelt-tc

sysroot=${MIPS_MUSL_SF_SYSROOT:-$root/build/mips-sdk/sysroot}
fragment=$root/scripts/boot-target.config
top=$root/build/boot-target
obj=$top/kernel
# The report line as the console shows it: the tty ends it in CR LF.
report=$'QUARVELT_TC: QUARVELT_TestClient: Ubus framework not available!\r'
# Exit status 255 in the form of a wait status, as the kernel prints it.
exitcode=0x0000ff00

"$root/scripts/apt-need.sh" linux-source-6.1 gcc-mips-linux-gnu qemu-system-mips gcc libc6-dev make flex bison bc \
	xz-utils binutils

if ! cmp -s "$fragment" "$top/config.used"; then
	echo "== kernel: linux-source-6.1, tinyconfig and $fragment"
	rm -rf "$top"
	mkdir -p "$obj"
	tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$top"
	kmake=(make -C "$top/linux-source-6.1" O="$obj" ARCH=mips CROSS_COMPILE=mips-linux-gnu-)
	# Each step writes to the build's log, which is shown when a step fails.
	logged() { "$@" >>"$top/build.log" 2>&1 || { tail -n 30 "$top/build.log" >&2; exit 1; }; }
	logged "${kmake[@]}" tinyconfig
	logged "$top/linux-source-6.1/scripts/kconfig/merge_config.sh" -m -O "$obj" "$obj/.config" "$fragment"
	logged "${kmake[@]}" olddefconfig
	# A setting whose dependencies are missing is dropped without an error.
	if dropped=$(grep -E '^(# )?CONFIG_' "$fragment" | grep -vxFf "$obj/.config"); then
		echo "$0: the kernel configuration lost: $dropped" >&2
		exit 1
	fi
	logged "${kmake[@]}" -j"$(($(nproc) + 1))" vmlinux
	cp "$fragment" "$top/config.used"
fi

rm -rf "$top/logs"
mkdir -p "$top/logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
n=0
for program in "$@"; do
	interp=$(readelf -l "$program" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')
	echo "== $program (${interp:-static})"
	# Each case: its name, what init's console is (the tty, the full device, or
	# none that can be opened), and the program's arguments.
	while read -r name console args; do
		{
			echo "file /init $program 0755 0 0"
			if [ -n "$interp" ]; then
				echo "dir /lib 0755 0 0"
				echo "file /lib/libc.so $sysroot/lib/libc.so 0755 0 0"
				echo "slink $interp /lib/libc.so 0777 0 0"
			fi
			# The built-in initramfs has /dev/console already; a link can replace it.
			case $console in
			full) printf '%s\n' "nod /dev/full 0666 0 0 c 1 7" "slink /dev/console /dev/full 0777 0 0" ;;
			none) echo "slink /dev/console /dev/none 0777 0 0" ;;
			esac
		} >"$work/list"
		"$obj/usr/gen_init_cpio" "$work/list" >"$work/initramfs"
		n=$((n + 1))
		log=$top/logs/$n-$name.log
		start=$(date +%s%N)
		timeout 60 qemu-system-mips -M malta -cpu 24Kc -nographic -no-reboot -nic none -vga none \
			-kernel "$obj/vmlinux" -initrd "$work/initramfs" \
			-append "console=ttyS0 panic=-1${args:+ -- $args}" </dev/null >"$log" 2>&1 || true
		ms=$((($(date +%s%N) - start) / 1000000))
		lines=$(grep -av '^\[ *[0-9]*\.[0-9]*\] ' "$log" || true)
		code=$(grep -ao 'Attempted to kill init! exitcode=0x[0-9a-f]*' "$log" | sed 's/.*=//' || true)
		want=
		[ "$console" = tty ] && want=$report
		if [ "$lines" = "$want" ] && [ "$code" = "$exitcode" ]; then
			printf '  ok    %-14s %d.%d s\n' "$name" $((ms / 1000)) $((ms % 1000 / 100))
			passed=$((passed + 1))
		else
			printf '  FAIL  %-14s exit code %s, program wrote: %s (%s)\n' "$name" "${code:-none}" \
				"$(printf '%s' "$lines" | cat -v | tr '\n' '|')" "$log"
			failed=$((failed + 1))
		fi
	done <<-EOF
		no_argument   tty
		one_argument  tty   dsl.line.7
		dash_argument tty   -h
		stdout_full   full
		stdout_closed none
	EOF
done
echo "boot: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
