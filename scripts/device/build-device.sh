#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the booted check's device from Debian's sources: a kernel and a busybox userland.
#
#   scripts/device/build-device.sh DIR PREFIX [SYSROOT]
#
# DIR receives vmlinux, tinyconfig and kernel.config over the release's kernel
# source, its gen_init_cpio and, in bin/, the smallest busybox a device ships,
# built static by PREFIX's compiler: ash and hush with no optional built-in but
# what a script needs, and the applets that boot-init.sh and the suite run.
# It is kept in the user's cache; the builds' output is in DIR/build.log.
set -euo pipefail

[[ $# == [23] ]] || { echo "usage: $0 DIR PREFIX [SYSROOT]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
fragment=$here/kernel.config
prefix=$2
sysroot=${3:-}
cc=("${prefix}gcc" ${sysroot:+"--sysroot=$sysroot"})
mkdir -p "$1"
target=$(cd "$1" && pwd)
# The kernel source of this Debian release.
kernel_source=$(apt-cache depends linux-source | sed -n 's/^ *Depends: \(linux-source-.*\)/\1/p')
"$here/../apt-need.sh" "$kernel_source" gcc-mips-linux-gnu gcc libc6-dev flex bison bc xz-utils \
	make dpkg-dev bzip2 linux-libc-dev-mips-cross
tools=$(sh "$here/../../tests/program.sh" --tools)
read -ra tools <<<"$tools"
# echo, printf and test ([ is TEST1) are applets, as the shells build none in.
applets=(sh hush mount echo printf test '[' "${tools[@]}")
options=(STATIC LFS SH_IS_ASH ASH FEATURE_SH_MATH HUSH HUSH_{TICK,IF,LOOPS,CASE,FUNCTIONS,TRAP,SET}
	MOUNT ECHO PRINTF TEST TEST1 "${tools[@]}")
outputs=(vmlinux gen_init_cpio bin/busybox "${applets[@]/#/bin/}")

. "$here/../lib/stamp.sh"
made=$(made_from "$0" "$here/../lib/"{stamp,long-step,apt-source}.sh "$fragment" \
	-- "$kernel_source" "*-mips-linux-gnu" "*-mips-cross"
	echo "busybox ${options[*]} $(apt-cache show --no-all-versions busybox | sed -n 's/^Version: //p')"
	echo "compiler $("${cc[@]}" --version | head -n 1)"
	sha256sum <"$("${cc[@]}" -print-file-name=libc.a)")
! cached "booted device ($kernel_source)" "device-$release" "$made" "${outputs[@]}" ||
	{ delivered "$target" && exit 0; }
[[ $entry != *[[:space:]]* ]] || { echo "$0: the build breaks on a space in $entry" >&2; exit 2; }
work=$entry/work
log=$entry/build.log
mkdir -p "$work/obj" "$work/headers" "$entry/bin"
. "$here/../lib/long-step.sh"
. "$here/../lib/apt-source.sh"
# A setting whose dependencies are missing is dropped without an error.
all_kept() { # fragment, configuration, what
	! dropped=$(grep -E '^(# )?CONFIG_' "$1" | grep -vxFf "$2") ||
		{ echo "$0: $3 lost: $dropped" >&2 && exit 1; }
}

src=$work/$kernel_source
kmake=(make -C "$src" O="$work/obj" ARCH=mips CROSS_COMPILE=mips-linux-gnu-)
long_step "unpack $kernel_source" "$log" tar -xJf "/usr/src/$kernel_source.tar.xz" -C "$work"
configure_kernel() {
	"${kmake[@]}" tinyconfig
	"$src/scripts/kconfig/merge_config.sh" -m -O "$work/obj" "$work/obj/.config" "$fragment"
	"${kmake[@]}" olddefconfig
}
long_step "configure the kernel" "$log" configure_kernel
all_kept "$fragment" "$work/obj/.config" "the kernel's configuration"
long_step "build vmlinux" "$log" "${kmake[@]}" -j"$(($(nproc) + 1))" vmlinux
mv "$work/obj/vmlinux" "$work/obj/usr/gen_init_cpio" "$entry/"

bb=$work/busybox
apt_source "$work" "$log" busybox
configure_busybox() {
	dpkg-source -x "$work"/src/busybox_*.dsc "$bb"
	# Debian's kernel headers serve where SYSROOT has none.
	cp -r /usr/mips-linux-gnu/include/{linux,asm,asm-generic,mtd} "$work/headers/"
	make -C "$bb" allnoconfig
	printf 'CONFIG_%s=y\n' "${options[@]^^}" >"$work/options"
	printf 'CONFIG_%s="%s"\n' CROSS_COMPILER_PREFIX "$prefix" SYSROOT "$sysroot" \
		EXTRA_CFLAGS "-idirafter $work/headers" >>"$work/options"
	# Each option replaces the line allnoconfig wrote for it, and oldconfig
	# sets what they bring in to its default.
	sed -E 's/^(CONFIG_[A-Z0-9_]+)=.*/^(# )?\1[= ]/' "$work/options" >"$work/patterns"
	grep -vEf "$work/patterns" "$bb/.config" | cat - "$work/options" >"$work/config"
	mv "$work/config" "$bb/.config"
	make -C "$bb" oldconfig < <(yes '')
}
long_step "configure busybox" "$log" configure_busybox
all_kept "$work/options" "$bb/.config" "busybox's configuration"
long_step "build busybox" "$log" make -C "$bb" -j"$(($(nproc) + 1))" busybox
mv "$bb/busybox" "$entry/bin/"
for applet in "${applets[@]}"; do ln -s busybox "$entry/bin/$applet"; done

rm -rf "$work"
stamped
delivered "$target"
