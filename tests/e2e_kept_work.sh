#!/usr/bin/env bash
# What the command line keeps and tells about a workspace's state: tag rules edited since
# the run that made them outlive a mode 0 run only when kept, a named source is checked
# and a different disc is named, a declined import fails, and the commands that need a
# book's source say to run `create`.
source "$(dirname "$0")/common.sh"

W="$SCRATCH/w"; D2="$SCRATCH/other"; mkdir -p "$W"
DB="$W/working_folder/TAVEX_data"
"$BIN" sample-disc "$D2" --entries 12 >/dev/null 2>&1 || fail "sample-disc"

# --- an empty workspace: check and epwing say to run create
for cmd in check epwing; do
  "$BIN" -w "$W" $cmd >/dev/null 2>"$SCRATCH/err"; status=$?
  check "$cmd in an empty workspace fails (got $status)" test "$status" -eq 1
  check "$cmd in an empty workspace says to run create" grep -q '^error: .*base_folder does not exist yet: run `create`' "$SCRATCH/err"
done

# --- edited rules and a mode 0 run
"$BIN" -w "$W" -m 1 create --sample --no-epwing >/dev/null 2>&1 || fail "create in mode 1"
sqlite3 "$DB" "update xsl set italic = '1' where tag = 'h'"
"$BIN" -w "$W" create --no-epwing >"$SCRATCH/out" 2>"$SCRATCH/err"; status=$?
check "mode 0 over edited rules refuses (got $status)" test "$status" -eq 1
check "the refusal says how to keep them" grep -q 'export xsl .*xsl_data.xml`.*--yes' "$SCRATCH/err"
check "the refusal deletes nothing" test "$(sqlite3 "$DB" "select italic from xsl where tag = 'h'")" = 1
check "export xsl keeps them" "$BIN" -w "$W" export xsl "$W/xsl_data.xml"
check "mode 0 runs once they are kept" "$BIN" -w "$W" create --no-epwing
check "the mode 0 book uses the kept rule" grep -aq '^<b><i>x-ray</i></b>' "$W/base_folder/html_EPW"
"$BIN" -w "$W" -m 1 create --no-epwing >/dev/null 2>&1 || fail "create in mode 1 again"
sqlite3 "$DB" "update xsl set bold = '1' where tag = 'p'"
check "--yes drops them" "$BIN" -w "$W" create --no-epwing --yes

# --- a named source in mode 1: a missing one stops the run, another disc is named
"$BIN" -w "$W" -m 1 create --no-epwing >/dev/null 2>&1 || fail "create in mode 1 once more"
"$BIN" -w "$W" -m 1 create "$SCRATCH/nonexistent" --no-epwing >"$SCRATCH/out" 2>"$SCRATCH/err"; status=$?
check "a missing source fails in mode 1 (got $status)" test "$status" -eq 1
check "before the first step" test ! -s "$SCRATCH/out"
"$BIN" -w "$W" -m 1 create "$D2" --no-epwing >"$SCRATCH/out" 2>/dev/null
check "another disc: the log names the disc the tables come from" \
  grep -q "^the tables in .* come from the disc in $W/sample_disc, not from $D2" "$SCRATCH/out"

# --- re-build html says the EPWING book is older; a declined import fails and says so in English
"$BIN" -w "$W" -m 1 epwing >/dev/null 2>&1 || fail "epwing"
"$BIN" -w "$W" html >/dev/null 2>"$SCRATCH/err"
check "html says the book is older than its source" grep -q 'EPWING book in .* is older than its source now' "$SCRATCH/err"
"$BIN" -w "$W" import xsl "$W/xsl_data.xml" </dev/null >/dev/null 2>"$SCRATCH/err"; status=$?
check "a declined import fails (got $status)" test "$status" -eq 1
check "and says how to confirm it" grep -q '^error: import xsl: not confirmed.*--yes' "$SCRATCH/err"

finish
