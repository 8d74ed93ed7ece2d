# Hostile cases of the fault test, sourced by e2e_faults.sh with its helpers (run, expect_error, …).

# ====================================================================================
# Rule budgets: a rule that calls itself twice per level, and one that doubles a string
# per level, each stop the run within seconds with one error naming the entry and the
# tag; the previous book stays.
RB="$SCRATCH/budgets"
fresh_sample "$RB"
cp "$RB/xsl_data.xml" "$RB.rules"
cp -a "$RB/base_folder" "$RB.book"
# The rule text of tag h as xsl_data.xml holds it (escaped markup).
escape_rule() { sed -e 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g'; }
# Runs create with RULE as tag h's custom_xsl: named template "r" with parameters s and n,
# started from h with n = DEPTH, whose body at n > 0 is CALLS.
budget_case() {
  local what="$1" depth="$2" calls="$3" started
  cp "$RB.rules" "$RB/xsl_data.xml"
  set_rule_h "$RB" "$(escape_rule <<XSL
<xsl:template match="h"><xsl:call-template name="r"><xsl:with-param name="s" select="string(.)"/><xsl:with-param name="n" select="$depth"/></xsl:call-template></xsl:template>
<xsl:template name="r"><xsl:param name="s"/><xsl:param name="n"/><xsl:choose><xsl:when test="\$n > 0">$calls</xsl:when><xsl:otherwise><xsl:value-of select="\$s"/></xsl:otherwise></xsl:choose></xsl:template>
XSL
)"
  started=$SECONDS
  timeout 120 "$BIN" -w "$RB" create --sample >"$OUT" 2>"$ERR"; status=$?
  echo "$what: stopped after $((SECONDS - started)) s"
  check "$what: stopped within 60 s" test $((SECONDS - started)) -le 60
  expect_error "$what" "entry [0-9]+ \\(.*\\): .*the rule of tag h $4"
  diff -r "$RB.book" "$RB/base_folder" >/dev/null && pass || fail "$what: the previous book changed"
}
call_r() { echo "<xsl:call-template name=\"r\"><xsl:with-param name=\"s\" select=\"$1\"/><xsl:with-param name=\"n\" select=\"\$n - 1\"/></xsl:call-template>"; }
budget_case "a template calling itself twice per level" 64 "$(call_r '$s')$(call_r '$s')" "takes more than [0-9]+ XPath steps"
budget_case "a rule doubling a string per level" 64 "$(call_r 'concat($s, $s)')" "needs more than [0-9]+ MiB of memory"
budget_case "a rule making a 20 MiB result" 22 "$(call_r 'concat($s, $s)')" "makes a result of [0-9]+ bytes"

# ====================================================================================
# Small ones: a FIFO given to import is refused without opening it; preview beyond the
# book says how many entries there are.
fresh_sample "$RB" -m 1
mkfifo "$SCRATCH/rules.fifo"
timeout 20 "$BIN" -w "$RB" import xsl "$SCRATCH/rules.fifo" --yes >"$OUT" 2>"$ERR"; status=$?
expect_error "import of a FIFO" "rules\.fifo: not a regular file"
entries=$(sqlite3 "$RB/working_folder/TAVEX_data" "select count(*) from fs_skn")
run -w "$RB" preview 999999
expect_error "preview beyond the book" "no entry 999999 \(the book has $entries, indexes 0 to $((entries - 1))\)"
