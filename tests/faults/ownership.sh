# Hostile cases of the fault test, sourced by e2e_faults.sh with its helpers (run, expect_error, …).
# Ownership: the program deletes or replaces only what its manifests list, and writes
# through no link, hard link or folder planted where it writes. Each case plants the
# user's file, runs the command, and checks the file is as it was.

VICTIM="$SCRATCH/victim.txt"
victim_kept() { check "$1: the user's file unchanged" test "$(cat "$VICTIM")" = "precious"; }
plant_victim() { echo "precious" >"$VICTIM"; }

# Folders of the layout's names that the user made are never deleted by a mode 0 run.
UW="$SCRATCH/own_user"; rm -rf "$UW"; mkdir -p "$UW/working_folder" "$UW/base_folder"
echo "mine" >"$UW/working_folder/notes.txt"; echo "mine" >"$UW/base_folder/notes.txt"
run -w "$UW" create "$SMALL"
expect_error "mode 0 create over the user's working_folder" "(working_folder|base_folder)(: this program did not write|: this program did not make it)"
check "mode 0 create over the user's folders: both files survive" \
  test -f "$UW/working_folder/notes.txt" -a -f "$UW/base_folder/notes.txt"
# …nor written into by a run that keeps the workspace: nothing of ours lands among the user's files.
run -w "$UW" -m 1 create "$SMALL"
expect_error "mode 1 create into the user's folders" "base_folder: this program did not make it"
check "mode 1 create into the user's folders: nothing written there" \
  test "$(ls -A "$UW/working_folder" "$UW/base_folder" | tr '\n' ' ')" = "$UW/base_folder: notes.txt  $UW/working_folder: notes.txt "

# A user's folder under the name an earlier version gave a pronunciation folder's
# temporary folder, and a user's file under the old form of a manifest's temporary name.
AW="$SCRATCH/own_audio"; copy_full "$AW"; rm -rf "$AW/base_folder/us_pron"; mkdir "$AW/base_folder/us_pron.tmp"
echo "mine" >"$AW/base_folder/us_pron.tmp/keep.txt"
run -w "$AW" -m 1 audio
check "audio beside the user's us_pron.tmp (got $status: $(head -c 300 "$ERR"))" test "$status" -eq 0
check "audio beside the user's us_pron.tmp: the file survives" grep -q mine "$AW/base_folder/us_pron.tmp/keep.txt"
mkdir -p "$SCRATCH/own_dest"; echo "mine" >"$SCRATCH/own_dest/.tavex2epwing-manifest.tmp-notes.txt"
run -w "$AW" epwing --out "$SCRATCH/own_dest"
expect_error "epwing --out beside a user's .tavex2epwing-manifest.tmp-notes.txt" "did not write: .*manifest\.tmp-notes\.txt"
check "epwing --out beside a user's manifest-like file: it survives" grep -q mine "$SCRATCH/own_dest/.tavex2epwing-manifest.tmp-notes.txt"

# Links planted at the old temporary names are never written through.
LW2="$SCRATCH/own_links"; copy_full "$LW2"; plant_victim
for name in html_EPW.tmp Gaiji.xml.tmp GaijiMap.xml.tmp TAVEX.ebs.tmp copyright.html.tmp TAVEX.map.tmp; do
  ln -s "$VICTIM" "$LW2/base_folder/$name"
done
ln -s "$VICTIM" "$LW2/TAVEX_to_EPWING.ini.tmp"; ln -s "$VICTIM" "$LW2/working_folder/epwing_dic.xsl.tmp"
run -w "$LW2" -m 1 html
check "html beside links at temporary names: exit status 0 (got $status: $(head -c 300 "$ERR"))" test "$status" -eq 0
victim_kept "html beside links at temporary names"
check "html beside links at temporary names: html_EPW is a file of its own" test ! -L "$LW2/base_folder/html_EPW"

# Links, hard links and folders at the files and folders themselves: a named error.
plant_victim; rm -f "$LW2/base_folder/html_EPW"; ln -s "$VICTIM" "$LW2/base_folder/html_EPW"
run -w "$LW2" -m 1 html
expect_error "html over a link" "html_EPW: it is a symbolic link"
victim_kept "html over a link"
rm -f "$LW2/base_folder/html_EPW"; ln "$VICTIM" "$LW2/base_folder/html_EPW"
run -w "$LW2" -m 1 html
expect_error "html over a hard link" "html_EPW: it is a hard link"
victim_kept "html over a hard link"
mkdir -p "$SCRATCH/userdir"; rm -rf "$LW2/base_folder/us_pron"; ln -s "$SCRATCH/userdir" "$LW2/base_folder/us_pron"
run -w "$LW2" -m 1 audio
expect_error "audio into a linked us_pron" "us_pron is a symbolic link"
check "audio into a linked us_pron: the user's folder stays empty" test -z "$(ls -A "$SCRATCH/userdir")"
# (a first run makes lib_folder, so that only its backup folder is the planted link)
run -w "$LW2" -m 1 stylesheet
rm -rf "$LW2/lib_folder/xsl_backup_folder"; ln -s "$SCRATCH/userdir" "$LW2/lib_folder/xsl_backup_folder"
run -w "$LW2" -m 1 stylesheet
expect_error "stylesheet into a linked backup folder" "xsl_backup_folder.*symbolic link"
check "stylesheet into a linked backup folder: the user's folder stays empty" test -z "$(ls -A "$SCRATCH/userdir")"

# The lock file and a manifest as hard links to a user's file: never truncated or appended to.
HW2="$SCRATCH/own_hard"; copy_full "$HW2"; plant_victim
rm -f "$HW2/TAVEX_to_EPWING.lock"; ln "$VICTIM" "$HW2/TAVEX_to_EPWING.lock"
run -w "$HW2" -m 1 html
expect_error "a hard-linked lock file" "TAVEX_to_EPWING.lock is not a regular file with one link"
victim_kept "a hard-linked lock file"
rm -f "$HW2/TAVEX_to_EPWING.lock" "$HW2/base_folder/.tavex2epwing-manifest"
ln "$VICTIM" "$HW2/base_folder/.tavex2epwing-manifest"
run -w "$HW2" -m 1 html
expect_error "a hard-linked manifest" "\.tavex2epwing-manifest is not a manifest of this program"
victim_kept "a hard-linked manifest"

# A copied book with its manifests does not make the user's own file in that folder ours.
DW="$SCRATCH/own_dict"; rm -rf "$DW"; mkdir -p "$DW"; cp -r "$OW0/epwing/." "$DW/"; echo "mine" >"$DW/mine.txt"
run -w "$OW" epwing --out "$DW"
expect_error "epwing --out a copied book holding a user file" "did not write: $DW/mine\.txt"
check "epwing --out a copied book holding a user file: the file survives" test -f "$DW/mine.txt"

# Another program's SQLite file named as the database: refused, its tables untouched.
FDB="$SCRATCH/foreign.db"; rm -f "$FDB"
sqlite3 "$FDB" "create table topic(x); insert into topic values('mine'); create table notes(y);"
run -w "$SCRATCH/own_db" --db "$FDB" create "$SMALL" --no-epwing
expect_error "mode 0 create with another program's database" "$FDB is not a working database of this program"
check "mode 0 create with another program's database: its table kept" test "$(sqlite3 "$FDB" "select x from topic")" = mine

# A source given relative to the current folder is kept absolute.
rm -rf "$SCRATCH/own_rel"
(cd "$(dirname "$SMALL")" && "$BIN" -w "$SCRATCH/own_rel" -m 1 create "$(basename "$SMALL")" --no-epwing >/dev/null 2>&1)
check "a relative source is kept absolute" grep -q "^src_folder=$SMALL" "$SCRATCH/own_rel/TAVEX_to_EPWING.ini"

# Two workspaces building into one folder: the second stops naming the first.
rm -f "$SCRATCH/olheld"
( exec 9>>"$SCRATCH/.shared_book.tavex2epwing-lock"; flock 9; touch "$SCRATCH/olheld"; exec sleep 30 ) &
holder=$!
for _ in $(seq 200); do [[ -e "$SCRATCH/olheld" ]] && break; sleep 0.05; done
run -w "$OW" epwing --out "$SCRATCH/shared_book"
expect_error "a second build into one output folder" "the output folder $SCRATCH/shared_book is in use by another run"
check "a second build into one output folder: nothing written" test ! -e "$SCRATCH/shared_book"
kill "$holder"; wait "$holder" 2>/dev/null

# Smaller ones: a line break in --ebs-base, --out inside base_folder, an oversized
# settings or rules file, and a control character in a message.
fresh_ow
run -w "$OW" -m 1 create "$SMALL" --no-epwing --ebs-base $'Z:\\x\r\nInPath=elsewhere'
expect_error "--ebs-base with a line break" "holds a line break"
check "--ebs-base with a line break: the project file kept" cmp "$OW0/base_folder/TAVEX.ebs" "$OW/base_folder/TAVEX.ebs"
run -w "$OW" epwing --out "$OW/base_folder/book"
expect_error "epwing --out inside base_folder" "it lies inside $OW/base_folder"
workspace_kept "epwing --out inside base_folder"
fresh_ow; truncate -s 8G "$OW/TAVEX_to_EPWING.ini"
run -w "$OW" -m 1 html
expect_error "an 8 GiB settings file" "settings file $OW/TAVEX_to_EPWING.ini has 8589934592 bytes, more than the 1 MiB"
fresh_ow; truncate -s 300M "$SCRATCH/big.xml"
run -w "$OW" import xsl "$SCRATCH/big.xml" --yes
expect_error "a 300 MiB rules file" "big\.xml has 314572800 bytes, more than the 256 MiB"
rm -f "$SCRATCH/big.xml"
run -w "$SCRATCH/"$'esc\e[31mape' epwing
escaped() { grep -qF 'esc\x1B[31mape' "$ERR" && ! grep -q $'\e' "$ERR"; }
check "a control character in a message is escaped: $(head -c 300 "$ERR")" escaped
