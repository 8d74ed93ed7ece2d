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
expect_error "mode 0 create over the user's working_folder" "working_folder: this program did not write"
check "mode 0 create over the user's folders: both files survive" \
  test -f "$UW/working_folder/notes.txt" -a -f "$UW/base_folder/notes.txt"

# A user's folder under the name of a pronunciation folder's temporary name.
AW="$SCRATCH/own_audio"; copy_full "$AW"; rm -rf "$AW/base_folder/us_pron"; mkdir "$AW/base_folder/us_pron.tmp"
echo "mine" >"$AW/base_folder/us_pron.tmp/keep.txt"
run -w "$AW" -m 1 audio
expect_error "audio beside the user's us_pron.tmp" "us_pron\.tmp: this program did not write"
check "audio beside the user's us_pron.tmp: the file survives" test -f "$AW/base_folder/us_pron.tmp/keep.txt"

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
rm -rf "$LW2/lib_folder"; mkdir -p "$LW2/lib_folder"; ln -s "$SCRATCH/userdir" "$LW2/lib_folder/xsl_backup_folder"
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
