#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs those of the given Debian packages that are not installed yet.
# Usage: scripts/apt-need.sh PACKAGE...
set -eu
missing=
for pkg in "$@"; do
	dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
