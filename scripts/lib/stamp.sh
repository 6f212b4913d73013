# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Stamps of what a build was made from, so that it is reused only while they still hold.
#
#   . scripts/lib/stamp.sh
#   made_from FILE... [-- PACKAGE...]   prints each FILE's checksum and each installed Debian
#                                       package's version (a PACKAGE may be a pattern, as
#                                       dpkg-query takes it, and must match one)
#   up_to_date MADE DIR OUTPUT...       succeeds when DIR/stamp holds MADE and every OUTPUT,
#                                       a path under DIR, is there
#
# A build writes MADE, what made_from printed with anything else it depends on,
# to DIR/stamp once all its outputs are in place.
made_from() {
	while [ $# -gt 0 ] && [ "$1" != -- ]; do
		printf 'file %s %s\n' "$(basename "$1")" "$(sha256sum <"$1" | cut -d ' ' -f 1)"
		shift
	done
	if [ $# -gt 1 ]; then
		shift
		dpkg-query -W -f='${db:Status-Status} ${Package} ${Version}\n' "$@" | sed -n 's/^installed /package /p' | sort
	fi
}

up_to_date() {
	local made=$1 dir=$2 f
	shift 2
	[ "$(cat "$dir/stamp" 2>/dev/null)" = "$made" ] || return 1
	for f; do
		[ -e "$dir/$f" ] || return 1
	done
}
