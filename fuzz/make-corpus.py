#!/usr/bin/env python3
"""Writes the small synthetic seed files of the EXIF parser fuzz corpus into fuzz/corpus/.

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
    }
    for name, data in seeds.items():
        with open(os.path.join(CORPUS, name), "wb") as seed:
            seed.write(data)


if __name__ == "__main__":
    main()
