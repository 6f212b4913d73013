#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the README's commands, read from README.md, in a fresh clone inside a bare Debian root.
#
#   scripts/clean-root.sh SUITE [all|device]   (SUITE: trixie, bookworm, bullseye, ...)
#
# As sbuild and pbuilder prove build dependencies, the root holds only what
# debootstrap's minbase variant installs, so a package that a command's
# apt-need list lacks shows as a failure.  The root comes from the mirror that
# serves this machine's own Debian release, with this machine's apt settings;
# a suite the mirror no longer serves fails here and says so.  The bare root
# is made once in build/clean-root/SUITE/bare, stamped with what it was made
# from, and reused while that holds; each run copies it afresh, clones the
# checkout's HEAD into the copy and, as root under chroot, runs:
#   - the line under "Run it", which must print the report line and then
#     "exit status 255";
#   - the first line under "Test it", which must pass every test;
#   - with "all", the further lines under "Test it" (the presets' workflows,
#     the static checks and the benchmark, which need CMake 3.25).
# With "device", only the lines under "Build for the device", whose tests must
# all pass, in a root holding beside the clone just Debian's cross compiler and
# the stand-in SDK (scripts/device/standin-sdk.sh), copied to the path those
# lines name.  Each step's output is in build/clean-root/SUITE/*.log.
set -euo pipefail
mode=${2:-}
if [ $# -lt 1 ] || [ $# -gt 2 ] || [[ ! $mode =~ ^(|all|device)$ ]]; then
	echo "usage: $0 SUITE [all|device]" >&2
	exit 2
fi
suite=$1
here=$(cd "$(dirname "$0")" && pwd)
checkout=$(cd "$here/.." && pwd)
top=$checkout/build/clean-root/$suite
bare=$top/bare
root=$top/root
fail() {
	echo "$0: $suite: $*" >&2
	exit 1
}

[ "$(id -u)" -eq 0 ] || { echo "$0: debootstrap and chroot need root" >&2; exit 2; }
"$here/apt-need.sh" debootstrap git
# shellcheck source=scripts/lib/long-step.sh
. "$here/lib/long-step.sh"
# shellcheck source=scripts/lib/stamp.sh
. "$here/lib/stamp.sh"
# shellcheck source=scripts/lib/proofs.sh
. "$here/lib/proofs.sh"

# The URI of the machine's own deb entry for its release, as apt reads it.
release=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
# shellcheck disable=SC2016 # apt's own field syntax
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Release: $release" "Identifier: Packages" | head -n 1)
[ -n "$mirror" ] || { echo "$0: no deb entry for $release in apt's sources" >&2; exit 1; }

mkdir -p "$top"
made=$(printf 'suite %s\nmirror %s\n' "$suite" "$mirror"; made_from "$0" -- debootstrap)
if up_to_date "$made" "$top" bare/bin/bash; then
	echo "== $suite root: $bare is up to date"
else
	echo "== $suite root: minbase from $mirror"
	rm -rf --one-file-system "$bare" "$top/stamp"
	long_step "debootstrap $suite" "$top/debootstrap.log" debootstrap --variant=minbase "$suite" "$bare" "$mirror" ||
		fail "the mirror $mirror does not serve it, or debootstrap failed there"
	echo "$made" >"$top/stamp"
fi

rm -rf --one-file-system "$root"
long_step "fresh copy of the $suite root" "$top/copy.log" cp -a "$bare" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp -r /etc/apt/apt.conf.d/. "$root/etc/apt/apt.conf.d/"
if [ -d /etc/apt/auth.conf.d ]; then
	cp -r /etc/apt/auth.conf.d/. "$root/etc/apt/auth.conf.d/"
fi
git clone -q "$checkout" "$root/src"
report=$(<"$root/src/tests/report-line.txt")

# Runs a line in the clone inside the root, with the environment of a login of
# root's.  The line has a mount and a process namespace of its own: the root's
# /proc and /dev go with it however it ends, and so does every process it
# started, dpkg in the session apt gives it included.
in_root() {
	# shellcheck disable=SC2016 # the inner shell expands its own arguments
	unshare --mount --pid --fork --kill-child -- sh -c 'mount -t proc proc "$1/proc" && mount --rbind /dev "$1/dev" &&
		exec chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
			PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -c "cd /src && $2"' - "$root" "$1"
}
step() { # name, the README line
	echo "   $ $2"
	long_step "$suite: $1" "$top/$1.log" in_root "$2"
}
passed_all() { # log
	grep -q '^100% tests passed, 0 tests failed out of [1-9]' "$1"
}

# Each mode clears only its own logs, so that both modes' logs of one suite stay.
if [ "$mode" = device ]; then
	rm -f "$top"/device-*.log
	device=$(readme_lines "Build for the device" "$root/src/README.md")
	mapfile -t device_lines <<<"$device"
	sdk=$(sed -n 's/.*-DMIPS_MUSL_SF_SYSROOT=\([^ ]*\)\/sysroot.*/\1/p' <<<"$device")
	[ -n "$sdk" ] || fail "the README's device lines name no SDK sysroot"
	standin=$(preset_env QUARVELT_TC_SDK)
	"$here/device/standin-sdk.sh" "$standin"
	mkdir -p "$root$sdk"
	cp -a "$standin/." "$root$sdk/"
	# The cross compiler's packages that the SDK was made from, as its stamp lists them.
	step device-cross "scripts/apt-need.sh $(sed -n 's/^package \([^ ]*\) .*/\1/p' "$standin/stamp" | tr '\n' ' ')"
	for ((i = 0; i < ${#device_lines[@]}; i++)); do
		step "device-$i" "${device_lines[$i]}"
	done
	passed_all "$top/device-$((i - 1)).log" ||
		fail "the device lines' tests did not all pass ($top/device-$((i - 1)).log)"
	echo "== $suite root: the README's device lines hold with an SDK in $sdk"
	exit 0
fi

rm -f "$top"/*-it.log "$top"/line-*.log
run_it=$(readme_lines "Run it" "$root/src/README.md")
test_it_lines=$(readme_lines "Test it" "$root/src/README.md")
mapfile -t test_it <<<"$test_it_lines"

step run-it "$run_it"
grep -xF -A 1 "$report" "$top/run-it.log" | tail -n 1 | grep -qx 'exit status 255' ||
	fail "\"Run it\" did not print the report line and then \"exit status 255\" ($top/run-it.log)"

step test-it "${test_it[0]}"
passed_all "$top/test-it.log" || fail "\"Test it\" did not pass every test ($top/test-it.log)"

if [ "$mode" = all ]; then
	for ((i = 1; i < ${#test_it[@]}; i++)); do
		step "line-$i" "${test_it[$i]}"
	done
fi
echo "== $suite root: the README's commands hold"
