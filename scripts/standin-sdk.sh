#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes a stand-in for the device SDK (MIPS32r2 big-endian, soft-float, musl) from Debian's packages.
#
#   scripts/standin-sdk.sh DIR
#
# DIR receives what a vendor SDK would hold: DIR/bin/mips-linux-muslsf-gcc,
# -g++ and the binutils under the same prefix, and the sysroot DIR/sysroot.
# Its parts: Debian's cross compiler for mips-linux-gnu as compiler and linker,
# compiler-rt's generic builtins built soft-float (Debian's cross libgcc is
# hard-float), and musl built for mips-linux-muslsf against those builtins.
# The C++ front end is there, but no C++ runtime library: a program that needs
# none links as C does.  A finished DIR is reused as it is.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
mkdir -p "$1"
sdk=$(cd "$1" && pwd)
[ -f "$sdk/.complete" ] && exit 0

arch_flags="-march=mips32r2 -msoft-float"
cross=mips-linux-gnu
triplet=mips-linux-muslsf
sysroot=$sdk/sysroot
jobs=$(nproc)
builtins=$sdk/lib/libclang_rt.builtins-mips.a

"$(dirname "$0")/apt-need.sh" "g++-$cross" qemu-user-static dpkg-dev make xz-utils

gcc_include=$("$cross-gcc" -print-file-name=include)

# Source packages come from the machine's own Debian entries, as deb-src, kept
# in a private apt state under DIR so that the system's apt configuration is
# left as it is.  The downloads land in folders of root's, so apt fetches
# them as root instead of as its unprivileged user.
apt_dir=$sdk/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$sdk/src"
for f in /etc/apt/sources.list.d/*.sources; do
	[ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
	[ -f "$f" ] && sed -n 's/^deb\([[:space:]]\)/deb-src\1/p' "$f" >"$apt_dir/sources.list.d/$(basename "$f").list"
done
apt=(apt-get -qq -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
	-o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
if ! ls "$sdk"/src/musl_*.dsc "$sdk"/src/llvm-toolchain-14_*.dsc >/dev/null 2>&1; then
	# An entry whose archive serves no sources only warns; the source step below
	# fails if what it needs is missing.
	"${apt[@]}" update || echo "$0: some deb-src entries could not be read" >&2
	(cd "$sdk/src" && "${apt[@]}" source --download-only musl llvm-toolchain-14) >"$sdk/src/apt.log" 2>&1 ||
		{ cat "$sdk/src/apt.log" >&2; exit 1; }
fi

# musl's headers come first: the builtins are built against them.
if [ ! -f "$sdk/build/musl/config.mak" ]; then
	rm -rf "$sdk/build/musl"
	mkdir -p "$sdk/build"
	(cd "$sdk/build" && dpkg-source -q -x "$sdk"/src/musl_*.dsc musl >/dev/null 2>&1) ||
		{ echo "$0: cannot unpack musl's source" >&2; exit 1; }
	(cd "$sdk/build/musl" && CC="$cross-gcc" CFLAGS="$arch_flags" CROSS_COMPILE="$cross-" LIBCC="$builtins" \
		./configure --target="$triplet" --prefix=/ --syslibdir=/lib --disable-wrapper >/dev/null)
fi
(cd "$sdk/build/musl" && make -s DESTDIR="$sysroot" install-headers)

# Soft-float runtime builtins: compiler-rt's own list of generic sources.
if [ ! -f "$builtins" ]; then
	rm -rf "$sdk/build/builtins"
	mkdir -p "$sdk/build/builtins" "$sdk/lib"
	tar -xJf "$sdk"/src/llvm-toolchain-14_*.orig.tar.xz -C "$sdk/build/builtins" --strip-components=1 \
		--wildcards '*/compiler-rt/lib/builtins/*'
	rt=$sdk/build/builtins/compiler-rt/lib/builtins
	sources=$(awk '/^set\(GENERIC_SOURCES/ { on = 1; next } on && /\)/ { exit } on { print $1 }' "$rt/CMakeLists.txt")
	objects=()
	for src in $sources; do
		# shellcheck disable=SC2086
		"$cross-gcc" $arch_flags -Os -fPIC -fno-builtin -nostdinc -isystem "$sysroot/include" \
			-isystem "$gcc_include" -c "$rt/$src" -o "$rt/${src%.c}.o"
		objects+=("$rt/${src%.c}.o")
	done
	"$cross-ar" rcs "$builtins.tmp" "${objects[@]}"
	mv "$builtins.tmp" "$builtins"
fi

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

if [ ! -f "$sysroot/lib/libc.a" ]; then
	(cd "$sdk/build/musl" && make -j"$jobs" && make DESTDIR="$sysroot" install) >"$sdk/build/musl.log" 2>&1 ||
		{ tail -n 30 "$sdk/build/musl.log" >&2; exit 1; }
	# The loader link must stay inside the sysroot.
	ln -sf libc.so "$sysroot/lib/ld-musl-mips-sf.so.1"
fi

# The compiler wrappers: the cross gcc with the device's defaults, musl's
# headers and nothing of the build machine's.  The C++ one puts libstdc++'s
# headers first; they are configured for glibc, whose version test musl lacks.
cxx_include=$("$cross-g++" -xc++ -E -v /dev/null 2>&1 | sed -n 's|^ \(/.*/c++/.*\)$|\1|p' | while read -r d; do
	printf ' -isystem %s' "$(cd "$d" && pwd)"
done)
mkdir -p "$sdk/bin"
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
for tool in ar ranlib nm objcopy objdump readelf strip ld; do
	ln -sf "$(command -v "$cross-$tool")" "$sdk/bin/$triplet-$tool"
done

touch "$sdk/.complete"
