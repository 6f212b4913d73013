# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Debian source packages, fetched through the machine's own apt entries, its apt setup untouched.
# Usage: . scripts/lib/apt-source.sh   (after scripts/lib/long-step.sh)
#   apt_source DIR LOG ARG...     `apt-get source --download-only ARG...` into DIR/src, with the
#                                 machine's deb entries as deb-src ones in DIR/apt
apt_source() {
	local dir=$1 log=$2
	mkdir -p "$dir"/apt/{sources.list.d,lists/partial} "$dir/src"
	# shellcheck disable=SC2016 # apt's own field syntax
	apt-get indextargets --format 'deb-src $(REPO_URI) $(RELEASE) $(COMPONENT)' \
		'Identifier: Packages' | sort -u >"$dir/apt/sources.list.d/machine.list"
	apt_source_cmd=(apt-get -q -o Dir::Etc::SourceList=/dev/null -o APT::Sandbox::User=root
		-o "Dir::Etc::SourceParts=$dir/apt/sources.list.d" -o "Dir::State::Lists=$dir/apt/lists")
	long_step "sources: ${*:3}" "$log" apt_source_get "$dir/src" "${@:3}"
}

apt_source_get() {
	# An archive that serves no sources only warns.
	"${apt_source_cmd[@]}" update || echo "some deb-src entries could not be read"
	cd "$1" && "${apt_source_cmd[@]}" source --download-only "${@:2}"
}
