#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time of quarvelt-tc builds against /bin/true and a static musl floor, by hyperfine.
# Usage: scripts/bench.sh [PROGRAM...]   (default: build/release/quarvelt-tc, built first)
#
# The floor is the least a run can cost: a C program linked statically against
# musl that makes the same single write and exits 255.  A run costs well under
# a millisecond, so the machine's noise is of the same order as the
# differences: the commands are timed in several interleaved rounds, and each
# one's figure is the median of its per-round medians.  Ratios are to /bin/true
# and to the floor.  Each program's user-space instruction count under
# valgrind, which does not vary from run to run, is printed as well.
# BENCH_ROUNDS and BENCH_RUNS set the rounds and each command's runs in a
# round (21 and 150).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/apt-need.sh hyperfine musl-tools valgrind
if [ $# -eq 0 ]; then
	cmake --preset release >/dev/null
	cmake --build --preset release >/dev/null
	set -- build/release/quarvelt-tc
fi
rounds=${BENCH_ROUNDS:-21}
runs=${BENCH_RUNS:-150}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/floor.c" <<'C'
#include <unistd.h>
int main(void)
{
	static const char line[] = "QUARVELT_TC: QUARVELT_TestClient: Ubus framework not available!\n";
	write(1, line, sizeof line - 1);
	return 255;
}
C
musl-gcc -O2 -static -s -o "$tmp/floor" "$tmp/floor.c"
set -- "$@" "$tmp/floor"

i=0
while [ $i -lt "$rounds" ]; do
	i=$((i + 1))
	hyperfine --shell=none --ignore-failure --warmup 20 --runs "$runs" --style none \
		--export-json "$tmp/round$i.json" /bin/true "$@" >/dev/null 2>"$tmp/log" ||
		{ cat "$tmp/log" >&2; exit 1; }
done

for p in /bin/true "$@"; do
	# valgrind exits with the program's own status, 255 for quarvelt-tc.
	n=$({ valgrind --tool=callgrind --callgrind-out-file=/dev/null "$p" 2>&1 >/dev/null || true; } |
		sed -n 's/.*Collected : *//p')
	[ -n "$n" ] || { echo "$0: valgrind counted no instructions of $p" >&2; exit 1; }
	printf '%s\t%s\n' "$p" "$n"
done >"$tmp/instructions"

awk -v floor="$tmp/floor" -v counts="$tmp/instructions" '
	/"command":/ { sub(/.*"command": "/, ""); sub(/",?$/, ""); cmd = $0
		       if (!(cmd in seen)) { seen[cmd] = 1; order[++n] = cmd } }
	/"median":/ { sub(/.*"median": /, ""); sub(/,$/, ""); k[cmd]++; m[cmd, k[cmd]] = $0 + 0 }
	function median(c,    i, j, t, r) {
		r = k[c]
		for (i = 1; i <= r; i++) v[i] = m[c, i]
		for (i = 2; i <= r; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
		return r % 2 ? v[(r + 1) / 2] : (v[r / 2] + v[r / 2 + 1]) / 2
	}
	END {
		while ((getline line < counts) > 0) { split(line, col, "\t"); ins[col[1]] = col[2] }
		for (i = 1; i <= n; i++) med[order[i]] = median(order[i])
		t = med["/bin/true"]; f = med[floor]
		printf "%-40s %12s %10s %10s %13s\n", "program", "median (us)", "/bin/true", "floor", "instructions"
		for (i = 1; i <= n; i++) {
			c = order[i]
			printf "%-40s %12.1f %10.3f %10.3f %13s\n", c == floor ? "floor (static musl, write only)" : c,
				med[c] * 1e6, med[c] / t, med[c] / f, ins[c]
		}
	}' "$tmp"/round*.json
