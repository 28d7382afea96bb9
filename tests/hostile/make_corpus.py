#!/usr/bin/env python3
"""Writes a corpus of hostile photos, the way an attacker uploading to a
conversion service would make them, with a manifest of what each must cost.

    make_corpus.py FOLDER

FOLDER/manifest.tsv has a line per file: its name, what must come of it
(refused, converts or either), whether its cost is a real bitmap's at the
pixel cap (costly, measured apart) and any further options. FOLDER/secrets/
holds magenta pictures that no output may show.
"""

import os
import random
import struct
import subprocess
import sys
import zlib

out = sys.argv[1]
os.makedirs(os.path.join(out, "secrets"), exist_ok=True)
manifest = []


def add(name, data, expect="either", options="", costly=False):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
    manifest.append((name, expect, "costly" if costly else "-", options))


def png(width, height, bit_depth, colour_type, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", rows)
            + chunk(b"IEND", b""))


def vips(*arguments):
    subprocess.run(["vips", *arguments], check=True, capture_output=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def mutants(seed_bytes, count, rng):
    """Copies with bytes flipped, runs overwritten or the end cut."""
    for _ in range(count):
        data = bytearray(seed_bytes)
        for _ in range(rng.randint(1, 12)):
            at = rng.randrange(len(data))
            kind = rng.randrange(3)
            if kind == 0:
                data[at] ^= 1 << rng.randrange(8)
            elif kind == 1:
                data[at:at + 4] = rng.choice([b"\xff\xff\xff\xff", b"\x00\x00\x00\x00",
                                              b"\x7f\xff\xff\xff", b"\x00\x00\x01\x00"])
            else:
                del data[at:]
                break
        yield bytes(data)


rng = random.Random(20261208)

# Secrets: a drawing that reaches them would paint them into its output.
secret = png(40, 40, 8, 2, zlib.compress((b"\x00" + b"\xff\x00\xff" * 40) * 40))
secret_path = os.path.join(os.path.abspath(out), "secrets", "secret.png")
with open(secret_path, "wb") as f:
    f.write(secret)

# ---- Drawings that fetch other files, under every photo name.
def svg(body, width=200, height=200, before=""):
    return (before + '<svg xmlns="http://www.w3.org/2000/svg" '
            'xmlns:xlink="http://www.w3.org/1999/xlink" '
            f'width="{width}" height="{height}">{body}</svg>').encode()

fetch = (f'<image xlink:href="{secret_path}" x="0" y="0" width="200" height="200"/>'
         f'<image href="file://{secret_path}" x="0" y="0" width="200" height="200"/>')
padding = "<!--" + "x" * 1200 + "-->\n"
for extension in ["jpg", "png", "tif", "gif", "webp", "heic", "bmp", "ico", "svg", "cr2",
                  "nef", "dng", "avif", "jxl", "jp2", "wmf", "emf"]:
    add(f"fetch-padded.{extension}", svg(fetch, before='<?xml version="1.0"?>\n' + padding))
add("fetch-plain.svg", svg(fetch))
add("fetch-relative.svg", svg('<image href="secrets/secret.png" width="200" height="200"/>'))
add("fetch-bom.jpg", b"\xef\xbb\xbf" + svg(fetch, before=padding))
add("fetch-utf16.jpg", ("\ufeff" + svg(fetch, before=padding).decode()).encode("utf-16-le"))
add("fetch-doctype.png", svg(fetch, before='<!DOCTYPE svg [<!ENTITY e "x">]>\n' + padding))
add("xinclude.svg", svg('<text xmlns:xi="http://www.w3.org/2001/XInclude" y="20">'
                        '<xi:include href="/etc/passwd" parse="text"/></text>'))
add("external-entity.svg", svg("<text y='20'>&e;</text>",
                               before='<!DOCTYPE svg [<!ENTITY e SYSTEM "file:///etc/passwd">]>'))
laughs = "".join(f'<!ENTITY l{i} "{("&l%d;" % (i - 1)) * 10}">' for i in range(1, 10))
add("entity-bomb.svg", svg("<text y='20'>&l9;</text>",
                           before=f'<!DOCTYPE svg [<!ENTITY l0 "ha">{laughs}]>'))
uses = '<g id="u0"><rect width="1" height="1"/></g>' + "".join(
    f'<g id="u{i}">' + f'<use xlink:href="#u{i - 1}"/>' * 10 + "</g>" for i in range(1, 9))
add("use-bomb.svg", svg(uses))

# ---- Drawings that stop or hold a renderer.
add("font-size-1e9.svg", svg('<text x="10" y="50" font-size="1e9">A</text>', 100, 60))
add("font-size-1e9.jpg", svg('<text x="10" y="50" font-size="1e9">A</text>', 100, 60))
add("blur-23000.svg", svg('<filter id="b"><feGaussianBlur stdDeviation="50"/></filter>'
                          '<rect width="23000" height="23000" filter="url(#b)"/>', 23000, 23000))
add("viewbox-23000.svg", b'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 23000 23000">'
                         b'<rect width="23000" height="23000" fill="red"/></svg>')
add("elements-400000.svg", svg('<rect width="1" height="1"/>' * 400000, 400, 400))

# ---- Documents and scripts under photo names.
add("document.jpg", b"%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj 2 0 obj<</Type/Pages"
    b"/Kids[3 0 R]/Count 1>>endobj 3 0 obj<</Type/Page/MediaBox[0 0 9000 9000]>>endobj\n"
    b"trailer<</Root 1 0 R>>\n%%EOF\n", "refused")
add("postscript.png", b"%!PS-Adobe-3.0\n/Helvetica findfont 20 scalefont setfont\n"
    b"(file) (r) file pop showpage\n", "refused")
add("drawing.png", ("push graphic-context\nviewbox 0 0 640 480\n"
                   f"image over 0,0 0,0 '{secret_path}'\npop graphic-context\n").encode(),
    "refused")
add("script.gif", f'<?xml version="1.0"?><image><read filename="{secret_path}"/>'
    '<write filename="/tmp/tessiva-msl.png"/></image>'.encode(), "refused")
add("notes.tif", b"just some words, no picture\n", "refused")
add("page.heic", b"<html><body><img src='x'></body></html>", "refused")
add("archive.webp", b"PK\x03\x04" + bytes(60), "refused")
add("empty.jpg", b"", "refused")

# ---- Metafiles.
def wmf(records):
    window = struct.pack("<IHhh", 5, 0x020B, 0, 0) + struct.pack("<IHhh", 5, 0x020C, 100, 100)
    body = window + b"".join(records) + struct.pack("<IH", 3, 0)  # the last record
    largest = max([7] + [struct.unpack_from("<I", record)[0] for record in records])
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, (18 + len(body)) // 2, 0, largest, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 100, 100, 96, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    return placeable + struct.pack("<H", checksum) + header + body

rectangle = struct.pack("<IHhhhh", 7, 0x041B, 100, 100, 0, 0)
add("good.wmf", wmf([rectangle]), "converts")
# A bitmap in a metafile: 2 x 2 pixels, 24 bits, stretched over the picture.
dib = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 16, 0, 0, 0, 0) + (b"\x00\x00\xff" * 2 + b"\x00\x00") * 2
stretch = struct.pack("<IHIHhhhhhhhh", 0, 0x0F43, 0x00CC0020, 0, 2, 2, 0, 0, 100, 100, 0, 0) + dib
stretch = struct.pack("<I", len(stretch) // 2) + stretch[4:]
add("bitmap.wmf", wmf([stretch]), "converts")
add("record-size-0.wmf", wmf([struct.pack("<IH", 0, 0x041B) + b"\x00" * 8]), "refused")
add("record-too-long.wmf", wmf([struct.pack("<IH", 0x7FFFFFFF, 0x041B)]), "refused")
add("polygon-65535.wmf", wmf([struct.pack("<IHH", 4, 0x0324, 65535)]))
add("records-2000000.wmf", wmf([rectangle] * 2_000_000), "refused")
for i, data in enumerate(mutants(wmf([rectangle] * 4), 60, rng)):
    add(f"mutant-{i:02}.wmf", data)

def emf_record(kind, body=b""):
    return struct.pack("<II", kind, 8 + len(body)) + body

emf_header = emf_record(1, struct.pack("<iiii iiii", 0, 0, 100, 50, 0, 0, 2646, 1323)
                        + struct.pack("<IIIIHHIIIiiii", 0x464D4520, 0x10000, 0, 0, 0, 0, 0, 0, 0,
                                      1920, 1080, 508, 285))
emf_rectangle = emf_record(0x2B, struct.pack("<iiii", 0, 0, 100, 50))
emf_end = emf_record(14, struct.pack("<III", 0, 16, 20))

def emf(records):
    data = bytearray(emf_header + b"".join(records) + emf_end)
    struct.pack_into("<II", data, 48, len(data), 2 + len(records))  # bytes and records
    return bytes(data)

add("good.emf", emf([emf_rectangle]), "converts")
add("records-1000000.emf", emf([emf_rectangle] * 1_000_000), "refused")
add("record-size-4.emf", emf([struct.pack("<II", 0x2B, 4)]), "refused")
for i, data in enumerate(mutants(emf([emf_rectangle] * 4), 60, rng)):
    add(f"mutant-{i:02}.emf", data)

# ---- Bitmaps that lie about their size, or cost the pixel cap.
vips("black", os.path.join(out, "tiny.jpg"), "8", "8")
jpeg = bytearray(read(os.path.join(out, "tiny.jpg")))
os.remove(os.path.join(out, "tiny.jpg"))
sof = jpeg.index(b"\xff\xc0")
struct.pack_into(">HH", jpeg, sof + 5, 23000, 23000)
add("claims-23000.jpg", bytes(jpeg), "refused")
add("claims-23000-turned.jpg", bytes(jpeg), "refused", "-r 90")
add("claims-100000.png", png(100000, 100000, 8, 2, zlib.compress(b"")), "refused")
add("claims-60000.gif", b"GIF89a" + struct.pack("<HH", 60000, 60000) + b"\x00\x00\x00"
    + b"\x2c" + struct.pack("<HHHH", 0, 0, 60000, 60000) + b"\x00\x02\x02\x4c\x0a\x00;",
    "refused")
side = 23170  # just under 2^29 pixels
row = b"\x00" + bytes((side + 7) // 8)
add("cap-1bit.png", png(side, side, 1, 0, zlib.compress(row * side, 9)), "converts",
    "-W 1000", costly=True)
add("cap-1bit-turned.png", png(side, side, 1, 0, zlib.compress(row * side, 9)), "refused",
    "-r 90", costly=True)
add("flat-12000.jxl", read(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                        "flat-12000.jxl")), "refused")
add("claims-30000.bmp", b"BM" + struct.pack("<IHHI", 1078 + 8, 0, 0, 1078)
    + struct.pack("<IiiHHIIiiII", 40, 30000, 30000, 1, 8, 1, 8, 0, 0, 256, 0)
    + bytes(1024) + b"\x00\x01\x00\x01\x00\x01\x00\x01", "refused")

# ---- Pictures decoded whole, whose real cost is beyond what their size says.
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def made(name, *options):
    """A small picture made by vips with @options, as bytes."""
    path = os.path.join(out, name)
    vips("black", path + ".v", "64", "48", "--bands", "3")
    vips("copy", path + ".v", path + options[0] if options else path)
    data = read(path)
    os.remove(path)
    os.remove(path + ".v")
    return bytearray(data)


progressive = made("p.jpg", "[interlace,strip]")
struct.pack_into(">HH", progressive, progressive.index(b"\xff\xc2") + 5, 22000, 22000)
add("progressive-22000.jpg", bytes(progressive) + bytes(1 << 20), "refused")
webp = made("w.webp", "[strip]")
vp8 = webp.index(b"VP8 ") + 8 + 6  # past the chunk's header, the frame tag and start code
struct.pack_into("<HH", webp, vp8, 15000, 15000)
if webp[12:16] == b"VP8X":  # the canvas, each side less one
    webp[24:30] = (14999).to_bytes(3, "little") * 2
add("claims-15000.webp", bytes(webp) + bytes(68 << 10), "refused")
interlaced = made("i.png", "[interlace,bitdepth=16]")
header = bytearray(interlaced[16:29])
struct.pack_into(">II", header, 0, 12000, 12000)
header[9] = 6  # RGBA
add("interlaced-16bit-12000.png", bytes(interlaced[:8]) + chunk(b"IHDR", bytes(header))
    + chunk(b"zpAD", bytes(1 << 20)) + bytes(interlaced[33:]), "refused")
add("rle-claims-11000.bmp", b"BM" + struct.pack("<IHHI", 64, 0, 0, 62)
    + struct.pack("<IiiHHIIiiII", 40, 11000, 11000, 1, 8, 1, 2, 0, 0, 2, 0)
    + bytes(8) + b"\x00\x01", "refused")
vips("black", os.path.join(out, "inner.png"), "8000", "8000")
inner = read(os.path.join(out, "inner.png"))
os.remove(os.path.join(out, "inner.png"))
add("icon-lies-8000.ico", b"\x00\x00\x01\x00\x01\x00"
    + struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(inner), 22) + inner, "refused")

# ---- Metadata that multiplies: a thousand EXIF entries, each the whole blob,
# in a directory that the EXIF and GPS pointers name again.
def exif_bomb(size, entries):
    ifd = struct.pack("<H", entries + 2)
    for i in range(entries):
        ifd += struct.pack("<HHII", 0x1000 + i, 7, size - 16, 16)
    ifd += struct.pack("<HHII", 34665, 4, 1, 8) + struct.pack("<HHII", 34853, 4, 1, 8)
    blob = b"II*\x00" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0)
    return blob + bytes(size - len(blob))


flat = zlib.compress((b"\x00" + bytes(3 * 64)) * 48)
bomb_png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 64, 48, 8, 2, 0, 0, 0))
            + chunk(b"eXIf", exif_bomb(262144, 998)) + chunk(b"IDAT", flat) + chunk(b"IEND", b""))
add("exif-bomb.png", bomb_png, "converts")
add("exif-bomb-all.png", bomb_png, "converts", "--metadata all")
jpeg_bomb = made("e.jpg", "[strip]")
app1 = b"Exif\x00\x00" + exif_bomb(60000, 998)
jpeg_bomb[2:2] = b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1
add("exif-bomb-all.jpg", bytes(jpeg_bomb), "converts", "--metadata all")


# EXIF that no TIFF may carry as it stands: tags twice and out of order, a
# SubIFD pointer, the first directory's tags in the EXIF one, a Make of type
# IFD, text without its NUL and dates out of range.
def entry(tag, kind, count, value):
    return struct.pack("<HHI", tag, kind, count) + value.ljust(4, b"\x00")


texts = b"Nokia\x00 2\x00Artist with no end9999:99:99 99:99:99\x00"
ifd0 = [entry(0x0110, 2, 4, b"N9\x00\x00"), entry(0x010F, 13, 1, struct.pack("<I", 8)),
        entry(0x010F, 2, 9, b""), entry(0x013B, 2, 18, b""), entry(0x0132, 2, 20, b""),
        entry(0x014A, 4, 1, struct.pack("<I", 8)), entry(0x8769, 4, 1, b"")]
exif_dir = [entry(0x9003, 2, 20, b""), entry(0x010F, 2, 9, b""), entry(0x829A, 5, 1, b""),
            entry(0x829A, 5, 1, b""), entry(0x8769, 4, 1, struct.pack("<I", 8))]
ifd0_at = 8
exif_at = ifd0_at + 2 + 12 * len(ifd0) + 4
texts_at = exif_at + 2 + 12 * len(exif_dir) + 4
rational_at = texts_at + len(texts)
offsets = {2: texts_at, 3: texts_at + 9, 4: texts_at + 27, 6: exif_at}
for i, at in offsets.items():
    ifd0[i] = ifd0[i][:8] + struct.pack("<I", at)
exif_dir[0] = exif_dir[0][:8] + struct.pack("<I", texts_at + 27)
exif_dir[1] = exif_dir[1][:8] + struct.pack("<I", texts_at)
exif_dir[2] = exif_dir[3] = exif_dir[2][:8] + struct.pack("<I", rational_at)
crafted = (b"II*\x00" + struct.pack("<I", ifd0_at) + struct.pack("<H", len(ifd0)) + b"".join(ifd0)
           + bytes(4) + struct.pack("<H", len(exif_dir)) + b"".join(exif_dir) + bytes(4) + texts
           + struct.pack("<II", 1, 125))
jpeg_crafted = made("c.jpg", "[strip]")
app1 = b"Exif\x00\x00" + crafted
jpeg_crafted[2:2] = b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1
add("exif-crafted-all.jpg", bytes(jpeg_crafted), "converts", "--metadata all")
add("exif-crafted.jpg", bytes(jpeg_crafted), "converts")


def tiff_pages(count, loop=False):
    """A little-endian TIFF of @count 1x1 grey pages, each pointing at the next."""
    entries = [(256, 4, 1, 1), (257, 4, 1, 1), (258, 3, 1, 8), (262, 3, 1, 1),
               (273, 4, 1, 8), (277, 3, 1, 1), (278, 4, 1, 1), (279, 4, 1, 1)]
    size = 2 + 12 * len(entries) + 4
    data = bytearray(b"II*\x00" + struct.pack("<I", 9) + b"\x80")
    for page in range(count):
        start = len(data)
        following = start + size if page + 1 < count else (9 if loop else 0)
        data += struct.pack("<H", len(entries))
        for tag, kind, n, value in entries:
            data += struct.pack("<HHII", tag, kind, n, value)
        data += struct.pack("<I", following)
    return bytes(data)

add("pages-200000.tif", tiff_pages(200_000), "refused")
add("pages-loop.tif", tiff_pages(3, loop=True))
tiff = bytearray(tiff_pages(1))
struct.pack_into("<I", tiff, 9 + 2 + 8, 23000)
struct.pack_into("<I", tiff, 9 + 2 + 12 + 8, 23000)
add("claims-23000.tif", bytes(tiff), "either", "-W 100")

# ---- Pictures decoded whole, damaged.
for extension in ["heic", "avif", "jp2", "jxl", "webp", "gif", "png", "tif", "jpg"]:
    name = os.path.join(out, f"seed.{extension}")
    vips("black", name, "64", "48")
    seed = read(name)
    os.remove(name)
    add(f"good.{extension}", seed, "converts")
    for i, data in enumerate(mutants(seed, 20, rng)):
        add(f"mutant-{i:02}.{extension}", data)

# ---- Camera raw names on other content.
add("not-raw.nef", b"II*\x00" + bytes(200))
add("text.cr2", b"hello", "refused")

with open(os.path.join(out, "manifest.tsv"), "w") as f:
    for line in manifest:
        f.write("\t".join(line) + "\n")
print(f"{len(manifest)} files in {out}")
