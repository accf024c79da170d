// Walking a JPEG file's marker chain and its coded data, with every read checked against the
// end of the bytes.
#include "jpeg/jpegstructure.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "exif/jpegmarkers.h"
#include "exif/tiffreader.h"
#include "exif/xmppacket.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("JpegStructure", text);
}

// The Huffman tables of Annex K of the JPEG standard (as libjpeg writes them unless told to
// optimise): 16 code-length counts, then the symbols.
struct StandardTable {
    int tableClass; // 0 DC, 1 AC
    std::vector<uchar> counts;
    std::vector<uchar> symbols;
};

const std::vector<StandardTable> &standardTables() {
    static const std::vector<StandardTable> tables = {
        {0,
         {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {0,
         {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {1,
         {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
         {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
          0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
          0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
          0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
          0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
          0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
          0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
          0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
          0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
          0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
          0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}},
        {1,
         {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
         {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
          0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
          0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
          0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
          0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
          0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
          0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
          0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
          0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
          0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
          0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}},
    };
    return tables;
}

bool isStandardTable(int tableClass, const uchar *counts, const uchar *symbols, int symbolCount) {
    for (const StandardTable &table : standardTables()) {
        if (table.tableClass == tableClass && int(table.symbols.size()) == symbolCount &&
            std::equal(table.counts.begin(), table.counts.end(), counts) &&
            std::equal(table.symbols.begin(), table.symbols.end(), symbols))
            return true;
    }
    return false;
}

using JpegMarkers::isRestart;
constexpr uchar markerSoi = JpegMarkers::Soi;
constexpr uchar markerEoi = JpegMarkers::Eoi;
constexpr uchar markerSos = JpegMarkers::Sos;
constexpr uchar markerDht = JpegMarkers::Dht;
constexpr uchar markerDri = JpegMarkers::Dri;
constexpr uchar markerDhp = JpegMarkers::Dhp;
constexpr uchar markerApp1 = JpegMarkers::App1;
constexpr uchar markerApp2 = JpegMarkers::App2;

constexpr quint16 tagThumbnailOffset = 0x0201;
constexpr quint16 tagThumbnailLength = 0x0202;

// Bounds-checked reads of a range of the file.
class Bytes {
public:
    Bytes(const uchar *bytes, qint64 byteCount)
        : data(bytes)
        , size(byteCount) {}

    bool has(qint64 offset, qint64 count) const {
        return offset >= 0 && count >= 0 && offset <= size && count <= size - offset;
    }
    uchar at(qint64 offset) const { return has(offset, 1) ? data[offset] : 0; }
    int big16(qint64 offset) const { return at(offset) << 8 | at(offset + 1); }
    bool startsWith(qint64 offset, qint64 available, const char *text, qint64 length) const {
        return available >= length && has(offset, length) &&
               std::memcmp(data + offset, text, size_t(length)) == 0;
    }
    const uchar *pointer(qint64 offset) const { return data + offset; }
    qint64 length() const { return size; }

private:
    const uchar *data;
    qint64 size;
};

class StructureWalker {
public:
    StructureWalker(const uchar *data, qint64 size)
        : bytes(data, size) {
        result.fileSize = size;
    }

    JpegStructure walk() {
        if (bytes.length() < 2 || bytes.at(0) != 0xFF || bytes.at(1) != markerSoi) {
            result.problem = tr("not a JPEG file");
            return result;
        }
        qint64 position = 2;
        while (result.problem.isEmpty() && result.imageEnd < 0)
            position = nextSegment(position);
        if (result.problem.isEmpty() && !result.frame.isValid())
            result.problem = tr("no frame header");
        return result;
    }

private:
    // Handles the marker at `position` and returns where the next one starts.
    qint64 nextSegment(qint64 position) {
        if (!bytes.has(position, 2)) {
            result.problem = tr("the file ends before the end of the image");
            return position;
        }
        const JpegMarkers::Marker found =
            JpegMarkers::readMarker(bytes.pointer(0), quint64(bytes.length()), quint64(position));
        if (found.status == JpegMarkers::Marker::NoMarker) {
            result.problem = tr("no marker at byte %1").arg(position);
            return position;
        }
        if (found.status != JpegMarkers::Marker::Read) { // fill bytes up to the end
            unexpectedMarker(0xFF, bytes.length() - 2);
            return bytes.length();
        }
        const uchar marker = found.code;
        const qint64 markerAt = qint64(found.codeAt) - 1;
        position = markerAt + 2;
        noteStrayFrame(marker, markerAt);
        if (marker == markerEoi) {
            if (result.scanCount == 0)
                result.problem = tr("the image ends before any image data");
            else
                result.imageEnd = position;
            return position;
        }
        if (JpegMarkers::standsAlone(marker))
            return position;
        if (marker == markerSoi || marker == 0x00) {
            unexpectedMarker(marker, markerAt);
            return position;
        }
        const JpegMarkers::SegmentLength length =
            JpegMarkers::readLength(bytes.pointer(0), quint64(bytes.length()), found.codeAt);
        if (length.status != JpegMarkers::SegmentLength::Read ||
            !bytes.has(qint64(length.payloadAt), qint64(length.payloadLength()))) {
            result.problem =
                tr("the segment at byte %1 runs past the end of the file").arg(markerAt);
            return position;
        }
        const FileRange payload{qint64(length.payloadAt), qint64(length.payloadLength())};
        readSegment(marker, payload);
        if (marker == markerSos && result.problem.isEmpty())
            return skipCodedData(payload.end());
        return payload.end();
    }

    void unexpectedMarker(uchar marker, qint64 at) {
        result.problem =
            tr("unexpected marker 0x%1 at byte %2").arg(QString::number(marker, 16)).arg(at);
    }

    // Only a hierarchical file, announced by DHP, has more than one frame. Anywhere else a frame
    // marker after the first frame, between or inside the scans, is damage.
    bool isStrayFrame(uchar marker) const {
        return JpegMarkers::isFrame(marker) && result.frame.isValid() && !dhpSeen;
    }

    void noteStrayFrame(uchar marker, qint64 at) {
        if (isStrayFrame(marker) && result.strayFrameMarkerAt < 0) {
            result.strayFrameMarker = marker;
            result.strayFrameMarkerAt = at;
        }
    }

    void readSegment(uchar marker, const FileRange &payload) {
        if (isStrayFrame(marker))
            return;
        if (JpegMarkers::isFrame(marker)) {
            if (JpegMarkers::isDifferentialFrame(marker))
                result.hierarchical = true;
            if (!result.frame.isValid())
                readFrame(marker, payload);
        } else if (marker == markerDht) {
            readHuffmanTables(payload);
        } else if (marker == markerDri) {
            if (result.scanCount == 0 && payload.length >= 2)
                result.restartInterval = bytes.big16(payload.offset);
        } else if (marker == markerDhp) {
            dhpSeen = true;
            result.hierarchical = true;
        } else if (marker == markerApp1) {
            readApp1(payload);
        } else if (marker == markerApp2) {
            if (result.mpfSegment.isEmpty() &&
                bytes.startsWith(payload.offset, payload.length, "MPF\0", 4))
                result.mpfSegment = payload;
        } else if (marker == markerSos) {
            if (!result.frame.isValid())
                result.problem = tr("image data before the frame header");
            ++result.scanCount;
        }
    }

    void readFrame(uchar marker, const FileRange &payload) {
        if (payload.length < 6) {
            result.problem = tr("the frame header is too short");
            return;
        }
        JpegFrame frame;
        frame.marker = marker;
        frame.precision = bytes.at(payload.offset);
        frame.height = bytes.big16(payload.offset + 1);
        frame.width = bytes.big16(payload.offset + 3);
        const int componentCount = bytes.at(payload.offset + 5);
        if (componentCount == 0 || payload.length < 6 + 3 * componentCount) {
            result.problem = tr("the frame header is too short");
            return;
        }
        for (int i = 0; i < componentCount; ++i) {
            const qint64 at = payload.offset + 6 + 3 * i;
            const int sampling = bytes.at(at + 1);
            frame.components.push_back({bytes.at(at), sampling >> 4, sampling & 0x0F});
        }
        result.frame = frame;
    }

    void readHuffmanTables(const FileRange &payload) {
        qint64 at = payload.offset;
        while (at < payload.end()) {
            if (payload.end() - at < 17)
                return;
            const int tableClass = bytes.at(at) >> 4;
            int symbolCount = 0;
            for (int i = 1; i <= 16; ++i)
                symbolCount += bytes.at(at + i);
            if (payload.end() - at - 17 < symbolCount)
                return;
            const bool standard = isStandardTable(tableClass, bytes.pointer(at + 1),
                                                  bytes.pointer(at + 17), symbolCount);
            result.standardHuffmanTables =
                (result.huffmanTableCount == 0 || result.standardHuffmanTables) && standard;
            ++result.huffmanTableCount;
            at += 17 + symbolCount;
        }
    }

    void readApp1(const FileRange &payload) {
        const qint64 xmpHeaderLength = qint64(Xmp::SegmentIdentifier.size());
        if (result.exifSegment.isEmpty() &&
            bytes.startsWith(payload.offset, payload.length, "Exif\0\0", 6)) {
            result.exifSegment = payload;
            readThumbnail(payload.offset + 6, payload.end());
        } else if (result.xmpSegment.isEmpty() &&
                   bytes.startsWith(payload.offset, payload.length, Xmp::SegmentIdentifier.data(),
                                    xmpHeaderLength)) {
            result.xmpSegment = payload;
            result.xmpOrientation = xmpTiffOrientation(
                reinterpret_cast<const char *>(bytes.pointer(payload.offset)) + xmpHeaderLength,
                payload.length - xmpHeaderLength);
        }
    }

    // IFD1 of the TIFF structure that starts at `tiff` and ends at `end`.
    void readThumbnail(qint64 tiff, qint64 end) {
        const qint64 tiffLength = end - tiff;
        bool bigEndian = false;
        if (bytes.startsWith(tiff, tiffLength, "MM\0*", 4))
            bigEndian = true;
        else if (!bytes.startsWith(tiff, tiffLength, "II*\0", 4))
            return;
        result.exifBigEndian = bigEndian;
        const Tiff::View view(bytes.pointer(tiff), quint64(tiffLength), !bigEndian);
        if (!view.contains(0, Tiff::HeaderSize))
            return;
        // Directories may not overlap the header, and IFD1 may not be IFD0 again.
        Tiff::Directory ifd0, ifd1;
        if (view.firstDirectory() < Tiff::HeaderSize ||
            !Tiff::readDirectory(view, view.firstDirectory(), ifd0) || !ifd0.fitsWithLink(view))
            return;
        const quint32 ifd1Offset = view.u32(ifd0.linkOffset());
        if (ifd1Offset < Tiff::HeaderSize || ifd1Offset == ifd0.offset ||
            !Tiff::readDirectory(view, ifd1Offset, ifd1) || !ifd1.entriesFit(view))
            return;
        qint64 start = -1, length = -1, lengthField = -1;
        int lengthFieldSize = 0;
        for (quint64 i = 0; i < ifd1.count; ++i) {
            const Tiff::Entry entry = Tiff::readEntry(view, ifd1.entryOffset(i));
            if (entry.tag != tagThumbnailOffset && entry.tag != tagThumbnailLength)
                continue;
            if ((entry.type != Tiff::Short && entry.type != Tiff::Long) || entry.count != 1)
                continue;
            const qint64 value =
                entry.type == Tiff::Short ? view.u16(entry.offset + 8) : entry.valueField;
            if (entry.tag == tagThumbnailOffset && start < 0) {
                start = value;
            } else if (entry.tag == tagThumbnailLength && length < 0) {
                length = value;
                lengthField = tiff + qint64(entry.offset) + 8;
                lengthFieldSize = entry.type == Tiff::Short ? 2 : 4;
            }
        }
        if (start < qint64(Tiff::HeaderSize) || length < 4 ||
            !view.contains(quint64(start), quint64(length)) || bytes.at(tiff + start) != 0xFF ||
            bytes.at(tiff + start + 1) != markerSoi)
            return;
        result.thumbnail = {tiff + start, length};
        result.thumbnailLengthField = lengthField;
        result.thumbnailLengthFieldSize = lengthFieldSize;
    }

    // Skips the coded data of a scan: 0xFF is followed by 0x00 (a stuffed byte), a restart
    // marker or further 0xFF fill bytes inside it; any other marker ends it.
    qint64 skipCodedData(qint64 start) {
        qint64 position = start;
        for (;;) {
            const void *found =
                bytes.has(position, 1)
                    ? std::memchr(bytes.pointer(position), 0xFF, size_t(bytes.length() - position))
                    : nullptr;
            if (!found || !bytes.has(static_cast<const uchar *>(found) - bytes.pointer(0) + 1, 1)) {
                result.entropyCodedBytes += bytes.length() - start;
                result.problem = tr("the file ends inside the image data");
                return bytes.length();
            }
            const qint64 at = static_cast<const uchar *>(found) - bytes.pointer(0);
            const uchar next = bytes.at(at + 1);
            if (next == 0x00 || isRestart(next)) {
                position = at + 2;
            } else if (next == 0xFF) {
                position = at + 1;
            } else {
                result.entropyCodedBytes += at - start;
                return at;
            }
        }
    }

    Bytes bytes;
    JpegStructure result;
    bool dhpSeen = false;
};

// The first tiff:Orientation (under whatever prefix binds the TIFF namespace) that holds a value
// from 1 to 8, in attribute or element form.
class TiffOrientationFinder : public Xmp::Handler {
public:
    explicit TiffOrientationFinder(std::string_view xmpPacket)
        : packet(xmpPacket) {}

    int orientation = 0;

    void startElement(const Xmp::Element &element) override {
        for (const Xmp::Attribute &attribute : element.attributes) {
            if (orientation == 0 && Xmp::isTiffProperty(attribute.name, "Orientation"))
                orientation = valueIn(attribute.value);
        }
    }
    void endElement(const Xmp::Element &element, const Xmp::ElementEnd &end) override {
        if (orientation == 0 && end.textOnly && Xmp::isTiffProperty(element.name, "Orientation"))
            orientation = valueIn(end.content);
    }

private:
    int valueIn(const Xmp::Span &span) const {
        const std::string_view text = Xmp::trimmed(packet.substr(span.begin, span.size()));
        return text.size() == 1 && text[0] >= '1' && text[0] <= '8' ? text[0] - '0' : 0;
    }

    std::string_view packet;
};

} // namespace

bool JpegFrame::progressive() const {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

bool JpegFrame::arithmetic() const {
    return marker >= 0xC9;
}

bool JpegFrame::lossless() const {
    return marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
}

bool JpegFrame::differential() const {
    return JpegMarkers::isDifferentialFrame(uchar(marker));
}

int JpegFrame::blockWidth() const {
    int largest = 1;
    if (components.size() > 1) {
        for (const JpegComponent &component : components)
            largest = std::max(largest, component.horizontalSampling);
    }
    return 8 * largest;
}

int JpegFrame::blockHeight() const {
    int largest = 1;
    if (components.size() > 1) {
        for (const JpegComponent &component : components)
            largest = std::max(largest, component.verticalSampling);
    }
    return 8 * largest;
}

int JpegFrame::blocksPerRow() const {
    return (width + blockWidth() - 1) / blockWidth();
}

JpegStructure parseJpegStructure(const uchar *data, qint64 size) {
    return StructureWalker(data, size).walk();
}

JpegStructure parseJpegStructure(const QByteArray &bytes) {
    return parseJpegStructure(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
}

JpegStructure readJpegStructure(const QString &path) {
    QFile file(path);
    JpegStructure failed;
    if (!file.open(QIODevice::ReadOnly)) {
        failed.problem = file.errorString();
        return failed;
    }
    const qint64 size = file.size();
    if (size > maxJpegFileSize) {
        failed.problem = tr("the file is too large");
        return failed;
    }
    if (size == 0)
        return parseJpegStructure(nullptr, 0);
    // Read, not mapped: another program may shorten the file meanwhile (a copy overwriting it,
    // a card pulled out), and a mapped page that is gone ends the program.
    const QByteArray bytes = file.readAll();
    if (bytes.size() != size) {
        failed.problem = tr("the file changed while it was read");
        return failed;
    }
    return parseJpegStructure(bytes);
}

int xmpTiffOrientation(const char *xmp, qint64 size) {
    if (!xmp || size <= 0)
        return 0;
    const std::string_view packet(xmp, size_t(size));
    TiffOrientationFinder finder(packet);
    Xmp::scan(packet, finder);
    return finder.orientation;
}
