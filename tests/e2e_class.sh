#!/usr/bin/env bash
# The whole class of "writes through a file it did not make": each writing command runs
# once under strace, which lists every path it creates, opens for writing, renames or
# deletes; then, for each path in turn, a symbolic link to a canary file, a hard link to
# it, a link to a canary folder and a folder holding a user's file are planted at the
# path or at its ".tmp" sibling, the command runs again, and no canary may change. The
# command may fail, with one named error and exit status 1. The list comes from the
# trace, so a writer added later is covered without new test code.
source "$(dirname "$0")/common.sh"
DISC="$SCRATCH/disc"; BASE="$SCRATCH/base"
"$BIN" sample-disc "$DISC" --entries 12 --recordings 3 --seed 9 >/dev/null 2>&1 || fail "sample-disc"
"$BIN" -w "$BASE" -m 1 create "$DISC" --with-audio >/dev/null 2>&1 || fail "first create"
"$BIN" -w "$BASE" export xsl "$SCRATCH/rules.xml" >/dev/null 2>&1 || fail "export for import"
cat >"$SCRATCH/class.py" <<'PY'
import os, re, shutil, subprocess, sys
binary, scratch, disc, part = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
base, ws, out = f"{scratch}/base", f"{scratch}/ws{part}", f"{scratch}/out{part}"
commands = {
    "create mode 0": ["create", disc, "--with-audio"],
    "create mode 1": ["-m", "1", "create", disc, "--with-audio"],
    "epwing": ["epwing"], "epwing --out": ["epwing", "--out", out], "html": ["html"], "gaiji": ["gaiji"],
    "audio": ["audio"], "stylesheet": ["stylesheet"],
    "import": ["import", "xsl", f"{scratch}/rules.xml", "--yes"], "export": ["export", "char", f"{ws}/char.xml"],
}
commands = dict(list(commands.items())[part::2])  # two processes share the commands
write = re.compile(r'^\d+\s+(openat|mkdirat|renameat2?|unlinkat)\((.*)\)\s+= (\S+)')
arg = re.compile(r'(?:AT_FDCWD|\d+)(?:<([^>]*)>)?, "((?:[^"\\]|\\.)*)"')

def fresh():
    for path in (ws, out):
        shutil.rmtree(path, ignore_errors=True)
    shutil.copytree(base, ws, symlinks=True)

def run(argv, trace=None):
    prefix = ["strace", "-f", "-y", "-qq", "-o", trace, "-e", "trace=openat,mkdirat,renameat,renameat2,unlinkat"] if trace else []
    return subprocess.run(prefix + [binary, "-w", ws, "-q"] + argv, capture_output=True, text=True, timeout=120)

def written_paths(trace):
    paths = []
    for line in open(trace, encoding="utf-8", errors="replace"):
        m = write.match(line)
        if not m or m.group(3).startswith("-1"):
            continue
        call, args = m.group(1), m.group(2)
        if call == "openat" and not re.search(r"O_WRONLY|O_RDWR|O_CREAT", args):
            continue
        for folder, name in arg.findall(args):
            path = os.path.normpath(os.path.join(folder or "/", name))
            path = re.sub(r"\.tmp-[0-9a-f]{12}$", "", path)
            if (path.startswith(ws + "/") or path.startswith(out)) and path not in paths:
                paths.append(path)
    # One file of a kind per folder: the WAV files share their writer.
    seen, kept = set(), []
    for path in paths:
        key = (os.path.dirname(path), os.path.splitext(path)[1]) if path.endswith(".wav") else path
        if key not in seen:
            seen.add(key); kept.append(path)
    return kept

canary_file, canary_dir = f"{scratch}/canary{part}.txt", f"{scratch}/canary_dir{part}"
def plant(kind, at):
    with open(canary_file, "w") as f: f.write("canary\n")
    shutil.rmtree(canary_dir, ignore_errors=True); os.makedirs(canary_dir)
    with open(f"{canary_dir}/inside.txt", "w") as f: f.write("inside\n")
    if os.path.isdir(at) and not os.path.islink(at): shutil.rmtree(at)
    elif os.path.lexists(at): os.remove(at)
    os.makedirs(os.path.dirname(at), exist_ok=True)
    if kind == "symlink": os.symlink(canary_file, at)
    elif kind == "hardlink": os.link(canary_file, at)
    elif kind == "dirlink": os.symlink(canary_dir, at)
    else:
        os.makedirs(at); open(f"{at}/user.txt", "w").write("user\n")

def intact(kind, at):
    if open(canary_file).read() != "canary\n" or sorted(os.listdir(canary_dir)) != ["inside.txt"]:
        return False
    if open(f"{canary_dir}/inside.txt").read() != "inside\n":
        return False
    return kind != "folder" or (os.path.isfile(f"{at}/user.txt") and open(f"{at}/user.txt").read() == "user\n")

failures, runs = [], 0
for label, argv in commands.items():
    fresh()
    result = run(argv, f"{scratch}/trace{part}")
    if result.returncode != 0:
        failures.append(f"{label}: the plain run failed: {result.stderr[-300:]}"); continue
    for path in written_paths(f"{scratch}/trace{part}"):
        # Every kind at the path; at its ".tmp" sibling the links to a file, which is what
        # a writer with a fixed temporary name would write through.
        for at, kinds in ((path, ("symlink", "hardlink", "dirlink", "folder")), (path + ".tmp", ("symlink", "hardlink"))):
            for kind in kinds:
                fresh(); plant(kind, at); runs += 1
                result = run(argv)
                errors = [l for l in result.stderr.splitlines() if l.startswith("error: ")]
                if not intact(kind, at):
                    failures.append(f"{label}: a {kind} at {at}: a canary changed")
                elif result.returncode not in (0, 1) or (result.returncode == 1 and len(errors) != 1):
                    failures.append(f"{label}: a {kind} at {at}: status {result.returncode}: {result.stderr[-300:]}")
print(f"class test, part {part}: {runs} runs over {', '.join(commands)}", file=sys.stderr)
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
PY
python3 "$SCRATCH/class.py" "$BIN" "$SCRATCH" "$DISC" 0 & first=$!
python3 "$SCRATCH/class.py" "$BIN" "$SCRATCH" "$DISC" 1 && pass || fail "the class test, part 1"
wait "$first" && pass || fail "the class test, part 0"
finish
