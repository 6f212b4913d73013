#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the booted check's device from Debian's sources: a kernel and a busybox userland.
# Usage: scripts/device/build-device.sh DIR PREFIX [SYSROOT]
# DIR gets vmlinux, gen_init_cpio and in bin/ the smallest busybox a device ships, static by
# PREFIX's compiler.  It is kept in the user's cache; the build's log is DIR/build.log.
set -euo pipefail

[[ $# == [23] ]] || { echo "usage: $0 DIR PREFIX [SYSROOT]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
prefix=$2 sysroot=${3:-}
cc=("${prefix}gcc" ${sysroot:+"--sysroot=$sysroot"})
mkdir -p "$1"; target=$(cd "$1" && pwd)
kernel_source=$(apt-cache depends linux-source | sed -n 's/^ *Depends: \(linux-source-.*\)/\1/p')
"$here/../apt-need.sh" "$kernel_source" gcc-mips-linux-gnu gcc libc6-dev flex bison bc xz-utils \
	make dpkg-dev bzip2 linux-libc-dev-mips-cross
# Over tinyconfig: Malta with a MIPS32r2 big-endian core and no FPU support; an uncompressed
# initramfs and the serial console alone; kernel lines stamped with the time, so they stand
# apart; a panic resets the board, which ends the emulator.  -NAME is an option left off.
kernel=(MIPS_MALTA CPU_BIG_ENDIAN CPU_MIPS32_R2 32BIT -MIPS_FP_SUPPORT BLK_DEV_INITRD
	-RD_{GZIP,BZIP2,LZMA,XZ,LZO,LZ4,ZSTD} -VT -INPUT -SERIO BINFMT_ELF BINFMT_SCRIPT PROC_FS
	PRINTK PRINTK_TIME TTY SERIAL_8250 SERIAL_8250_CONSOLE MFD_SYSCON POWER_RESET{,_SYSCON})
# Over allnoconfig: ash and hush with what a script needs, and as applets echo, printf, test
# and [ (TEST1), which the shells then lack, and what boot-init.sh and the suite run.
read -ra tools <<<"$(sh "$here/../../tests/program.sh" --tools)"
applets=(sh hush mount echo printf test '[' "${tools[@]}")
busybox=(STATIC LFS SH_IS_ASH ASH FEATURE_SH_MATH HUSH HUSH_{TICK,IF,LOOPS,CASE,FUNCTIONS,TRAP,SET}
	MOUNT ECHO PRINTF TEST TEST1 "${tools[@]^^}")
outputs=(vmlinux gen_init_cpio bin/busybox "${applets[@]/#/bin/}")

. "$here/../lib/stamp.sh"
made=$(made_from "$0" "$here/../lib/"{stamp,long-step,apt-source}.sh \
	-- "$kernel_source" "*-mips-linux-gnu" "*-mips-cross"
	echo "busybox ${busybox[*]} $(apt-cache show --no-all-versions busybox | sed -n 's/^Version: //p')"
	echo "compiler $("${cc[@]}" --version | head -n 1)"
	sha256sum <"$("${cc[@]}" -print-file-name=libc.a)")
! cached "booted device ($kernel_source)" "device-$release" "$made" "${outputs[@]}" ||
	{ delivered "$target" && exit 0; }
[[ $entry != *[[:space:]]* ]] || { echo "$0: the build breaks on a space in $entry" >&2; exit 2; }
work=$entry/work log=$entry/build.log
mkdir -p "$work/obj" "$work/headers" "$entry/bin"
. "$here/../lib/long-step.sh"
. "$here/../lib/apt-source.sh"
src=$work/$kernel_source bb=$work/busybox
kmake=(make -C "$src" O="$work/obj" ARCH=mips CROSS_COMPILE=mips-linux-gnu-)
# Writes the options as DIR's fragment and merges it into DIR/.config.
merge() { # dir, option...
	for o in "${@:2}"; do
		case $o in -*) echo "# CONFIG_${o#-} is not set" ;; *=*) echo "CONFIG_$o" ;;
		*) echo "CONFIG_$o=y" ;; esac
	done >"$1.fragment"
	"$src/scripts/kconfig/merge_config.sh" -m -O "$1" "$1/.config" "$1.fragment"
}
# An option whose dependencies are missing is dropped silently; grep exits 1 where none is.
kept() { lost=$(grep -vxFf "$1/.config" "$1.fragment"; echo $?); [ "$lost" = 1 ] ||
	{ echo "lost: $lost" && return 1; }; }

configure_kernel() {
	tar -xJf "/usr/src/$kernel_source.tar.xz" -C "$work"
	"${kmake[@]}" tinyconfig && merge "$work/obj" "${kernel[@]}" && "${kmake[@]}" olddefconfig &&
		kept "$work/obj"
}
long_step "unpack and configure $kernel_source" "$log" configure_kernel
long_step "build vmlinux" "$log" "${kmake[@]}" -j"$(($(nproc) + 1))" vmlinux
mv "$work/obj/vmlinux" "$work/obj/usr/gen_init_cpio" "$entry/"

apt_source "$work" "$log" busybox
configure_busybox() {
	dpkg-source -x "$work"/src/busybox_*.dsc "$bb"
	# Debian's kernel headers serve where SYSROOT has none.
	cp -r /usr/mips-linux-gnu/include/{linux,asm,asm-generic,mtd} "$work/headers/"
	make -C "$bb" allnoconfig && merge "$bb" "${busybox[@]}" "CROSS_COMPILER_PREFIX=\"$prefix\"" \
		"SYSROOT=\"$sysroot\"" "EXTRA_CFLAGS=\"-idirafter $work/headers\"" &&
		make -C "$bb" oldconfig < <(yes '') && kept "$bb"
}
long_step "configure busybox" "$log" configure_busybox
long_step "build busybox" "$log" make -C "$bb" -j"$(($(nproc) + 1))" busybox
mv "$bb/busybox" "$entry/bin/"
for applet in "${applets[@]}"; do ln -s busybox "$entry/bin/$applet"; done

rm -rf "$work"
stamped && delivered "$target"
