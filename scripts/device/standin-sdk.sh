#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes a stand-in device SDK (MIPS32r2 big-endian, soft-float, musl) from Debian's packages.
# Usage: scripts/device/standin-sdk.sh DIR
# DIR gets what a vendor SDK holds, compilers and binutils in bin/ and the sysroot in sysroot/,
# and works wherever it is moved to; as Debian's cross libgcc is hard-float, compiler-rt's
# builtins are built soft-float.  It is kept in the user's cache; the build's log is DIR/build.log.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
lib=$(cd "$(dirname "$0")/../lib" && pwd)
mkdir -p "$1"; dir=$(cd "$1" && pwd)
arch_flags=(-march=mips32r2 -msoft-float)
cross=mips-linux-gnu triplet=mips-linux-muslsf loader=ld-musl-mips-sf.so.1
tools=(addr2line ar as c++filt elfedit gcc-{ar,nm,ranlib} gprof ld ld.bfd nm objcopy objdump ranlib
	readelf size strings strip)
"$lib/../apt-need.sh" "g++-$cross" qemu-user-static dpkg-dev make xz-utils

. "$lib/stamp.sh"
# The sources: musl, and of the LLVM behind this release's clang only the upstream tarball.
llvm=$(apt-cache depends clang | sed -n 's/^ *Depends: \(clang-[0-9]*\)$/\1/p')
made=$(made_from "$0" "$lib/"{stamp,long-step,apt-source}.sh -- "*-$cross" "*-mips-cross"
	apt-cache show --no-all-versions musl "$llvm" |
		sed -n 's/^\(Package\|Source\|Version\): /source /p')
outputs=(bin/"$triplet"-{gcc,g++,c++,cpp} "${tools[@]/#/bin/$triplet-}" lib/musl.specs
	sysroot/{include/stdio.h,lib/{crt{beginS,1}.o,libc.{a,so},"$loader",libclang_rt.builtins-mips.a}})
! cached "stand-in SDK" "sdk-$release" "$made" "${outputs[@]}" || { delivered "$dir" && exit 0; }
[[ $entry$dir != *[[:space:]]* ]] || { echo "$0: spaces break the specs: $entry$dir" >&2; exit 2; }
sdk=$entry sysroot=$entry/sysroot work=$entry/work log=$entry/build.log
builtins=$sysroot/lib/libclang_rt.builtins-mips.a
mkdir -p "$sdk/bin" "$sdk/lib" "$sysroot/lib" "$work/builtins"
gcc_include=$("$cross-gcc" -print-file-name=include)
. "$lib/long-step.sh"
. "$lib/apt-source.sh"
apt_source "$work" "$log" musl
apt_source "$work" "$log" --tar-only "$llvm"

# musl's headers come first: the builtins are built against them.
musl_headers() {
	cd "$work" && dpkg-source -x "$work"/src/musl_*.dsc musl
	cd musl && CC="$cross-gcc" CFLAGS="${arch_flags[*]}" CROSS_COMPILE="$cross-" LIBCC="$builtins" \
		./configure --target="$triplet" --prefix=/ --syslibdir=/lib --disable-wrapper
	make DESTDIR="$sysroot" install-headers
}
long_step "musl: unpack, configure, headers" "$log" musl_headers

# compiler-rt's own list of generic sources.
soft_float_builtins() {
	tar -xJf "$work"/src/llvm-toolchain-*.orig.tar.xz -C "$work/builtins" --strip-components=1 \
		--wildcards '*/compiler-rt/lib/builtins/*'
	cd "$work/builtins/compiler-rt/lib/builtins"
	awk '/^set\(GENERIC_SOURCES/ { on = 1; next } on && /\)/ { exit } on { print $1 }' CMakeLists.txt |
		xargs -t -n 20 "$cross-gcc" "${arch_flags[@]}" -Os -fPIC -fno-builtin -nostdinc \
			-isystem "$sysroot/include" -isystem "$gcc_include" -c
	"$cross-ar" rcs "$builtins" ./*.o
}
long_step "compiler-rt builtins, soft-float" "$log" soft_float_builtins

# GCC's start files hold no FPU instruction: their hard-float mark would make every link warn.
for crt in crtbeginS crtendS crtbeginT crtend; do
	"$cross-objcopy" -R .gnu.attributes -R .MIPS.abiflags \
		"$("$cross-gcc" -print-file-name="$crt.o")" "$sysroot/lib/$crt.o"
done
# The link half: musl's start files, GCC's, libc and the builtins for libgcc, under the
# wrappers' sysroot (%R).  musl's loader reads no .MIPS.xhash, which Debian 13's linker makes.
cat >"$sdk/lib/musl.specs" <<EOF_SPECS
*link_libgcc:
-L%R/lib

*libgcc:
-lclang_rt.builtins-mips

*startfile:
%{!shared: %{static:%R/lib/crt1.o;:%R/lib/Scrt1.o}} %R/lib/crti.o %{static:%R/lib/crtbeginT.o;:%R/lib/crtbeginS.o}

*endfile:
%{static:%R/lib/crtend.o;:%R/lib/crtendS.o} %R/lib/crtn.o

*link:
-dynamic-linker /lib/$loader --hash-style=sysv -nostdlib %{shared:-shared} %{static:-static} %{rdynamic:-export-dynamic}

EOF_SPECS
long_step "musl: build, install" "$log" make -C "$work/musl" -j"$(nproc)" DESTDIR="$sysroot" install
# The loader link must stay inside the sysroot.
ln -sf libc.so "$sysroot/lib/$loader"

# The wrappers: Debian's cross driver with the device's defaults and the SDK's sysroot, specs
# and headers, found from their own path.  libstdc++'s headers come first; configured for
# glibc, they test its version, which musl lacks.
cxx_include=$("$cross-g++" -xc++ -E -v /dev/null 2>&1 | sed -n 's|^ \(/.*/c++/.*\)$|\1|p' |
	while read -r d; do printf ' -isystem %s' "$(cd "$d" && pwd)"; done)
wrapper() { # name, driver, what goes before the musl headers, what goes after them
	cat >"$sdk/bin/$triplet-$1" <<EOF_WRAPPER
#!/bin/sh
# $1 of the stand-in $triplet SDK.
sdk=\$(cd "\${0%/*}/.." && pwd)
exec $(command -v "$cross-$2") ${arch_flags[*]} --sysroot="\$sdk/sysroot" \\
	-specs "\$sdk/lib/musl.specs" -nostdinc$3 -isystem "\$sdk/sysroot/include" \\
	-isystem $gcc_include$4 "\$@"
EOF_WRAPPER
	chmod +x "$sdk/bin/$triplet-$1"
}
wrapper gcc gcc "" ""
wrapper g++ gcc "$cxx_include" " '-D__GLIBC_PREREQ(major,minor)=0'"
wrapper cpp cpp "" ""
ln -sf "$triplet-g++" "$sdk/bin/$triplet-c++"
for tool in "${tools[@]}"; do ln -sf "$(command -v "$cross-$tool")" "$sdk/bin/$triplet-$tool"; done
rm -rf "$work"
stamped && delivered "$dir"
