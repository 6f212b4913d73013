# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# long_step: runs a long build step with its output in a log, showing meanwhile that it is alive.
#
#   . scripts/long-step.sh
#   long_step WHAT LOG COMMAND [ARG...]
#
# COMMAND, which may be a shell function, appends its output to LOG.  The step
# says when it starts, every 15 s how long it has run and the last line it has
# logged, and at its end how long it took.  When COMMAND fails, the end of LOG
# is shown on stderr and long_step returns COMMAND's status.
long_step() {
	local what=$1 log=$2 start=$SECONDS pid rc=0 next
	shift 2
	echo "-- $what (log: $log)"
	"$@" >>"$log" 2>&1 &
	pid=$!
	next=$((start + 15))
	while kill -0 "$pid" 2>/dev/null; do
		sleep 1
		if [ "$SECONDS" -ge "$next" ]; then
			printf '   %s: %d s, %d lines logged, last: %.100s\n' "$what" $((SECONDS - start)) \
				"$(wc -l <"$log")" "$(tail -n 1 "$log")"
			next=$((next + 15))
		fi
	done
	wait "$pid" || rc=$?
	if [ "$rc" -ne 0 ]; then
		tail -n 40 "$log" >&2
		echo "-- $what: failed with status $rc after $((SECONDS - start)) s; the whole log: $log" >&2
		return "$rc"
	fi
	echo "-- $what: done in $((SECONDS - start)) s"
}
