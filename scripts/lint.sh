#!/bin/sh
# Static checks over the sources: formatting, clang-tidy and cppcheck; any finding fails.
# Usage: scripts/lint.sh [BUILD_DIR]   (a configured build with compile_commands.json)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/dev}

clang-format --dry-run --Werror include/*.h src/*.cpp tests/*.cpp tests/*.c
clang-tidy --quiet -p "$build" src/*.cpp tests/*.cpp tests/*.c
cppcheck --quiet --error-exitcode=1 --inline-suppr \
	--enable=warning,style,performance,portability \
	--library=googletest --library=posix \
	--suppress=missingIncludeSystem -I include src tests
