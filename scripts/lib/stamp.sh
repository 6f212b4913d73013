# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Builds kept in the user's cache while the stamp of what they were made from holds.
# Usage: . scripts/lib/stamp.sh
#   made_from FILE... [-- PACKAGE...]   the stamp: FILEs' checksums, packages' versions, $release
#   cached WHAT KIND MADE OUTPUT...     locks KIND's cache entry, sets $entry to it; succeeds when
#                                       it has MADE's stamp and every OUTPUT, else empties it
#   stamped                             stamps the entry once it has every OUTPUT
#   delivered DIR                       makes DIR a whole copy of the entry
release=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)

made_from() {
	for file; do
		[ "$file" != -- ] || break
		printf 'file %s %s\n' "${file##*/}" "$(sha256sum <"$file" | cut -d ' ' -f 1)"
		shift
	done
	[ $# -lt 2 ] || dpkg-query -W -f='${db:Status-Status} ${Package} ${Version}\n' "${@:2}" |
		sed -n 's/^installed /package /p' | sort
	echo "release $release"
}

cached() {
	local cache=${XDG_CACHE_HOME:-$HOME/.cache}/quarvelt-tc
	stamp_what=$1 stamp_made=$3 stamp_outputs=("${@:4}") stamp_start=$SECONDS entry=$cache/$2
	mkdir -p "$cache" && exec {stamp_lock}>"$entry.lock" && flock "$stamp_lock"
	[ "$(cat "$entry/stamp" 2>/dev/null)" = "$stamp_made" ] && stamp_has "$entry" &&
		echo "== $stamp_what: reused from $entry" && return 0
	echo "== $stamp_what: making it in $entry"
	rm -rf --one-file-system "$entry" && mkdir -p "$entry" && return 1
}

stamped() {
	stamp_has "$entry" || { echo "$0: $stamp_what lacks one of ${stamp_outputs[*]}" >&2 && return 1; }
	echo "$stamp_made" >"$entry/stamp" &&
		echo "== $stamp_what: made in $((SECONDS - stamp_start)) s, $(du -sh "$entry" | cut -f 1)"
}

delivered() {
	{ cmp -s "$entry/stamp" "$1/stamp" && stamp_has "$1"; } && return
	rm -rf --one-file-system "$1" "$1.new" && cp -a "$entry" "$1.new" && mv "$1.new" "$1"
}

stamp_has() { (cd "$1" && ls -d -- "${stamp_outputs[@]}") >/dev/null 2>&1; }
