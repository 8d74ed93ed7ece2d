# Hostile cases of the fault test, sourced by e2e_faults.sh with its helpers (run, expect_error, …).
# Databases, remembered paths and large rule files: a database is the program's only by the
# application id it carries, every command reaches it through the same checks, paths are
# remembered exactly as given, and an import costs memory in proportion to its file. Each
# refused case checks the user's database byte for byte.

digest() { md5sum <"$1"; }

# A user's SQLite file whose tables bear the program's table names (topic, xsl, char,
# fs_skn), as a database of a version from before the application id would too: refused
# by create and by topic, which alone once skipped the check, its bytes unchanged.
UDB="$SCRATCH/user.db"; rm -f "$UDB"
sqlite3 "$UDB" "create table topic(t text); insert into topic values('my notes'); create table xsl(a);
                create table char(b); create table fs_skn(c)"
udb_sum=$(digest "$UDB")
run -w "$SCRATCH/db_ws" --db "$UDB" create --sample --no-epwing
expect_error "create with a user's database of the program's table names" "$UDB is not a working database of this program"
copy_full "$SCRATCH/db_topic"
run -w "$SCRATCH/db_topic" -m 1 --db "$UDB" topic
expect_error "topic with a user's database" "$UDB is not a working database of this program"
check "a user's database given to create and topic: unchanged" test "$(digest "$UDB")" = "$udb_sum"

# A working folder that is a link to another workspace's, and a --db that is a symbolic
# or a hard link to another workspace's database: refused, that database unchanged.
D1="$SCRATCH/db_linked"; D2="$SCRATCH/db_other"; copy_full "$D1"; copy_full "$D2"
other_sum=$(digest "$D2/working_folder/TAVEX_data")
rm -rf "$D1/working_folder"; ln -s "$D2/working_folder" "$D1/working_folder"
for command in topic gaiji "import xsl $D2/xsl_data.xml --yes"; do
  run -w "$D1" -m 1 $command
  expect_error "$command with working_folder a link to another workspace's" "working_folder.*symbolic link"
done
ln -s "$D2/working_folder/TAVEX_data" "$SCRATCH/soft.db"; ln "$D2/working_folder/TAVEX_data" "$SCRATCH/hard.db"
for kind in soft hard; do
  run -w "$SCRATCH/db_ws_$kind" -m 1 --db "$SCRATCH/$kind.db" topic
  expect_error "topic with --db a $kind link" "$kind\.db is not a working database of this program \(it is a ${kind/soft/symbolic}"
done
check "links to another workspace's database: it is unchanged" test "$(digest "$D2/working_folder/TAVEX_data")" = "$other_sum"


# Paths are remembered absolute and whole: a --db given relative to the folder a run was
# started from, a source whose name ends in a blank, and a relative path that an older
# version left in the settings file, which only the workspace can anchor.
P="$SCRATCH/db_paths"; rm -rf "$P"; mkdir -p "$P/start" "$P/old"
cp "$FULL/working_folder/TAVEX_data" "$P/start/my.db"
(cd "$P/start" && "$BIN" -w ../ws -m 1 --db my.db -s "$SMALL" topic >"$OUT" 2>"$ERR"); status=$?
check "a relative --db: exit status 0 ($(head -c 300 "$ERR"))" test "$status" -eq 0
check "a relative --db is remembered absolute" grep -qxF "mdb_file=$P/start/my.db" "$P/ws/TAVEX_to_EPWING.ini"
cp -r "$SMALL" "$P/disc "
run -w "$P/blank" -m 1 create "$P/disc " --no-epwing
expect_success "a source ending in a blank"
run -w "$P/blank" create --no-epwing
expect_success "a later bare create converts the source ending in a blank"
cp "$FULL/working_folder/TAVEX_data" "$P/old/my.db"; printf '[Data]\nmdb_file=my.db\n' >"$P/old/TAVEX_to_EPWING.ini"
(cd / && "$BIN" -w "$P/old" -m 1 topic >"$OUT" 2>"$ERR"); status=$?
check "an older relative mdb_file is read against the workspace ($(head -c 300 "$ERR"))" test "$status" -eq 0

# A large rule file is imported row by row: over 100 MB of rules under a 512 MiB address-space
# limit, all of its rows in the table.
BIGW="$SCRATCH/db_big"; copy_full "$BIGW"
python3 - "$SCRATCH/big_rules.xml" <<'PY'
import sys
row = ''.join(f'<{c}>0</{c}>' for c in ('apply_templates', 'leave_tag', 'bold', 'italic', 'sup', 'sub',
                                       'pre_br', 'post_br', 'pre_sp', 'post_sp', 'upper_case', 'lower_case'))
with open(sys.argv[1], 'w') as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<root>\n')
    for i in range(300000):
        f.write(f'<tags><index>{i}</index><tag>t{i}</tag>{row}<pre_text>  </pre_text><custom_xsl/></tags>\n')
    f.write('</root>\n')
PY
( ulimit -v 524288; exec "$BIN" -w "$BIGW" -m 1 import xsl "$SCRATCH/big_rules.xml" --yes ) >"$OUT" 2>"$ERR"; status=$?
check "a 100 MB rule file under a 512 MiB limit: exit status 0 ($(head -c 300 "$ERR"))" test "$status" -eq 0
check "a 100 MB rule file: every row imported" \
  test "$(sqlite3 "$BIGW/working_folder/TAVEX_data" "select count(*) from xsl where pre_text = ''")" -eq 300000
rm -f "$SCRATCH/big_rules.xml"
