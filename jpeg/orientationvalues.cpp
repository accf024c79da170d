// Finding and setting a picture's orientation values in EXIF and XMP.
#include "jpeg/orientationvalues.h"

#include <string_view>

#include "exif/jpegmarkers.h"
#include "exif/tiffreader.h"
#include "exif/xmppacket.h"

namespace {

constexpr quint16 OrientationTag = 0x0112;
constexpr char ExifIdentifier[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr quint64 ExifIdentifierLength = sizeof ExifIdentifier;

const uint8_t *bytesOf(const QByteArray &jpeg) {
    return reinterpret_cast<const uint8_t *>(jpeg.constData());
}

// A value found, with what it takes to write another one there.
struct Located {
    OrientationValue value;
    bool littleEndian = false; // EXIF: the byte order of its TIFF structure
    qint64 packetAt = -1;      // XMP: the packet
    Xmp::ValueSlot slot;       // XMP: the value's place in the packet
};

struct Survey {
    std::vector<Located> found;
    int unreadableXmpPackets = 0;
};

Located exifValue(const Tiff::View &tiff, const Tiff::Entry &entry, qint64 tiffAt,
                  OrientationValue::Place place) {
    Located located;
    located.littleEndian = tiff.littleEndian();
    OrientationValue &found = located.value;
    found.place = place;
    found.form = entry.type == Tiff::Short  ? OrientationValue::Short
                 : entry.type == Tiff::Long ? OrientationValue::Long
                                            : OrientationValue::OtherType;
    if (found.form == OrientationValue::OtherType || entry.count == 0 ||
        !tiff.contains(entry.valuesOffset(), entry.valuesSize()))
        return located;
    // Readers take the first value; a longer list keeps the rest as it is.
    found.at = tiffAt + qint64(entry.valuesOffset());
    found.size = entry.type == Tiff::Short ? 2 : 4;
    found.value =
        entry.type == Tiff::Short ? tiff.u16(entry.valuesOffset()) : tiff.u32(entry.valuesOffset());
    found.writable = true;
    return located;
}

void addDirectoryValues(const Tiff::View &tiff, const Tiff::Directory &directory, qint64 tiffAt,
                        OrientationValue::Place place, Survey &survey) {
    for (quint64 k = 0; k < directory.count; ++k) {
        const Tiff::Entry entry = Tiff::readEntry(tiff, directory.entryOffset(k));
        if (entry.tag == OrientationTag)
            survey.found.push_back(exifValue(tiff, entry, tiffAt, place));
    }
}

// Every orientation entry of IFD0 and IFD1 in the EXIF segment.
void addExifValues(const QByteArray &jpeg, const JpegMarkers::Segment &segment, Survey &survey) {
    const qint64 tiffAt = qint64(segment.payloadAt + ExifIdentifierLength);
    const Tiff::View tiff = Tiff::View::fromHeader(bytesOf(jpeg) + tiffAt,
                                                   segment.payloadLength - ExifIdentifierLength);
    Tiff::Directory ifd0, ifd1;
    if (tiff.isEmpty() || !Tiff::readDirectory(tiff, tiff.firstDirectory(), ifd0) ||
        !ifd0.entriesFit(tiff))
        return;
    addDirectoryValues(tiff, ifd0, tiffAt, OrientationValue::Ifd0, survey);
    if (!ifd0.fitsWithLink(tiff))
        return;
    const quint32 ifd1Offset = tiff.u32(ifd0.linkOffset());
    if (ifd1Offset != 0 && ifd1Offset != ifd0.offset &&
        Tiff::readDirectory(tiff, ifd1Offset, ifd1) && ifd1.entriesFit(tiff))
        addDirectoryValues(tiff, ifd1, tiffAt, OrientationValue::Ifd1, survey);
}

class XmpOrientations : public Xmp::Handler {
public:
    XmpOrientations(std::string_view xmpPacket, qint64 packetAt, Survey &into)
        : packet(xmpPacket)
        , at(packetAt)
        , survey(into) {}

    void startElement(const Xmp::Element &element) override {
        for (const Xmp::Attribute &attribute : element.attributes) {
            if (Xmp::isTiffProperty(attribute.name, "Orientation"))
                add(OrientationValue::XmpAttribute, Xmp::attributeSlot(attribute), true);
        }
    }
    void endElement(const Xmp::Element &element, const Xmp::ElementEnd &end) override {
        if (Xmp::isTiffProperty(element.name, "Orientation"))
            add(OrientationValue::XmpElement, Xmp::elementSlot(element, end),
                end.textOnly && !element.empty);
    }

private:
    void add(OrientationValue::Form form, const Xmp::ValueSlot &slot, bool plainText) {
        Located located;
        located.packetAt = at;
        located.slot = slot;
        OrientationValue &found = located.value;
        found.place = OrientationValue::Xmp;
        found.form = form;
        found.at = at + qint64(slot.value.begin);
        found.size = qint64(slot.value.size());
        found.writable = plainText && slot.value.size() > 0;
        if (plainText)
            found.value = Xmp::decimalValue(packet.substr(slot.value.begin, slot.value.size()));
        survey.found.push_back(located);
    }

    std::string_view packet;
    qint64 at;
    Survey &survey;
};

bool isExif(const QByteArray &jpeg, const JpegMarkers::Segment &segment) {
    return segment.marker == JpegMarkers::App1 &&
           JpegMarkers::payloadStartsWith(bytesOf(jpeg), segment, ExifIdentifier,
                                          ExifIdentifierLength);
}

bool isXmp(const QByteArray &jpeg, const JpegMarkers::Segment &segment) {
    return segment.marker == JpegMarkers::App1 &&
           JpegMarkers::payloadStartsWith(bytesOf(jpeg), segment, Xmp::SegmentIdentifier.data(),
                                          Xmp::SegmentIdentifier.size());
}

// The orientation values of the first EXIF segment and of every XMP packet, in file order.
Survey surveyOf(const QByteArray &jpeg) {
    Survey survey;
    bool exifSeen = false;
    for (const JpegMarkers::Segment &segment :
         JpegMarkers::headerSegments(bytesOf(jpeg), quint64(jpeg.size()))) {
        if (!exifSeen && isExif(jpeg, segment)) {
            exifSeen = true;
            addExifValues(jpeg, segment, survey);
        } else if (isXmp(jpeg, segment)) {
            const qint64 packetAt = qint64(segment.payloadAt + Xmp::SegmentIdentifier.size());
            const std::string_view packet(jpeg.constData() + packetAt,
                                          size_t(segment.end()) - size_t(packetAt));
            XmpOrientations handler(packet, packetAt, survey);
            if (!Xmp::scan(packet, handler))
                ++survey.unreadableXmpPackets;
        }
    }
    return survey;
}

bool inPlaces(const OrientationValue &value, int places) {
    switch (value.place) {
    case OrientationValue::Ifd0:
        return places & Ifd0Values;
    case OrientationValue::Ifd1:
        return places & Ifd1Values;
    case OrientationValue::Xmp:
        return places & XmpValues;
    }
    return false;
}

// Writes `value` in the place of a located value, keeping its length; false when it does not
// fit there.
bool write(QByteArray &jpeg, const Located &located, int value) {
    const OrientationValue &found = located.value;
    if (found.place != OrientationValue::Xmp) {
        const Tiff::View order(nullptr, 0, located.littleEndian);
        auto *at = reinterpret_cast<uint8_t *>(jpeg.data()) + found.at;
        if (found.form == OrientationValue::Short)
            order.put16(at, quint16(value));
        else
            order.put32(at, quint32(value));
        return true;
    }
    const QByteArray text = QByteArray::number(value);
    const std::string_view packet(jpeg.constData() + located.packetAt,
                                  size_t(located.slot.closing.end));
    const Xmp::Replacement edit = Xmp::replaceValue(
        packet, located.slot, std::string_view(text.constData(), size_t(text.size())));
    if (edit.growth() != 0)
        return false;
    jpeg.replace(located.packetAt + qint64(edit.span.begin), qint64(edit.span.size()),
                 QByteArray(edit.text.data(), qsizetype(edit.text.size())));
    return true;
}

} // namespace

bool FoundOrientations::allAre(qint64 value) const {
    if (unreadableXmpPackets > 0)
        return false;
    for (const OrientationValue &found : values) {
        if (found.form != OrientationValue::OtherType && found.value != value)
            return false;
    }
    return true;
}

FoundOrientations findOrientations(const QByteArray &jpeg) {
    const Survey found = surveyOf(jpeg);
    FoundOrientations orientations;
    orientations.unreadableXmpPackets = found.unreadableXmpPackets;
    for (const Located &located : found.found)
        orientations.values.push_back(located.value);
    return orientations;
}

OrientationEdits setOrientationInPlace(QByteArray &jpeg, int value, int places) {
    const Survey found = surveyOf(jpeg);
    OrientationEdits edits;
    edits.unreadableXmpPackets = found.unreadableXmpPackets;
    // Every edit keeps its length, so the positions found stay right while they are made.
    for (const Located &located : found.found) {
        if (!inPlaces(located.value, places))
            continue;
        OrientationEdit edit;
        edit.before = located.value;
        if (located.value.value == value)
            edit.result = OrientationEdit::AlreadySet;
        else if (located.value.writable && write(jpeg, located, value))
            edit.result = OrientationEdit::Set;
        edits.edits.push_back(edit);
    }
    return edits;
}

int OrientationEdits::count(OrientationEdit::Result result) const {
    int n = 0;
    for (const OrientationEdit &edit : edits)
        n += edit.result == result ? 1 : 0;
    return n;
}
