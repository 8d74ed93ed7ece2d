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

# The 100,000-entry book compressed with ebzip: libeb shares its decompression cache
# between readers, and the searches would decompress the same index slices for every key;
# the check of the copy finds no error, in at most three times the processor time of the
# plain book's.
D2="$SCRATCH/disc100"; W2="$SCRATCH/w100"; Z="$SCRATCH/z100"
"$BIN" sample-disc "$D2" --entries 100000 --recordings 100 >"$L/disc100" 2>&1 \
  && "$BIN" -q -w "$W2" -m 1 create "$D2" >"$L/out100" 2>"$L/err100" \
  && mkdir -p "$Z" && ebzip --level 5 --keep --output-directory "$Z" "$W2/epwing" >"$L/ebzip" 2>&1 \
  && cp -r "$W2/epwing/afonts_0" "$W2/epwing/TAVEX.map" "$W2/epwing/appendix" "$Z/" && pass \
  || fail "100,000 entries: $(tail -n 3 "$L/err100" "$L/ebzip")"
cpu() { /usr/bin/time -f '%U %S' -o "$L/time" "$@" >"$L/v" 2>&1; local s=$?; awk '{print $1 + $2}' "$L/time"; return $s; }
plain=$(cpu "$BIN" verify "$W2/epwing" --base-folder "$W2/base_folder")
check "100,000 entries, plain: no error" grep -qE '^verify: 100,001 entries, [0-9,]+ keys found, 0 errors' "$L/v"
zipped=$(cpu "$BIN" verify "$Z" --base-folder "$W2/base_folder")
check "100,000 entries, compressed: no error" grep -qE '^verify: 100,001 entries, [0-9,]+ keys found, 0 errors' "$L/v"
check "100,000 entries, compressed: $zipped s of processor time against $plain s plain (at most 3 x)" \
  python3 -c "import sys; sys.exit(float('$zipped') > 3 * float('$plain'))"

finish
