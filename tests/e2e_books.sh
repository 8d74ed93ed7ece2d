#!/usr/bin/env bash
# The StarDict and MDict books from end to end: written by create beside the EPWING book
# from the sample disc with sounds, then read by readers this project did not write.
# stardict-verify accepts the StarDict book, pyglossary reads both books whole and
# books_check.py compares what it read with the book source (headwords, keys, text,
# links, recordings byte for byte, every gaiji as its character), and sdcv finds every
# headword and key. The commands alone build the same books again.
source "$(dirname "$0")/common.sh"
HERE="$(cd "$(dirname "$0")" && pwd)"

# Every file of a book with its checksum, so two books compare byte for byte.
book_listing() { (cd "$1" && find . -type f ! -name '*.oft' -print0 | LC_ALL=C sort -z | xargs -0 sha1sum); }

W="$SCRATCH/w"; L="$SCRATCH/logs"; mkdir -p "$L"
if "$BIN" -w "$W" create --sample --with-audio --stardict --mdict >"$L/out" 2>"$L/err"; then pass; else fail "create --stardict --mdict: $(tail -n 3 "$L/err")"; fi
check "Step 13 and 14 logged" grep -q '【Step 14】MDictの出力:完了' "$L/out"

/usr/lib/stardict-tools/stardict-verify "$W/stardict/tavex.ifo" >"$L/verify" 2>&1
check "stardict-verify accepts the book: $(tail -n 2 "$L/verify")" grep -q 'Verification result: OK' "$L/verify"

if /usr/bin/python3 "$HERE/books_check.py" "$W/base_folder" "$W/stardict/tavex.ifo" "$W/mdict/tavex.mdx" \
    "$L/words" >"$L/check" 2>"$L/check.err"; then pass; else fail "pyglossary against the source: $(head -n 5 "$L/check")"; fi

# sdcv answers one line of JSON per word; exact search, the book alone.
HOME="$SCRATCH" xargs -d '\n' sdcv -n -e -j --data-dir "$W/stardict" <"$L/words" >"$L/sdcv" 2>"$L/sdcv.err"
check "sdcv answers every word ($(wc -l <"$L/words") asked)" test "$(wc -l <"$L/sdcv")" -eq "$(wc -l <"$L/words")"
check "sdcv finds every headword and key with its text" test "$(grep -vc '"definition":"' "$L/sdcv")" -eq 0

# The commands make the same books again; a reader's cache beside the index is the book's.
book_listing "$W/stardict" >"$L/stardict.sums"
book_listing "$W/mdict" >"$L/mdict.sums"
"$BIN" -w "$W" stardict >/dev/null 2>"$L/err2"; status=$?
check "stardict over a book sdcv cached: exit 0 (got $status): $(cat "$L/err2")" test "$status" -eq 0
check "stardict prints its summary" grep -Eq '^StarDict book: [0-9]+ entries, [0-9]+ other keys, [0-9]+ sounds' "$L/err2"
"$BIN" -w "$W" mdict --out "$SCRATCH/m2" >/dev/null 2>&1
check "stardict builds the same book again" diff "$L/stardict.sums" <(book_listing "$W/stardict")
check "mdict --out writes the same book there" diff "$L/mdict.sums" <(book_listing "$SCRATCH/m2")

# Two recordings swapped on the disc: the rebuilt book holds each one's new bytes, takes
# every other one unchanged from the book it replaces, and leaves no file with two names.
mapfile -t two < <(cd "$W/stardict/res" && ls | grep -E '^us_pron_[a-z]+_1\.mp3$' | head -n 2)
check "two recordings to swap (${#two[@]})" test "${#two[@]}" -eq 2
a="${two[0]#us_pron_}"; a="${a%.mp3}"; b="${two[1]#us_pron_}"; b="${b%.mp3}"
mv "$W/base_folder/us_pron/$a.wav" "$L/a.wav"; mv "$W/base_folder/us_pron/$b.wav" "$W/base_folder/us_pron/$a.wav"
mv "$L/a.wav" "$W/base_folder/us_pron/$b.wav"
"$BIN" -w "$W" stardict >/dev/null 2>&1
check "two swapped recordings are swapped in res/" \
  diff <(sed -e "s|res/${two[0]}\$|res/SWAP|" -e "s|res/${two[1]}\$|res/${two[0]}|" -e "s|res/SWAP\$|res/${two[1]}|" \
    "$L/stardict.sums" | LC_ALL=C sort -k2) <(book_listing "$W/stardict" | LC_ALL=C sort -k2)
check "no recording has a second name once the old book is gone" test -z "$(find "$W/stardict" -type f -links +1)"

# Recordings of speech do not compress, unlike the sample's silence: with every
# recording's frames made noise, both books are built again (the StarDict book writing
# each anew, the MDict book storing its recordings uncompressed) and read back whole.
/usr/bin/python3 - "$W/base_folder" <<'PY'
import random, struct, sys
from pathlib import Path
noise = random.Random(37)
for wav in sorted(Path(sys.argv[1]).glob("u?_pron/*.wav")):
    data = bytearray(wav.read_bytes())
    at = 12
    while at + 8 <= len(data):
        chunk, size = bytes(data[at:at + 4]), struct.unpack("<I", data[at + 4:at + 8])[0]
        if chunk == b"data":
            data[at + 8:at + 8 + size] = noise.randbytes(size)
        at += 8 + size + (size & 1)
    wav.write_bytes(bytes(data))
PY
"$BIN" -w "$W" stardict >/dev/null 2>"$L/err4" && "$BIN" -w "$W" mdict >/dev/null 2>>"$L/err4"
check "both books from noisy recordings: $(tail -n 2 "$L/err4")" test "$(grep -c '^error' "$L/err4")" -eq 0
if /usr/bin/python3 "$HERE/books_check.py" "$W/base_folder" "$W/stardict/tavex.ifo" "$W/mdict/tavex.mdx" \
    >"$L/check2" 2>&1; then pass; else fail "noisy recordings against the source: $(head -n 5 "$L/check2")"; fi
# The type word of each record block of the .mdd: 0 stored, 2 zlib.
blocks=$(/usr/bin/python3 - "$W/mdict/tavex.mdd" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
at = 4 + struct.unpack(">I", d[:4])[0] + 4
counts = struct.unpack(">5Q", d[at:at + 40])
at += 44 + counts[3] + counts[4]
blocks, _, info_size, _ = struct.unpack(">4Q", d[at:at + 32])
at += 32
sizes = [struct.unpack(">Q", d[at + 16 * i:at + 16 * i + 8])[0] for i in range(blocks)]
at += info_size
for size in sizes:
    print(d[at], end=" ")
    at += size
PY
)
check "the MDict book stores recordings that do not compress as they are (block types: $blocks)" \
  test -z "$(echo "$blocks" | tr -d ' 0')"
book_listing "$W/mdict" >"$L/mdict.sums"

# A base_folder without its book: exit 1 naming the file, the previous book kept.
mv "$W/base_folder/html_EPW" "$L/html_EPW.away"
"$BIN" -w "$W" mdict >/dev/null 2>"$L/err3"; status=$?
check "missing html_EPW: exit status 1 (got $status)" test "$status" -eq 1
check "missing html_EPW: the error names it" grep -q '^error: .*html_EPW' "$L/err3"
check "missing html_EPW: the previous book is kept" diff "$L/mdict.sums" <(book_listing "$W/mdict")
mv "$L/html_EPW.away" "$W/base_folder/html_EPW"

finish
