# Writes a book source whose book asks a reader for far more reading than its size, once
# damaged: hostile_source.py KIND SAMPLE_BASE_FOLDER BASE_FOLDER
#   long-text   one entry of 2 MiB of text with 20,000 keys, then a short entry
#   many-sounds one entry with 300,000 links to one recording of 1 MiB
#   equal-run   6,000 entries keyed "nonkettle" and a few keyed by words that extend it:
#               three layers of index pages, and an upper page ending in the run
# The gaiji files and the copyright page are the sample's.
import sys, os, shutil, struct
kind, sample, base = sys.argv[1:4]
if os.path.exists(base): shutil.rmtree(base)
os.makedirs(base)
for name in ('copyright.html', 'GaijiMap.xml', 'Gaiji.xml', 'TAVEX.map'):
    shutil.copy(os.path.join(sample, name), base)
lines = ['<html>', '<head>', '<title>TAVEX</title>', '</head>', '<body>', '<dl>', '<dt id="1">long</dt>']
if kind == 'equal-run':
    def title(i): return ''.join(chr(ord('a') + (i // 13 ** p) % 13) for p in range(4, -1, -1))
    lines += ['<dd><p>', 'e<br>', '</p></dd>']
    for i in range(6000):
        lines += ['<dt id="%d">%s</dt>' % (i + 3, title(i)), '<key title="nonkettle" type="前方表記">ＮＯＮＫＥＴＴＬＥ</key>',
                  '<dd><p>', 'e<br>', '</p></dd>']
    for i, word in enumerate(['nonkettles', 'nonkettleful', 'nonkettleade', 'zz']):
        lines += ['<dt id="%d">%s</dt>' % (i + 7000, word), '<dd><p>', 'e<br>', '</p></dd>']
elif kind == 'long-text':
    lines += ['<key title="k%05d" type="前方表記">K%05d</key>' % (i, i) for i in range(20000)]
    lines += ['<dd><p>'] + ['text of the long entry, line %d<br>' % i for i in range(60000)] + ['</p></dd>']
else:
    os.makedirs(os.path.join(base, 'us_pron'))
    n = 1 << 20
    with open(os.path.join(base, 'us_pron', 'big.wav'), 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 36 + n) + b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 1, 11025, 11025, 1, 8)
                + b'data' + struct.pack('<I', n) + bytes(n))
    lines += ['<dd><p>'] + ['<a href="us_pron/big.wav">s</a>' * 1000 + '<br>' for _ in range(300)] + ['</p></dd>']
lines += ['<dt id="2">short</dt>', '<dd><p>', 'short<br>', '</p></dd>', '</dl>', '</body>', '</html>']
open(os.path.join(base, 'html_EPW'), 'wb').write(('\r\n'.join(lines) + '\r\n').encode('cp932'))
