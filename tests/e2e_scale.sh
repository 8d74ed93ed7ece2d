#!/usr/bin/env bash
# The book at the size of a real disc: a 50,000-entry sample disc converted in mode 1,
# and every distinct key of both indexes searched whole through libeb by verify, as a
# reader types it (exact forward, backward). eblook, a reader of its own, finds the
# headwords that an earlier index writer lost at this size. Long: it runs once, not
# again under the sanitizers.
source "$(dirname "$0")/common.sh"

D="$SCRATCH/disc"; W="$SCRATCH/w"; L="$SCRATCH/logs"; mkdir -p "$L"
"$BIN" sample-disc "$D" --entries 50000 --recordings 100 >"$L/disc" 2>&1 && pass || fail "sample-disc: $(cat "$L/disc")"
"$BIN" -w "$W" -m 1 create "$D" >"$L/out" 2>"$L/err"; status=$?
check "create of 50,000 entries: exit 0 (got $status): $(tail -n 3 "$L/err")" test "$status" -eq 0
check "create: verify finds every key" grep -qxE 'verify: 50,001 entries, [0-9,]+ keys found, 0 errors(, [0-9,]+ warnings)?' "$L/err"

"$BIN" -w "$W" verify --json >"$L/v.json" 2>/dev/null; status=$?
check "verify: exit 0 (got $status)" test "$status" -eq 0
check "verify --json: every stored key found by a whole search, beside the source" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["errors"] == 0 and d["keys"] == d["keys_found"] > 400000, (d["errors"], d["keys"], d["keys_found"])' "$L/v.json"

# The key an upper page without room after its longest key lost: exact, as a prefix, in
# capitals and as an ending ("word*" is eblook's forward search, "*word" its backward).
for word in meackmougene 'meackmougene*' MEACKMOUGENE '*ckmougene'; do
  printf 'select 1\nsearch %s\nquit\n' "$word" | eblook -e utf8 "$W/epwing" >"$L/eblook" 2>&1
  check "eblook finds $word" grep -qE '[0-9]+:[0-9]+[[:space:]]+meackmougen' "$L/eblook"
done

finish
