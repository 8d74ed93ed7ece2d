#!/usr/bin/env bash
# The book check from end to end: the sample book verified by create and by the verify
# command, beside its base_folder and on its own; a book written by FreePWING's tools
# verified without a false finding; and copies of the sample book damaged the way a
# broken writer or disk would, each named by its own finding, none crashing or hanging
# the check.
source "$(dirname "$0")/common.sh"
HERE="$(cd "$(dirname "$0")" && pwd)"

W="$SCRATCH/w"; L="$SCRATCH/logs"; mkdir -p "$W" "$L"
if "$BIN" -w "$W" create --sample --with-audio --epwing >"$L/out" 2>"$L/err"; then pass; else fail "create: $(cat "$L/err")"; fi
check "create prints the verify summary under the check summary" \
  grep -A1 -E '^check: 0 errors' "$L/err" | grep -qE '^verify: [0-9,]+ entries, [0-9,]+ keys found, 0 errors, 2 warnings$'
grep -A1 -E '^check: ' "$L/err" | tail -n 1 | grep -qE '^verify: [0-9,]+ entries, [0-9,]+ keys found, 0 errors, 2 warnings$' \
  && pass || fail "verify summary not under the check summary: $(cat "$L/err")"

# A book that fails verification makes create fail, though the book stays: here libeb's
# exact search is made to fail for every key.
printf '#include <eb/eb.h>\n#include <eb/error.h>\nEB_Error_Code eb_search_exactword(EB_Book *b, const char *w) { (void)b; (void)w; return EB_ERR_FAIL_READ_TEXT; }\n' \
  >"$SCRATCH/no_exact.c"
gcc -shared -fPIC -o "$SCRATCH/no_exact.so" "$SCRATCH/no_exact.c"
W2="$SCRATCH/w2"
LD_PRELOAD="$SCRATCH/no_exact.so" ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
  "$BIN" -w "$W2" create --sample --with-audio >"$L/fails" 2>"$L/fails_err"; status=$?
check "create of a book that fails verification: exit 1 (got $status)" test "$status" -eq 1
check "create says the book was written but fails verification" \
  grep -qE "^error: the EPWING book was written to $W2/epwing but fails verification \([0-9]+ errors\)" "$L/fails_err"
check "the check's summary stays 0 errors, verify's names its errors" \
  bash -c "grep -qE '^check: 0 errors' '$L/fails_err' && grep -qE '^verify: .*[1-9][0-9]* errors' '$L/fails_err'"
check "the book stays" test -f "$W2/epwing/CATALOGS"

# verify [BOOK] beside base_folder, and a copy of the book on its own: no error, and one
# warning line for the sample disc's two records that do not parse, whose entries have
# nothing but their heading.
"$BIN" -w "$W" verify >"$L/v1" 2>&1; status=$?
check "verify beside base_folder: exit 0 (got $status)" test "$status" -eq 0
check "verify beside base_folder: the summary" \
  grep -qxE 'verify: [0-9,]+ entries, [0-9,]+ keys found, 0 errors, 2 warnings beside its source' "$L/v1"
check "verify beside base_folder: the entries without text named" \
  grep -qE '^warning: an entry has no text but its heading \(2 times; TAVEX [0-9:]+ misprint, TAVEX [0-9:]+ jandkameal\)' "$L/v1"
check "verify beside base_folder: two lines" test "$(wc -l <"$L/v1")" -eq 2
mkdir -p "$SCRATCH/alone" && cp -r "$W/epwing" "$SCRATCH/alone/book"
"$BIN" verify "$SCRATCH/alone/book" >"$L/v2" 2>&1; status=$?
check "verify on its own: exit 0 (got $status)" test "$status" -eq 0
check "verify on its own: the summary" grep -qxE 'verify: [0-9,]+ entries, [0-9,]+ keys found, 0 errors, 2 warnings' "$L/v2"
"$BIN" verify "$SCRATCH/alone/book" --json >"$L/v3.json" 2>/dev/null
check "verify --json parses, every key found" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["errors"] == 0 and d["keys"] == d["keys_found"] > 0 and d["entries"] > 0
assert sorted(f["headword"] for f in d["findings"]) == ["jandkameal", "misprint"], d["findings"]' "$L/v3.json"
"$BIN" verify "$SCRATCH/alone/book" --sample 5 >"$L/v4" 2>&1
check "verify --sample 5: no error" grep -qE '0 errors(, [0-9]+ warnings?)?$' "$L/v4"
"$BIN" verify "$SCRATCH/nothing" >/dev/null 2>"$L/v5"; status=$?
check "a folder without CATALOGS: exit 1 naming it (got $status)" \
  bash -c "test $status -eq 1 && grep -q '^error: .*nothing' '$L/v5'"

# A book written by FreePWING from a small hand-written source, with one PCM sound in
# the sound area its index page declares.
if command -v fpwmake >/dev/null; then
  F="$SCRATCH/fpw"; mkdir -p "$F/book/SAMPLE/DATA"
  iconv -f UTF-8 -t EUC-JP "$HERE/verify/freepwing_parser.pl" >"$F/fpwsample"
  iconv -f UTF-8 -t EUC-JP "$HERE/verify/freepwing_source.txt" >"$F/source.txt"
  python3 -c 'import struct, sys
n = 3000
data = bytes((i * 7) & 255 for i in range(n))
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", 36 + n) + b"WAVEfmt " +
    struct.pack("<IHHIIHH", 16, 1, 1, 11025, 11025, 1, 8) + b"data" + struct.pack("<I", n) + data)' "$F/chime.wav"
  printf 'chime chime.wav\n' >"$F/sounds.txt"
  printf 'FPWPARSER = fpwsample\nFPWPARSERFLAGS = source.txt\nSOUNDS = sounds.txt\n\ninclude fpwutils.mk\n' >"$F/Makefile"
  printf '[Catalog]\nFileName = catalogs\nType = EPWING1\nBooks = 1\n\n[Book]\nTitle = "見本"\nBookType = 6001\nDirectory = "SAMPLE"\n' \
    | iconv -f UTF-8 -t EUC-JP >"$F/catalogs.txt"
  (cd "$F" && fpwmake >"$L/fpwmake" 2>&1 \
    && /usr/share/freepwing/perl.sh /usr/share/freepwing/catdump -e euc -u catalogs.txt book/catalogs >>"$L/fpwmake" 2>&1 \
    && cp honmon book/SAMPLE/DATA/HONMON) && pass || fail "FreePWING book: $(tail -n 5 "$L/fpwmake")"
  "$BIN" verify "$F/book" >"$L/fpw" 2>&1; status=$?
  check "FreePWING book: exit 0 (got $status)" test "$status" -eq 0
  check "FreePWING book: no finding" grep -qxE 'verify: 4 entries, [0-9]+ keys found, 0 errors' "$L/fpw"
else
  fail "fpwmake is not installed (Debian package freepwing)"
fi

# Damaged copies: each gives exit 1 and names its damage; none runs past a time limit.
damaged() {  # damaged KIND "finding" [FONT]
  local kind="$1" finding="$2"
  python3 "$HERE/verify/damage_book.py" "$kind" "$W/epwing" "$SCRATCH/d_$kind" "${3:-}"
  timeout 120 "$BIN" -q verify "$SCRATCH/d_$kind" --base-folder "$W/base_folder" >"$L/d_$kind" 2>&1; local status=$?
  if [[ $status -eq 1 ]] && grep -q "^error: $finding" "$L/d_$kind"; then pass; else
    fail "$kind: exit $status, no \"$finding\": $(head -c 600 "$L/d_$kind")"; fi
}
damaged truncated "a region of the index page lies outside the text file"
damaged key-past-text "a search key points outside the text"
damaged missing-font "a gaiji in the text has no bitmap" GAI16F00
damaged zeroed-sound "a sound is not whole WAVE data"
damaged disorder "an index page holds its keys out of order"
"$BIN" -q verify "$SCRATCH/d_disorder" -v >"$L/all" 2>&1
check "-v lists every finding of a kind" test "$(grep -c 'a search key does not find' "$L/all")" -gt 5

# Hostile copies, made as an attacker would: each is named within 10 s, with exit 1,
# and nothing outside the book is read.
hostile() {  # hostile KIND "finding" BOOK [FONT]
  local kind="$1" finding="$2" book="$3" copy="$SCRATCH/h_$1/book"
  mkdir -p "$SCRATCH/h_$kind"
  python3 "$HERE/verify/damage_book.py" "$kind" "$book" "$copy" "${4:-}"
  timeout 10 "$BIN" -q verify "$copy" --base-folder "$(dirname "$book")/base_folder" >"$L/h_$kind" 2>&1; local status=$?
  if [[ $status -eq 1 ]] && grep -q "^error: $finding" "$L/h_$kind"; then pass; else
    fail "$kind: exit $status, no \"$finding\": $(head -c 600 "$L/h_$kind")"; fi
}
unsafe="a file of the book cannot be read safely"
hostile fifo-honmon "$unsafe.*HONMON: a FIFO" "$W/epwing"
hostile fifo-font "$unsafe.*GAI16F00: a FIFO" "$W/epwing" GAI16F00
for name in catalogs CATALOGS. 'CATALOGS;1'; do hostile "fifo-$name" "$unsafe.*$name: a FIFO" "$W/epwing"; done
hostile dotdot "the book does not open.*names the folder “..”" "$W/epwing"
hostile no-word-search "the subbook has no word search" "$W/epwing"
hostile sparse-tail "$unsafe.*HONMON: mostly holes" "$W/epwing"
# 20,000 keys into one text of 2 MiB, and 300,000 sounds of 1 MiB each, every one
# starting two bytes after the one before.
for source in long-text many-sounds; do
  python3 "$HERE/verify/hostile_source.py" "$source" "$W/base_folder" "$SCRATCH/$source/base_folder"
  "$BIN" -q -w "$SCRATCH/$source" epwing 2>"$L/$source" || fail "$source: $(cat "$L/$source")"
done
hostile keys-into-text "a title or key of html_EPW is not found at its entry" "$SCRATCH/long-text/epwing"
grep -q "^warning: many search keys point inside one entry's text" "$L/h_keys-into-text" && pass \
  || fail "keys into one text: no warning: $(head -c 600 "$L/h_keys-into-text")"
hostile overlapping-sounds "two sounds overlap" "$SCRATCH/many-sounds/epwing"

# The book made by the index writer that left no room after an upper page's longest key:
# a key that extends it is not found, and verify names it.
python3 "$HERE/verify/hostile_source.py" equal-run "$W/base_folder" "$SCRATCH/equal-run/base_folder"
"$BIN" -q -w "$SCRATCH/equal-run" epwing 2>"$L/equal-run" || fail "equal run: $(cat "$L/equal-run")"
"$BIN" -q verify "$SCRATCH/equal-run/epwing" >"$L/equal-run-clean" 2>&1 && pass \
  || fail "equal run: $(head -c 600 "$L/equal-run-clean")"
hostile unpadded-root "a search key does not find the entry its index points at.*ＮＯＮＫＥＴＴＬＥＳ" \
  "$SCRATCH/equal-run/epwing"

# libeb opens files by name whenever it needs them: a FIFO reached through a link, a
# text file exchanged for a FIFO while the check runs, a catalogue that lists one
# subbook 50 times and a multi-search page that libeb would read past are each named in
# time, never a hang.
hostile deep-fifo "$unsafe.*HONMON: a FIFO" "$W/epwing"
hostile repeated-subbook "the catalogue lists one subbook folder twice" "$W/epwing"
hostile multi-search "the subbook holds a page libeb would read past" "$W/epwing"
S="$SCRATCH/swap"; mkdir -p "$S" && cp -r "$W/epwing" "$S/book" && mkfifo "$S/fifo"
python3 -c '
import ctypes, sys
libc = ctypes.CDLL(None, use_errno=True)
a, b = (p.encode() for p in sys.argv[1:3])
while True: libc.renameat2(-100, a, -100, b, 2)' "$S/book/TAVEX/DATA/HONMON" "$S/fifo" &
swapper=$!
hung=0
for i in $(seq 20); do
  timeout 20 "$BIN" -q verify "$S/book" >/dev/null 2>&1
  [[ $? -eq 124 ]] && hung=$((hung + 1))
done
kill "$swapper"
check "HONMON exchanged with a FIFO all through: no run of 20 hangs ($hung did)" test "$hung" -eq 0

# The book compressed with ebzip: libeb keeps one decompression cache for all its
# readers, yet the check finds in the copy what it finds in the plain book, run after
# run. ebzip leaves the gaiji maps behind, which the check of the copy warns of.
B="$SCRATCH/alone/book" Z="$SCRATCH/zipped"
mkdir -p "$Z" && ebzip --level 5 --keep --output-directory "$Z" "$B" >"$L/ebzip" 2>&1 || fail "ebzip: $(cat "$L/ebzip")"
"$BIN" verify "$Z" >"$L/z0" 2>&1
check "the compressed copy without its maps: a warning naming them" \
  grep -q '^warning: the gaiji maps are not beside the compressed book.*afonts_0, TAVEX.map, appendix' "$L/z0"
cp -r "$B/afonts_0" "$B/TAVEX.map" "$B/appendix" "$Z/"
differ=0
for i in $(seq 50); do
  "$BIN" verify "$Z" >"$L/z" 2>&1
  cmp -s "$L/z" "$L/v2" || differ=$((differ + 1))
done
check "the compressed copy with its maps: the plain book's findings in 50 runs ($differ differed)" test "$differ" -eq 0

# eblook with the book's appendix prints every gaiji as its letter: each entry's text
# (found by word searches under every initial) holds no gaiji code and, together, every
# letter of the book's map.
{ echo 'select 1'; echo 'set max-hits 0'; for c in {a..z} {0..9}; do echo "search $c*"; done; } \
  | eblook "$B" "$B/appendix" 2>&1 | grep -oE '[0-9]+:[0-9]+' | sort -u >"$L/positions"
{ echo 'select 1'; sed 's/^/content /' "$L/positions"; } | eblook "$B" "$B/appendix" >"$L/texts" 2>&1
check "eblook with the appendix: every entry read ($(wc -l <"$L/positions"))" test "$(wc -l <"$L/positions")" -ge 60
check "eblook with the appendix: no gaiji code" bash -c "! grep -q 'gaiji=' '$L/texts'"
missing=$(while read -r code letter; do grep -qF "$letter" "$L/texts" || echo "$code"; done <"$B/afonts_0")
check "eblook with the appendix: every letter of the map (missing: $missing)" test -z "$missing"

finish
