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
# count the entry got and the socket and object name it handed on.  It runs
# under dash, bash and busybox's ash and hush, with the tools named below and
# the shell's own echo, printf and test.  Before any row it checks those tools
# and what it makes with them, and stops, naming what fell short, without a
# count.  It writes only in its own temporary directory.  Prints a line a row
# and "N passed, M failed", and exits non-zero when a row failed.
set +e
# hush has no -u and refuses it.
(set -u) 2>&- && set -u
# Lengths count bytes.
LC_ALL=C
# The tools the rows run.  The booted check's busybox has exactly these
# applets, and ash as sh, hush and mount.
tools='cat cmp mkfifo mktemp od rm sed'
entry=
[ "${1:-}" != --entry ] || { entry=1 && shift; }
if [ $# -lt 1 ]; then
	echo "usage: sh $0 [--entry] PROGRAM [PREFIX...]" >&2
	exit 2
fi
case $0 in
*/*) line=${0%/*}/report-line.txt ;;
*) line=report-line.txt ;;
esac
# shellcheck disable=SC2034 # launch names it in the text it evaluates
program=$1
shift

# The set-up fell short: no row runs.
stop() {
	echo "$0: $*; no row was run" >&2
	exit 2
}
for tool in $tools; do
	[ -n "$(command -v "$tool")" ] || stop "$tool is missing"
done
[ -f "$line" ] || stop "there is no $line"

# Quotes a word for eval into $quoted.
quote() {
	quoted=$(printf '%sx' "$1" | sed "s/'/'\\\\''/g")
	quoted="'${quoted%x}'"
}
quote "a'b'"
[ "$quoted" = "'a'\\''b'\\'''" ] || stop "sed falls short: it quoted a'b' as $quoted"
prefix=
for word; do
	quote "$word"
	prefix="$prefix $quoted"
done

tmp=
trap '[ -z "$tmp" ] || rm -rf "$tmp"' EXIT
trap 'exit 130' HUP INT TERM
trap 'exit 141' PIPE
made=$(mktemp -d)
{ [ -n "$made" ] && [ -d "$made" ] && [ -w "$made" ]; } || stop "mktemp -d made no directory: '$made'"
for f in "$made"/* "$made"/.[!.]* "$made"/..?*; do
	{ [ ! -e "$f" ] && [ ! -L "$f" ]; } || stop "mktemp -d made no new directory: $made holds $f"
done
tmp=$made
# cmp -s must tell the line from itself changed at either end or near it, cut
# short or made longer; cat must copy a pipe byte for byte; rm -rf must remove
# a directory, as the suite's own is removed.
{ probe=$(mktemp -d "$tmp/probe.XXXXXX") && [ -d "$probe" ]; } || stop "mktemp -d made no directory in $tmp"
text=$(sed -n 1p "$line")
printf '%s\n' "$text" >"$probe/same"
cmp -s "$line" "$probe/same" || stop "cmp -s falls short: it tells $line from its copy"
printf 'X%s\n' "${text#?}" >"$probe/first"
printf '%s?\n' "${text%?}" >"$probe/near"
printf '%s\r' "$text" >"$probe/last"
printf '%s' "$text" >"$probe/short"
printf '%s\n\n' "$text" >"$probe/long"
for f in first near last short long; do
	! cmp -s "$line" "$probe/$f" || stop "cmp -s falls short: it takes the line made $f for the line"
done
printf 'a\r\377b' >"$probe/bytes"
printf 'a\r\377b' | cat >"$probe/cat"
cmp -s "$probe/bytes" "$probe/cat" || stop "cat falls short: it does not copy a pipe byte for byte"
rm -rf "$probe"
[ ! -e "$probe" ] || stop "rm -rf falls short: it left $probe"
{ mkfifo "$tmp/fifo" && [ -p "$tmp/fifo" ]; } || stop "mkfifo falls short: it made no FIFO"
: >"$tmp/empty"

# Blanks at either end, quotes, a backslash, format directives and bytes that
# are no text, the last a line feed; the X keeps that from being stripped.
raw=$(printf '  %%s%%n%%x"\\c$\377\001 \nX')
raw=${raw%X}
# shellcheck disable=SC2046 # od's columns are words
set -- $(printf '%s' "$raw" | od -b)
[ "$*" = "0000000 040 040 045 163 045 156 045 170 042 134 143 044 377 001 040 012 0000020" ] ||
	stop "printf or od falls short: the raw-bytes name reads as $*"
long=a
while [ ${#long} -lt 65536 ]; do long=$long$long; done
long=dsl.$long
{ [ ${#long} -eq 65540 ] && case ${long#dsl.} in *[!a]*) false ;; esac; } ||
	stop "the shell falls short: the long name is ${#long} bytes, not 65540 of dsl. and a"
passed=0
failed=0

# Runs the program with the arguments, leaving its exit status and standard
# error in $tmp.
launch() {
	eval "$prefix \"\$program\" \"\$@\"" 2>"$tmp/err"
	echo $? >"$tmp/status"
}

# A caller that ignores or blocks SIGPIPE hands that on to every child, and no
# shell can undo it; a write to a pipe without a reader then fails with EPIPE.
sigpipe_ignored() {
	[ -r /proc/self/status ] || return 1
	masks=$(sed -n 's/^Sig[IB][gl][nk]:.*\(....\)$/\1/p' /proc/self/status)
	for mask in $masks; do
		[ $((0x$mask & 0x1000)) -eq 0 ] || return 0
	done
	return 1
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
	why=
	case $target in
	pipe) launch "$@" | cat >"$tmp/out" ;;
	file) launch "$@" >"$tmp/out" ;;
	closed) launch "$@" >&- ;;
	full)
		# Where /dev/full is missing, a redirection would make it a file.  The
		# write is cat's: hush's printf reports no failed write.
		if [ -c /dev/full ] && ! printf x | cat >/dev/full 2>&-; then
			launch "$@" >/dev/full
		else
			why="/dev/full is not a character device that refuses writes"
		fi
		;;
	gone)
		# Linux opens a FIFO for reading and writing at once, so fd 9, the only
		# reader while fd 8 opens, needs no process of its own.  The numbers
		# are high ones because hush 1.35 crashes on "exec N>FILE" when the
		# file opens on N itself, the lowest free number.
		exec 9<>"$tmp/fifo"
		exec 8>"$tmp/fifo" 9<&-
		launch "$@" >&8 8>&-
		exec 8>&-
		;;
	*) echo "row $name: no standard output $target" >&2 && exit 2 ;;
	esac
	want=$line
	if [ "$target" != pipe ] && [ "$target" != file ]; then
		want=$tmp/empty
	elif [ -n "$entry" ]; then
		want=$tmp/want
		printf 'argc %d\nsocket [/var/run/ubus/ubus.sock] object [%s]\nstatus -1\n' $(($# + 1)) "$object" >"$want"
	fi
	got=$(cat "$tmp/status" 2>&-)
	if [ -z "$why" ] && [ "$got" = "$status" ] && [ ! -s "$tmp/err" ] && cmp -s "$tmp/out" "$want"; then
		echo "ok    $name"
		passed=$((passed + 1))
		return
	fi
	failed=$((failed + 1))
	if [ -n "$why" ]; then
		echo "FAIL  $name: $why"
		return
	fi
	echo "FAIL  $name: exit status $got (want $status); stdout, then stderr:"
	od -c "$tmp/out" | sed 8q
	od -c "$tmp/err" | sed 8q
	[ "$target$got" != gone255 ] || [ -s "$tmp/err" ] || ! sigpipe_ignored ||
		echo "      the suite's caller ignores SIGPIPE or blocks it, which its children inherit: run it from one that does not"
}

default=dsl.bonding_group.0
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
