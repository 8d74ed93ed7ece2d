# Hostile cases of the fault test, sourced by e2e_faults.sh with its helpers (run, expect_error, …).
#
# A hand-edited base_folder is untrusted input for `epwing` and `check`: files are read
# only as regular files inside it, under size bounds, and its markup cannot make the
# build slow, point links nowhere or pass an empty book.
BFW="$SCRATCH/bf"  # a finished book source, copied afresh for each case
"$BIN" -w "$BFW" create --sample --with-audio >/dev/null 2>&1 || fail "create for the base_folder cases"
bf_case() {  # bf_case: a fresh copy of the finished workspace in $W, its base_folder in $BF
  W="$SCRATCH/bfcase"; rm -rf "$W"; cp -a "$BFW" "$W"; BF="$W/base_folder"
}
book_has() { grep -aqr -- "$1" "$W/epwing" 2>/dev/null; }

# Two 16X16 font sets, the second starting at FE21: named error (the build wrote past a
# buffer and exited 0), and check reports the second set too.
bf_case
python3 - "$BF/Gaiji.xml" <<'PY'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
rows = b''.join((b'#' * 16 if r % 2 else b'.' * 16) + b'\r\n' for r in range(16))
extra = (b'<fontSet size="16X16" start="FE21">\r\n<fontData ebcode="FE21" unicode="00E0">\r\n' + rows +
         b'</fontData>\r\n</fontSet>\r\n')
open(path, 'wb').write(text.replace(b'</gaijiData>', extra + b'</gaijiData>'))
PY
run -w "$W" epwing
expect_error "two 16X16 font sets" "Gaiji\.xml: line [0-9]+: a second 16X16 fontSet \(the first is on line 4\)"
run -w "$W" check
check "two 16X16 font sets: check exits 1" test "$status" -eq 1
check "two 16X16 font sets: check names the second set" grep -q "^Gaiji.xml:[0-9]*: error: a second 16X16 fontSet" "$OUT"

# Links out of base_folder: a required file that is a link stops the build naming it;
# a linked WAV folder gives counted warnings, and nothing outside reaches the book.
echo "private-marker-$$" >"$SCRATCH/private.txt"
for name in TAVEX.map copyright.html; do
  bf_case; rm "$BF/$name"; ln -s "$SCRATCH/private.txt" "$BF/$name"
  run -w "$W" epwing
  expect_error "$name as a link" "$name is a symbolic link"
  check "$name as a link: the private file not in a book" bash -c "! grep -aqr private-marker '$W/epwing' 2>/dev/null"
done
bf_case
mkdir -p "$SCRATCH/outside_pron"
for f in "$BF"/uk_pron/*.wav; do { head -c 44 "$f"; echo "outside-marker-$$"; } >"$SCRATCH/outside_pron/$(basename "$f")"; done
mv "$BF/uk_pron" "$SCRATCH/uk_pron.real"; ln -s "$SCRATCH/outside_pron" "$BF/uk_pron"
run -w "$W" epwing
check "uk_pron as a link: the build ends (exit $status)" test "$status" -eq 0
warned "uk_pron as a link" "sound link to a symbolic link, a linked folder or a special file kept as plain text: [0-9]+ times"
check "uk_pron as a link: no outside recording in the book" bash -c "! grep -aqr outside-marker-$$ '$W/epwing'"
run -w "$W" check
check "uk_pron as a link: check warns" grep -q "^uk_pron: warning: is a symbolic link" "$OUT"

# A heading pasted into a body and one before <dl>, a link to it, an id given twice:
# counted warnings from epwing, errors from check.
bf_case
python3 - "$BF/html_EPW" <<'PY'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
text = text.replace(b'<dl>\r\n', b'<dt id="ghost1">before</dt>\r\n<dl>\r\n', 1)
first_body = text.index(b'<dd><p>\r\n') + len(b'<dd><p>\r\n')
text = text[:first_body] + b'<dt id="ghost2">pasted</dt>\r\n<a href="#ghost2">see</a><br>\r\n' + text[first_body:]
text = text.replace(b'<dt id="1">', b'<dt id="0">', 1)
open(path, 'wb').write(text)
PY
run -w "$W" epwing
check "stray headings: the build ends (exit $status)" test "$status" -eq 0
warned "stray headings" "heading line outside the entry list ignored, links to it kept as plain text: 2 times, first id ghost1 on line 8"
warned "stray headings" "link to a missing entry kept as plain text: [0-9]+ times?, first ghost2"
warned "an id given twice" "entry id used twice, links lead to its first entry: 1 time, first id 0 on line [0-9]+ \(first on line 10\)"
run -w "$W" check
check "stray headings: check exits 1" test "$status" -eq 1
check "stray headings: check names both" test "$(grep -c 'error: heading of entry id ghost[12]' "$OUT")" -eq 2
check "stray headings: check finds the link dangling" grep -q "error: link to #ghost2 has no entry" "$OUT"

# No entries at all: an error, not an empty book.
bf_case
printf '<html>\r\n<body>\r\n<dl>\r\n</dl>\r\n</body>\r\n</html>\r\n' >"$BF/html_EPW"
run -w "$W" epwing
expect_error "a book without entries" "html_EPW holds no entries"
run -w "$W" check
check "a book without entries: check exits 1" grep -q "html_EPW: error: holds no entries" "$OUT"

# What epwing refuses, check refuses too, each at the line epwing stops: a heading
# right after a heading, and one entry whose lines add up to more than 16 MiB.
bf_case
python3 - "$BF/html_EPW" <<'PY'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
open(path, 'wb').write(text.replace(b'<dt id="1">', b'<dt id="ghost">twice</dt>\r\n<dt id="1">', 1))
PY
run -w "$W" epwing
expect_error "a heading after a heading" "expected \"<key …>\" or \"<dd><p>\" at line [0-9]+"
run -w "$W" check
check "a heading after a heading: check exits 1 (got $status)" test "$status" -eq 1
check "a heading after a heading: check names the line" \
  grep -q "^html_EPW:[0-9]*: error: the EPWING writer refuses it: .*expected \"<key …>\" or \"<dd><p>\"" "$OUT"
bf_case
python3 - "$BF/html_EPW" <<'PY'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
body = text.index(b'<dd><p>\r\n') + len(b'<dd><p>\r\n')
open(path, 'wb').write(text[:body] + (b'a' * (1 << 20) + b'<br>\r\n') * 17 + text[body:])
PY
run -w "$W" epwing
expect_error "an entry over 16 MiB" "entry [0-9]+ longer than 16 MiB"
run -w "$W" check
check "an entry over 16 MiB: check names it" grep -q "^html_EPW:[0-9]*: error: the EPWING writer refuses it: .*longer than 16 MiB" "$OUT"

# Size bounds, under a memory limit: sparse giants are refused before they are read, a
# 60 MiB line (of "<" without ">", once hours of work) ends at the entry bound.
bf_case; truncate -s 3G "$BF/TAVEX.map"
( ulimit -v 1048576; exec "$BIN" -w "$W" epwing ) >"$OUT" 2>"$ERR"; status=$?
expect_error "a 3 GiB TAVEX.map" "TAVEX\.map has 3221225472 bytes, more than the 4 MiB it may have"
bf_case; truncate -s 400M "$BF/Gaiji.xml"
( ulimit -v 1048576; exec "$BIN" -w "$W" epwing ) >"$OUT" 2>"$ERR"; status=$?
expect_error "a 400 MB Gaiji.xml" "Gaiji\.xml has 419430400 bytes, more than the 32 MiB it may have"
bf_case
python3 - "$BF/html_EPW" <<'PY'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
body = text.index(b'<dd><p>\r\n') + len(b'<dd><p>\r\n')
open(path, 'wb').write(text[:body] + b'<' * (60 << 20) + b'\r\n' + text[body:])
PY
( ulimit -v 1048576; exec timeout 60 "$BIN" -w "$W" epwing ) >"$OUT" 2>"$ERR"; status=$?
expect_error "a 60 MiB line" "html_EPW: line longer than 16 MiB at line [0-9]+"
( ulimit -v 1048576; exec timeout 60 "$BIN" -w "$W" check ) >"$OUT" 2>"$ERR"; status=$?
check "a 60 MiB line: check names it" grep -q "^html_EPW:[0-9]*: error: line [0-9]* is longer than 16 MiB" "$OUT"

# A FIFO and a link to /dev/zero in check: errors at once, not a hang or gigabytes.
bf_case; rm "$BF/html_EPW"; mkfifo "$BF/html_EPW"
( ulimit -v 1048576; exec timeout 20 "$BIN" -w "$W" check ) >"$OUT" 2>"$ERR"; status=$?
check "a FIFO in check: exit 1 (got $status)" test "$status" -eq 1
check "a FIFO in check: named" grep -q "^html_EPW: error: is not a regular file" "$OUT"
bf_case; rm "$BF/Gaiji.xml"; ln -s /dev/zero "$BF/Gaiji.xml"
( ulimit -v 1048576; exec timeout 20 "$BIN" -w "$W" check ) >"$OUT" 2>"$ERR"; status=$?
check "/dev/zero as Gaiji.xml in check: exit 1 (got $status)" test "$status" -eq 1
check "/dev/zero as Gaiji.xml in check: named" grep -q "^Gaiji.xml: error: is a symbolic link" "$OUT"

# Terminal escape codes in html_EPW reach check's report only as \xNN.
bf_case
printf '<a href="#\033]0;owned\007\033[2J">x</a>' >"$SCRATCH/esc"
python3 - "$BF/html_EPW" "$SCRATCH/esc" <<'PY'
import sys
path, link = sys.argv[1], open(sys.argv[2], 'rb').read()
text = open(path, 'rb').read()
body = text.index(b'<dd><p>\r\n') + len(b'<dd><p>\r\n')
open(path, 'wb').write(text[:body] + link + text[body:])
PY
run -w "$W" check
check "escape codes in check: none printed raw" bash -c "! grep -aq $'\033' '$OUT'"
check "escape codes in check: shown as \\xNN" grep -qF '#\x1B]0;owned\x07\x1B[2J has no entry' "$OUT"
