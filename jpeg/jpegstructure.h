// The structure of a JPEG file read from its bytes: the frame (coding process, size, sampling),
// the coding choices that a lossless turn should keep, where the main image ends and what
// follows it, and where the EXIF thumbnail and the XMP orientation are. The bytes are untrusted:
// every read is bounds-checked, and a file that does not parse says why.
#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// A stretch of a file: absolute start and length. An empty range has no offset.
struct FileRange {
    qint64 offset = -1;
    qint64 length = 0;

    bool isEmpty() const { return offset < 0; }
    qint64 end() const { return offset + length; }
};

struct JpegComponent {
    int id = 0;
    int horizontalSampling = 0;
    int verticalSampling = 0;
};

// The frame header (SOFn) of the main image.
struct JpegFrame {
    int marker = 0; // the second byte of the SOFn marker (0xC0 to 0xCF), 0 when none was found
    int precision = 0;
    int width = 0;
    int height = 0;
    std::vector<JpegComponent> components;

    bool isValid() const { return marker != 0; }
    bool progressive() const;
    bool arithmetic() const;
    bool lossless() const;
    bool differential() const; // a frame of a hierarchical file
    // The side of the block that lossless transforms move whole (the iMCU): 8 times the largest
    // sampling factor, and 8 for a file with one component.
    int blockWidth() const;
    int blockHeight() const;
    // The number of blocks of that size across the image, the last one counted when partial.
    int blocksPerRow() const;
};

struct JpegStructure {
    qint64 fileSize = 0;
    // Why the walk stopped before the end of the main image; empty when the file parsed whole.
    QString problem;

    JpegFrame frame;
    bool hierarchical = false; // a DHP marker or a differential frame
    // The first frame marker where none may stand: after the first frame in a file without DHP,
    // between or inside the scans. Its file is damaged, whatever its frame's type; jpegtran
    // takes such a marker for a JPEG process it cannot turn. -1 and 0 when there is none.
    qint64 strayFrameMarkerAt = -1;
    int strayFrameMarker = 0;
    int restartInterval = 0;   // in MCUs, as the last DRI before the first scan says; 0 for none
    int huffmanTableCount = 0; // tables defined by DHT segments
    bool standardHuffmanTables = false; // there are tables and every one is from Annex K
    int scanCount = 0;
    qint64 entropyCodedBytes = 0; // the coded image data of all scans, markers excluded

    // The position just after the EOI that ends the main image's coded data; -1 when missing.
    // An EOI inside a segment (the EXIF thumbnail's) never counts.
    qint64 imageEnd = -1;

    FileRange exifSegment;            // the payload of the first APP1 starting "Exif\0\0"
    FileRange thumbnail;              // IFD1's JPEG thumbnail (0x0201, 0x0202), inside exifSegment
    qint64 thumbnailLengthField = -1; // where tag 0x0202's value is stored
    int thumbnailLengthFieldSize = 0; // 2 (SHORT) or 4 (LONG)
    bool exifBigEndian = false;

    FileRange xmpSegment;   // the payload of the first APP1 starting with the XMP namespace
    int xmpOrientation = 0; // tiff:Orientation in that XMP, 0 when it holds none

    FileRange mpfSegment; // the payload of the first APP2 starting "MPF\0"

    bool isComplete() const { return problem.isEmpty() && imageEnd > 0; }
    bool hasStrayFrameMarker() const { return strayFrameMarkerAt >= 0; }
    // Bytes after the main image: motion-photo video, further pictures, gain maps.
    qint64 trailingBytes() const { return imageEnd > 0 ? fileSize - imageEnd : 0; }
};

JpegStructure parseJpegStructure(const uchar *data, qint64 size);
JpegStructure parseJpegStructure(const QByteArray &bytes);

// Reads a file's structure; `problem` says so when the file cannot be read. Files larger than
// maxJpegFileSize are not read.
// A file is read whole to be walked; larger ones than any camera or panorama makes (a sparse or
// broken file named like a photo) would only cost time and memory.
inline constexpr qint64 maxJpegFileSize = qint64(1) << 30;
JpegStructure readJpegStructure(const QString &path);

// The first tiff:Orientation value from 1 to 8 in an XMP packet, in attribute or element form,
// under any prefix bound to the TIFF namespace (or the prefix "tiff" where nothing binds it); 0
// when there is none.
int xmpTiffOrientation(const char *xmp, qint64 size);
