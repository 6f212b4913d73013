#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a ctest log lists tests that did not run (skipped or not built), but for those ALLOWED matches.
#
#   scripts/all-ran.sh LOG [ALLOWED]   (ALLOWED: an extended regular expression over ctest's lines)
set -euo pipefail
skipped=$(awk '/^The following tests did not run:/ { on = 1; next } on && /^\t/ { print; next } { on = 0 }' "$1")
if [ -n "${2:-}" ]; then
	skipped=$(grep -Ev -- "$2" <<<"$skipped" || true)
fi
if [ -n "$skipped" ]; then
	printf '%s: tests that did not run:\n%s\n' "$1" "$skipped" >&2
	exit 1
fi
