# Shared helpers of the end-to-end tests: a scratch folder, checks that count
# failures, and the closing "N passed, N failed" line.
set -u
BIN="$(readlink -f "$1")"
SCRATCH="$(mktemp -d "${TMPDIR:-/tmp}/tavex-e2e-XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT
PASSED=0
FAILED=0

pass() { PASSED=$((PASSED + 1)); }
fail() { FAILED=$((FAILED + 1)); echo "FAIL: $*" >&2; }
check() {  # check "what" command...
  local what="$1"; shift
  if "$@" >/dev/null 2>&1; then pass; else fail "$what"; fi
}
finish() {
  echo "$PASSED passed, $FAILED failed"
  [[ $FAILED -eq 0 ]]
}
# The book without the line that carries the conversion time.
book_without_time() { grep -av 'converted on' "$1"; }
