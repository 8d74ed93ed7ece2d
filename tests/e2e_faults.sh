#!/usr/bin/env bash
# Faults as a user meets them: a run killed at any point and resumed, a disk that fills
# up, a workspace that cannot be written, a source that disappears, a database that is
# not one, and damaged discs. Each ends in the same book as an undisturbed run, in one
# clear error, or in a counted warning with the rest of the book whole.
source "$(dirname "$0")/common.sh"
chmod 755 "$SCRATCH"  # another user reads the workspaces in the read-only part
OUT="$SCRATCH/out"
ERR="$SCRATCH/err"
SEED="${FAULTS_SEED:-$$}"
RANDOM=$SEED
echo "random kill points from seed $SEED (set FAULTS_SEED to repeat them)"

# Runs the program with its output in $OUT and $ERR and its exit status in $status.
run() { "$BIN" "$@" >"$OUT" 2>"$ERR"; status=$?; }
# Runs the program under a file size limit in KiB, as a disk that fills up: SIGXFSZ is
# ignored, so the write that crosses the limit fails with EFBIG.
run_limited() {
  local limit="$1"; shift
  ( trap '' XFSZ; ulimit -f "$limit"; exec "$BIN" "$@" ) >"$OUT" 2>"$ERR"; status=$?
}
# The last run failed clearly: status 1, one error line matching PATTERN, no closing line.
expect_error() {
  local what="$1" pattern="$2"
  check "$what: exit status 1 (got $status)" test "$status" -eq 1
  check "$what: one error line" test "$(grep -c '^error: ' "$ERR")" -eq 1
  grep -qE "^error: .*$pattern" "$ERR" && pass || fail "$what: error should match '$pattern': $(head -c 400 "$ERR")"
  check "$what: no closing line" bash -c "! grep -q '終了しました' '$OUT'"
}
# The last run succeeded with the closing line.
expect_success() {
  local what="$1"
  check "$what: exit status 0 (got $status; $(head -c 300 "$ERR"))" test "$status" -eq 0
  check "$what: closing line" grep -q '^\*\*\*\*\* 終了しました \*\*\*\*\*$' "$OUT"
}
entry_count() { grep -ac '^<dt id="[0-9]*">' "$1/base_folder/html_EPW"; }
has_table() { [[ "$(sqlite3 "$1/working_folder/TAVEX_data" "select count(*) from sqlite_master where name='$2'")" == 1 ]]; }
no_temp_files() { [[ -z "$(find "$1" -name '*.tmp*' | head -n 1)" ]]; }

# Damages one bundle of a sample disc: reads its configuration for the file names (stored
# in another letter case than configured), and rewrites records or patches raw bytes.
DAMAGE="$SCRATCH/damage.py"
cat >"$DAMAGE" <<'PY'
import os, struct, sys, zlib

WIDTHS = {'UBYTE': 1, 'USHORT': 2, 'U24': 3, 'ULONG': 4}

def find(folder, name):
    for entry in os.listdir(folder):
        if entry.lower() == name.lower():
            return os.path.join(folder, entry)
    raise SystemExit(f'{name} not in {folder}')

class Bundle:
    def __init__(self, folder):
        sections, current = {}, None
        for line in open(os.path.join(folder, 'config.cft'), encoding='utf-8'):
            line = line.strip()
            if line.startswith('['):
                current = sections.setdefault(line[1:-1], [])
            elif '=' in line and current is not None:
                key, value = (part.strip() for part in line.split('=', 1))
                current.append((key, value))
        dat = sections['DAT']
        self.index = find(folder, dict(dat)['PATH'])
        self.fields, offset = {}, 0  # column name -> offset in the index record
        for key, value in dat[:-1]:  # the section's last line declares nothing
            if value in WIDTHS:
                self.fields[key.split(',')[0]] = offset
                offset += WIDTHS[value]
        self.record_size = offset
        content = dict(sections['$CONTENT'])
        self.content = find(folder, content['PATH'])
        self.catalogue = find(folder, content['CATALOG'])
        self.title_field = [name for name in self.fields if name != '$CONTENT' and name in sections][0]
        self.titles = find(folder, dict(sections[self.title_field])['PATH'])

    def read(self):
        """The records as [title bytes, content bytes, index record]."""
        index, cat = open(self.index, 'rb').read(), open(self.catalogue, 'rb').read()
        packed, titles = open(self.content, 'rb').read(), open(self.titles, 'rb').read()
        count, t_off = len(index) // self.record_size, self.fields[self.title_field]
        starts = [struct.unpack_from('<I', index, r * self.record_size + t_off)[0] for r in range(count)]
        records, pos = [], 0
        for r in range(count):
            size = struct.unpack_from('<I', cat, 8 * r + 4)[0]
            content = zlib.decompress(packed[pos:pos + size])
            pos += size
            end = starts[r + 1] if r + 1 < count else len(titles)
            record = bytearray(index[r * self.record_size:(r + 1) * self.record_size])
            records.append([titles[starts[r]:end], content, record])
        return records

    def write(self, records):
        index, cat, packed, titles, unpacked = bytearray(), bytearray(), bytearray(), bytearray(), 0
        for title, content, record in records:
            struct.pack_into('<I', record, self.fields[self.title_field], len(titles))
            struct.pack_into('<I', record, self.fields['$CONTENT'], unpacked)
            index += record
            titles += title
            z = zlib.compress(content)
            cat += struct.pack('<II', len(content), len(z))
            packed += z
            unpacked += len(content)
        for path, data in ((self.index, index), (self.catalogue, cat), (self.content, packed), (self.titles, titles)):
            open(path, 'wb').write(data)

def patch(path, pos, data):
    with open(path, 'r+b') as f:
        f.seek(pos)
        f.write(data)

def replace(b, k, part, value):
    records = b.read()
    records[k][part] = value(records[k][part])
    b.write(records)

folder, kind, k = sys.argv[1], sys.argv[2], int(sys.argv[3])
b = Bundle(folder)
cat = open(b.catalogue, 'rb').read()
if kind == 'truncated-content':
    os.truncate(b.content, os.path.getsize(b.content) // 2)
elif kind == 'descending-offsets':  # record k+1's title starts before record k's
    patch(b.index, (k + 1) * b.record_size + b.fields[b.title_field], struct.pack('<I', 0))
elif kind == 'title-past-end':
    patch(b.index, k * b.record_size + b.fields[b.title_field], struct.pack('<I', 0x7FFFFFFF))
elif kind == 'title-not-utf8':
    replace(b, k, 0, lambda t: b'\xff\xfe' + t + b'\xc3')
elif kind == 'entry-not-xml':
    replace(b, k, 1, lambda c: b'<entry id="broken">this & that <b>never closed')
elif kind == 'entry-not-text':
    replace(b, k, 1, lambda c: bytes(range(256)))
elif kind == 'short-recording':  # the first 100 bytes of a real recording
    replace(b, k, 1, lambda c: c[:100])
elif kind == 'short-tagged-recording':  # a tag header that claims more than there is
    replace(b, k, 1, lambda c: b'ID3\x03\x00\x00\x00\x00\x10\x00' + b'\x00' * 40)
elif kind == 'empty-recording':
    replace(b, k, 1, lambda c: b'')
elif kind == 'corrupt-zlib':
    pos = sum(struct.unpack_from('<I', cat, 8 * r + 4)[0] for r in range(k))
    size = struct.unpack_from('<I', cat, 8 * k + 4)[0]
    data = bytearray(open(b.content, 'rb').read())
    for i in range(pos + 2, pos + size):
        data[i] ^= 0xA5
    open(b.content, 'wb').write(data)
elif kind == 'index-trailing':
    open(b.index, 'ab').write(b'\x01\x02\x03')
elif kind == 'catalogue-trailing':
    open(b.catalogue, 'ab').write(b'\x01\x02\x03\x04\x05')
elif kind == 'huge-record':  # 4 GiB unpacked for one record
    patch(b.catalogue, 8 * k, struct.pack('<I', 0xFFFFFFFF))
elif kind == 'missing-content':
    os.remove(b.content)
elif kind == 'missing-catalogue':
    os.remove(b.catalogue)
elif kind == 'missing-config':
    os.remove(os.path.join(folder, 'config.cft'))
elif kind == 'config-without-dat':
    path = os.path.join(folder, 'config.cft')
    text = open(path, encoding='utf-8').read()
    open(path, 'w', encoding='utf-8').write(text.replace('[DAT]', '[DATA]'))
elif kind == 'rewrite':
    b.write(b.read())
else:
    raise SystemExit('unknown damage ' + kind)
PY

# ====================================================================================
# Killed at points inside every step (mode 1, with audio) and resumed: the same book,
# the same WAV files and the same working database as an undisturbed run. The EPWING
# book is left out here; e2e_epwing tests that its failed builds keep the previous one.
DISC="$SCRATCH/disc"
"$BIN" sample-disc "$DISC" --entries 2500 --recordings 600 --seed 11 >/dev/null 2>&1 || fail "sample-disc"
WS="$SCRATCH/ws"  # every run uses this path, so the project files compare byte for byte
REF="$SCRATCH/ref"
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# The undisturbed run, noting when each step's log line appears.
start=$(now_ms)
"$BIN" -w "$WS" -m 1 create "$DISC" --with-audio --no-epwing 2>/dev/null | while IFS= read -r line; do
  echo "$(( $(now_ms) - start ))"
done >"$SCRATCH/times"
mapfile -t line_ms <"$SCRATCH/times"
steps=$(( ${#line_ms[@]} - 2 ))  # the closing and elapsed-time lines are no steps
check "undisturbed run logs twelve steps (got $steps)" test "$steps" -eq 12
mv "$WS" "$REF"
check "the undisturbed book passes the check" "$BIN" -w "$REF" check
ref_dump="$(sqlite3 "$REF/working_folder/TAVEX_data" .dump | md5sum)"

same_as_reference() {
  local label="$1" f
  diff -q <(book_without_time "$REF/base_folder/html_EPW") <(book_without_time "$WS/base_folder/html_EPW") \
    >/dev/null && pass || fail "$label: html_EPW differs"
  for f in Gaiji.xml GaijiMap.xml TAVEX.map TAVEX.ebs; do
    cmp -s "$REF/base_folder/$f" "$WS/base_folder/$f" && pass || fail "$label: $f differs"
  done
  # File lists and bytes of both WAV folders; no temporary file left anywhere.
  diff -rq "$REF/base_folder/us_pron" "$WS/base_folder/us_pron" >/dev/null && pass || fail "$label: us_pron differs"
  diff -rq "$REF/base_folder/uk_pron" "$WS/base_folder/uk_pron" >/dev/null && pass || fail "$label: uk_pron differs"
  diff <(cd "$REF" && find base_folder working_folder | sort) <(cd "$WS" && find base_folder working_folder | sort) \
    >"$SCRATCH/listdiff" && pass || fail "$label: other files: $(head -c 300 "$SCRATCH/listdiff")"
  [[ "$(sqlite3 "$WS/working_folder/TAVEX_data" .dump | md5sum)" == "$ref_dump" ]] && pass ||
    fail "$label: the working database differs"
}

# Starts the run, waits for log line AFTER (0: the start), sleeps DELAY_MS, kills it.
# Sets `lines` to the number of log lines the killed run wrote.
kill_after() {
  local after="$1" delay_ms="$2" fifo="$SCRATCH/log.fifo" line pid
  rm -f "$fifo"; mkfifo "$fifo"
  "$BIN" -w "$WS" -m 1 create "$DISC" --with-audio --no-epwing >"$fifo" 2>/dev/null &
  pid=$!
  exec 3<"$fifo"
  local pause; pause=$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))
  lines=0
  if (( after == 0 )); then sleep "$pause"; kill -9 "$pid" 2>/dev/null; fi
  while IFS= read -r line <&3; do
    lines=$((lines + 1))
    if (( lines == after )); then sleep "$pause"; kill -9 "$pid" 2>/dev/null; fi
  done
  exec 3<&-
  wait "$pid" 2>/dev/null
}

kills=0; inside=0; interrupted=0
for (( step = 1; step <= steps; step++ )); do
  begin=$(( step == 1 ? 0 : line_ms[step - 2] ))
  length=$(( line_ms[step - 1] - begin ))
  (( length < 2 )) && length=2
  # One point in the first half of the step and one in the second.
  for half in 0 1; do
    delay=$(( half * length / 2 + RANDOM % (length / 2 + 1) ))
    rm -rf "$WS"
    kill_after $((step - 1)) "$delay"
    kills=$((kills + 1))
    (( lines == step - 1 )) && inside=$((inside + 1))
    (( lines <= steps )) && interrupted=$((interrupted + 1))
    run -w "$WS" -m 1 create "$DISC" --with-audio --no-epwing
    label="killed ${delay} ms into step $step ($lines lines written)"
    expect_success "$label, resumed"
    same_as_reference "$label, resumed"
  done
done
echo "kills: $kills, $inside inside the step aimed at, $interrupted before the run's end"
check "most kills interrupted the run ($interrupted of $kills)" test $((interrupted * 2)) -ge "$kills"

# ====================================================================================
# The disk fills up: the run stops with an error naming the file; nothing half-written
# is left to pass for done, and the earlier book survives.
SMALL="$SCRATCH/small"
"$BIN" sample-disc "$SMALL" --entries 200 --recordings 30 --seed 3 >/dev/null 2>&1 || fail "small sample-disc"
FULL="$SCRATCH/full"  # a finished mode 1 workspace to start the later cases from
"$BIN" -w "$FULL" -m 1 create "$SMALL" --with-audio >/dev/null 2>&1 || fail "mode 1 run on the small disc"
kib() { echo $(( $(stat -c %s "$1") / 1024 )); }
# A copy of the finished workspace that uses its own database: the settings remember the
# database path, which would still name the copied workspace's.
copy_full() { rm -rf "$1"; cp -a "$FULL" "$1"; sed -i '/^mdb_file=/d' "$1/TAVEX_to_EPWING.ini"; }

W="$SCRATCH/wf1"
run_limited $(( $(kib "$FULL/working_folder/unzip_folder/fs.skn.dat") / 2 )) -w "$W" create "$SMALL"
expect_error "disk full while unpacking" "fs\.skn\.dat"
check "disk full while unpacking: no part-written content file" no_temp_files "$W"

W="$SCRATCH/wf2"; copy_full "$W"; rm "$W/working_folder/TAVEX_data"
run_limited $(( $(kib "$FULL/working_folder/TAVEX_data") / 4 )) -w "$W" -m 1 create --with-audio
expect_error "disk full while filling the database" "working_folder/TAVEX_data"
check "disk full while filling the database: no table left behind" bash -c "! sqlite3 '$W/working_folder/TAVEX_data' .tables | grep -q fs_skn"
run -w "$W" -m 1 create --with-audio
expect_success "after the full disk, resumed"
check "after the full disk, the same book" diff <(book_without_time "$FULL/base_folder/html_EPW") <(book_without_time "$W/base_folder/html_EPW")

W="$SCRATCH/wf3"; copy_full "$W"
run_limited $(( $(kib "$FULL/base_folder/html_EPW") / 2 )) -w "$W" -m 1 create --with-audio
expect_error "disk full while writing the book" "base_folder/html_EPW"
check "disk full while writing the book: the earlier book kept" cmp "$FULL/base_folder/html_EPW" "$W/base_folder/html_EPW"
check "disk full while writing the book: no temporary file" no_temp_files "$W/base_folder"

W="$SCRATCH/wf4"; copy_full "$W"; rm -r "$W/base_folder/us_pron"
run_limited 1 -w "$W" -m 1 create --with-audio
expect_error "disk full while converting recordings" "us_pron[^ ]*\.wav"
check "disk full while converting recordings: no WAV folder taken as done" test ! -e "$W/base_folder/us_pron"
check "disk full while converting recordings: no temporary folder" no_temp_files "$W/base_folder"
run -w "$W" -m 1 create --with-audio
expect_success "after the full disk, recordings resumed"
check "after the full disk, the same WAV files" diff -r "$FULL/base_folder/us_pron" "$W/base_folder/us_pron"

# ====================================================================================
# A workspace that cannot be written, a source that disappears, a database that is not one.
W="$SCRATCH/wr1"; mkdir -p "$W"; echo "not a folder" >"$W/base_folder"
run -w "$W" create "$SMALL"
expect_error "a file where base_folder should be" "base_folder"
check "a file where base_folder should be: the file kept" grep -q "not a folder" "$W/base_folder"

# Permissions do not stop root: run as another user then, or skip.
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  if command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$BIN" 2>/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  else
    as_user=(skip)
  fi
fi
if [[ "${as_user[0]:-}" == skip ]]; then
  echo "skipped: read-only workspace (running as root, and no other user can run the program)"
else
  W="$SCRATCH/wr2"; mkdir -p "$W"; chmod 555 "$W"
  "${as_user[@]}" "$BIN" -w "$W" create "$SMALL" >"$OUT" 2>"$ERR"; status=$?
  expect_error "a read-only workspace" "$W"
  W="$SCRATCH/wr3"; copy_full "$W"; chmod -R a-w "$W"
  "${as_user[@]}" "$BIN" -w "$W" -m 1 create >"$OUT" 2>"$ERR"; status=$?
  expect_error "a read-only finished workspace" "$W"
  check "a read-only finished workspace: the book kept" cmp "$FULL/base_folder/html_EPW" "$W/base_folder/html_EPW"
  chmod -R u+w "$W"
fi

# The source folder is renamed away once Step 01 is done; Step 05 needs it again.
W="$SCRATCH/wv"; SRC="$SCRATCH/moving"; cp -r "$DISC" "$SRC"
fifo="$SCRATCH/v.fifo"; mkfifo "$fifo"
"$BIN" -w "$W" -m 1 create "$SRC" --with-audio >"$fifo" 2>"$ERR" &
pid=$!
while IFS= read -r line; do
  echo "$line" >>"$OUT.v"
  [[ "$line" == "【Step 01】"* ]] && mv "$SRC" "$SRC.gone"
done <"$fifo"
wait "$pid"; status=$?
cp "$OUT.v" "$OUT"
expect_error "the source folder disappears" "us_pron\.skn.*moving"
check "the source folder disappears: no us_pron table" bash -c "! sqlite3 '$W/working_folder/TAVEX_data' .tables | grep -q us_pron_skn"
mv "$SRC.gone" "$SRC"
run -w "$W" -m 1 create "$SRC" --with-audio
expect_success "the source folder back, resumed"

W="$SCRATCH/wd1"; mkdir -p "$W"; echo "some notes" >"$SCRATCH/notes.txt"
run -w "$W" --db "$SCRATCH/notes.txt" -m 1 create "$SMALL"
expect_error "--db names a text file" "notes\.txt"
check "--db names a text file: the file untouched" test "$(cat "$SCRATCH/notes.txt")" = "some notes"

W="$SCRATCH/wd2"; copy_full "$W"
head -c 50000 /dev/urandom >"$W/working_folder/TAVEX_data"; cp "$W/working_folder/TAVEX_data" "$SCRATCH/garbage"
run -w "$W" -m 1 create
expect_error "a working database that is garbage" "working_folder/TAVEX_data"
run -w "$W" html
expect_error "html on a working database that is garbage" "working_folder/TAVEX_data"
check "a working database that is garbage: left as it was" cmp "$SCRATCH/garbage" "$W/working_folder/TAVEX_data"
check "a working database that is garbage: the book kept" cmp "$FULL/base_folder/html_EPW" "$W/base_folder/html_EPW"

# ====================================================================================
# Damaged discs. The damage helper reads and writes the bundle format itself: rewriting
# an undamaged bundle must give the same bytes, or the cases below test nothing.
cp -r "$SMALL" "$SCRATCH/rewritten"
for b in fs.skn us_pron.skn; do python3 "$DAMAGE" "$SCRATCH/rewritten/tavex.data/$b/files.skn" rewrite 0; done
check "the damage helper rewrites a bundle byte for byte" diff -r "$SMALL" "$SCRATCH/rewritten"
base_entries=$(entry_count "$FULL")
base_unparsed=$(cd "$SCRATCH" && "$BIN" -w "$SCRATCH/wb" create "$SMALL" --with-audio 2>&1 >/dev/null |
  sed -n 's/^warning: \([0-9]*\) entries did not parse.*/\1/p')
base_wavs=$(ls "$FULL/base_folder/us_pron" | wc -l)

damaged_run() {  # damaged_run BUNDLE KIND RECORD: a damaged copy of the small disc, converted
  W="$SCRATCH/dmg"; rm -rf "$W" "$SCRATCH/ddisc"; cp -r "$SMALL" "$SCRATCH/ddisc"
  python3 "$DAMAGE" "$SCRATCH/ddisc/tavex.data/$1/files.skn" "$2" "$3" || fail "damage $1 $2"
  run -w "$W" -m 1 create "$SCRATCH/ddisc" --with-audio
}

while read -r bundle kind record pattern; do
  damaged_run "$bundle" "$kind" "$record"
  expect_error "$bundle $kind" "$pattern"
  table="${bundle%.skn}_skn"
  if [[ -f "$W/working_folder/TAVEX_data" ]]; then
    check "$bundle $kind: no half-filled table" bash -c "! sqlite3 '$W/working_folder/TAVEX_data' .tables | grep -qw $table"
  fi
done <<'CASES'
fs.skn truncated-content 0 fs\.skn: record [0-9]+ .*fs\.dat
fs.skn descending-offsets 7 fs\.skn: record 7: .*fs\.ttl descend
fs.skn title-past-end 7 fs\.skn: record 6 .*fs\.ttl
fs.skn corrupt-zlib 7 fs\.skn: record 7 of .*fs\.dat
fs.skn huge-record 7 fs\.skn: .*FS\.CAT .*4294967295.*record 7
fs.skn missing-content 0 fs\.skn: .*FS\.DAT
fs.skn missing-catalogue 0 fs\.skn: .*fs\.cat
fs.skn missing-config 0 fs\.skn: .*config\.cft
fs.skn config-without-dat 0 fs\.skn: .*config\.cft
us_pron.skn truncated-content 0 us_pron\.skn: record [0-9]+ .*us_pron\.dat
us_pron.skn corrupt-zlib 4 us_pron\.skn: record 4 of .*us_pron\.dat
us_pron.skn huge-record 4 us_pron\.skn: .*us_pron\.cat .*record 4
CASES

# Warnings: the run ends, the warning counts what was damaged, the rest of the book is whole.
book_whole() {  # book_whole WHAT [ERRORS]: ERRORS, a pattern the check's only errors match
  local what="$1"
  expect_success "$what"
  check "$what: every entry in the book" test "$(entry_count "$W")" -eq "$base_entries"
  check "$what: the book decodes as CP932" iconv -f CP932 -t UTF-8 -o /dev/null "$W/base_folder/html_EPW"
  if [[ -z "${2:-}" ]]; then
    check "$what: the book passes the check" "$BIN" -w "$W" check
  else
    "$BIN" -w "$W" check >"$SCRATCH/check.out" 2>&1
    check "$what: the check's only errors: $2" bash -c "grep ': error: ' '$SCRATCH/check.out' | grep -qv -- '$2' && exit 1 || grep -q -- '$2' '$SCRATCH/check.out'"
  fi
}
warned() { grep -qE "^warning: $2" "$ERR" && pass || fail "$1: no warning '$2': $(head -c 400 "$ERR")"; }

damaged_run fs.skn title-not-utf8 7
book_whole "a title that is not UTF-8"
warned "a title that is not UTF-8" "bundle fs\.skn: 1 records hold bytes in TEXTTITLE that are not UTF-8"
# Entries refer to entry 7 by its id, which its lost text no longer gives: those links go
# nowhere, and the check says so.
for kind in entry-not-xml entry-not-text; do
  damaged_run fs.skn "$kind" 7
  book_whole "$kind" 'error: link to #-1 has no entry with that id'
  warned "$kind" "$((base_unparsed + 1)) entries did not parse"
done
damaged_run fs.skn index-trailing 0
book_whole "an index with trailing bytes"
warned "an index with trailing bytes" "bundle fs\.skn: index file .*fs\.idx ends in 3 bytes"
damaged_run fs.skn catalogue-trailing 0
book_whole "a catalogue with trailing bytes"
warned "a catalogue with trailing bytes" "bundle fs\.skn: catalogue file .*FS\.CAT ends in 5 bytes"
damaged_run us_pron.skn short-recording 4
book_whole "a recording cut to 100 bytes"
check "a recording cut to 100 bytes: every WAV file" test "$(ls "$W/base_folder/us_pron" | wc -l)" -eq "$base_wavs"
# A recording that gives no WAV file leaves the sound link to it dead: check names it as
# an error, verify beside the source too, and create shows both and fails verification,
# its book whole otherwise.
for kind in short-tagged-recording empty-recording; do
  damaged_run us_pron.skn "$kind" 4
  check "$kind: exit status 1 (got $status)" test "$status" -eq 1
  check "$kind: create's summary shows the check's error" grep -q '^check: 1 error' "$ERR"
  check "$kind: create's summary shows verify's" grep -qE '^verify: .* 1 error' "$ERR"
  check "$kind: every entry in the book" test "$(entry_count "$W")" -eq "$base_entries"
  "$BIN" -w "$W" check >"$SCRATCH/check.out" 2>&1
  check "$kind: the check's only error is the dead sound link" \
    bash -c "grep ': error: ' '$SCRATCH/check.out' | grep -qv 'which base_folder lacks' && exit 1 || grep -q 'which base_folder lacks' '$SCRATCH/check.out'"
  warned "$kind" "us_pron_skn: 1 recording got no WAV file"
  check "$kind: the other WAV files" test "$(ls "$W/base_folder/us_pron" | wc -l)" -eq $((base_wavs - 1))
done

# ====================================================================================
# Hostile input: rule files are passed between users and a disc can come from anywhere.
# Nothing outside the workspace reaches the book, the previous book survives every
# failure, and each case ends in one clear error or a counted warning.
HW="$SCRATCH/hostile"
fresh_sample() { rm -rf "$1"; "$BIN" -w "$1" "${@:2}" create --sample >/dev/null 2>&1 || fail "create --sample in $1"; }
# Sets the custom_xsl of tag h in the workspace's xsl_data.xml (an escaped rule text).
set_rule_h() {
  python3 - "$1/xsl_data.xml" "$2" <<'PY'
import re, sys
path, rule = sys.argv[1], sys.argv[2]
text = open(path, encoding='cp932').read()
text, n = re.subn(r'(<tag>h</tag>.*?<custom_xsl>).*?(</custom_xsl>)', lambda m: m.group(1) + rule + m.group(2),
                  text, count=1, flags=re.S)
assert n == 1
open(path, 'w', encoding='cp932').write(text)
PY
}
book_kept() {  # book_kept WHAT: base_folder is the saved book byte for byte, no staging left
  diff -r "$HW.book" "$HW/base_folder" >/dev/null && pass || fail "$1: the previous book changed"
  check "$1: no book half-written beside it" bash -c "! compgen -G '$HW/.tavex2epwing-base_folder-*' >/dev/null"
}
fresh_sample "$HW"
cp -a "$HW/base_folder" "$HW.book"

# A rule file whose entity names a local file, and a rule that reads it with document().
cp "$HW/xsl_data.xml" "$HW.rules"
sed -i '0,/<root>/s||<!DOCTYPE root [<!ENTITY e SYSTEM "file:///etc/passwd">]>\n<root><leak>\&e;</leak>|' "$HW/xsl_data.xml"
set_rule_h "$HW" "&lt;xsl:template match=\"h\"&gt;&lt;xsl:value-of select=\"document('../xsl_data.xml')/root/leak\"/&gt;&lt;/xsl:template&gt;"
run -w "$HW" create --sample
expect_error "a rule reading the rule file with its entity" "rule of tag h may not read .*xsl_data\.xml"
book_kept "a rule reading the rule file"
echo '<secret>outside-marker</secret>' >"$SCRATCH/outside.xml"
cp "$HW.rules" "$HW/xsl_data.xml"
set_rule_h "$HW" "&lt;xsl:template match=\"h\"&gt;&lt;xsl:value-of select=\"document('$SCRATCH/outside.xml')\"/&gt;&lt;/xsl:template&gt;"
run -w "$HW" create --sample
expect_error "a rule reading a file outside the workspace" "rule of tag h may not read .*outside\.xml"
book_kept "a rule reading a file outside the workspace"
check "no file outside the workspace in any book" bash -c "! grep -aqr -e outside-marker -e 'root:' '$HW/base_folder'"

# A truncated rule file: one error with the parser's line, before any rule is written.
head -c 3000 "$HW.rules" >"$HW/xsl_data.xml"
run -w "$HW" create --sample
expect_error "a truncated xsl_data.xml" "xsl_data\.xml: line [0-9]+: "
check "a truncated xsl_data.xml: stopped at Step 04" bash -c "! grep -q 'Step 04' '$OUT'"
book_kept "a truncated xsl_data.xml"

# A damaged disc and a kill in operating mode 0 keep the previous book byte for byte;
# the next run removes what the killed one left and puts its own book in place.
mkdir -p "$SCRATCH/nodisc/tavex.data/fs.skn"
cp "$HW.rules" "$HW/xsl_data.xml"
run -w "$HW" create "$SCRATCH/nodisc"
expect_error "mode 0 on a damaged disc" "fs\.skn"
book_kept "mode 0 on a damaged disc"
fifo="$SCRATCH/h.fifo"; rm -f "$fifo"; mkfifo "$fifo"
"$BIN" -w "$HW" create "$DISC" --with-audio --no-epwing >"$fifo" 2>/dev/null &
pid=$!
while IFS= read -r line; do [[ "$line" == "【Step 05】"* ]] && kill -9 "$pid" 2>/dev/null; done <"$fifo"
wait "$pid" 2>/dev/null
check "mode 0 killed: the run was interrupted" compgen -G "$HW/.tavex2epwing-base_folder-*"
diff -r "$HW.book" "$HW/base_folder" >/dev/null && pass || fail "mode 0 killed: the previous book changed"
run -w "$HW" create --sample
expect_success "mode 0 after a kill"
check "mode 0 after a kill: the staging folder removed" bash -c "! compgen -G '$HW/.tavex2epwing-base_folder-*' >/dev/null"
check "mode 0 after a kill: a whole book" "$BIN" -w "$HW" check

# A rule that asks for text output empties every definition: counted, and check warns.
set_rule_h "$HW" '&lt;xsl:output method="text"/&gt;'
run -w "$HW" create --sample
expect_success "a text-output rule"
warned "a text-output rule" "[0-9]+ entries have no body after the transformation"
"$BIN" -w "$HW" check >"$OUT" 2>&1
check "a text-output rule: check warns" grep -q 'with search keys but an empty definition' "$OUT"

# The character export imported as rules by mistake, and a truncated one: refused, the
# rules stay.
fresh_sample "$HW" -m 1
rules_before=$(sqlite3 "$HW/working_folder/TAVEX_data" 'select count(*) from xsl')
"$BIN" -w "$HW" export char "$SCRATCH/chars.xml" >/dev/null 2>&1 || fail "export char"
run -w "$HW" import xsl "$SCRATCH/chars.xml" --yes
expect_error "the character export imported as xsl" "chars\.xml: it holds no <tags> element"
head -c 2000 "$HW/xsl_data.xml" >"$SCRATCH/cut.xml"
run -w "$HW" import xsl "$SCRATCH/cut.xml" --yes
expect_error "a truncated file imported as xsl" "cut\.xml: line [0-9]+: "
check "refused imports: the rules stay" test "$(sqlite3 "$HW/working_folder/TAVEX_data" 'select count(*) from xsl')" -eq "$rules_before"

# Two writes of the main stylesheet within one second in mode 2: both hand edits kept.
fresh_sample "$HW" -m 1
for edit in one two; do
  echo "<!-- hand edit $edit -->" >>"$HW/working_folder/epwing_dic.xsl"
  touch -d '2026-01-02 03:04:05' "$HW/working_folder/epwing_dic.xsl"
  "$BIN" -w "$HW" -m 2 stylesheet >/dev/null 2>&1 || fail "stylesheet after edit $edit"
done
for edit in one two; do
  check "two stylesheet writes in one second: edit $edit kept" grep -rq "hand edit $edit" "$HW/lib_folder/xsl_backup_folder"
done

# Disc paths that leave the bundle, a FIFO, and a sparse title file far larger than the
# memory the run may take.
hostile_disc() {  # hostile_disc: a copy of the small disc in $HD, its fs.skn files in $HF
  HD="$SCRATCH/hdisc"; rm -rf "$HD"; cp -r "$SMALL" "$HD"; HF="$HD/tavex.data/fs.skn/files.skn"
}
for path in '../../../../etc/passwd' '..\..\..\..\etc\passwd'; do
  hostile_disc
  sed -i "s|^PATH = fs.ttl|PATH = ${path//\\/\\\\}|I" "$HF/config.cft"
  run -w "$SCRATCH/hd" -m 1 create "$HD"
  expect_error "title PATH $path" "fs\.skn: PATH of \[\\\$TEXTTITLE\] in .*config\.cft .*\"\.\.\" part"
done
hostile_disc; ttl=$(ls "$HF" | grep -i '\.ttl$'); rm "$HF/$ttl"; mkfifo "$HF/$ttl"
rm -rf "$SCRATCH/hd"; timeout 60 "$BIN" -w "$SCRATCH/hd" -m 1 create "$HD" >"$OUT" 2>"$ERR"; status=$?
expect_error "a title file that is a FIFO" "$ttl: not a regular file"
hostile_disc; truncate -s 3G "$HF/$ttl"
rm -rf "$SCRATCH/hd"; ( ulimit -v 1048576; exec "$BIN" -w "$SCRATCH/hd" -m 1 create "$HD" ) >"$OUT" 2>"$ERR"; status=$?
expect_error "a 3 GiB title file under a 1 GiB memory limit" "$ttl has 3221225472 bytes, more than the 256 MiB"

# Hostile cases kept in their own files, sharing the helpers above.
for part in output_folders base_folder rule_budgets ownership databases; do
  source "$(dirname "$0")/faults/$part.sh"
done

finish
