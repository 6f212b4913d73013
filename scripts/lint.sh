#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Static checks of the sources, shell scripts, licence notices and manual page; any finding fails.
# Usage: scripts/lint.sh [BUILD_DIR]   (a configured build, with compile_commands.json; build/dev)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
[[ -f $build/compile_commands.json && -f $build/man/quarvelt-tc.1 ]] ||
	{ echo "$0: $build is no configured build: configure dev, or name one" >&2 && exit 2; }
scripts/apt-need.sh clang-format clang-tidy cppcheck shellcheck reuse mandoc man-db
log=$(mktemp)
trap 'rm -f "$log"' EXIT

clang-format --dry-run --Werror include/*.h src/*.cpp tests/*.cpp tests/*.c
# A file at a time, so that the step shows it is alive; of stderr only warning counts are dropped.
status=0
for f in src/*.cpp tests/*.cpp tests/*.c; do
	echo "clang-tidy $f"
	clang-tidy --quiet -p "$build" "$f" 2>"$log" || status=1
	grep -Ev '^[0-9]+ warnings? generated\.$' "$log" >&2 || true
done
[ "$status" -eq 0 ]
# Newer cppcheck limits its analysis of branches, and says so, unless told otherwise.
level=()
! cppcheck --help | grep -q -- --check-level || level=(--check-level=exhaustive)
cppcheck --quiet --error-exitcode=1 --inline-suppr "${level[@]}" --library=posix \
	--enable=warning,style,performance,portability --suppress=missingIncludeSystem -I include src tests
shellcheck -x .ci/run scripts/*.sh scripts/*/*.sh tests/*.sh cmake/wrappers/musl-g++
reuse lint >"$log" 2>&1 || { cat "$log" >&2; exit 1; }

# The page as configured for the build, read by mandoc and by man-db's groff.
mandoc -Tlint -W warning "$build/man/quarvelt-tc.1" >"$log" 2>&1 || true
man --warnings -l "$build/man/quarvelt-tc.1" 2>>"$log" >/dev/null || true
[ ! -s "$log" ] || { cat "$log" >&2 && exit 1; }
