# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# long_step: runs a long build step with its output in a log, showing meanwhile that it is alive.
# Usage: . scripts/lib/long-step.sh
#   long_step WHAT LOG COMMAND [ARG...]   COMMAND, maybe a shell function, appends to LOG
# On failure the log's end goes to stderr; a signal ends the step's process group, then the script.
long_step() {
	local what=$1 log=$2 start=$SECONDS rc=0 next=$((SECONDS + 15)) before
	before=$(wc -c 2>/dev/null <"$log" || echo 0)
	echo "-- $what (log: $log)"
	# With job control the job has a process group of its own; it reads no terminal.
	set -m
	"${@:3}" </dev/null >>"$log" 2>&1 &
	long_step_pid=$!
	set +m
	trap 'long_step_abort INT' INT && trap 'long_step_abort TERM' TERM &&
		trap 'long_step_abort HUP' HUP
	while kill -0 "$long_step_pid" 2>/dev/null; do
		sleep 1 && [ "$SECONDS" -ge "$next" ] && next=$((next + 15)) &&
			printf '   %s: %d s, last: %.100s\n' "$what" $((SECONDS - start)) "$(tail -n 1 "$log")"
	done
	wait "$long_step_pid" || rc=$?
	trap - INT TERM HUP
	[ "$rc" -ne 0 ] || { echo "-- $what: done in $((SECONDS - start)) s"; return; }
	tail -c +$((before + 1)) "$log" | tail -n 40 >&2
	echo "-- $what: failed with status $rc after $((SECONDS - start)) s; whole log: $log" >&2
	return "$rc"
}

long_step_abort() {
	kill -TERM -- "-$long_step_pid" 2>/dev/null || true
	wait "$long_step_pid" 2>/dev/null || true
	trap - "$1"
	kill -"$1" $$
}
