#!/usr/bin/env python3
"""Crafts, byte by byte, the photos of the orientation comparison that no tool makes.

Usage: make-orientation-set.py SOURCE_FOLDER OUTPUT_FOLDER
SOURCE_FOLDER holds the test photos (Landscape_1.jpg, Landscape_6.jpg, ...) and thumb6.jpg, a
photo tagged 6 with an EXIF thumbnail, which bench/compare-orientation.sh makes with exiftool.
Every file written is named after what was done to it.
"""
import os
import struct
import sys

XMP_ID = b"http://ns.adobe.com/xap/1.0/\0"


def segments(data):
    """Splits a JPEG into (marker, whole segment bytes) up to SOS, and the rest from SOS on."""
    assert data[:2] == b"\xff\xd8"
    pos, parts = 2, []
    while True:
        marker = data[pos + 1]
        if marker == 0xDA:
            return parts, data[pos:]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        parts.append((marker, data[pos:pos + 2 + length]))
        pos += 2 + length


def join(parts, rest):
    return b"\xff\xd8" + b"".join(seg for _, seg in parts) + rest


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def is_exif(part):
    return part[0] == 0xE1 and part[1][4:10] == b"Exif\0\0"


def without_exif(data):
    parts, rest = segments(data)
    return [p for p in parts if not is_exif(p)], rest


def tiff(intel, entries, extra=b""):
    """A TIFF block whose IFD0 holds entries (tag, format, count, 4-byte value field) as given."""
    order = "<" if intel else ">"
    head = (b"II" if intel else b"MM") + struct.pack(order + "HI", 42, 8)
    ifd = struct.pack(order + "H", len(entries))
    for tag, fmt, count, field in entries:
        ifd += struct.pack(order + "HHI", tag, fmt, count) + field
    return head + ifd + struct.pack(order + "I", 0) + extra


def short_field(intel, value):
    return struct.pack(("<" if intel else ">") + "HH", value, 0)


def long_field(intel, value):
    return struct.pack(("<" if intel else ">") + "I", value)


def exif_app1(body):
    return segment(0xE1, b"Exif\0\0" + body)


def with_exif_first(parts, rest, app1):
    """The photo with app1 as its first segment after APP0 (or after SOI without APP0)."""
    at = 1 if parts and parts[0][0] == 0xE0 else 0
    return join(parts[:at] + [(0xE1, app1)] + parts[at:], rest)


def xmp(orientation):
    body = ('<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
            'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description '
            'xmlns:tiff="http://ns.adobe.com/tiff/1.0/" tiff:Orientation="%d"/></rdf:RDF>'
            '</x:xmpmeta>' % orientation)
    return segment(0xE1, XMP_ID + body.encode())


def fake_exif_block(orientation):
    """An FF E1 block with a believable EXIF header and orientation, to hide inside a segment."""
    body = tiff(False, [(0x0112, 3, 1, short_field(False, orientation))])
    return exif_app1(body) + b"\0" * 8


def craft(source, out):
    def read(name):
        with open(os.path.join(source, name), "rb") as f:
            return f.read()

    def write(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    upright, turned = read("Landscape_1.jpg"), read("Landscape_6.jpg")
    parts1, rest1 = segments(upright)
    bare_parts, bare_rest = without_exif(upright)

    # Blocks that only look like EXIF: inside a comment, inside the JFIF header.
    write("fake-exif-in-com.jpg", join([(0xFE, segment(0xFE, b"note " + fake_exif_block(6)))] +
                                       parts1, rest1))
    app0 = parts1[0][1]
    assert parts1[0][0] == 0xE0 and app0[4:9] == b"JFIF\0"
    jfif = segment(0xE0, app0[4:] + fake_exif_block(6))
    write("fake-exif-in-app0.jpg", join([(0xE0, jfif)] + parts1[1:], rest1))

    # XMP ahead of EXIF, saying the same and saying something else.
    parts6, rest6 = segments(turned)
    for value in (6, 1):
        at = 1 if parts6[0][0] == 0xE0 else 0
        write("xmp%d-before-exif6.jpg" % value,
              join(parts6[:at] + [(0xE1, xmp(value))] + parts6[at:], rest6))
    write("xmp6-only.jpg", join(bare_parts[:1] + [(0xE1, xmp(6))] + bare_parts[1:], bare_rest))

    for intel in (True, False):
        order = "ii" if intel else "mm"
        for first, second in ((6, 1), (1, 6), (8, 3)):
            entries = [(0x0112, 3, 1, short_field(intel, first)),
                       (0x0112, 3, 1, short_field(intel, second))]
            write("two-entries-%d-%d-%s.jpg" % (first, second, order),
                  with_exif_first(bare_parts, bare_rest, exif_app1(tiff(intel, entries))))
        for value in (1, 3, 6, 8, 2, 70000):
            entries = [(0x0112, 4, 1, long_field(intel, value))]
            write("long-%d-%s.jpg" % (value, order),
                  with_exif_first(bare_parts, bare_rest, exif_app1(tiff(intel, entries))))
        entries = [(0x0112, 1, 1, bytes([6, 0, 0, 0]))]
        write("byte-6-%s.jpg" % order,
              with_exif_first(bare_parts, bare_rest, exif_app1(tiff(intel, entries))))
        # A first entry without a usable value, then a good one.
        entries = [(0x0112, 3, 0, short_field(intel, 0)), (0x0112, 3, 1, short_field(intel, 6))]
        write("count0-then-6-%s.jpg" % order,
              with_exif_first(bare_parts, bare_rest, exif_app1(tiff(intel, entries))))
        # A GPS directory that runs past the segment, after a sound IFD0.
        order_char = "<" if intel else ">"
        # IFD0 of two entries ends at TIFF offset 8 + 2 + 24 + 4 = 38: the GPS count stands there.
        body = tiff(intel, [(0x0112, 3, 1, short_field(intel, 6)),
                            (0x8825, 4, 1, long_field(intel, 38))],
                    struct.pack(order_char + "H", 500) + b"\0\0")
        write("broken-gps-6-%s.jpg" % order,
              with_exif_first(bare_parts, bare_rest, exif_app1(body)))

        # The orientation only in the thumbnail's directory (IFD1): the photo itself is upright.
        ifd1_at = 8 + 2 + 12 + 4
        ifd0 = [(0x011A, 4, 1, long_field(intel, 72))]
        body = tiff(intel, ifd0)[:-4] + struct.pack(order_char + "I", ifd1_at)
        body += struct.pack(order_char + "H", 1)
        body += struct.pack(order_char + "HHI", 0x0112, 3, 1) + short_field(intel, 6)
        body += struct.pack(order_char + "I", 0)
        write("ifd1-only-6-%s.jpg" % order,
              with_exif_first(bare_parts, bare_rest, exif_app1(body)))

    # XMP saying 6 under another prefix than "tiff", after EXIF saying 6.
    xmp_t = ('<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
             'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description '
             'xmlns:t="http://ns.adobe.com/tiff/1.0/" t:Orientation="6"/></rdf:RDF>'
             '</x:xmpmeta>')
    write("xmp6-prefix-t-after-exif6.jpg",
          join(parts6 + [(0xE1, segment(0xE1, XMP_ID + xmp_t.encode()))], rest6))

    # A stray frame marker after the scan, right before the end marker.
    stray = segment(0xC5, bytes([8, 0, 8, 0, 8, 1, 1, 0x11, 0]))
    write("stray-sof5-after-scan-6.jpg", turned[:-2] + stray + turned[-2:])

    # Two EXIF segments: the first one counts.
    second = exif_app1(tiff(False, [(0x0112, 3, 1, short_field(False, 1))]))
    first = exif_app1(tiff(False, [(0x0112, 3, 1, short_field(False, 6))]))
    write("two-exif-segments-6-1.jpg",
          join(bare_parts[:1] + [(0xE1, first), (0xE1, second)] + bare_parts[1:], bare_rest))

    # EXIF after the tables, right before the image data.
    exif6 = [p for p in parts6 if is_exif(p)]
    others6 = [p for p in parts6 if not is_exif(p)]
    write("exif6-after-tables.jpg", join(others6 + exif6, rest6))

    # EXIF behind 1.2 MB of APP2 segments: past the reading limit.
    padding = [(0xE2, segment(0xE2, b"PAD\0" + b"\0" * 65000)) for _ in range(19)]
    write("exif6-after-1.2MB-app2.jpg", join(parts6[:1] + padding + parts6[1:], rest6))
    write("exif6-after-600KB-app2.jpg", join(parts6[:1] + padding[:9] + parts6[1:], rest6))

    # Cut at many lengths: a photo without thumbnail and one with an EXIF thumbnail.
    for name in ("Landscape_6.jpg", "thumb6.jpg"):
        data = read(name)
        parts, _ = segments(data)
        exif_end = 2 + sum(len(p[1]) for p in parts[:[is_exif(p) for p in parts].index(True) + 1])
        cuts = set(range(0, min(exif_end + 16, 200), 7)) | set(range(0, exif_end + 16, 512))
        cuts |= {exif_end - 1, exif_end, exif_end + 1, len(data) - 2, len(data) - 1}
        cuts |= {len(data) * k // 10 for k in range(1, 10)}
        stem = name[:-4]
        for cut in sorted(c for c in cuts if 0 <= c < len(data)):
            write("cut-%s-%07d.jpg" % (stem, cut), data[:cut])


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    craft(sys.argv[1], sys.argv[2])
