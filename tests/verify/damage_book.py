# Copies an EPWING book made by tavex2epwing and damages the copy the way a broken
# writer or disk would: damage_book.py KIND BOOK COPY [FONT]
#   truncated      HONMON cut in the middle of its text
#   key-past-text  the first forward key points past the end of the file
#   missing-font   the gaiji font file FONT removed
#   zeroed-sound   the first sound's WAVE header zeroed
#   disorder       the first forward key changed so that its leaf page is out of order
import sys, struct, shutil, os
kind, src, dst = sys.argv[1:4]
if os.path.exists(dst): shutil.rmtree(dst)
shutil.copytree(src, dst)
h = os.path.join(dst, 'TAVEX', 'DATA', 'HONMON')
data = bytearray(open(h, 'rb').read())
regions = {}
for i in range(data[1]):
    at = 16 + i * 16
    regions[data[at]] = struct.unpack('>II', bytes(data[at + 2:at + 10]))
def page(p): return (p - 1) * 2048
def first_leaf(index_id):
    start, count = regions[index_id]
    for p in range(start, start + count):
        if data[page(p)] & 0x80: return page(p)
if kind == 'truncated':
    start, count = regions[0x00]
    data = data[:page(start) + (count * 2048) // 2]
elif kind == 'key-past-text':
    at = first_leaf(0x91) + 4     # the first leaf entry: length, key, text page
    n = data[at]
    data[at + 1 + n:at + 1 + n + 4] = struct.pack('>I', len(data) // 2048 + 50)
elif kind == 'missing-font':
    os.remove(os.path.join(dst, 'TAVEX', 'GAIJI', sys.argv[4]))
elif kind == 'zeroed-sound':
    at = data.find(b'fmt ', page(regions[0x02][0] + regions[0x02][1]))
    data[at:at + 44] = bytes(44)
elif kind == 'disorder':
    at = first_leaf(0x91) + 4
    data[at + 1] = 0x7E
open(h, 'wb').write(bytes(data))
