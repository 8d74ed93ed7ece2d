#!/usr/bin/env bash
# A run killed at any call that changes the file system leaves something the next run
# finishes by itself: `epwing --out` over an earlier book and a mode 0 `create` are
# killed by strace at the Nth rename, unlink, mkdir, link or file creation, then run
# again as a user would, with nothing deleted by hand. The rerun must succeed, leave a
# book that verify passes, and leave no hidden folder or record of the program's behind.
# Where a kind of call happens more often than KILL_POINTS times, that many are spread
# over its range (first and last included).
source "$(dirname "$0")/common.sh"
POINTS="${KILL_POINTS:-10}"
DISC="$SCRATCH/disc"; W0="$SCRATCH/ws0"; W="$SCRATCH/ws"; OUT="$SCRATCH/out"
"$BIN" sample-disc "$DISC" --entries 6 --recordings 2 --seed 4 >/dev/null 2>&1 || fail "sample-disc"
"$BIN" -w "$W0" create "$DISC" --with-audio >/dev/null 2>&1 || fail "first create"
"$BIN" -w "$W0" epwing --out "$SCRATCH/out0" >/dev/null 2>&1 || fail "first epwing --out"

fresh() {  # the workspace and the old book as they were, with nothing a killed run left
  rm -rf "$W" "$OUT" "$OUT".* "$SCRATCH"/.tavex2epwing-*; cp -a "$W0" "$W"; cp -a "$SCRATCH/out0" "$OUT"
}
# The numbers of the calls of one kind that a plain run makes, spread to POINTS.
kill_points() {  # kill_points SYSCALL ARGS...
  local call="$1" count; shift
  fresh
  strace -f -qq -o "$SCRATCH/count" -e trace="$call" "$BIN" "$@" >/dev/null 2>&1
  count="$(grep -c "^[0-9]* *$call(" "$SCRATCH/count")"
  python3 -c "
import sys
n, k = int(sys.argv[1]), int(sys.argv[2])
print(' '.join(str(i) for i in sorted({1 + (n - 1) * j // max(k - 1, 1) for j in range(k)} if n else ())))" "$count" "$POINTS"
}
leftovers() {  # the program's hidden folders and records beside the book and in the workspace
  find "$SCRATCH" -maxdepth 2 -name '.tavex2epwing-*' ! -name '.tavex2epwing-manifest' | head -3
}

kills=0
for label in "epwing --out" "create mode 0"; do
  if [[ "$label" == "epwing --out" ]]; then
    argv=(-w "$W" -q epwing --out "$OUT"); book="$OUT"
  else
    argv=(-w "$W" -q create "$DISC" --with-audio); book="$W/epwing"
  fi
  for call in renameat renameat2 unlinkat mkdirat linkat openat; do
    for n in $(kill_points "$call" "${argv[@]}"); do
      fresh
      ( strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:signal=KILL:when=$n" \
        "$BIN" "${argv[@]}" >/dev/null 2>&1 ) 2>/dev/null
      kills=$((kills + 1))
      if ! "$BIN" "${argv[@]}" >"$SCRATCH/rerun" 2>&1; then
        fail "$label killed at $call #$n: the rerun failed: $(grep -a '^error' "$SCRATCH/rerun" | head -c 300)"; continue
      fi
      "$BIN" verify "$book" --base-folder "$W/base_folder" >"$SCRATCH/verify" 2>&1 && pass ||
        fail "$label killed at $call #$n: verify fails the book: $(head -c 300 "$SCRATCH/verify")"
      left="$(leftovers)"
      check "$label killed at $call #$n: nothing left behind: $left" test -z "$left"
    done
  done
done
echo "kill points: $kills"
check "the kill points cover the runs" test "$kills" -gt 40
finish
