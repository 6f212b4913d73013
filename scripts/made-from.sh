#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prints what a build is made from: each file's checksum and each installed Debian package's version.
#
#   scripts/made-from.sh FILE... [-- PACKAGE...]
#
# A PACKAGE may be a pattern, as dpkg-query takes it; each must match an
# installed package.  A build stamped with this output is still right while
# the output stays the same.
set -euo pipefail
while [ $# -gt 0 ] && [ "$1" != -- ]; do
	printf 'file %s %s\n' "$(basename "$1")" "$(sha256sum <"$1" | cut -d ' ' -f 1)"
	shift
done
if [ $# -gt 1 ]; then
	shift
	dpkg-query -W -f='${db:Status-Status} ${Package} ${Version}\n' "$@" | sed -n 's/^installed /package /p' | sort
fi
