#!/usr/bin/env bash
# The single-step commands on a generated sample disc, checked with independent tools.
source "$(dirname "$0")/common.sh"

D="$SCRATCH/disc"; W="$SCRATCH/w"; mkdir -p "$W"
"$BIN" sample-disc "$D" --entries 500 --recordings 200 >/dev/null 2>&1 || fail "sample-disc"
DB="$W/working_folder/TAVEX_data"
q() { sqlite3 "$DB" "$1"; }

# --- a new workspace: each command that needs what another makes says what to run, in one
# error line, never in the database's own words
E="$SCRATCH/new"; mkdir -p "$E"
for cmd in topic gaiji audio "save-mp3 word_1.mp3" "export xsl $SCRATCH/x.xml" "export char $SCRATCH/c.xml" html \
    stylesheet "preview 0"; do
  "$BIN" -w "$E" $cmd >/dev/null 2>"$SCRATCH/err"; status=$?
  check "$cmd on a new workspace: status 1 (got $status)" test "$status" -eq 1
  check "$cmd on a new workspace: one error line saying what to run" \
    test "$(grep -c '^error: .* yet: run `' "$SCRATCH/err")" -eq 1 -a "$(wc -l <"$SCRATCH/err")" -eq 1
done
check "preview on a new workspace names create and extract fs.skn" \
  grep -q 'no entries yet: run `create` in operating mode 1 or 2.*`extract fs.skn`' "$SCRATCH/err"

# Mode 2 keeps the stylesheets of an earlier run: on a new workspace, create (also with
# --sample, also after `stylesheet`) says in one line to run once in mode 1 and leaves
# no folder and no sample disc behind.
M="$SCRATCH/mode2"; mkdir -p "$M"
"$BIN" -w "$M" -m 2 stylesheet >/dev/null 2>&1
for args in "create --sample" "create $D"; do
  "$BIN" -w "$M" -m 2 $args >/dev/null 2>"$SCRATCH/err"; status=$?
  check "mode 2 $args on a new workspace: status 1 (got $status)" test "$status" -eq 1
  check "mode 2 $args on a new workspace: one error line naming mode 1" \
    test "$(grep -c '^error: operating mode 2 keeps the stylesheets .*: run `create` once in operating mode 1' \
      "$SCRATCH/err")" -eq 1 -a "$(wc -l <"$SCRATCH/err")" -eq 1
done
check "mode 2 on a new workspace leaves nothing behind" \
  test -z "$(ls -A "$M" | grep -vx -e TAVEX_to_EPWING.lock -e TAVEX_to_EPWING.ini)"

# --- the disc: extraction fills the tables; ffprobe decodes the sample recordings
check "extract fs.skn" "$BIN" -w "$W" -s "$D" extract fs.skn
check "extract pron" "$BIN" -w "$W" extract pron
check "fs_skn holds 500 rows" test "$(q 'select count(*) from fs_skn')" -eq 500
check "us_pron_skn holds 200 recordings" test "$(q 'select count(*) from us_pron_skn where CONTENT is not null')" -eq 200
check "uk_pron_skn holds 200 recordings" test "$(q 'select count(*) from uk_pron_skn where CONTENT is not null')" -eq 200
"$BIN" -w "$W" extract fs.skn >/dev/null 2>"$SCRATCH/err"; status=$?
check "second extraction fails with status 1" test "$status" -eq 1
check "second extraction names the table" grep -q "^error: .*fs_skn" "$SCRATCH/err"
check "table unchanged after the refused extraction" test "$(q 'select count(*) from fs_skn')" -eq 500
if command -v ffprobe >/dev/null; then
  q "select writefile('$SCRATCH/rec.mp3', CONTENT) from us_pron_skn where [index] = 3" >/dev/null
  check "ffprobe decodes a sample recording" grep -q '^codec_name=mp3$' <(ffprobe -v error -show_streams "$SCRATCH/rec.mp3")
fi

# --- analysis: topic index, statistics through export and import
check "topic" "$BIN" -w "$W" topic
check "one topic row per entry" test "$(q 'select count(*) from topic')" -eq 500
"$BIN" -w "$W" -m 1 create >/dev/null 2>&1 || fail "create over the extracted tables"
check "export char" "$BIN" -w "$W" export char "$SCRATCH/char.xml"
check "export xsl" "$BIN" -w "$W" export xsl "$SCRATCH/xsl.xml"
check "char_data well-formed" xmllint --noout "$SCRATCH/char.xml"
check "xsl_data well-formed" xmllint --noout "$SCRATCH/xsl.xml"
check "xsl_data is Shift_JIS" grep -q 'encoding="Shift_JIS"' "$SCRATCH/xsl.xml"
check "xsl_data decodes as CP932" iconv -f CP932 -t UTF-8 "$SCRATCH/xsl.xml"
before=$(q 'select ws,ws_code,ws_hex,utf8_hex,total_count,first_index,char_ref from [char] order by [index]' | md5sum)
check "import char --yes" "$BIN" -w "$W" import char "$SCRATCH/char.xml" --yes
after=$(q 'select ws,ws_code,ws_hex,utf8_hex,total_count,first_index,char_ref from [char] order by [index]' | md5sum)
check "char table restored by export and import" test "$before" = "$after"
"$BIN" -w "$W" import char "$SCRATCH/char.xml" </dev/null >/dev/null 2>"$SCRATCH/err"
check "import without --yes and without a terminal is declined" grep -q '中止されました。' "$SCRATCH/err"

# --- the book: html, stylesheets, preview
check "html" "$BIN" -w "$W" html
check "book decodes as CP932" iconv -f CP932 -t UTF-8 "$W/base_folder/html_EPW"
check "one dt per entry plus 50080" test "$(grep -ac '^<dt id="' "$W/base_folder/html_EPW")" -eq 501
check "copyright page" test -s "$W/base_folder/copyright.html"
check "main stylesheet well-formed" xmllint --noout "$W/working_folder/epwing_dic.xsl"
check "script stylesheet well-formed" xmllint --noout "$W/working_folder/user_script.xsl"
check "stylesheet" "$BIN" -w "$W" stylesheet
check "a dated backup of the main stylesheet" bash -c "ls '$W'/lib_folder/xsl_backup_folder/epwing_dic_*.xsl"
"$BIN" -w "$W" preview 0 --view xml >"$SCRATCH/xml" 2>&1 || fail "preview xml"
check "xml view escapes the source" grep -q '&lt;entry' "$SCRATCH/xml"
check "xml view shows tab indentation" grep -q '&nbsp;&nbsp;&nbsp;&nbsp;&lt;' "$SCRATCH/xml"
"$BIN" -w "$W" preview 0 >"$SCRATCH/epw" 2>&1 || fail "preview epw"
check "EPW view starts with the entry's dt line" grep -q '^<dt id="0">' "$SCRATCH/epw"

# --- an independent XSLT run gives the program's transformed entry (suggested rules; xsltproc
# gets mp3_wav as an EXSLT function for the sample's paths "sound/NAME.mp3").
# The program drops white-space-only text nodes after parsing; strip-space does the same for
# xsltproc. Characters outside Shift_JIS are compared as "?" since the view is Shift_JIS.
cat >"$SCRATCH/strip.xsl" <<'XSL'
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:strip-space elements="*"/>
<xsl:template match="@*|node()"><xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy></xsl:template>
</xsl:stylesheet>
XSL
ascii() { python3 -c "import sys; t=sys.stdin.buffer.read().decode('utf-8'); sys.stdout.write(''.join(c if ord(c)<128 else '?' for c in t).replace('\n',''))"; }
cat >"$SCRATCH/with_mp3_wav.xsl" <<XSL
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xmlns:user="urn:user-scripts"
  xmlns:func="http://exslt.org/functions" extension-element-prefixes="func">
<xsl:import href="$W/working_folder/epwing_dic.xsl"/>
<func:function name="user:mp3_wav"><xsl:param name="topic"/><xsl:param name="resource"/>
<func:result select="concat(\$resource, '/', substring-before(substring-after(substring-after(\$topic, '/'), '/'), '.mp3'), '.wav')"/>
</func:function>
</xsl:stylesheet>
XSL
for i in 0 2 5; do
  q "select CONTENT_text from fs_skn where [index] = $i" | xsltproc "$SCRATCH/strip.xsl" - >"$SCRATCH/e$i.xml"
  xsltproc "$SCRATCH/with_mp3_wav.xsl" "$SCRATCH/e$i.xml" | ascii >"$SCRATCH/x$i"
  "$BIN" -w "$W" preview "$i" --view html | ascii >"$SCRATCH/p$i"
  check "xsltproc and the program transform entry $i alike" cmp "$SCRATCH/x$i" "$SCRATCH/p$i"
done

# --- gaiji and audio commands
check "gaiji" "$BIN" -w "$W" gaiji
check "GaijiMap.xml well-formed" xmllint --noout "$W/base_folder/GaijiMap.xml"
check "audio" "$BIN" -w "$W" audio
check "WAV files for every US recording" test "$(ls "$W/base_folder/us_pron" | wc -l)" -eq 200
if command -v ffprobe >/dev/null; then
  # Every WAV decodes as MPEG layer 3 with its recording's rate, channels and length
  # (within one frame), as ffprobe reads the original recording.
  mkdir -p "$SCRATCH/mp3"
  q "select writefile('$SCRATCH/mp3/' || [index] || '.mp3', CONTENT) from us_pron_skn" >/dev/null
  q "select [index] || char(9) || NAME from us_pron_skn" >"$SCRATCH/names"
  python3 - "$SCRATCH" "$W/base_folder/us_pron" <<'PY' >"$SCRATCH/wav-report" 2>&1
import json, os, subprocess, sys
scratch, folder = sys.argv[1], sys.argv[2]
def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", path],
                         capture_output=True, text=True).stdout
    s = json.loads(out)["streams"][0]
    return s["codec_name"], int(s["sample_rate"]), int(s["channels"]), float(s.get("duration", "nan"))
bad = 0
for line in open(os.path.join(scratch, "names"), encoding="utf-8"):
    index, name = line.rstrip("\n").split("\t", 1)
    wav = os.path.join(folder, os.path.splitext(os.path.basename(name.replace("\\", "/")))[0] + ".wav")
    c1, r1, ch1, d1 = probe(os.path.join(scratch, "mp3", index + ".mp3"))
    c2, r2, ch2, d2 = probe(wav)
    frame = 1152.0 / r1
    if c2 != "mp3" or (r1, ch1) != (r2, ch2) or not abs(d1 - d2) <= frame:
        bad += 1
        print("mismatch", name, (c1, r1, ch1, d1), (c2, r2, ch2, d2))
print("bad", bad)
PY
  check "every WAV agrees with ffprobe's reading of its recording" grep -q '^bad 0$' "$SCRATCH/wav-report"
fi
check "save-mp3" "$BIN" -w "$W" save-mp3 "$(q 'select NAME from us_pron_skn where [index] = 0')"
"$BIN" -w "$W" save-mp3 no_such_word.mp3 >/dev/null 2>&1; status=$?
check "save-mp3 of an unknown name fails" test "$status" -eq 1

# --- usage errors give status 2
"$BIN" -w "$W" extract nonsense >/dev/null 2>&1; status=$?
check "usage error exit status 2 (got $status)" test "$status" -eq 2

finish
