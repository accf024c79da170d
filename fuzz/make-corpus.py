#!/usr/bin/env python3
"""Writes the small synthetic seed files of the fuzz corpus into fuzz/corpus/: EXIF blocks for the
parser and the walks, and whole small pictures with a multi-picture index, an XMP container
directory, further pictures and orientation values everywhere for the picture model.

The real photo seed, photo-small.jpg, is made separately by shrinking one of the shared test
photos with ImageMagick, which keeps its EXIF data (orientation 6):
    convert tests/data/orientation/Portrait_6.jpg -resize 320x -quality 70 \
        fuzz/corpus/photo-small.jpg
"""
import os
import struct

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


class Exif:
    """An APP1 payload with IFD0 and optional EXIF and GPS directories."""

    def __init__(self, intel):
        self.order = "<" if intel else ">"
        self.mark = b"II" if intel else b"MM"
        self.dirs = {"ifd0": [], "exif": [], "gps": []}

    def pack(self, fmt, *values):
        return struct.pack(self.order + fmt, *values)

    def add(self, directory, tag, fmt, count, values):
        self.dirs[directory].append((tag, fmt, count, values))
        return self

    def ascii(self, directory, tag, text):
        data = text.encode() + b"\0"
        return self.add(directory, tag, 2, len(data), data)

    def short(self, directory, tag, value):
        return self.add(directory, tag, 3, 1, self.pack("H", value))

    def rational(self, directory, tag, *pairs):
        data = b"".join(self.pack("II", n, d) for n, d in pairs)
        return self.add(directory, tag, 5, len(pairs), data)

    def segment(self):
        ifd0 = list(self.dirs["ifd0"])
        exif, gps = self.dirs["exif"], self.dirs["gps"]
        size = lambda n: 2 + 12 * n + 4
        exif_offset = 8 + size(len(ifd0) + bool(exif) + bool(gps))
        gps_offset = exif_offset + (size(len(exif)) if exif else 0)
        data_offset = gps_offset + (size(len(gps)) if gps else 0)
        if exif:
            ifd0.append((0x8769, 4, 1, self.pack("I", exif_offset)))
        if gps:
            ifd0.append((0x8825, 4, 1, self.pack("I", gps_offset)))
        tiff = self.mark + self.pack("HI", 42, 8)
        data = b""
        for entries in (ifd0, exif, gps):
            if not entries:
                continue
            tiff += self.pack("H", len(entries))
            for tag, fmt, count, values in entries:
                tiff += self.pack("HHI", tag, fmt, count)
                if len(values) <= 4:
                    tiff += values.ljust(4, b"\0")
                else:
                    tiff += self.pack("I", data_offset + len(data))
                    data += values
            tiff += self.pack("I", 0)
        return b"Exif\0\0" + tiff + data


def app1(payload, length=None):
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2 if length is None else length) + payload


def jpeg(*segments):
    jfif = b"\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    return b"\xff\xd8" + jfif + b"".join(segments) + b"\xff\xd9"


def full(intel, orientation):
    e = Exif(intel)
    e.short("ifd0", 0x0112, orientation).ascii("ifd0", 0x010F, "Maker").ascii("ifd0", 0x0110, "Cam")
    e.ascii("ifd0", 0x0132, "2020:01:02 03:04:05")
    e.rational("exif", 0x829A, (1, 125)).rational("exif", 0x829D, (4, 1))
    e.short("exif", 0x8827, 200).short("exif", 0x9209, 0x19)
    e.ascii("exif", 0x9003, "2020:01:02 03:04:05").add("exif", 0xA002, 4, 1, e.pack("I", 640))
    e.rational("exif", 0xA432, (24, 1), (70, 1), (28, 10), (4, 1)).ascii("exif", 0xA434, "Zoom")
    e.add("gps", 1, 2, 2, b"S\0").rational("gps", 2, (51, 1), (30, 1), (1234, 100))
    e.add("gps", 3, 2, 2, b"W\0").rational("gps", 4, (0, 1), (7, 1), (30, 1))
    e.add("gps", 5, 1, 1, b"\x01").rational("gps", 6, (25, 1)).rational("gps", 11, (3, 2))
    return e.segment()


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def picture(*segments):
    """A whole small picture: the segments, a frame, one scan, the end."""
    frame = bytes.fromhex("FFC0000B080010001001011100")
    scan = bytes.fromhex("FFDA0008010100003F00") + b"\x12\x34\xff\x00\x56"
    return b"\xff\xd8" + b"".join(segments) + frame + scan + b"\xff\xd9"


XMP_ID = b"http://ns.adobe.com/xap/1.0/\0"


def xmp(description, padding=0):
    return segment(0xE1, XMP_ID + (
        '<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/">'
        '<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">%s</rdf:RDF>'
        '</x:xmpmeta>%s<?xpacket end="w"?>' % (description, " " * padding)).encode())


def container(items):
    """A description with a container directory of (semantic, mime, length) items."""
    lis = "".join('<rdf:li rdf:parseType="Resource"><C:Item I:Semantic="%s" I:Mime="%s"%s/>'
                  '</rdf:li>' % (s, m, "" if n is None else ' I:Length="%d"' % n)
                  for s, m, n in items)
    return ('<rdf:Description xmlns:C="http://ns.google.com/photos/1.0/container/" '
            'xmlns:I="http://ns.google.com/photos/1.0/container/item/" '
            'xmlns:t="http://ns.adobe.com/tiff/1.0/" t:Orientation="6">'
            '<C:Directory><rdf:Seq>%s</rdf:Seq></C:Directory></rdf:Description>' % lis)


def mpf(intel, entries):
    """An MPF payload listing (attributes, size, offset) entries."""
    o = "<" if intel else ">"
    head = b"MPF\0" + (b"II*\0" if intel else b"MM\0*") + struct.pack(o + "I", 8)
    ifd = struct.pack(o + "H", 2)
    ifd += struct.pack(o + "HHI", 0xB000, 7, 4) + b"0100"
    ifd += struct.pack(o + "HHII", 0xB002, 7, 16 * len(entries), 8 + 2 + 24 + 4)
    ifd += struct.pack(o + "I", 0)
    return head + ifd + b"".join(struct.pack(o + "IIIHH", a, n, off, 0, 0) for a, n, off in entries)


def with_further(intel, primary_segments, further, tail=b""):
    """A primary with an MPF index listing `further` pictures appended after it."""
    entries = [(0x20030000, 0, 0)] + [(0, len(f), 0) for f in further]
    index = segment(0xE2, mpf(intel, entries))
    primary = picture(*(primary_segments + [index]))
    header = primary.index(b"MPF\0") + 4
    position, placed = len(primary), [(0x20030000, len(primary), 0)]
    for f in further:
        placed.append((0, len(f), position - header))
        position += len(f)
    primary = picture(*(primary_segments + [segment(0xE2, mpf(intel, placed))]))
    return primary + b"".join(further) + tail


def orientations_everywhere():
    """EXIF with an orientation in IFD0 (twice) and IFD1, XMP as attribute and element."""
    body = b"MM\0*" + struct.pack(">I", 8)
    body += struct.pack(">H", 2) + struct.pack(">HHIHH", 0x0112, 3, 1, 6, 0) * 2
    body += struct.pack(">I", 8 + 2 + 24 + 4)
    body += struct.pack(">H", 1) + struct.pack(">HHII", 0x0112, 4, 1, 8) + struct.pack(">I", 0)
    element = ('<rdf:Description xmlns:tiff="http://ns.adobe.com/tiff/1.0/">'
               '<tiff:Orientation> 16 </tiff:Orientation></rdf:Description>')
    return picture(segment(0xE1, b"Exif\0\0" + body), xmp(element, 20))


def main():
    os.makedirs(CORPUS, exist_ok=True)
    truncated = Exif(False).short("ifd0", 0x0112, 8)
    truncated.short("exif", 0x8827, 100).short("exif", 0x9207, 5)
    seeds = {
        "full-ii.jpg": jpeg(app1(full(True, 6))),
        "full-mm.jpg": jpeg(app1(full(False, 3))),
        "xmp-first.jpg": jpeg(app1(b"http://ns.adobe.com/xap/1.0/\0<x/>"), app1(full(True, 8))),
        "truncated-exif.jpg": jpeg(app1(truncated.segment()[:-10])),
        "short-app1-length.jpg": jpeg(app1(full(False, 6), 16)),
        "start-end-only.jpg": b"\xff\xd8\xff\xd9",
        "orientations-everywhere.jpg": orientations_everywhere(),
        "previews-mpf-mm.jpg": with_further(False, [], [picture(), picture(app1(full(False, 6)))],
                                            b"\0\0\0\x18ftypmp42 video"),
    }
    gain_map = picture()
    seeds["gainmap-container-mpf-ii.jpg"] = with_further(
        True, [xmp(container([("Primary", "image/jpeg", None),
                              ("GainMap", "image/jpeg", len(gain_map))]), 40)], [gain_map])
    for name, data in seeds.items():
        with open(os.path.join(CORPUS, name), "wb") as seed:
            seed.write(data)


if __name__ == "__main__":
    main()
