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
nothing_beside() {  # nothing_beside WHAT PATH: nothing of a swap or a lock's record left next to PATH
  check "$1: nothing left beside $2" bash -c "! compgen -G '$2.*' >/dev/null && \
    ! compgen -G '$(dirname "$2")/.tavex2epwing-$(basename "$2")-*' >/dev/null"
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

# A folder without manifests is nobody's the program knows, whatever its layout: a book
# from before books carried manifests, or a user's folder laid out like one (a thesis in
# working_folder/unzip_folder) is refused before the first change, never adopted.
no_manifests() { find "$1" -name .tavex2epwing-manifest -delete; }
fresh_ow; no_manifests "$OW/epwing"; cp -a "$OW/epwing" "$SCRATCH/unmarked"
run -w "$OW" epwing
expect_error "epwing over a book without manifests" "epwing: it holds files this program did not write"
diff -r "$SCRATCH/unmarked" "$OW/epwing" >/dev/null && pass || fail "epwing over a book without manifests: it changed"
rm -rf "$SCRATCH/unmarked"
TW="$SCRATCH/own_thesis"; rm -rf "$TW"; mkdir -p "$TW/working_folder/unzip_folder"
echo thesis >"$TW/working_folder/unzip_folder/thesis.docx"
run -w "$TW" create "$SMALL" --no-epwing
expect_error "mode 0 create over a user's unzip_folder" "working_folder(: this program did not write|: this program did not make it)"
check "mode 0 create over a user's unzip_folder: the thesis survives" grep -q thesis "$TW/working_folder/unzip_folder/thesis.docx"
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

# A forged earlier book: a manifest over its bound, and a chain of listed folders deeper
# than any the program makes. Each costs a named error at once, the book as it was.
fresh_ow; truncate -s 17M "$OW/epwing/TAVEX/.tavex2epwing-manifest"; cp -a "$OW/epwing" "$SCRATCH/forged"
run -w "$OW" epwing
expect_error "epwing over a 17 MiB manifest" "manifest $OW/epwing/TAVEX/\.tavex2epwing-manifest has 17825792 bytes, more than the 16 MiB"
diff -r "$SCRATCH/forged" "$OW/epwing" >/dev/null && pass || fail "epwing over a 17 MiB manifest: the book changed"
fresh_ow
python3 - "$OW/epwing" <<'PY'
import os, sys
header = "tavex2epwing manifest 1: the files this program wrote into this folder\n"
os.chdir(sys.argv[1])  # one level at a time: the chain is longer than a path may be
with open(".tavex2epwing-manifest", "a") as f:
    f.write("deep/\n")
for i in range(2000):
    os.mkdir("deep")
    os.chdir("deep")
    with open(".tavex2epwing-manifest", "w") as f:
        f.write(header + ("deep/\n" if i < 1999 else ""))
PY
run -w "$OW" epwing
expect_error "epwing over a chain of 2,000 listed folders" "deep lies more than 32 folders deep"
check "epwing over a chain of 2,000 listed folders: the chain kept" test -d "$OW/epwing/deep/deep/deep/deep"
rm -rf "$SCRATCH/forged"

# Backups under the names an earlier version gave its swap folders (a copy with its
# manifests, an empty folder, a folder of the user's): nothing to the program, which
# neither reads, moves nor deletes them, and succeeds beside them.
strays_kept() {
  diff -r "$OW0/base_folder" "$OW/base_folder.old" >/dev/null && pass || fail "$1: base_folder.old changed"
  diff -r "$OW0/epwing" "$OW/epwing.old" >/dev/null && pass || fail "$1: epwing.old changed"
  check "$1: the empty base_folder.ready kept" test -d "$OW/base_folder.ready" -a -z "$(ls -A "$OW/base_folder.ready")"
  check "$1: epwing.ready kept" grep -q "backup" "$OW/epwing.ready/keep.txt"
  check "$1: no stand-in left" bash -c "! compgen -G '$OW/.tavex2epwing-*-*' >/dev/null"
}
fresh_ow
cp -a "$OW/base_folder" "$OW/base_folder.old"; cp -a "$OW/epwing" "$OW/epwing.old"
mkdir "$OW/base_folder.ready" "$OW/epwing.ready"; echo "backup" >"$OW/epwing.ready/keep.txt"
run -w "$OW" create "$SCRATCH/nonexistent"
expect_error "create of a missing disc beside stray folders" "nonexistent"
strays_kept "create of a missing disc beside stray folders"
run -w "$OW" epwing
check "epwing beside stray folders (got $status: $(head -c 300 "$ERR"))" test "$status" -eq 0
strays_kept "epwing beside stray folders"
run -w "$OW" -m 1 gaiji
check "gaiji beside stray folders (got $status: $(head -c 300 "$ERR"))" test "$status" -eq 0
strays_kept "gaiji beside stray folders"
run -w "$OW" create "$SMALL" --no-epwing
expect_success "mode 0 create beside stray folders"
strays_kept "mode 0 create beside stray folders"

# sample-disc over a user's own copy of a disc: refused, its files as they were.
rm -rf "$SCRATCH/mydisc"; cp -a "$SMALL" "$SCRATCH/mydisc"; find "$SCRATCH/mydisc" -name .tavex2epwing-manifest -delete
cp -a "$SCRATCH/mydisc" "$SCRATCH/mydisc.orig"
run sample-disc "$SCRATCH/mydisc" --entries 3
expect_error "sample-disc over a user's disc" "mydisc: this program did not write"
diff -r "$SCRATCH/mydisc.orig" "$SCRATCH/mydisc" >/dev/null && pass || fail "sample-disc over a user's disc: it changed"

# Two builds into one book folder from two workspaces: -w ws1 --out ws2/epwing and -w ws2
# epwing share the book folder's lock, so the second stops at once.
rm -f "$SCRATCH/o2held"
( exec 9>>"$OW/.epwing.tavex2epwing-lock"; flock 9; touch "$SCRATCH/o2held"; exec sleep 30 ) &
holder=$!
for _ in $(seq 200); do [[ -e "$SCRATCH/o2held" ]] && break; sleep 0.05; done
run -w "$OW" epwing
expect_error "epwing while another workspace builds into epwing/" "the output folder $OW/epwing is in use by another run"
kill "$holder"; wait "$holder" 2>/dev/null

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
