#!/usr/bin/env bash
# The create run from end to end on a generated sample disc.
source "$(dirname "$0")/common.sh"

expected_log() {
  cat <<'LOG'
【Step 01】fs.sknの抽出:完了
【Step 02】entry_idの抽出:完了
【Step 03】charの解析:完了
【Step 04】tagの解析・xsl取得:完了
【Step 04】altの取得:完了
LOG
  if [[ "$1" == audio ]]; then
    cat <<'LOG'
【Step 05】us_pron.sknの抽出:完了
【Step 06】uk_pron.sknの抽出:完了
【Step 07】us_pron.mp3をwavに変換:完了
【Step 08】uk_pron.mp3をwavに変換:完了
LOG
  else
    cat <<'LOG'
【Step 05】us_pron.sknの抽出:スキップ
【Step 06】uk_pron.sknの抽出:スキップ
【Step 07】us_pron.mp3をwavに変換:スキップ
【Step 08】uk_pron.mp3をwavに変換:スキップ
LOG
  fi
  cat <<'LOG'
【Step 09】htmlの出力:完了
【Step 10】gaiji関連ファイルの出力:完了
【Step 11】ebsファイルの出力:完了
LOG
  [[ "${2:-}" == noepwing ]] || echo "【Step 12】EPWINGの出力:完了"
  echo "***** 終了しました *****"
}

# --- mode 0 with the sample disc: a whole book and no working folder
W="$SCRATCH/w0"; mkdir -p "$W"
if "$BIN" -w "$W" create --sample >"$W/out" 2>"$W/err"; then pass; else fail "create --sample exit status: $(cat "$W/err")"; fi
check "log lines in order" diff <(head -n -1 "$W/out") <(expected_log noaudio)
check "elapsed time line" grep -qE '^所要時間：[0-9]{2}:[0-9]{2}\.[0-9]{2}$' <(tail -n 1 "$W/out")
for f in html_EPW copyright.html Gaiji.xml GaijiMap.xml TAVEX.map TAVEX.ebs; do
  check "base_folder/$f written" test -s "$W/base_folder/$f"
done
check "no working_folder after mode 0" test ! -e "$W/working_folder"
check "book decodes as CP932" iconv -f CP932 -t UTF-8 "$W/base_folder/html_EPW"
check "GaijiMap.xml well-formed" xmllint --noout "$W/base_folder/GaijiMap.xml"
check "Gaiji.xml well-formed" xmllint --noout "$W/base_folder/Gaiji.xml"
entries=$(grep -ac '^<dt id="[0-9]*">' "$W/base_folder/html_EPW")
check "one dt per entry plus the owner entry (got $entries)" test "$entries" -eq 61
check "owner entry 50080" grep -aq '^<dt id="50080">copyright_info</dt>' "$W/base_folder/html_EPW"
check "book lines end in CR LF" test "$(grep -ac $'\r$' "$W/base_folder/html_EPW")" -eq "$(wc -l <"$W/base_folder/html_EPW")"
check "no pronunciation folders without --with-audio" test ! -e "$W/base_folder/us_pron"
check "the sample book passes the pre-flight check" "$BIN" -w "$W" check
check "create ends with the check summary" grep -q '^check: 0 errors' "$W/err"
check "source saved in the settings" grep -q "src_folder=.*sample_disc" "$W/TAVEX_to_EPWING.ini"
check "the EPWING book is built by default" test -s "$W/epwing/CATALOGS"
check "create says where the book is" grep -q "^the EPWING book is in $W/epwing" "$W/err"
check "no warnings about sounds without --with-audio" test -z "$(grep -a '^warning: .*sound' "$W/err")"
check "one line says how to add the pronunciations" test "$(grep -c -- '--with-audio adds them' "$W/err")" -eq 1

check "the summary says the book records the machine's identity" grep -q "hardware address, IP addresses and DNS servers (--no-host-info" "$W/err"

# --- --no-epwing leaves the book out; --epwing is still taken; --no-host-info leaves the
# machine's identity out of the owner information
W="$SCRATCH/wx"; mkdir -p "$W"
"$BIN" -w "$W" --no-host-info create --sample --no-epwing >"$W/out" 2>"$W/err" || fail "create --no-epwing: $(cat "$W/err")"
check "--no-host-info: nothing recorded" grep -aq 'Physical Address\]<br>not recorded<br>\[IP Address\]<br>not recorded<br>\[DNS Servers\]<br>not recorded' "$W/base_folder/copyright.html"
check "--no-host-info: the summary does not offer it" test "$(grep -c -- --no-host-info "$W/err")" -eq 0
check "--no-epwing: no Step 12" diff <(head -n -1 "$W/out") <(expected_log noaudio noepwing)
check "--no-epwing: no epwing folder" test ! -e "$W/epwing"
check "--epwing is still taken" "$BIN" -q -w "$W" create --sample --epwing

# --- with audio: both WAV folders, decodable
W="$SCRATCH/wa"; mkdir -p "$W"
if "$BIN" -w "$W" create --sample --with-audio >"$W/out" 2>"$W/err"; then pass; else fail "create --with-audio: $(cat "$W/err")"; fi
check "audio log lines" diff <(head -n -1 "$W/out") <(expected_log audio)
us=$(ls "$W/base_folder/us_pron" 2>/dev/null | grep -c '\.wav$')
uk=$(ls "$W/base_folder/uk_pron" 2>/dev/null | grep -c '\.wav$')
check "us WAV files ($us)" test "$us" -ge 30
check "uk WAV files ($uk)" test "$uk" -ge 30
if command -v ffprobe >/dev/null; then
  first=$(ls "$W/base_folder/us_pron"/*.wav | head -n 1)
  check "ffprobe decodes a WAV as mp3" grep -q '^codec_name=mp3$' <(ffprobe -v error -show_streams "$first")
fi

# --- mode 1 twice: the second run finds everything and rewrites Steps 09-11 identically
W="$SCRATCH/w1"; mkdir -p "$W"
"$BIN" -w "$W" -m 1 create --sample >"$W/out1" 2>"$W/err1" || fail "first mode 1 run: $(cat "$W/err1")"
cp "$W/base_folder/html_EPW" "$W/book1"; cp "$W/base_folder/Gaiji.xml" "$W/gaiji1"; cp "$W/base_folder/TAVEX.ebs" "$W/ebs1"
"$BIN" -w "$W" -m 1 create >"$W/out2" 2>"$W/err2" || fail "second mode 1 run: $(cat "$W/err2")"
check "second run logs every line" diff <(head -n -1 "$W/out2") <(expected_log noaudio)
check "working_folder kept in mode 1" test -d "$W/working_folder"
check "book identical on the second run" diff <(book_without_time "$W/book1") <(book_without_time "$W/base_folder/html_EPW")
check "gaiji identical on the second run" cmp "$W/gaiji1" "$W/base_folder/Gaiji.xml"
check "project file identical on the second run" cmp "$W/ebs1" "$W/base_folder/TAVEX.ebs"

# --- killed during the run and resumed in mode 1: the same book as an uninterrupted run
W="$SCRATCH/wk"; mkdir -p "$W"
"$BIN" sample-disc "$W/disc" --entries 3000 --recordings 0 >/dev/null 2>&1
for delay in 0.05 0.3; do
  rm -rf "$W/ws"; mkdir -p "$W/ws"
  "$BIN" -w "$W/ws" -m 1 create "$W/disc" >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"; kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  "$BIN" -w "$W/ws" -m 1 create "$W/disc" >"$W/resumed.out" 2>"$W/resumed.err" || fail "resumed run after kill at ${delay}s: $(cat "$W/resumed.err")"
  mkdir -p "$W/clean"
  [[ -f "$W/clean/base_folder/html_EPW" ]] || "$BIN" -w "$W/clean" -m 1 create "$W/disc" >/dev/null 2>&1
  check "resumed book equals uninterrupted book (kill at ${delay}s)" \
    diff <(book_without_time "$W/clean/base_folder/html_EPW") <(book_without_time "$W/ws/base_folder/html_EPW")
done

# --- a folder that is not a disc: one error line, nothing deleted
W="$SCRATCH/wn"; mkdir -p "$W/notadisc"
"$BIN" -w "$W" create --sample >/dev/null 2>&1
"$BIN" -w "$W" create "$W/notadisc" >"$W/out" 2>"$W/err"; status=$?
check "not a disc: exit status 1 (got $status)" test "$status" -eq 1
check "not a disc: one error line naming the folder" grep -q "^error: .*notadisc" "$W/err"
check "not a disc: earlier book kept" test -s "$W/base_folder/html_EPW"
check "not a disc: no log lines" test ! -s "$W/out"

# --- a damaged bundle: the run ends with one error naming the bundle, no closing line
W="$SCRATCH/wd"; mkdir -p "$W"
"$BIN" sample-disc "$W/disc" --entries 40 --recordings 0 >/dev/null 2>&1
content=$(grep -i '^PATH' -m2 "$W/disc/tavex.data/fs.skn/files.skn/config.cft" >/dev/null; ls -S "$W/disc/tavex.data/fs.skn/files.skn" | head -n 1)
python3 - "$W/disc/tavex.data/fs.skn/files.skn/$content" <<'PY'
import sys
p = sys.argv[1]
data = bytearray(open(p, 'rb').read())
for i in range(40, min(len(data), 400)):
    data[i] ^= 0x5A
open(p, 'wb').write(bytes(data))
PY
"$BIN" -w "$W" create "$W/disc" >"$W/out" 2>"$W/err"; status=$?
check "damaged bundle: exit status 1 (got $status)" test "$status" -eq 1
check "damaged bundle: error names the bundle" grep -q '^error: .*fs\.skn' "$W/err"
check "damaged bundle: no closing line" bash -c "! grep -q '終了しました' '$W/out'"

# --- a workspace below a linked folder (a home folder on another disk, say): the links
# above the workspace are the user's own and are followed; mode 0 and mode 1 both work
mkdir -p "$SCRATCH/real"; ln -s "$SCRATCH/real" "$SCRATCH/linked"
"$BIN" -w "$SCRATCH/linked/ws" create --sample >/dev/null 2>"$SCRATCH/linked.err"; status=$?
check "workspace below a link, mode 0: exit status 0 (got $status: $(tail -n 1 "$SCRATCH/linked.err"))" \
  test "$status" -eq 0
"$BIN" -w "$SCRATCH/linked/ws" -m 1 create --sample >/dev/null 2>"$SCRATCH/linked.err"; status=$?
check "workspace below a link, mode 1: exit status 0 (got $status: $(tail -n 1 "$SCRATCH/linked.err"))" \
  test "$status" -eq 0
check "workspace below a link: the book is in the real folder" test -f "$SCRATCH/real/ws/epwing/CATALOGS"

finish
