#!/bin/sh
# SPDX-License-Identifier: MIT
# The program suite: quarvelt-tc's command lines and standard-output targets, a line a case.
# Usage: sh program.sh [--entry] PROGRAM [PREFIX...]   runs PROGRAM through PREFIX (an emulator)
#        sh program.sh --tools | --rows                names the tools it runs, or its rows
# A row checks the exit status, an empty stderr and stdout: report-line.txt beside this script
# or, with --entry, what the entry probe shows.  A set-up that falls short stops the suite.
# The suite judges each failure itself.  hush has no -u and refuses it.  Lengths count bytes.
set +e
(set -u) 2>&- && set -u
LC_ALL=C tools='cat cmp mkdir mkfifo od rm sed' default=dsl.bonding_group.0

# row NAME STDOUT STATUS OBJECT [ARG...]: stdout goes to STDOUT (gone: a pipe whose reader has
# left); OBJECT is the object name the entry hands the routine.
table() {
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
}

entry=
case ${1:-} in
--tools) echo "$tools" && exit ;;
--rows) row() { echo "$1"; } && raw='' long='' && table && exit ;;
--entry) entry=1 && shift ;;
esac
[ $# -ge 1 ] || { echo "usage: sh $0 [--entry] PROGRAM [PREFIX...]" >&2 && exit 2; }
case $0 in */*) line=${0%/*}/report-line.txt ;; *) line=report-line.txt ;; esac
set -- "$@" "$1" && shift

stop() { printf '%s: %s; no row was run\n' "$0" "$*" >&2 && exit 2; }
# Looks in PATH itself: the smallest ash has no "command".
on_path() (IFS=: && for d in $PATH; do [ -f "$d/$1" ] && [ -x "$d/$1" ] && exit; done; exit 1)
for tool in $tools; do on_path "$tool" || stop "$tool is missing"; done
case $1 in */*) ;; *) on_path "$1" || stop "$1 is missing" ;; esac
[ -s "$line" ] || stop "there is no $line"

# PREFIX and PROGRAM, each word quoted for eval.
command=
for word; do
	quoted=$(printf '%sx' "$word" | sed "s/'/'\\\\''/g")
	command="$command '${quoted%x}'"
done

# mkdir makes a new directory or fails, so the suite removes only its own.
tmp=${TMPDIR:-/tmp}/program.sh.$$ made=
trap '[ -z "$made" ] || rm -rf "$tmp"' EXIT && trap 'exit 130' HUP INT TERM && trap 'exit 141' PIPE
{ mkdir "$tmp" && made=1; } || stop "could not make $tmp"
{ mkfifo "$tmp/fifo" && [ -p "$tmp/fifo" ]; } || stop "mkfifo made no FIFO"
: >"$tmp/in"

# Blanks at either end, quotes, a backslash, format directives and bytes that
# are no text, the last a line feed; the X keeps that from being stripped.
raw=$(printf '  %%s%%n%%x"\\c$\377\001 \nX')
raw=${raw%X}
# shellcheck disable=SC2046 # od's columns are words
set -- $(printf '%s' "$raw" | od -b)
[ "$*" = "0000000 040 040 045 163 045 156 045 170 042 134 143 044 377 001 040 012 0000020" ] ||
	stop "the raw-bytes name reads as $*"
long=a
while [ ${#long} -lt 65536 ]; do long=$long$long; done
long=dsl.$long
{ [ ${#long} -eq 65540 ] && case ${long#dsl.} in *[!a]*) false ;; esac; } ||
	stop "the long name is ${#long} bytes, not 65540 of dsl. and a"

# Runs the program, reading an empty file, leaving its exit status and stderr in $tmp.
launch() {
	eval "$command \"\$@\"" <"$tmp/in" 2>"$tmp/err"
	echo $? >"$tmp/status"
}

# A caller that ignores or blocks SIGPIPE hands that on to every child, and no
# shell can undo it; a write to a pipe without a reader then fails with EPIPE.
sigpipe_ignored() {
	masks=$(sed -n 's/^Sig[IB][gl][nk]:.*\(....\)$/\1/p' /proc/self/status 2>&-) || return 1
	for mask in $masks; do [ $((0x$mask & 0x1000)) -eq 0 ] || return 0; done
	return 1
}

row() {
	name=$1 target=$2 status=$3 object=$4 why=
	shift 4
	: >"$tmp/out" && rm -f "$tmp/status"
	case $target in
	pipe) launch "$@" | cat >"$tmp/out" ;;
	file) launch "$@" >"$tmp/out" ;;
	closed) launch "$@" >&- ;;
	full)
		# Where /dev/full is missing, a redirection would make it a file.  The write is cat's:
		# hush's printf reports no failed write.
		{ [ -c /dev/full ] && ! printf x | cat >/dev/full 2>&-; } ||
			why="/dev/full is not a character device that refuses writes"
		[ -n "$why" ] || launch "$@" >/dev/full ;;
	gone)
		# Linux opens a FIFO for reading and writing at once, so fd 9, the only
		# reader while fd 8 opens, needs no process of its own.  hush 1.35
		# crashes on "exec N>FILE" where FILE opens on N, the lowest free number.
		exec 9<>"$tmp/fifo" || stop "could not open the FIFO"
		exec 8>"$tmp/fifo" 9<&-
		launch "$@" >&8 8>&-
		exec 8>&- ;;
	*) echo "row $name: no standard output $target" >&2 && exit 2 ;;
	esac
	want=$line
	[ -z "$entry" ] || { want=$tmp/want && printf 'argc %d\n%s [%s]\nstatus -1\n' $(($# + 1)) \
		'socket [/var/run/ubus/ubus.sock] object' "$object" >"$want"; }
	# Only a pipe or a file gives stdout back.
	same=1 && case $target in pipe | file) cmp -s "$tmp/out" "$want" || same= ;; esac
	got=$(cat "$tmp/status" 2>&-)
	[ -z "$why" ] && [ -n "$same" ] && [ "$got" = "$status" ] && [ ! -s "$tmp/err" ] &&
		passed=$((passed + 1)) && echo "ok    $name" && return
	failed=$((failed + 1))
	[ -z "$why" ] || { echo "FAIL  $name: $why" && return; }
	echo "FAIL  $name: exit status $got (want $status); stdout, then stderr:"
	for f in out err; do od -c "$tmp/$f" | sed 8q; done
	[ "$target$got" != gone255 ] || [ -s "$tmp/err" ] || ! sigpipe_ignored ||
		echo "      the suite's caller ignores or blocks SIGPIPE, which its children inherit"
}

passed=0 failed=0 && table
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
