#!/usr/bin/env bash
# The Debian package from end to end on this machine: lintian finds nothing the README
# does not explain; apt-get installs it; hardening-check passes on both programs; the
# installed programs run from a folder outside the checkout (the sample conversion,
# --version), their manual pages, completion, menu entry and AppStream data are in place;
# the package is removed again and nothing of it is left under /usr.
# It changes the machine's installed packages, so it needs root and runs apart from
# ctest (scripts/test runs it as root). Whatever happens, the package is removed again.
#   tests/package_install.sh [PACKAGE.deb]    (default: build it with scripts/package)
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ $(id -u) -ne 0 ]]; then
  echo "package_install: needs root (it installs and removes the package)" >&2
  exit 2
fi
deb="$(readlink -f "${1:-$("$root/scripts/package")}")" || exit 1
[[ -f "$deb" ]] || { echo "package_install: no package $deb" >&2; exit 1; }
source "$root/tests/common.sh" "$deb"

name="$(dpkg-deb -f "$deb" Package)"
version="$(dpkg-deb -f "$deb" Version)"
# The package's own files (not the folders it shares with others such as /usr/bin).
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|')

# A package of this name installed before, or a file of it already on the machine (say
# from `cmake --install --prefix /usr`), would be removed by this test: leave them alone.
state="$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)"
if [[ -n "$state" && "$state" != not-installed && "$state" != config-files ]]; then
  echo "package_install: skipped: $name is installed on this machine and is left as it is" >&2
  exit 0
fi
for f in "${files[@]}"; do
  if [[ -e "$f" ]]; then
    echo "package_install: skipped: $f is already on this machine and is left as it is" >&2
    exit 0
  fi
done

installed=""
cleanup() {
  if [[ -n "$installed" ]] && dpkg-query -W "$name" >/dev/null 2>&1; then
    dpkg --purge "$name" >/dev/null 2>&1 || echo "package_install: could not remove $name" >&2
  fi
  rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the package itself: lintian, pedantic and with its informational tags, finds
# nothing but the tags the README explains (section "Installing")
explained='binary-has-unneeded-section'
if lintian --pedantic -I "$deb" >"$SCRATCH/lintian" 2>"$SCRATCH/lintian.err"; then
  unexplained="$(grep -Ev "^[A-Z]: $name[^:]*: ($explained)( |$)" "$SCRATCH/lintian")"
  if [[ -z "$unexplained" ]]; then pass; else fail "lintian: $unexplained"; fi
else
  fail "lintian: $(cat "$SCRATCH/lintian" "$SCRATCH/lintian.err")"
fi
check "depends on the libraries the programs link" bash -c "dpkg-deb -f '$deb' Depends | grep -q libsqlite3"
check "recommends bash-completion" bash -c "dpkg-deb -f '$deb' Recommends | grep -qw bash-completion"
check "no path of the build or source tree in the programs" \
  bash -c "! dpkg-deb --fsys-tarfile '$deb' | grep -aqF '$root'"

# --- install
installed=yes
if DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$SCRATCH/apt" 2>&1; then
  pass
else
  fail "apt-get install: $(tail -5 "$SCRATCH/apt")"
  finish
  exit
fi

# --- the installed programs, run from a folder outside the checkout
check "tavex2epwing is on the path" bash -c "[[ \$(command -v tavex2epwing) == /usr/bin/tavex2epwing ]]"
check "tavex2epwing --version" bash -c "[[ \$(tavex2epwing --version) == 'tavex2epwing $version' ]]"
check "tavex2epwing-gui --version without a display" \
  bash -c "[[ \$(env -u DISPLAY -u WAYLAND_DISPLAY tavex2epwing-gui --version) == 'tavex2epwing $version' ]]"
mkdir -p "$SCRATCH/elsewhere"
if (cd "$SCRATCH/elsewhere" && tavex2epwing -w "$SCRATCH/ws" create --sample --with-audio >out 2>err); then
  pass
else
  fail "create --sample: $(cat "$SCRATCH/elsewhere/err")"
fi
check "the book's source" test -s "$SCRATCH/ws/base_folder/html_EPW"
check "the sounds" test -d "$SCRATCH/ws/base_folder/us_pron"
check "the EPWING book" bash -c "cd '$SCRATCH/elsewhere' && tavex2epwing -q -w '$SCRATCH/ws' epwing && ebinfo '$SCRATCH/ws/epwing'"
check "nothing written outside the workspace" bash -c "[[ \$(ls '$SCRATCH/elsewhere') == \$'err\nout' ]]"

# --- manual pages (a machine whose dpkg leaves manual pages out gets them checked in the package)
man1=/usr/share/man/man1
if [[ ! -e "$man1/$name.1.gz" ]] && grep -rqs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d; then
  dpkg-deb -x "$deb" "$SCRATCH/unpacked"
  man1="$SCRATCH/unpacked/usr/share/man/man1"
else
  check "man finds the page" bash -c "[[ \$(man -w tavex2epwing) == /usr/share/man/man1/tavex2epwing.1.gz ]]"
fi
for page in tavex2epwing tavex2epwing-gui; do
  check "$page.1 has no warnings" bash -c "[[ -z \$(MANWIDTH=80 man --warnings -l '$man1/$page.1.gz' 2>&1 >/dev/null) ]]"
done
for section in NAME SYNOPSIS COMMANDS 'OPERATING MODES' FILES 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
  check "tavex2epwing.1: $section" bash -c "MANWIDTH=80 man -l '$man1/tavex2epwing.1.gz' 2>/dev/null | grep -qx '$section'"
done

# --- completion: what <TAB><TAB> offers, as bash-completion loads it on demand
completes() {  # completes "words typed, the last one being completed" expected-words...
  local line="$1"; shift
  local got
  got="$(bash -c '
    source /usr/share/bash-completion/bash_completion
    read -ra COMP_WORDS <<<"$1"; [[ "$1" == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE="$1"; COMP_POINT=${#COMP_LINE}
    __load_completion tavex2epwing && $(complete -p tavex2epwing | sed "s/.*-F \([^ ]*\) .*/\1/")
    echo "${COMPREPLY[*]}"' _ "$line")"
  for w in "$@"; do [[ " $got " == *" $w "* ]] || return 1; done
}
check "completion: commands" completes "tavex2epwing " create verify epwing check sample-disc
check "completion: create's options" completes "tavex2epwing -w ws create --" --with-audio --sample --no-epwing
check "completion: import's tables" completes "tavex2epwing import " xsl char alt
check "completion: folders" bash -c "cd '$SCRATCH' && $(declare -f completes); completes 'tavex2epwing -w ' elsewhere"

# --- menu entry and icon
check "menu entry" grep -qx 'Categories=Office;Dictionary;' /usr/share/applications/tavex2epwing-gui.desktop
check "icon" test -s /usr/share/icons/hicolor/scalable/apps/tavex2epwing.svg
check "README" test -s /usr/share/doc/tavex2epwing/README.md
check "AppStream metadata valid" appstreamcli validate --no-net /usr/share/metainfo/tavex2epwing-gui.metainfo.xml

# --- hardening: fortified buffer functions, stack protector, PIE, RELRO, BIND_NOW (not
# control-flow marks, which no program linked on Debian 12 can carry: see the README)
if hardening-check --nocfprotection /usr/bin/tavex2epwing /usr/bin/tavex2epwing-gui >"$SCRATCH/hardening" 2>&1; then
  pass
else
  fail "hardening-check: $(cat "$SCRATCH/hardening")"
fi

# --- remove: nothing of the package is left
if dpkg --purge "$name" >"$SCRATCH/purge" 2>&1; then pass; else fail "dpkg --purge: $(cat "$SCRATCH/purge")"; fi
installed=""
left=()
for f in "${files[@]}"; do [[ -e "$f" ]] && left+=("$f"); done
[[ -d /usr/share/doc/$name ]] && left+=("/usr/share/doc/$name")
if ((${#left[@]} == 0)); then pass; else fail "left under /usr: ${left[*]}"; fi
finish
