#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up cost of quarvelt-tc against /bin/true and a static musl floor; holds instruction counts.
# Usage: scripts/bench.sh [PROGRAM...]   (without one, the release preset's program, built first)
# The floor makes the same write and exits 255.  Medians of BENCH_RUNS runs are shown, not
# held, as a run costs less than the machine's noise; held is each PROGRAM's instruction count
# under valgrind, at most BENCH_MARGIN percent over /bin/true's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/apt-need.sh hyperfine musl-tools valgrind cmake make g++
[ $# -gt 0 ] || { cmake --preset release >/dev/null; cmake --build --preset release >/dev/null
	set -- build/release/quarvelt-tc; }
margin=${BENCH_MARGIN:-25}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

printf '#include <unistd.h>\nint main(void) { write(1, "%s\\n", %d); return 255; }\n' \
	"$(<tests/report-line.txt)" "$(($(wc -c <tests/report-line.txt)))" |
	musl-gcc -O2 -static -s -x c -o "$tmp/floor" -

hyperfine --shell=none --ignore-failure --warmup 20 --runs "${BENCH_RUNS:-300}" --style none \
	--export-json "$tmp/times.json" /bin/true "$@" "$tmp/floor" >/dev/null 2>"$tmp/log" ||
	{ cat "$tmp/log" >&2; exit 1; }
mapfile -t medians < <(sed -n 's/^ *"median": \([0-9.e-]*\),$/\1/p' "$tmp/times.json")

status=0 i=0
printf '%-40s %12s %10s %13s %10s\n' program "median (us)" /bin/true instructions /bin/true
for p in /bin/true "$@" "$tmp/floor"; do
	# valgrind exits with the program's own status, 255 for quarvelt-tc.
	n=$({ valgrind --tool=callgrind --callgrind-out-file=/dev/null "$p" 2>&1 >/dev/null || true; } |
		sed -n 's/.*Collected : *//p')
	[ -n "$n" ] || { echo "$0: valgrind counted no instructions of $p" >&2; exit 1; }
	[ "$i" -gt 0 ] || base=$n
	name=${p/#$tmp\/floor/floor (static musl, write only)}
	awk -v p="$name" -v m="${medians[$i]}" -v t="${medians[0]}" -v n="$n" -v b="$base" \
		'BEGIN { printf "%-40s %12.1f %10.3f %13d %10.3f\n", p, m * 1e6, m / t, n, n / b }'
	[ "$n" -le $((base * (100 + margin) / 100)) ] || { status=1 &&
		echo "$0: $p runs $n instructions, over $((100 + margin))% of /bin/true's $base" >&2; }
	i=$((i + 1))
done
exit "$status"
