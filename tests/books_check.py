#!/usr/bin/python3
"""Reads the StarDict and MDict books back through pyglossary and compares them with the
book source they were made from (base_folder), read here on its own: headwords, keys,
text, links to entries, sound links with their recordings byte for byte, and the gaiji
as their Unicode characters.

usage: books_check.py BASE_FOLDER STARDICT_IFO MDX [WORDS_OUT]
Prints one line per finding and exits 1 when there is any; WORDS_OUT, when given,
receives every headword and key, one a line, for the sdcv lookups."""

import gzip
import html
import re
import struct
import sys
from collections import defaultdict
from pathlib import Path
from urllib.parse import unquote
import zlib

from pyglossary.glossary import Glossary

TAG = re.compile(r"<[^>]*>")
HREF = re.compile(r'<(?:a href|audio src)="([^"]*)">')


def plain(markup):
    """The text of markup: tags left out, references decoded, blanks folded."""
    text = html.unescape(TAG.sub("", markup.replace("\r", "").replace("\n", "")))
    return re.sub(r"[\x00-\x20\xa0\x7f]+", " ", text).strip()


def body_text(markup):
    """The text a body shows: tags and line ends left out, references decoded."""
    text = TAG.sub("", markup.replace("\r", "").replace("\n", "").replace("\t", " "))
    return html.unescape(text).replace("\xa0", " ")


def attribute(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def read_source(base):
    raw = (base / "html_EPW").read_bytes().decode("cp932", errors="replace")
    lines = raw.split("\r\n")
    entries = []
    i = lines.index("<dl>") + 1
    while lines[i] != "</dl>":
        m = re.match(r'<dt id="([^"]*)">(.*?)(</dt>)?$', lines[i])
        entry = {"id": m.group(1), "title": m.group(2), "keys": [], "body": []}
        i += 1
        while lines[i].startswith("<key "):
            m = re.match(r'<key title="(.*)" type="[^"]*">', lines[i])
            entry["keys"].append(plain(m.group(1)))
            i += 1
        assert lines[i] == "<dd><p>", lines[i]
        i += 1
        while lines[i] != "</p></dd>":
            entry["body"].append(lines[i])
            i += 1
        entry["body"] = "\n".join(entry["body"])
        entries.append(entry)
        i += 1
    return entries


def book_name(folder, stem, extension):
    """The recording's file name in the books: bytes beyond a-z, 0-9, "-", "." and "_"
    written _xHH, so that readers that take it for a host name keep it."""
    keep = b"abcdefghijklmnopqrstuvwxyz0123456789-._"
    return folder + "_" + "".join(chr(b) if b in keep else f"_x{b:02x}" for b in stem.encode()) + extension


def recording(base, href):
    """The file a sound link leads to in the books and its expected bytes."""
    folder, name = unquote(href).split("/", 1)
    wav = (base / folder / name).read_bytes()
    at = 12
    fmt_tag = None
    while at + 8 <= len(wav):
        chunk, size = wav[at:at + 4], struct.unpack("<I", wav[at + 4:at + 8])[0]
        if chunk == b"fmt ":
            fmt_tag = struct.unpack("<H", wav[at + 8:at + 10])[0]
        if chunk == b"data" and fmt_tag in (0x55, 0x50):
            return book_name(folder, name[:-4], ".mp3"), wav[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    return book_name(folder, name[:-4], ".wav"), wav


def check_dictzip(path, findings):
    """Every chunk of the random-access table inflates on its own, as dictd's and
    GoldenDict's readers inflate it, without ending the stream; together they are the text."""
    data = Path(path).read_bytes()
    xlen = struct.unpack("<H", data[10:12])[0]
    extra = data[12:12 + xlen]
    if extra[:2] != b"RA":
        findings.append(f"{path}: no random-access table")
        return
    chunk_len, count = struct.unpack("<HH", extra[6:10])
    sizes = struct.unpack(f"<{count}H", extra[10:10 + 2 * count])
    at, text = 12 + xlen, b""
    for i, size in enumerate(sizes):
        inflater = zlib.decompressobj(-15)
        piece = inflater.decompress(data[at:at + size])
        if inflater.eof or len(piece) > chunk_len or (i < count - 1 and len(piece) != chunk_len):
            findings.append(f"{path}: chunk {i} does not inflate on its own as readers expect")
            return
        text += piece
        at += size
    if text != gzip.decompress(data):
        findings.append(f"{path}: the chunks are not the whole text")


def read_book(path):
    Glossary.init()
    glos = Glossary()
    if not glos.read(str(path), direct=True):
        raise SystemExit(f"pyglossary cannot read {path}")
    words, data = defaultdict(list), {}
    for entry in glos:
        if entry.isData():
            if entry.s_word != ".tavex2epwing-manifest":  # the program's record of what it wrote
                data[entry.s_word] = entry.data
        else:
            words[entry.l_word[0]].append((entry.l_word[1:], entry.defi))
    return words, data


def compare(name, base, entries, book, gaiji, link_prefix, sound_link, findings):
    words, data = book
    headword = {}
    for e in entries:
        headword.setdefault(e["id"], plain(e["title"]))
    used = defaultdict(int)  # homographs: the n-th entry of a headword
    sounds_seen = set()
    for e in entries:
        if not body_text(e["body"]).strip():
            continue  # pyglossary leaves out an entry without text; sdcv still finds it
        word = plain(e["title"])
        n = used[word]
        used[word] += 1
        found = words.get(word, [])
        if n >= len(found):
            findings.append(f"{name}: no entry {e['id']} under {word!r}")
            continue
        keys, defi = found[n]
        missing = [k for k in e["keys"] if k and k != word and k not in keys]
        if missing:
            findings.append(f"{name}: entry {e['id']} lacks keys {missing[:3]}")
        if body_text(defi) != body_text(e["body"]):
            findings.append(f"{name}: entry {e['id']} text differs: {body_text(defi)[:80]!r} "
                            f"!= {body_text(e['body'])[:80]!r}")
        want, got = [], [m.group(0) for m in HREF.finditer(defi)]
        for href in re.findall(r'<a href="([^"]*)">', e["body"], re.IGNORECASE):
            if href.startswith("#") and href[1:] in headword:
                want.append(f'<a href="{link_prefix}{attribute(headword[href[1:]])}">')
            elif href.lower().endswith(".wav"):
                file, bytes_ = recording(base, href)
                want.append(sound_link(file))
                if file not in sounds_seen:
                    sounds_seen.add(file)
                    if data.get(file) != bytes_:
                        findings.append(f"{name}: recording {file} missing or not the disc's bytes")
        if got != want:
            findings.append(f"{name}: entry {e['id']} links {got} != {want}")
        if "\ufffd" in defi or "<img" in defi:
            findings.append(f"{name}: entry {e['id']} holds a replacement character or a picture")
    shown = {c for found in words.values() for _, d in found for c in d}
    for c in gaiji:
        if c not in shown:
            findings.append(f"{name}: gaiji U+{ord(c):04X} never shown as its character")
    if len(data) != len(sounds_seen):
        findings.append(f"{name}: {len(data)} resources for {len(sounds_seen)} linked recordings")


def main():
    base, ifo, mdx = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    entries = read_source(base)
    used = set(html.unescape("".join(e["body"] for e in entries)))
    mapped = re.findall(r'unicode="#x([0-9A-Fa-f]+)"', (base / "GaijiMap.xml").read_text("utf-8"))
    gaiji = [chr(int(h, 16)) for h in mapped if chr(int(h, 16)) in used]
    findings = []
    check_dictzip(ifo.with_suffix(".dict.dz"), findings)
    stardict = read_book(ifo)
    # GoldenDict plays a StarDict book's sounds from <audio src="FILE"> (FILE in res/).
    compare("stardict", base, entries, stardict, gaiji, "bword://",
            lambda file: f'<audio src="{file}">', findings)
    # pyglossary turns MDict's entry:// links into bword:// ones as it reads them.
    compare("mdict", base, entries, read_book(mdx), gaiji, "bword://",
            lambda file: f'<a href="sound://{file}">', findings)
    if len(sys.argv) > 4:
        with open(sys.argv[4], "w", encoding="utf-8") as out:
            # Every headword and key of the source, and every word of the StarDict book
            # (its .syn keys included, as pyglossary read them).
            words = {w for e in entries for w in [plain(e["title"])] + e["keys"] if w}
            words |= {w for head, found in stardict[0].items() for keys, _ in found for w in [head] + keys}
            out.write("".join(w + "\n" for w in sorted(words)))
    for finding in findings[:40]:
        print(finding)
    print(f"{len(entries)} entries, {len(gaiji)} gaiji compared, {len(findings)} findings")
    sys.exit(1 if findings else 0)


if __name__ == "__main__":
    main()
