#!/usr/bin/env bash
# The StarDict and MDict books at full size: a 100,000-entry sample disc with sounds,
# both books made by create beside no EPWING book, accepted by stardict-verify, read
# whole by pyglossary and compared with the source, and every headword and key looked up
# with sdcv. Long: it runs once, not again under the sanitizers.
source "$(dirname "$0")/common.sh"
HERE="$(cd "$(dirname "$0")" && pwd)"

D="$SCRATCH/disc"; W="$SCRATCH/w"; L="$SCRATCH/logs"; mkdir -p "$L"
"$BIN" sample-disc "$D" --entries 100000 --recordings 300 >"$L/disc" 2>&1 && pass || fail "sample-disc: $(cat "$L/disc")"
"$BIN" -w "$W" -m 1 create "$D" --with-audio --no-epwing --stardict --mdict >"$L/out" 2>"$L/err"; status=$?
check "create of 100,000 entries: exit 0 (got $status): $(tail -n 3 "$L/err")" test "$status" -eq 0

/usr/lib/stardict-tools/stardict-verify "$W/stardict/tavex.ifo" >"$L/verify" 2>&1
check "stardict-verify accepts the book: $(tail -n 2 "$L/verify")" grep -q 'Verification result: OK' "$L/verify"

if /usr/bin/python3 "$HERE/books_check.py" "$W/base_folder" "$W/stardict/tavex.ifo" "$W/mdict/tavex.mdx" \
    "$L/words" >"$L/check" 2>"$L/check.err"; then pass; else fail "pyglossary against the source: $(head -n 5 "$L/check")"; fi
check "pyglossary compared every entry" grep -q '^100001 entries' "$L/check"

HOME="$SCRATCH" xargs -d '\n' sdcv -n -e -j --data-dir "$W/stardict" <"$L/words" >"$L/sdcv" 2>"$L/sdcv.err"
check "sdcv answers every word ($(wc -l <"$L/words") asked)" test "$(wc -l <"$L/sdcv")" -eq "$(wc -l <"$L/words")"
check "sdcv finds every headword and key with its text" test "$(grep -vc '"definition":"' "$L/sdcv")" -eq 0

finish
