#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the README's commands, read from README.md, in a fresh clone inside a bare Debian root.
# Usage: scripts/readme-in-root.sh SUITE [all|device]   (SUITE: trixie, bookworm, bullseye, ...)
# The root is debootstrap's minbase, as sbuild proves build dependencies.  Without a mode it runs
# the "Run it" line and the first "Test it" line; all: every "Test it" line; device: check-target,
# boot-target and the "Build for the device" lines, with the stand-in SDK where they name one.
set -euo pipefail
mode=${2:-}
[[ $# == [12] && $mode =~ ^(|all|device)$ ]] || { echo "usage: $0 SUITE [all|device]" >&2; exit 2; }
suite=$1 here=$(cd "$(dirname "$0")" && pwd)
checkout=${here%/*}
top=$checkout/build/readme-in-root/$suite root=$top/root
fail() { echo "$0: $suite: $*" >&2 && exit 1; }

[ "$(id -u)" -eq 0 ] || fail "debootstrap and chroot need root"
"$here/apt-need.sh" debootstrap git cmake
. "$here/lib/long-step.sh"
. "$here/lib/stamp.sh"
. "$here/lib/readme-lines.sh"

# The machine's own deb entry for its release, as apt reads it.
# shellcheck disable=SC2016 # apt's own field syntax
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Release: $release" "Identifier: Packages" |
	head -n 1)
[ -n "$mirror" ] || fail "apt's sources have no deb entry for $release"
mkdir -p "$top"
/usr/lib/apt/apt-helper -o APT::Sandbox::User=root download-file \
	"${mirror%/}/dists/$suite/Release" "$top/Release" >/dev/null || fail "$mirror does not serve it"
made=$(echo "mirror $mirror" && made_from "$0" "$here/lib/"{long-step,stamp}.sh "$top/Release" \
	-- debootstrap)
cached "$suite root" "root-$suite" "$made" bare/bin/bash || { long_step "debootstrap $suite" \
	"$top/debootstrap.log" debootstrap --variant=minbase "$suite" "$entry/bare" "$mirror"; stamped; }

rm -rf --one-file-system "$root"
long_step "fresh copy of the $suite root" "$top/copy.log" cp -a "$entry/bare" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp -r /etc/apt/apt.conf.d/. "$root/etc/apt/apt.conf.d/"
[ ! -d /etc/apt/auth.conf.d ] || cp -r /etc/apt/auth.conf.d/. "$root/etc/apt/auth.conf.d/"
git clone -q "$checkout" "$root/src"
mkdir -p "$root/root/.cache/quarvelt-tc"

# Runs a line in the clone as root's login would, in a mount and a process namespace of its
# own, which its mounts and every process it started leave with it however it ends.
in_root() {
	# shellcheck disable=SC2016 # the inner shell expands its own arguments
	unshare --mount --pid --fork --kill-child -- sh -c 'mount -t proc proc "$1/proc" &&
		mount --rbind /dev "$1/dev" && mount --bind "$2" "$1/root/.cache/quarvelt-tc" &&
		exec chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb PATH="$4" \
			/bin/bash -c "cd /src && $3"' - "$root" "${entry%/*}" "$1" \
		/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
}
passed_all() { grep -q '^100% tests passed, 0 tests failed out of [1-9]' "$1" || fail "$2 ($1)"; }

log=${mode:-commands}
rm -f "$top/$log"-*.log
if [ "$mode" = device ]; then
	device=$(readme_lines "Build for the device" "$root/src/README.md")
	sdk=$(sed -n 's/.*-DMIPS_MUSL_SF_SYSROOT=\([^ ]*\)\/sysroot.*/\1/p' <<<"$device")
	[ -n "$sdk" ] || fail "the README's device lines name no SDK sysroot"
	lines=(scripts/device/{check,boot}-target.sh "scripts/device/standin-sdk.sh $sdk")
	mapfile -t -O 3 lines <<<"$device"
else
	lines=("$(readme_lines "Run it" "$root/src/README.md")")
	mapfile -t -O 1 lines < <(readme_lines "Test it" "$root/src/README.md")
	[ "$mode" = all ] || lines=("${lines[@]:0:2}")
fi
for ((i = 0; i < ${#lines[@]}; i++)); do
	echo "   $ ${lines[$i]}"
	long_step "$suite: $log-$i" "$top/$log-$i.log" in_root "${lines[$i]}"
done
if [ "$mode" = device ]; then
	passed_all "$top/$log-$((i - 1)).log" "the device lines' tests did not all pass"
else
	grep -xF -A 1 "$(<"$root/src/tests/report-line.txt")" "$top/$log-0.log" | tail -n 1 |
		grep -qx 'exit status 255' ||
		fail "\"Run it\" did not print the report line and \"exit status 255\" ($top/$log-0.log)"
	passed_all "$top/$log-1.log" "\"Test it\" did not pass every test"
fi
echo "== $suite root: the README's lines hold"
