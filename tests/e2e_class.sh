#!/usr/bin/env bash
# The whole class of "writes through a file it did not make": each writing command runs
# once under strace, which lists every path it creates, opens for writing, renames or
# deletes; then, for each path in turn, a symbolic link to a canary file, a hard link to
# it, a link to a canary folder and a folder holding a user's file are planted at the
# path or at its ".tmp" sibling, the command runs again, and no canary may change. The
# command may fail, with one named error and exit status 1. The list comes from the
# trace, so a writer added later is covered without new test code.
# Then the class of "takes a name for proof": a user's file, and then a user's folder,
# are planted at once under every name the trace shows for a temporary, staging, backup
# or record file or folder, and under the ".old", ".ready", ".staging", ".new", ".tmp"
# and ".tmp-…" forms of every name it writes (outside the folders it replaces whole);
# the command must succeed and leave every one unchanged. A user's file at a lock's name
# stops the command with one error and stays as it was.
#   CLASS_ONLY="html,epwing --out" CLASS_NAMES_ONLY=1 tests/e2e_class.sh BIN   a quicker look
source "$(dirname "$0")/common.sh"
DISC="$SCRATCH/disc"; BASE="$SCRATCH/base"
"$BIN" sample-disc "$DISC" --entries 12 --recordings 3 --seed 9 >/dev/null 2>&1 || fail "sample-disc"
"$BIN" -w "$BASE" -m 1 create "$DISC" --with-audio >/dev/null 2>&1 || fail "first create"
"$BIN" -w "$BASE" export xsl "$SCRATCH/rules.xml" >/dev/null 2>&1 || fail "export for import"
cat >"$SCRATCH/class.py" <<'PY'
import glob, os, re, shutil, subprocess, sys
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
if os.environ.get("CLASS_ONLY"):  # CLASS_ONLY="html,epwing --out" runs only those
    commands = {k: v for k, v in commands.items() if k in os.environ["CLASS_ONLY"].split(",")}
write = re.compile(r'^\d+\s+(openat|mkdirat|renameat2?|unlinkat)\((.*)\)\s+= (\S+)')
arg = re.compile(r'(?:AT_FDCWD|\d+)(?:<([^>]*)>)?, "((?:[^"\\]|\\.)*)"')

def fresh():
    for path in [ws, out] + glob.glob(f"{out}.*") + glob.glob(f"{scratch}/.tavex2epwing-out{part}*") + glob.glob(f"{scratch}/.out{part}.*"):
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path, ignore_errors=True)
        elif os.path.lexists(path):
            os.remove(path)
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

def raw_calls(trace):
    """(call, [paths]) of each successful writing call, the paths as written."""
    calls = []
    for line in open(trace, encoding="utf-8", errors="replace"):
        m = write.match(line)
        if not m or m.group(3).startswith("-1"):
            continue
        call, args = m.group(1), m.group(2)
        if call == "openat" and not re.search(r"O_WRONLY|O_RDWR|O_CREAT", args):
            continue
        calls.append((call, [os.path.normpath(os.path.join(folder or "/", name)) for folder, name in arg.findall(args)]))
    return calls

HIDDEN = ".tavex2epwing-"
def is_hidden(path):
    name = os.path.basename(path)
    return name.startswith(HIDDEN) and name != HIDDEN + "manifest"
def is_lock(path):
    return path.endswith(".lock") or path.endswith("-lock")
def below(path, folder):
    return path.startswith(folder + "/")

def name_cases(trace):
    """The names to plant at (hidden and forms), and the lock files."""
    calls = raw_calls(trace)
    beside_out = lambda p: os.path.dirname(p) == scratch and os.path.basename(p).startswith(
        (HIDDEN + os.path.basename(out), "." + os.path.basename(out) + "."))
    paths = [p for _, ps in calls for p in ps if p.startswith(ws + "/") or p.startswith(out) or beside_out(p)]
    # Folders a stand-in replaced or took away: what is below them goes with them.
    replaced = set()
    for call, ps in calls:
        if call.startswith("renameat") and len(ps) == 2 and (is_hidden(ps[0]) or is_hidden(ps[1])):
            replaced.update(p for p in ps if not is_hidden(p))
    inside = lambda p: any(below(p, r) for r in replaced) or any(is_hidden(q) for q in p.split("/")[:-1])
    hidden = sorted({p for p in paths if is_hidden(p) and not inside(p)})
    locks = sorted({p for p in paths if is_lock(p)})
    outputs = sorted({re.sub(r"\.tmp-[0-9a-f]{12}$", "", p) for p in paths
                      if not is_hidden(p) and not is_lock(p) and not inside(p) and not p.endswith("-journal")})
    forms = [p + s for p in outputs for s in (".old", ".ready", ".staging", ".new", ".tmp", ".tmp-0123456789ab")]
    return [p for p in hidden + forms if os.path.isdir(os.path.dirname(p))], locks

def plant_user(kind, at):
    if kind == "file":
        with open(at, "w") as f: f.write("user\n")
    else:
        os.makedirs(at); open(f"{at}/user.txt", "w").write("user\n")

def user_kept(kind, at):
    try:
        return open(at if kind == "file" else f"{at}/user.txt").read() == "user\n"
    except OSError:
        return False

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

failures, runs, names = [], 0, 0
for label, argv in commands.items():
    fresh()
    result = run(argv, f"{scratch}/trace{part}")
    if result.returncode != 0:
        failures.append(f"{label}: the plain run failed: {result.stderr[-300:]}"); continue
    # Every name of the program's own and every form of an output name, all at once.
    fresh(); planted, locks = name_cases(f"{scratch}/trace{part}")
    for kind in ("file", "folder"):
        fresh(); runs += 1
        here = [at for at in planted if not os.path.lexists(at)]
        names += len(here)
        for at in here: plant_user(kind, at)
        result = run(argv)
        changed = [at for at in here if not user_kept(kind, at)]
        if result.returncode != 0:
            failures.append(f"{label}: beside a user's {kind} at {len(here)} names: status {result.returncode}: {result.stderr[-300:]}")
        if changed:
            failures.append(f"{label}: a user's {kind} changed at {', '.join(changed[:3])}")
    for at in locks:
        for kind in ("file", "folder"):
            fresh(); runs += 1
            if os.path.lexists(at): os.remove(at)
            plant_user(kind, at)
            result = run(argv)
            errors = [l for l in result.stderr.splitlines() if l.startswith("error: ")]
            if not user_kept(kind, at) or result.returncode != 1 or len(errors) != 1:
                failures.append(f"{label}: a user's {kind} at the lock {at}: status {result.returncode}, kept {user_kept(kind, at)}")
    for path in written_paths(f"{scratch}/trace{part}"):
        # Every kind at the path; at its ".tmp" sibling the links to a file, which is what
        # a writer with a fixed temporary name would write through.
        if os.environ.get("CLASS_NAMES_ONLY"):
            break
        for at, kinds in ((path, ("symlink", "hardlink", "dirlink", "folder")), (path + ".tmp", ("symlink", "hardlink"))):
            for kind in kinds:
                fresh(); plant(kind, at); runs += 1
                result = run(argv)
                errors = [l for l in result.stderr.splitlines() if l.startswith("error: ")]
                if not intact(kind, at):
                    failures.append(f"{label}: a {kind} at {at}: a canary changed")
                elif result.returncode not in (0, 1) or (result.returncode == 1 and len(errors) != 1):
                    failures.append(f"{label}: a {kind} at {at}: status {result.returncode}: {result.stderr[-300:]}")
print(f"class test, part {part}: {runs} runs over {', '.join(commands)}, {names} user's names planted", file=sys.stderr)
for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
PY
python3 "$SCRATCH/class.py" "$BIN" "$SCRATCH" "$DISC" 0 & first=$!
python3 "$SCRATCH/class.py" "$BIN" "$SCRATCH" "$DISC" 1 && pass || fail "the class test, part 1"
wait "$first" && pass || fail "the class test, part 0"
finish
