# Copies an EPWING book made by tavex2epwing and damages the copy the way a broken
# writer or disk would: damage_book.py KIND BOOK COPY [FONT]
#   truncated      HONMON cut in the middle of its text
#   key-past-text  the first forward key points past the end of the file
#   missing-font   the gaiji font file FONT removed
#   zeroed-sound   the first sound's WAVE header zeroed
#   disorder       the first forward key changed so that its leaf page is out of order
# and the way an attacker would:
#   fifo-honmon, fifo-font     HONMON or the gaiji font FONT a FIFO
#   fifo-NAME                  a FIFO named NAME beside CATALOGS (catalogs, CATALOGS., CATALOGS;1)
#   dotdot                     the subbook folder ".." in CATALOGS, a text file planted beside COPY
#   no-word-search             the forward index taken out of the index page
#   sparse-tail                the text cut after its first page and the file made 20 GiB
#                              long with a hole of zeros that the text region covers
#   keys-into-text             every forward key pointing at its own place inside the first text
#   overlapping-sounds         every sound starting two bytes after the one before
#   unpadded-root              the forward index's root page rewritten with entries exactly as
#                              wide as its longest key, as an earlier writer made it
#   deep-fifo                  a FIFO at x/1/2/3/4/HONMON, and TAVEX/DATA a link to that folder
#   repeated-subbook           CATALOGS listing its one subbook 50 times
#   multi-search               a multi-search page (region FF) of 9 entries, which libeb takes
#                              into a table of 5
import sys, struct, shutil, os
kind, src, dst = sys.argv[1:4]
if os.path.exists(dst): shutil.rmtree(dst)
shutil.copytree(src, dst)
h = os.path.join(dst, 'TAVEX', 'DATA', 'HONMON')
if kind == 'deep-fifo':
    deep = os.path.join(dst, 'x', '1', '2', '3', '4')
    os.makedirs(deep)
    os.mkfifo(os.path.join(deep, 'HONMON'))
    shutil.rmtree(os.path.join(dst, 'TAVEX', 'DATA'))
    os.symlink(os.path.join('..', 'x', '1', '2', '3', '4'), os.path.join(dst, 'TAVEX', 'DATA'))
    sys.exit(0)
if kind == 'repeated-subbook':
    c = os.path.join(dst, 'CATALOGS')
    cat = open(c, 'rb').read()
    open(c, 'wb').write(struct.pack('>H', 50) + cat[2:16] + cat[16:180] * 50)
    sys.exit(0)
if kind.startswith('fifo-'):
    name = {'fifo-honmon': h, 'fifo-font': os.path.join(dst, 'TAVEX', 'GAIJI', sys.argv[4] if len(sys.argv) > 4 else '')}
    path = name.get(kind, os.path.join(dst, kind[5:]))
    if os.path.exists(path): os.remove(path)
    os.mkfifo(path)
    sys.exit(0)
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
elif kind == 'dotdot':
    c = os.path.join(dst, 'CATALOGS')
    cat = open(c, 'rb').read().replace(b'TAVEX   ', b'..      ')
    open(c, 'wb').write(cat)
    beside = os.path.dirname(os.path.abspath(dst))
    shutil.copytree(os.path.join(dst, 'TAVEX'), beside, dirs_exist_ok=True)
elif kind == 'no-word-search':
    at = 16 + [i for i in range(data[1]) if data[16 + i * 16] == 0x91][0] * 16
    data[at] = 0x3F
elif kind == 'sparse-tail':
    start, count = regions[0x00]
    data = data[:page(start) + 2048]
    at = 16 + [i for i in range(data[1]) if data[16 + i * 16] == 0x00][0] * 16
    data[at + 6:at + 10] = struct.pack('>I', (20 << 30) // 2048 - start)
elif kind == 'keys-into-text':
    start, count = regions[0x91]
    first = None
    n = 0
    for p in range(start, start + count):
        if not data[page(p)] & 0x80: continue
        at = page(p) + 4
        for _ in range(struct.unpack('>H', bytes(data[page(p) + 2:page(p) + 4]))[0]):
            length = data[at]
            text = at + 1 + length
            if first is None: first = struct.unpack('>IH', bytes(data[text:text + 6]))
            byte = (first[0] - 1) * 2048 + first[1] + 2 * n
            data[text:text + 6] = struct.pack('>IH', byte // 2048 + 1, byte % 2048)
            n += 1
            at = text + 12
elif kind == 'overlapping-sounds':
    def bcd(value, digits): return bytes.fromhex(str(value).rjust(digits, '0'))
    start, count = regions[0x00]
    at = page(start)
    n = 0
    while True:
        at = data.find(b'\x1f\x4a', at, page(start + count))
        if at < 0: break
        sound = data[at + 6:at + 18]
        page_no, offset = int(sound[0:4].hex()), int(sound[4:6].hex())
        if n > 0:
            byte = (first_page - 1) * 2048 + first_offset + 2 * n
            data[at + 6:at + 12] = bcd(byte // 2048 + 1, 8) + bcd(byte % 2048, 4)
        else:
            first_page, first_offset = page_no, offset
        n += 1
        at += 18
elif kind == 'unpadded-root':
    root = page(regions[0x91][0])
    width, n = data[root + 1], struct.unpack('>H', bytes(data[root + 2:root + 4]))[0]
    entries = [bytes(data[root + 4 + e * (width + 4):root + 8 + e * (width + 4) + width]) for e in range(n)]
    keys = [(e[:width].rstrip(b'\0'), e[width:]) for e in entries]
    narrow = max(len(k) for k, _ in keys)
    body = b''.join(k.ljust(narrow, b'\0') + child for k, child in keys)
    data[root + 1] = narrow
    data[root + 4:root + 2048] = body.ljust(2044, b'\0')
elif kind == 'multi-search':
    # A region FF at the end of the index page, on a page of its own after the file.
    pages = len(data) // 2048
    at = 16 + data[1] * 16
    data[at:at + 16] = bytes([0xFF, 0]) + struct.pack('>II', pages + 1, 1) + bytes(6)
    data[1] += 1
    multi = bytearray(2048)
    multi[0:2] = struct.pack('>H', 9)
    for e in range(9):
        multi[16 + e * 32] = 1
    data += multi
if kind == 'sparse-tail':
    with open(h, 'wb') as f:
        f.write(bytes(data))
        f.truncate(20 << 30)
else:
    open(h, 'wb').write(bytes(data))
