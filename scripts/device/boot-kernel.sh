#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the booted check's kernel: tinyconfig and kernel.config over Debian's kernel source.
#
#   scripts/device/boot-kernel.sh DIR
#
# DIR receives vmlinux, a kernel for qemu's Malta board with a MIPS32r2
# big-endian core, and gen_init_cpio, the kernel's tool that packs an
# initramfs.  The source tree and the objects are deleted once they are built;
# DIR/stamp records what they were made from (this script, the configuration
# and the versions of the kernel source and the cross compiler), and both are
# reused while that still holds and both are there.  The build's output is in
# DIR/build.log.
set -euo pipefail

# The kernel source, tied to one Debian release.
kernel_source=linux-source-6.1

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
fragment=$here/kernel.config
mkdir -p "$1"
dir=$(cd "$1" && pwd)
[[ $dir != *[[:space:]]* ]] || { echo "$0: the build breaks on a space in $dir" >&2; exit 2; }
work=$dir/work
log=$dir/build.log

"$here/../apt-need.sh" "$kernel_source" gcc-mips-linux-gnu gcc libc6-dev make flex bison bc xz-utils

# shellcheck source=scripts/lib/stamp.sh
. "$here/../lib/stamp.sh"
made=$(made_from "$0" "$fragment" -- "$kernel_source" "*-mips-linux-gnu")
if up_to_date "$made" "$dir" vmlinux gen_init_cpio; then
	echo "== kernel: $dir is up to date"
	exit 0
fi
echo "== kernel: $kernel_source, tinyconfig and $fragment, in $dir"
start=$SECONDS
rm -rf "$work" "$dir/vmlinux" "$dir/gen_init_cpio" "$dir/stamp" "$log"
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
if dropped=$(grep -E '^(# )?CONFIG_' "$fragment" | grep -vxFf "$work/obj/.config"); then
	echo "$0: the kernel configuration lost: $dropped" >&2
	exit 1
fi
long_step "build vmlinux" "$log" "${kmake[@]}" -j"$(($(nproc) + 1))" vmlinux

mv "$work/obj/vmlinux" "$work/obj/usr/gen_init_cpio" "$dir/"
rm -rf "$work"
echo "$made" >"$dir/stamp"
echo "== kernel: made in $((SECONDS - start)) s, $(du -sh "$dir" | cut -f 1)"
