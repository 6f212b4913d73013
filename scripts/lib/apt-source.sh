# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Debian source packages, fetched with the machine's own apt entries and its apt configuration untouched.
#
#   . scripts/lib/apt-source.sh   (after scripts/lib/long-step.sh)
#   apt_source DIR LOG ARG...     downloads into DIR/src what `apt-get source --download-only ARG...` does
#
# The machine's deb entries, as apt reads them, become deb-src ones in a
# private apt state in DIR/apt, read once a script.  apt fetches as root into
# root's directories.  An entry whose archive serves no sources only warns.
apt_source() {
	local dir=$1 log=$2
	shift 2
	if [ -z "${apt_source_cmd:-}" ]; then
		mkdir -p "$dir"/apt/{sources.list.d,lists/partial} "$dir/src"
		# shellcheck disable=SC2016 # apt's own field syntax
		apt-get indextargets --format 'deb-src $(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
			sort -u >"$dir/apt/sources.list.d/machine.list"
		apt_source_cmd=(apt-get -q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$dir/apt/sources.list.d"
			-o "Dir::State::Lists=$dir/apt/lists" -o APT::Sandbox::User=root)
		long_step "deb-src lists" "$log" apt_source_lists
	fi
	long_step "sources: $*" "$log" apt_source_get "$dir/src" "$@"
}

apt_source_lists() { "${apt_source_cmd[@]}" update || echo "some deb-src entries could not be read"; }
apt_source_get() { cd "$1" && "${apt_source_cmd[@]}" source --download-only "${@:2}"; }
