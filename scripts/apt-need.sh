#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing of the given Debian packages, so that a command starts on a bare machine.
# Usage: scripts/apt-need.sh PACKAGE...   (not as root, it names the missing ones and fails)
set -euo pipefail
command -v dpkg-query >/dev/null ||
	{ echo "$0: no dpkg here; make sure these are installed (Debian's names): $*" >&2 && exit 0; }
missing=()
for pkg; do
	dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed$' || missing+=("$pkg")
done
[ ${#missing[@]} -gt 0 ] || exit 0
[ "$(id -u)" -eq 0 ] ||
	{ echo "$0: missing; as root: apt-get update && apt-get install ${missing[*]}" >&2 && exit 1; }
echo "== installing ${missing[*]}"
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
