#!/bin/sh
# SPDX-License-Identifier: MIT
# init of the booted device: the program suite under its ash and its hush, then the controls.
# Each part starts with a line "== PART" on the console; init's exit ends the boot.
export PATH=/bin
mount -t proc proc /proc
cd /test || exit 1
for shell in sh hush; do
	echo "== $shell"
	"$shell" program.sh ./quarvelt-tc
done
echo "== sigpipe"
(trap '' PIPE && sh program.sh ./quarvelt-tc)
echo "== smallest"
sh -c 'command -v sh'
echo "command exit status $?"
echo "== fpu"
/fpu
echo "fpu exit status $?"
