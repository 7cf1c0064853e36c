#!/usr/bin/env bash
# Checks 32-bit Windows objects for 128-bit stack accesses that assume the caller aligned the stack to
# 16 bytes. Win32 enters callbacks with a stack aligned to 4 only, so in every function an instruction
# that needs an aligned operand (any legacy SSE instruction with a memory operand except the unaligned
# moves and the 4- and 8-byte ones, and the aligned and non-temporal VEX moves) may address the stack only after the function has realigned it
# (and $-16,%esp or wider). Prints, per object, the functions that realign, the aligned stack accesses
# after a realignment and those before one; exits 1 when any comes before one.
# Usage: check-stack-realign.sh OBJDUMP OBJECT-OR-ARCHIVE...
set -euo pipefail
objdump=$1; shift
bad=0
for object in "$@"; do
  "$objdump" -d --no-show-raw-insn "$object" | awk -v name="$(basename "$object")" '
    function finish() {
      if (fn != "" && early > 0) printf "   %s: %s: %d aligned stack accesses before any realignment\n", name, fn, early
    }
    /^[0-9a-f]+ <.*>:$/ { finish(); fn = $2; realigned = 0; early = 0; next }
    {
      line = $0
      sub(/^[ \t]*[0-9a-f]+:[ \t]*/, "", line)
      split(line, part, /[ \t]+/)
      op = part[1]
      if (op ~ /^and/ && line ~ /\$0xffffff[0-9a-f]0,%esp/) { realigned = 1; realigns++; next }
      if (line !~ /%xmm/ || line !~ /\(%(esp|ebp)/) next
      if (op ~ /^(movdqu|movups|movupd|movd|movq|movss|movsd|movlps|movhps|movlpd|movhpd|lddqu)$/) next
      if (op ~ /^v/ && op !~ /^vmov(a|nt)/) next   # VEX forms take unaligned operands, but for these moves
      if (realigned) late++; else { early++; total_early++ }
    }
    END {
      finish()
      printf "   %-28s %3d realigning functions, %3d aligned stack accesses after realignment, %3d before\n", name, realigns, late, total_early
      exit total_early > 0
    }' || bad=1
done
exit $bad
