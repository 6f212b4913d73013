#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing of the given Debian packages, so that a command starts on a bare machine.
#
#   scripts/apt-need.sh PACKAGE...
#
# Does nothing when all are installed.  Run by another user than root, it
# names the missing packages and how to install them, and fails.  Where there
# is no dpkg, it names what is needed, by Debian's package names, and goes on.
set -euo pipefail
if ! command -v dpkg-query >/dev/null; then
	echo "$0: no Debian or Ubuntu system; make sure these are installed (Debian's names): $*" >&2
	exit 0
fi
missing=()
for pkg in "$@"; do
	status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
	[ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -gt 0 ] || exit 0
if [ "$(id -u)" -ne 0 ]; then
	echo "$0: missing ${missing[*]}; as root: apt-get update && apt-get install ${missing[*]}" >&2
	exit 1
fi
echo "== installing ${missing[*]}"
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
