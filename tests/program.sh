#!/bin/sh
# SPDX-License-Identifier: MIT
# The program suite: quarvelt-tc's command lines and standard-output targets, a line a case.
#
#   sh program.sh [--entry] PROGRAM [PREFIX...]
#
# Runs PROGRAM, through PREFIX where given (an emulator and its options), once
# a row.  Each row checks the exit status, that standard error stays empty and,
# where standard output can be read back, its bytes: the line in
# report-line.txt beside this script.  With --entry, PROGRAM is the entry
# probe, the entry linked with a stand-in routine, and its output must show the
# count the entry got and the socket and object name it handed on.  Needs only
# a POSIX shell and the tools a device's busybox has; prints a line a row and
# "N passed, M failed", and exits non-zero when a row failed.
set +e -u
entry=
[ "${1:-}" != --entry ] || { entry=1 && shift; }
if [ $# -lt 1 ]; then
	echo "usage: sh $0 [--entry] PROGRAM [PREFIX...]" >&2
	exit 2
fi
line=$(dirname "$0")/report-line.txt
# shellcheck disable=SC2034 # launch names it in the text it evaluates
program=$1
shift
# The prefix's words, each quoted for eval.
prefix=
for word; do
	word=$(printf '%sx' "$word" | sed "s/'/'\\\\''/g")
	prefix="$prefix '${word%x}'"
done
tmp=
trap '[ -z "$tmp" ] || rm -rf "$tmp"' EXIT
trap 'exit 130' HUP INT TERM
trap 'exit 141' PIPE
tmp=$(mktemp -d) || exit 1
passed=0
failed=0

# Runs the program with the arguments, leaving its exit status and standard
# error in $tmp.
launch() {
	eval "$prefix \"\$program\" \"\$@\"" 2>"$tmp/err"
	echo $? >"$tmp/status"
}

# A caller that ignores SIGPIPE hands that on to every child, and no shell can
# restore it; a write to a pipe without a reader then fails with EPIPE instead.
sigpipe_ignored() {
	mask=$(sed -n 's/^SigIgn:.*\(....\)$/\1/p' /proc/self/status 2>/dev/null)
	[ -n "$mask" ] && [ $((0x$mask & 0x1000)) -ne 0 ]
}

# row NAME STDOUT STATUS OBJECT [ARG...]: runs the program with the arguments,
# standard output going to STDOUT (pipe, file, closed, full, or gone, a pipe
# whose reader has closed it before the program starts), and expects STATUS;
# with --entry, OBJECT is the object name the entry must hand the routine.
row() {
	name=$1 target=$2 status=$3 object=$4
	shift 4
	: >"$tmp/out"
	rm -f "$tmp/status"
	case $target in
	pipe) launch "$@" | cat >"$tmp/out" ;;
	file) launch "$@" >"$tmp/out" ;;
	closed) launch "$@" >&- ;;
	full) launch "$@" >/dev/full ;;
	gone)
		rm -f "$tmp/fifo"
		mkfifo "$tmp/fifo"
		# Linux opens a FIFO for reading and writing at once, so fd 4, the only
		# reader while fd 3 opens, needs no process of its own.
		exec 4<>"$tmp/fifo"
		exec 3>"$tmp/fifo" 4<&-
		launch "$@" >&3 3>&-
		exec 3>&-
		;;
	*) echo "row $name: no standard output $target" >&2 && exit 2 ;;
	esac
	if [ "$target" != pipe ] && [ "$target" != file ]; then
		: >"$tmp/want"
	elif [ -n "$entry" ]; then
		printf 'argc %d\nsocket [/var/run/ubus/ubus.sock] object [%s]\nstatus -1\n' $(($# + 1)) "$object" >"$tmp/want"
	else
		cp "$line" "$tmp/want"
	fi
	got=$(cat "$tmp/status")
	if [ "$got" = "$status" ] && [ ! -s "$tmp/err" ] && cmp -s "$tmp/out" "$tmp/want"; then
		echo "ok    $name"
		passed=$((passed + 1))
		return
	fi
	echo "FAIL  $name: exit status $got (want $status); stdout, then stderr:"
	od -c "$tmp/out" | head -n 8
	head -c 1000 "$tmp/err"
	[ "$target$got" != gone255 ] || ! sigpipe_ignored ||
		echo "      the suite's caller ignores SIGPIPE, which its children inherit: run it from one that does not"
	failed=$((failed + 1))
}

default=dsl.bonding_group.0
# Blanks at either end, quotes, a backslash, format directives and bytes that
# are no text, the last a line feed; the X keeps that from being stripped.
raw=$(printf '  %%s%%n%%x"\\c$\377\001 \nX')
raw=${raw%X}
long=dsl.$(printf '%065536d' 0 | tr 0 a)

#   name                 stdout  status  object      arguments
row no_argument          pipe    255     $default
row one_name             pipe    255     dsl.line.1  dsl.line.1
row empty_string         pipe    255     ''          ''
row three_arguments      pipe    255     -           - dsl.line.1 -h
row double_dash          pipe    255     --          -- dsl.line.1
row leading_dash         pipe    255     -h          -h
row format_and_raw_bytes pipe    255     "$raw"      "$raw"
row long_name            pipe    255     "$long"     "$long"
row file                 file    255     dsl.line.1  dsl.line.1
row closed               closed  255     $default
row full                 full    255     $default
row reader_gone          gone    141     $default

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
