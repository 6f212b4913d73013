#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the booted check's kernel: tinyconfig and kernel.config over Debian's kernel source.
#
#   scripts/device/boot-kernel.sh DIR
#
# DIR receives vmlinux, a kernel for qemu's Malta board with a MIPS32r2
# big-endian core, and gen_init_cpio, the kernel's initramfs packer, from the
# kernel source of the machine's release.  They are kept in the user's cache
# (scripts/lib/stamp.sh) while their stamp holds (this script and its helpers,
# the configuration, the kernel source's and the cross compiler's versions, the
# release).  The build's output is in DIR/build.log.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
fragment=$here/kernel.config
mkdir -p "$1"
target=$(cd "$1" && pwd)
# The kernel source of this Debian release.
kernel_source=$(apt-cache depends linux-source | sed -n 's/^ *Depends: \(linux-source-[0-9.]*\)$/\1/p')
"$here/../apt-need.sh" "$kernel_source" gcc-mips-linux-gnu gcc libc6-dev make flex bison bc xz-utils

# shellcheck source=scripts/lib/stamp.sh
. "$here/../lib/stamp.sh"
made=$(made_from "$0" "$here/../lib/"{stamp,long-step}.sh "$fragment" -- "$kernel_source" "*-mips-linux-gnu")
if cached "kernel ($kernel_source)" "kernel-$release" "$made" vmlinux gen_init_cpio; then
	delivered "$target"
	exit 0
fi
dir=$entry
[[ $dir != *[[:space:]]* ]] || { echo "$0: the build breaks on a space in $dir" >&2; exit 2; }
work=$dir/work
log=$dir/build.log
start=$SECONDS
mkdir -p "$work/obj"
# shellcheck source=scripts/lib/long-step.sh
. "$here/../lib/long-step.sh"
src=$work/$kernel_source
kmake=(make -C "$src" O="$work/obj" ARCH=mips CROSS_COMPILE=mips-linux-gnu-)

long_step "unpack $kernel_source" "$log" tar -xJf "/usr/src/$kernel_source.tar.xz" -C "$work"
configure() {
	"${kmake[@]}" tinyconfig
	"$src/scripts/kconfig/merge_config.sh" -m -O "$work/obj" "$work/obj/.config" "$fragment"
	"${kmake[@]}" olddefconfig
}
long_step "configure" "$log" configure
# A setting whose dependencies are missing is dropped without an error.
! dropped=$(grep -E '^(# )?CONFIG_' "$fragment" | grep -vxFf "$work/obj/.config") ||
	{ echo "$0: the kernel configuration lost: $dropped" >&2 && exit 1; }
long_step "build vmlinux" "$log" "${kmake[@]}" -j"$(($(nproc) + 1))" vmlinux

mv "$work/obj/vmlinux" "$work/obj/usr/gen_init_cpio" "$dir/"
rm -rf "$work"
stamped "$made" vmlinux gen_init_cpio
echo "== kernel: made in $((SECONDS - start)) s, $(du -sh "$dir" | cut -f 1)"
delivered "$target"
