# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# long_step: runs a long build step with its output in a log, showing meanwhile that it is alive.
#
#   . scripts/lib/long-step.sh
#   long_step WHAT LOG COMMAND [ARG...]
#
# COMMAND, maybe a shell function, appends its output to LOG.  The step says
# when it starts, every 15 s how long it has run and its last line, and how
# long it took; when COMMAND fails, the end of its log goes to stderr and its
# status is returned.  An interrupt, hang-up or termination of the script ends
# the step's whole process group (make and its compilers, apt and its methods).
long_step() {
	local what=$1 log=$2 start=$SECONDS rc=0 next before
	shift 2
	before=$(wc -c 2>/dev/null <"$log" || echo 0)
	echo "-- $what (log: $log)"
	# With job control the job has a process group of its own, which the traps
	# below end as a whole.  It reads nothing from the terminal: a read would
	# stop it, and wget would then write its log into the working directory.
	set -m
	"$@" </dev/null >>"$log" 2>&1 &
	long_step_pid=$!
	set +m
	trap 'long_step_abort INT' INT && trap 'long_step_abort TERM' TERM && trap 'long_step_abort HUP' HUP
	next=$((start + 15))
	while kill -0 "$long_step_pid" 2>/dev/null; do
		sleep 1
		if [ "$SECONDS" -ge "$next" ]; then
			printf '   %s: %d s, %d lines logged, last: %.100s\n' "$what" $((SECONDS - start)) \
				"$(wc -l <"$log")" "$(tail -n 1 "$log")"
			next=$((next + 15))
		fi
	done
	wait "$long_step_pid" || rc=$?
	trap - INT TERM HUP
	if [ "$rc" -ne 0 ]; then
		tail -c +$((before + 1)) "$log" | tail -n 40 >&2
		echo "-- $what: failed with status $rc after $((SECONDS - start)) s; the whole log: $log" >&2
		return "$rc"
	fi
	echo "-- $what: done in $((SECONDS - start)) s"
}

long_step_abort() {
	kill -TERM -- "-$long_step_pid" 2>/dev/null || true
	wait "$long_step_pid" 2>/dev/null || true
	echo "-- stopped by SIG$1" >&2
	trap - "$1"
	kill -"$1" $$
}
