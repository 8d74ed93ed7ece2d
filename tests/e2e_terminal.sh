#!/usr/bin/env bash
# Progress on a terminal: under a pseudo-terminal a long create run shows a progress
# line (name, bar, percentage, done/total, rate, time left) that is erased again, so the
# screen ends with exactly what the run prints without a terminal; nothing of it
# without a terminal or with -q.
source "$(dirname "$0")/common.sh"

# Renders a typescript the way a terminal shows it (carriage return, line feed, erase to
# the end of the line) and prints the final screen's lines. The typescript's own first
# and last lines ("Script started/done on ...") are left out.
render() {
  python3 - "$1" <<'PY'
import re, sys
data = open(sys.argv[1], 'rb').read().decode('utf-8', 'replace')
data = data.split('\n', 1)[1] if data.startswith('Script started') else data
data = re.sub(r'\n?Script done on .*\n?$', '', data)
lines, row, col, i = [[]], 0, 0, 0
while i < len(data):
    c = data[i]
    m = re.match(r'\x1b\[[0-9;?]*([A-Za-z])', data[i:]) if c == '\x1b' else None
    if m:
        if m.group(1) == 'K':
            del lines[row][col:]
        elif m.group(1) != 'm':
            sys.exit('unexpected escape sequence %r' % m.group(0))
        i += m.end()
        continue
    if c == '\r':
        col = 0
    elif c == '\n':
        row += 1
        if row == len(lines):
            lines.append([])
    else:
        lines[row].extend(' ' * (col - len(lines[row])))
        lines[row][col:col + 1] = [c]
        col += 1
    i += 1
text = [''.join(l).rstrip() for l in lines]
while text and not text[-1]:
    text.pop()
print('\n'.join(text))
PY
}
# A progress line as it is drawn: name, bar, percentage, done/total, rate, time left.
BAR='\[[#.]{10,}\] +[0-9]{1,3}%  [0-9]+/[0-9]+  [0-9.]+/s  [0-9:]+ left'
without_time() { grep -v '^所要時間：'; }

# A disc big enough that its loops run longer than half a second.
"$BIN" sample-disc "$SCRATCH/disc" --entries 30000 --recordings 0 >/dev/null 2>&1 || fail "sample-disc"

# --- on a terminal: bars appear, and the final screen is the plain run's output. Both
# runs use the same workspace path (messages name it); the first one's is moved aside.
cd "$SCRATCH"
if script -qfec "'$BIN' -w ws -m 1 create '$SCRATCH/disc'" typescript </dev/null >/dev/null; then
  pass
else
  fail "create under a terminal: exit status"
fi
mv ws ws-tty
check "a progress line is drawn" grep -qaE "$BAR" typescript
check "the html step has its line" grep -qaE "htmlを書き出し中 $BAR" typescript
render typescript >screen || fail "render the typescript"
check "no progress left on the screen" bash -c "! grep -qaE '[0-9]+%  [0-9]+/[0-9]+' screen"

"$BIN" -w ws -m 1 create "$SCRATCH/disc" >plain 2>&1 || fail "create without a terminal"
check "the screen holds only the log and the warnings" diff <(without_time <screen) <(without_time <plain)
check "no terminal control without a terminal" bash -c "! grep -qaP '\r|\x1b' plain"

# --- -q on a terminal: the html step again, and not a byte of progress
if script -qfec "'$BIN' -q -w ws html" quiet </dev/null >/dev/null; then
  pass
else
  fail "html -q under a terminal: exit status"
fi
check "-q draws nothing" bash -c "! grep -qaP '\x1b|%  |\r(?!\n)' quiet"

# --- a terminal that cannot erase a line (TERM=dumb, or none named): no progress drawn
for term in dumb ""; do
  if TERM="$term" script -qfec "'$BIN' -w ws html" "dumb$term" </dev/null >/dev/null; then
    pass
  else
    fail "html under TERM='$term': exit status"
  fi
  check "TERM='$term' draws nothing" bash -c "! grep -qaP '\x1b|%  |\r(?!$)' 'dumb$term'"
done

finish
