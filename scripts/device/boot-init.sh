#!/bin/sh
# SPDX-License-Identifier: MIT
# init of the booted device: the program suite on each program under ash and hush, then controls.
# Each part starts with a line "== PART" on the console; init's exit ends the boot.
export PATH=/bin
mount -t proc proc /proc
cd /test || exit 1
for program in */quarvelt-tc; do
	for shell in sh hush; do echo "== $shell $program" && "$shell" program.sh "./$program"; done
done
echo "== sigpipe" && (trap '' PIPE && sh program.sh "./$program")
echo "== smallest" && sh -c 'command -v sh'
echo "command exit status $?"
echo "== fpu" && /fpu
echo "fpu exit status $?"
