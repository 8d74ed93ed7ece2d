#!/usr/bin/env bash
# The EPWING book from end to end: written by create from the sample disc with sounds
# (--epwing, the default, still taken), opened by the readers' own tools (ebinfo,
# eblook), built again identically by the epwing command, and kept as it was when a
# build fails.
source "$(dirname "$0")/common.sh"

# Every file of a book with its checksum, so two books compare byte for byte.
book_listing() { (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum); }

W="$SCRATCH/we"; L="$SCRATCH/logs"; mkdir -p "$W" "$L"
if "$BIN" -w "$W" create --sample --with-audio --epwing >"$L/out" 2>"$L/err"; then pass; else fail "create --epwing: $(cat "$L/err")"; fi
check "Step 12 logged last" diff <(tail -n 3 "$L/out" | head -n 2) <(printf '%s\n' "【Step 12】EPWINGの出力:完了" "***** 終了しました *****")
check "epwing/CATALOGS written" test -s "$W/epwing/CATALOGS"
check "no working_folder after mode 0" test ! -e "$W/working_folder"

ebinfo "$W/epwing" >"$L/ebinfo" 2>&1
check "ebinfo opens the book" grep -q 'subbook 1' "$L/ebinfo"
check "ebinfo: forward, backward and copyright search" grep -Eq 'search methods: *word endword copyright' "$L/ebinfo"
check "ebinfo: 16-dot gaiji fonts" grep -Eq 'font sizes: *16' "$L/ebinfo"

# eblook reads commands on standard input: the first book, then a search typed in capitals
# that must find both "polish" and "Polish", two homographs whose headings carry their
# numbers, so that the hit list tells them apart.
printf 'select 1\nsearch POLISH\n' | eblook -q -e utf8 "$W/epwing" >"$L/eblook" 2>&1
check "eblook finds polish" grep -q $'\tpolish1$' "$L/eblook"
check "eblook finds Polish too" grep -q $'\tPolish2$' "$L/eblook"

# The epwing command on the finished base_folder builds the same book again, prints its
# summary and needs no working folder.
book_listing "$W/epwing" >"$L/first.sums"
if "$BIN" -w "$W" epwing >"$L/out2" 2>"$L/err2"; then pass; else fail "epwing: $(cat "$L/err2")"; fi
check "epwing prints its summary" grep -Eq '^EPWING book: [0-9]+ entries, [0-9]+ keys \([0-9]+ with the backward index\), [0-9]+ sounds' "$L/err2"
check "epwing builds the same book again" diff "$L/first.sums" <(book_listing "$W/epwing")
check "epwing leaves no working_folder" test ! -e "$W/working_folder"
"$BIN" -w "$W" epwing --out "$W/elsewhere" >/dev/null 2>&1
check "epwing --out writes there" diff "$L/first.sums" <(book_listing "$W/elsewhere")
rm -rf "$W/elsewhere"

# A base_folder without its book: exit 1, an error naming the file, the book untouched.
ls -A "$W" >"$L/before.ls"
mv "$W/base_folder/html_EPW" "$L/html_EPW.away"
"$BIN" -w "$W" epwing >/dev/null 2>"$L/err3"; status=$?
check "missing html_EPW: exit status 1 (got $status)" test "$status" -eq 1
check "missing html_EPW: the error names it" grep -q '^error: .*html_EPW' "$L/err3"
check "missing html_EPW: the previous book is kept" diff "$L/first.sums" <(book_listing "$W/epwing")
mv "$L/html_EPW.away" "$W/base_folder/html_EPW"
check "missing html_EPW: nothing left beside the book" diff "$L/before.ls" <(ls -A "$W")

# A target that cannot be written (its parent is a file): exit 1, an error naming it.
touch "$L/afile"
"$BIN" -w "$W" epwing --out "$L/afile/book" >/dev/null 2>"$L/err4"; status=$?
check "unwritable target: exit status 1 (got $status)" test "$status" -eq 1
check "unwritable target: the error names it" grep -q '^error: .*afile' "$L/err4"

finish
