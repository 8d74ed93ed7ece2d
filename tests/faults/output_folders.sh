# Hostile cases of the fault test, sourced by e2e_faults.sh with its helpers (run, expect_error, …).
# Output folders: the program replaces only a folder it made, never trusts a folder that
# merely has the name of one of its swap folders, and lets one run write a workspace at a
# time. Each case names the user's folder, then checks that it survived.

OW0="$SCRATCH/ow0"  # a finished workspace with its EPWING book, copied for every case
"$BIN" -w "$OW0" -m 1 create "$SMALL" >/dev/null 2>&1 || fail "create for the output folder cases"
"$BIN" -w "$OW0" epwing >/dev/null 2>&1 || fail "epwing for the output folder cases"
OW="$SCRATCH/ow"
copy_ws() { rm -rf "$1"; cp -a "$OW0" "$1"; sed -i '/^mdb_file=/d' "$1/TAVEX_to_EPWING.ini"; }
fresh_ow() { copy_ws "$OW"; }
workspace_kept() {  # workspace_kept WHAT [WS]: the book's source and the EPWING book as they were
  local ws="${2:-$OW}"
  diff -r "$OW0/base_folder" "$ws/base_folder" >/dev/null && pass || fail "$1: base_folder changed"
  diff -r "$OW0/epwing" "$ws/epwing" >/dev/null && pass || fail "$1: the EPWING book changed"
  check "$1: working_folder kept" test -f "$ws/working_folder/TAVEX_data"
}
nothing_beside() {  # nothing_beside WHAT PATH: no staging, ready or old folder next to PATH
  check "$1: nothing left beside $2" bash -c "! compgen -G '$2.*' >/dev/null"
}

# --out at a folder of the user's own files, at the workspace, its base_folder and a
# folder that holds the workspace: refused before anything is touched.
mkdir -p "$SCRATCH/mine"; echo "my notes" >"$SCRATCH/mine/notes.txt"
fresh_ow
run -w "$OW" epwing --out "$SCRATCH/mine"
expect_error "epwing --out a folder of user files" "$SCRATCH/mine: it holds files this program did not write: $SCRATCH/mine/notes\.txt; choose an empty or new folder"
check "epwing --out a folder of user files: the file survives" grep -q "my notes" "$SCRATCH/mine/notes.txt"
nothing_beside "epwing --out a folder of user files" "$SCRATCH/mine"
PW="$SCRATCH/par/ws"
for target in "$PW" "$PW/base_folder" "$PW/working_folder" "$SCRATCH/par"; do
  rm -rf "$SCRATCH/par"; mkdir -p "$SCRATCH/par"; copy_ws "$PW"
  run -w "$PW" epwing --out "$target"
  expect_error "epwing --out $target" "$target: it (is|holds) .*; choose an empty or new folder"
  workspace_kept "epwing --out $target" "$PW"
done

# A book written before books carried manifests is still this program's book: rebuilt in
# place. The same folder with one file of the user's in it is not.
no_manifests() { find "$1" -name .tavex2epwing-manifest -delete; }
fresh_ow; no_manifests "$OW/epwing"
run -w "$OW" epwing
check "epwing over an earlier book (got $status: $(head -c 300 "$ERR"))" test "$status" -eq 0
check "epwing over an earlier book: it has a manifest now" test -f "$OW/epwing/.tavex2epwing-manifest"
fresh_ow; no_manifests "$OW/epwing"; echo "my notes" >"$OW/epwing/TAVEX/notes.txt"
run -w "$OW" epwing
expect_error "epwing over a book holding a user file" "epwing: it holds files this program did not write"
check "epwing over a book holding a user file: the file survives" grep -q "my notes" "$OW/epwing/TAVEX/notes.txt"

# --out at a file or a symbolic link: refused, both left as they were.
echo "a file" >"$SCRATCH/afile.txt"
run -w "$OW" epwing --out "$SCRATCH/afile.txt"
expect_error "epwing --out a file" "afile\.txt: it is not a folder"
check "epwing --out a file: the file kept" grep -q "a file" "$SCRATCH/afile.txt"
nothing_beside "epwing --out a file" "$SCRATCH/afile.txt"
mkdir -p "$SCRATCH/linked"; ln -sfn "$SCRATCH/linked" "$SCRATCH/alink"
run -w "$OW" epwing --out "$SCRATCH/alink"
expect_error "epwing --out a link" "alink: it is a symbolic link"
check "epwing --out a link: still a link" test -L "$SCRATCH/alink"
check "epwing --out a link: its folder still empty" test -z "$(ls -A "$SCRATCH/linked")"
nothing_beside "epwing --out a link" "$SCRATCH/alink"

# Hand-made backups under the names of the swap folders: never deleted or put in place.
strays_kept() {
  local n
  for n in base_folder.old base_folder.ready epwing.old epwing.ready; do
    check "$1: $n kept" grep -q "backup $n" "$OW/$n/keep.txt"
  done
  workspace_kept "$1"
}
fresh_ow
for n in base_folder.old base_folder.ready epwing.old epwing.ready; do
  mkdir "$OW/$n"; echo "backup $n" >"$OW/$n/keep.txt"
done
run -w "$OW" create "$SCRATCH/nonexistent"
expect_error "create of a missing disc beside stray folders" "nonexistent"
strays_kept "create of a missing disc beside stray folders"
run -w "$OW" epwing
expect_error "epwing beside stray folders" "epwing\.(old|ready) was not made by this program"
strays_kept "epwing beside stray folders"
run -w "$OW" create "$SMALL"
expect_error "mode 0 create beside stray folders" "base_folder\.(old|ready) was not made by this program"
strays_kept "mode 0 create beside stray folders"

# Two create runs on one workspace: the second stops at once naming the first, which
# ends with the whole book. (A run killed with -9 leaves no lock behind: the kill
# cases above resume in the same workspace.)
CW="$SCRATCH/cw"; rm -rf "$CW"; fifo="$SCRATCH/c.fifo"; rm -f "$fifo"; mkfifo "$fifo"
"$BIN" -w "$CW" create "$SMALL" --with-audio >"$fifo" 2>"$SCRATCH/first.err" &
first=$!
exec 4<"$fifo"
IFS= read -r line <&4  # Step 01 is done, inside the first run
kill -STOP "$first"
run -w "$CW" create "$SMALL" --with-audio
kill -CONT "$first"
cat <&4 >/dev/null; exec 4<&-
wait "$first"; first_status=$?
expect_error "a second create on a busy workspace" "the workspace $CW is in use by another run \(process $first\)"
check "the first of two runs succeeds (got $first_status: $(head -c 300 "$SCRATCH/first.err"))" test "$first_status" -eq 0
check "two runs: every entry in the book" test "$(entry_count "$CW")" -eq "$(entry_count "$FULL")"
check "two runs: every recording in the book" \
  test "$(ls "$CW/base_folder/us_pron" | wc -l)" -eq "$(ls "$FULL/base_folder/us_pron" | wc -l)"
check "two runs: the book passes the check" "$BIN" -w "$CW" check

# A workspace locked by someone else: writers stop, readers do not wait.
LW="$SCRATCH/lw"; copy_full "$LW"; rm -f "$SCRATCH/held"
( exec 9>>"$LW/TAVEX_to_EPWING.lock"; flock 9; touch "$SCRATCH/held"; exec sleep 60 ) &
holder=$!
for _ in $(seq 200); do [[ -e "$SCRATCH/held" ]] && break; sleep 0.05; done
run -w "$LW" html
expect_error "html on a locked workspace" "the workspace $LW is in use by another run"
for reader in "check" "preview 1" "export xsl $SCRATCH/held.xml"; do
  run -w "$LW" $reader
  check "$reader on a locked workspace (got $status: $(head -c 200 "$ERR"))" test "$status" -eq 0
done
kill "$holder"; wait "$holder" 2>/dev/null

# A read-only folder inside the output folder: a clear error before anything moves, the
# book as it was, and once it is writable again the next build replaces it.
if [[ "${as_user[0]:-}" == skip ]]; then
  echo "skipped: read-only output folder (running as root, and no other user can run the program)"
else
  RO="$SCRATCH/ro"; fresh_ow; rm -rf "$RO"; cp -a "$OW" "$RO"
  (( ${#as_user[@]} )) && chown -R 65534:65534 "$RO"
  chmod a-w "$RO/epwing/TAVEX"
  "${as_user[@]}" "$BIN" -w "$RO" epwing >"$OUT" 2>"$ERR"; status=$?
  expect_error "a read-only output folder" "$RO/epwing: $RO/epwing/TAVEX cannot be written"
  diff -r "$OW0/epwing" "$RO/epwing" >/dev/null && pass || fail "a read-only output folder: the book changed"
  nothing_beside "a read-only output folder" "$RO/epwing"
  chmod u+w "$RO/epwing/TAVEX"
  "${as_user[@]}" "$BIN" -w "$RO" epwing >"$OUT" 2>"$ERR"; status=$?
  check "writable again: the next build works (got $status: $(head -c 300 "$ERR"))" test "$status" -eq 0
  nothing_beside "writable again" "$RO/epwing"
fi

# A database named with --db that holds another conversion: mode 0 starts from empty.
SW="$SCRATCH/sw"; copy_full "$SCRATCH/stale"; rm -rf "$SW" "$SCRATCH/tiny" "$SCRATCH/tinyref"
"$BIN" sample-disc "$SCRATCH/tiny" --entries 20 --recordings 5 --seed 5 >/dev/null 2>&1 || fail "tiny sample-disc"
"$BIN" -w "$SCRATCH/tinyref" create "$SCRATCH/tiny" >/dev/null 2>&1 || fail "create of the tiny disc"
run -w "$SW" --db "$SCRATCH/stale/working_folder/TAVEX_data" create "$SCRATCH/tiny"
expect_success "mode 0 with another conversion's database"
check "mode 0 with another conversion's database: the new disc's book" \
  test "$(entry_count "$SW")" -eq "$(entry_count "$SCRATCH/tinyref")"
