#!/usr/bin/env bash
# A power cut keeps the previous or the new book whole: under strace, every swap flushes
# the new folder (syncfs on its file system) before its first rename, and the parent
# folder after its last one, in a mode 0 create and in an EPWING build.
source "$(dirname "$0")/common.sh"
DISC="$SCRATCH/disc"; W="$SCRATCH/ws"; LOG="$SCRATCH/trace"
"$BIN" sample-disc "$DISC" --entries 40 --recordings 8 --seed 5 >/dev/null 2>&1 || fail "sample-disc"
"$BIN" -w "$W" -m 1 create "$DISC" >/dev/null 2>&1 || fail "first create"

# The calls of one swap onto TARGET, in order: "flush", "rename FROM TO", "dirsync DIR".
swap_calls() {
  python3 - "$LOG" "$1" <<'PY'
import re, sys
log, target = sys.argv[1], sys.argv[2]
parent, name = target.rsplit('/', 1)
stand_in = '.tavex2epwing-' + name + '-'
for line in open(log, encoding='utf-8', errors='replace'):
    m = re.search(r'syncfs\(\d+<([^>]*)>\) = 0', line)
    if m and (m.group(1).startswith(target) or m.group(1).startswith(parent + '/' + stand_in)):
        print('flush'); continue
    m = re.search(r'renameat2?\(\d+<([^>]*)>, "([^"]*)", \d+<([^>]*)>, "([^"]*)"', line)
    if m and m.group(1) == parent and (m.group(2).startswith(stand_in) or m.group(4) == name):
        print('rename', m.group(2), m.group(4)); continue
    m = re.search(r'fsync\(\d+<([^>]*)>\) = 0', line)
    if m and target.startswith(m.group(1) + '/'):
        print('dirsync', m.group(1))
PY
}
# Checks the order for TARGET, whose staging folder's name starts with STAGING.
check_order() {
  local what="$1" target="$2" staging="$3" calls
  calls="$(swap_calls "$target")"
  python3 - "$calls" "$staging" "$(basename "$target")" <<'PY' && pass || fail "$what: flush order: $calls"
import sys
calls, staging, name = sys.argv[1].splitlines(), sys.argv[2], sys.argv[3]
renames = [i for i, c in enumerate(calls) if c.startswith('rename')]
first = next(i for i in renames if calls[i].split()[1].startswith(staging))
last = next(i for i in renames if calls[i].split()[2] == name and i >= first)
assert any(c == 'flush' for c in calls[:first]), 'no flush before the first rename'
assert any(c.startswith('dirsync') for c in calls[last + 1:]), 'no folder flush after the last rename'
PY
}

strace -f -y -qq -e trace=syncfs,fsync,renameat,renameat2,rename -o "$LOG" "$BIN" -w "$W" create "$DISC" >/dev/null 2>&1
check "mode 0 create under strace" test $? -eq 0
check_order "mode 0 create: base_folder" "$W/base_folder" .tavex2epwing-base_folder-
check_order "mode 0 create: the EPWING book" "$W/epwing" .tavex2epwing-epwing-
# A replaced single file is flushed before its rename too.
grep -q 'fsync([0-9]*<.*/.tavex2epwing-TAVEX_to_EPWING.ini-[0-9a-f]*.tmp>' "$LOG" && pass || fail "the settings file is flushed before its rename"
finish
