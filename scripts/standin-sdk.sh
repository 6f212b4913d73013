#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes a stand-in for the device SDK (MIPS32r2 big-endian, soft-float, musl) from Debian's packages.
#
#   scripts/standin-sdk.sh DIR
#
# DIR receives what a vendor SDK would hold: DIR/bin/mips-linux-muslsf-gcc,
# -g++ and the binutils under the same prefix, DIR/lib with the compiler's
# runtime and link specs, and the sysroot DIR/sysroot.  Its parts: Debian's
# cross compiler for mips-linux-gnu as compiler and linker, compiler-rt's
# generic builtins built soft-float (Debian's cross libgcc is hard-float), and
# musl built for mips-linux-muslsf against those builtins.  The C++ front end
# is there, but no C++ runtime library: a program that needs none links as C
# does.  Sources and build trees are deleted at the end; DIR/stamp records what
# the SDK was made from (this script, the cross compiler's packages and the
# source packages), and DIR is reused while that still holds and every output
# is there.  The build's output is in DIR/build.log.
set -euo pipefail

# The source packages; the compiler-rt one is tied to one Debian release.
musl_source=musl
llvm_source=llvm-toolchain-14

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
sdk=$(cd "$1" && pwd)
[[ $sdk != *[[:space:]]* ]] || { echo "$0: $sdk has a blank in its path, which gcc's specs and the SDK's wrappers cannot take; make it under a path without one" >&2; exit 2; }
arch_flags="-march=mips32r2 -msoft-float"
cross=mips-linux-gnu
triplet=mips-linux-muslsf
binutils=(ar ranlib nm objcopy objdump readelf strip ld)
sysroot=$sdk/sysroot
builtins=$sdk/lib/libclang_rt.builtins-mips.a
work=$sdk/work
log=$sdk/build.log

"$here/apt-need.sh" "g++-$cross" qemu-user-static dpkg-dev make xz-utils

made_from=$("$here/made-from.sh" "$0" -- "*-$cross")
outputs=("bin/$triplet-gcc" "bin/$triplet-g++" "${binutils[@]/#/bin/$triplet-}" lib/musl.specs "${builtins#"$sdk"/}"
	sysroot/include/stdio.h sysroot/lib/crt1.o sysroot/lib/libc.a sysroot/lib/libc.so sysroot/lib/ld-musl-mips-sf.so.1)
complete() {
	local f
	[ "$(grep -v '^source ' "$sdk/stamp" 2>/dev/null)" = "$made_from" ] || return 1
	for f in "${outputs[@]}"; do
		[ -e "$sdk/$f" ] || return 1
	done
}
if complete; then
	echo "== stand-in SDK: $sdk is up to date"
	exit 0
fi
echo "== stand-in SDK: making it in $sdk"
start=$SECONDS
rm -rf "${sdk:?}/bin" "${sdk:?}/lib" "$sysroot" "$work" "$sdk/stamp" "$log"
mkdir -p "$sdk/bin" "$sdk/lib" "$work/apt/sources.list.d" "$work/apt/lists/partial" "$work/src"
# shellcheck source=scripts/long-step.sh
. "$here/long-step.sh"
gcc_include=$("$cross-gcc" -print-file-name=include)

# Source packages come from the machine's own Debian entries, as deb-src, kept
# in a private apt state so that the system's apt configuration is left as it
# is.  The downloads land in folders of root's, so apt fetches them as root
# instead of as its unprivileged user.
for f in /etc/apt/sources.list.d/*.sources; do
	[ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
	[ -f "$f" ] && sed -n 's/^deb\([[:space:]]\)/deb-src\1/p' "$f" >"$work/apt/sources.list.d/$(basename "$f").list"
done
apt=(apt-get -q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
	-o "Dir::State::Lists=$work/apt/lists" -o APT::Sandbox::User=root)
# An entry whose archive serves no sources only warns; the download fails if
# what it needs is missing.
source_lists() { "${apt[@]}" update || echo "$0: some deb-src entries could not be read"; }
long_step "deb-src lists" "$log" source_lists
download_sources() { cd "$work/src" && "${apt[@]}" source --download-only "$musl_source" "$llvm_source"; }
long_step "sources of $musl_source and $llvm_source" "$log" download_sources

# musl's headers come first: the builtins are built against them.
musl_headers() {
	cd "$work" && dpkg-source -x "$work"/src/"${musl_source}"_*.dsc musl
	cd musl && CC="$cross-gcc" CFLAGS="$arch_flags" CROSS_COMPILE="$cross-" LIBCC="$builtins" \
		./configure --target="$triplet" --prefix=/ --syslibdir=/lib --disable-wrapper
	make DESTDIR="$sysroot" install-headers
}
long_step "musl: unpack, configure, headers" "$log" musl_headers

# Soft-float runtime builtins: compiler-rt's own list of generic sources.
soft_float_builtins() {
	local rt=$work/builtins/compiler-rt/lib/builtins src objects=()
	mkdir -p "$work/builtins"
	echo "unpacking compiler-rt's builtins"
	tar -xJf "$work"/src/"${llvm_source}"_*.orig.tar.xz -C "$work/builtins" --strip-components=1 \
		--wildcards '*/compiler-rt/lib/builtins/*'
	while read -r src; do
		echo "CC $src"
		# shellcheck disable=SC2086
		"$cross-gcc" $arch_flags -Os -fPIC -fno-builtin -nostdinc -isystem "$sysroot/include" \
			-isystem "$gcc_include" -c "$rt/$src" -o "$rt/${src%.c}.o"
		objects+=("$rt/${src%.c}.o")
	done < <(awk '/^set\(GENERIC_SOURCES/ { on = 1; next } on && /\)/ { exit } on { print $1 }' "$rt/CMakeLists.txt")
	"$cross-ar" rcs "$builtins" "${objects[@]}"
}
long_step "compiler-rt builtins, soft-float" "$log" soft_float_builtins

# The link half of the compiler: musl's start files, libc and the soft-float
# builtins instead of libgcc.  Includes are set by the wrappers below.
cat >"$sdk/lib/musl.specs" <<EOF
*link_libgcc:
-L$sysroot/lib

*libgcc:
$builtins

*startfile:
%{!shared: %{static:$sysroot/lib/crt1.o;:$sysroot/lib/Scrt1.o}} $sysroot/lib/crti.o

*endfile:
$sysroot/lib/crtn.o

*link:
-dynamic-linker /lib/ld-musl-mips-sf.so.1 -nostdlib %{shared:-shared} %{static:-static} %{rdynamic:-export-dynamic}

EOF

long_step "musl: build and install" "$log" make -C "$work/musl" -j"$(nproc)" DESTDIR="$sysroot" install
# The loader link must stay inside the sysroot.
ln -sf libc.so "$sysroot/lib/ld-musl-mips-sf.so.1"

# The compiler wrappers: the cross gcc with the device's defaults, musl's
# headers and nothing of the build machine's.  The C++ one puts libstdc++'s
# headers first; they are configured for glibc, whose version test musl lacks.
cxx_include=$("$cross-g++" -xc++ -E -v /dev/null 2>&1 | sed -n 's|^ \(/.*/c++/.*\)$|\1|p' | while read -r d; do
	printf ' -isystem %s' "$(cd "$d" && pwd)"
done)
cat >"$sdk/bin/$triplet-gcc" <<EOF
#!/bin/sh
# C compiler of the stand-in $triplet SDK.
exec $cross-gcc $arch_flags -specs $sdk/lib/musl.specs -nostdinc -isystem $sysroot/include -isystem $gcc_include "\$@"
EOF
cat >"$sdk/bin/$triplet-g++" <<EOF
#!/bin/sh
# C++ compiler of the stand-in $triplet SDK; it links through the C driver, as there is no C++ runtime.
exec $cross-gcc $arch_flags -specs $sdk/lib/musl.specs -nostdinc$cxx_include -isystem $sysroot/include -isystem $gcc_include '-D__GLIBC_PREREQ(major,minor)=0' "\$@"
EOF
chmod +x "$sdk/bin/$triplet-gcc" "$sdk/bin/$triplet-g++"
for tool in "${binutils[@]}"; do
	ln -sf "$(command -v "$cross-$tool")" "$sdk/bin/$triplet-$tool"
done

{
	echo "$made_from"
	for dsc in "$work"/src/*.dsc; do
		echo "source $(basename "$dsc" .dsc)"
	done
} >"$sdk/stamp.new"
rm -rf "$work"
mv "$sdk/stamp.new" "$sdk/stamp"
complete || { echo "$0: an output is missing after the build" >&2; exit 1; }
echo "== stand-in SDK: made in $((SECONDS - start)) s, $(du -sh "$sdk" | cut -f 1)"
