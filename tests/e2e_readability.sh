#!/usr/bin/env bash
# A disc converted without a rules file gets suggested rules and a readable book; `check`
# tells the books that do not read: every entry one run-on line (the rules the statistics
# alone give, every format column empty), no links, no sound links.
source "$(dirname "$0")/common.sh"

D="$SCRATCH/disc"
"$BIN" sample-disc "$D" --entries 80 --recordings 60 >/dev/null 2>&1 || fail "sample-disc"

# The workspace W converted with RULES as xsl_data.xml (none when empty); its check in $W.check.
convert() {  # convert W RULES
  mkdir -p "$1"
  [[ -n "$2" ]] && cp "$2" "$1/xsl_data.xml"
  "$BIN" -w "$1" -m 1 create "$D" --with-audio --no-epwing >"$1.out" 2>"$1.err" || fail "create in $1: $(cat "$1.err")"
  "$BIN" -w "$1" check >"$1.check" 2>&1 || fail "check in $1 exits 0 on warnings: $(cat "$1.check")"
}
has() { grep -q -- "$2" "$1" && pass || fail "$1 lacks '$2': $(cat "$1")"; }
lacks() { grep -q -- "$2" "$1" && fail "$1 has '$2': $(grep -- "$2" "$1")" || pass; }

# --- no rules file: the rules are suggested, one line says so, and the book reads
S="$SCRATCH/suggested"
convert "$S" ""
check "one line on stderr says the rules were suggested" \
  test "$(grep -c '^warning: no xsl_data.xml: the tag rules were suggested .*suggest-rules' "$S.err")" -eq 1
check "the step log is as before" grep -qx '【Step 04】tagの解析・xsl取得:完了' "$S.out"
for kind in "run-on line" "has no links" "links none of them"; do lacks "$S.check" "$kind"; done
check "the suggested book has links" grep -aq '<A href="#[0-9]' "$S/base_folder/html_EPW"
check "the suggested book links recordings" grep -aq '<a href="us_pron/[^"]*\.wav"' "$S/base_folder/html_EPW"

# suggest-rules writes the same rows the run used, as an exchange file export writes it
"$BIN" -w "$S" suggest-rules "$SCRATCH/suggested.xml" 2>"$SCRATCH/err" || fail "suggest-rules: $(cat "$SCRATCH/err")"
"$BIN" -w "$S" export xsl "$SCRATCH/exported.xml" || fail "export xsl"
check "suggest-rules writes a well-formed file" xmllint --noout "$SCRATCH/suggested.xml"
check "suggest-rules gives the rows create suggested" cmp "$SCRATCH/suggested.xml" "$SCRATCH/exported.xml"
check "suggest-rules says where the file is" grep -q "suggested tag rules are in $SCRATCH/suggested.xml" "$SCRATCH/err"

# --- the rules of the statistics alone: every entry one run-on line, no links, no sounds
sed -E 's#<(leave_tag|bold|italic|sup|sub|pre_br|post_br|pre_sp|post_sp|pre_text|post_text|upper_case|lower_case|indent|custom_xsl)>[^<]*</\1>#<\1></\1>#g; s#<apply_templates>[^<]*</apply_templates>#<apply_templates>1</apply_templates>#g' \
  "$SCRATCH/exported.xml" >"$SCRATCH/bare.xml"
R="$SCRATCH/runon"
convert "$R" "$SCRATCH/bare.xml"
has "$R.check" "entries have no line break in their definition: each reads as one run-on line"
has "$R.check" "refer to other entries by id (x-ref (attribute topic).*has no links"
has "$R.check" "tune the rule of tag x-ref in the window's tag editor"
has "$R.check" "recordings were converted into us_pron/ and uk_pron/, but the book links none of them"
has "$R.check" "or convert without xsl_data.xml so that the rules are suggested"

# --- tuned rules without the link rule, and without the sound rules
sed -E 's#<custom_xsl>[^<]*A topic=[^<]*</custom_xsl>#<custom_xsl></custom_xsl>#g' "$SCRATCH/exported.xml" >"$SCRATCH/nolinks.xml"
L="$SCRATCH/nolinks"
convert "$L" "$SCRATCH/nolinks.xml"
has "$L.check" "has no links"
lacks "$L.check" "run-on line"
lacks "$L.check" "links none of them"
sed -E 's#<custom_xsl>[^<]*mp3_wav[^<]*</custom_xsl>#<custom_xsl></custom_xsl>#g' "$SCRATCH/exported.xml" >"$SCRATCH/nosounds.xml"
N="$SCRATCH/nosounds"
convert "$N" "$SCRATCH/nosounds.xml"
has "$N.check" "links none of them (the disc names them in snd-"
lacks "$N.check" "has no links"

finish
