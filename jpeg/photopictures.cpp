// Telling the pictures of a photo apart from what else follows the primary picture.
#include "jpeg/photopictures.h"

#include <algorithm>

namespace {

QByteArray textOf(std::string_view packet, const Xmp::Span &span) {
    const std::string_view text = Xmp::trimmed(packet.substr(span.begin, span.size()));
    return QByteArray(text.data(), qsizetype(text.size()));
}

// Reads the items of the first Container:Directory.
class ContainerReader : public Xmp::Handler {
public:
    explicit ContainerReader(std::string_view xmpPacket)
        : packet(xmpPacket) {}

    ContainerDirectory directory;

    void startElement(const Xmp::Element &element) override {
        if (element.name.is(Xmp::ContainerNamespace, "Directory") && directoryDepth < 0 &&
            directory.status == ContainerDirectory::Absent) {
            directoryDepth = element.depth;
            directory.status = ContainerDirectory::Read;
        } else if (directoryDepth >= 0 && itemDepth < 0 &&
                   element.name.is(Xmp::ContainerNamespace, "Item")) {
            itemDepth = element.depth;
            directory.items.emplace_back();
            for (const Xmp::Attribute &attribute : element.attributes)
                store(attribute.name, Xmp::attributeSlot(attribute));
        }
    }

    void endElement(const Xmp::Element &element, const Xmp::ElementEnd &end) override {
        if (itemDepth >= 0 && element.depth == itemDepth + 1 &&
            element.name.uri == Xmp::ItemNamespace) {
            if (end.textOnly && !element.empty)
                store(element.name, Xmp::elementSlot(element, end));
            else
                directory.status = ContainerDirectory::Unreadable;
        }
        if (element.depth == itemDepth)
            itemDepth = -1;
        if (element.depth == directoryDepth)
            directoryDepth = -1;
    }

private:
    void store(const Xmp::Name &name, const Xmp::ValueSlot &slot) {
        if (name.uri != Xmp::ItemNamespace)
            return;
        ContainerItem &item = directory.items.back();
        if (name.local == "Semantic") {
            item.semantic = textOf(packet, slot.value);
        } else if (name.local == "Mime") {
            item.mime = textOf(packet, slot.value);
        } else if (name.local == "Length" || name.local == "Padding") {
            const int64_t value =
                Xmp::decimalValue(packet.substr(slot.value.begin, slot.value.size()));
            if (value < 0)
                directory.status = ContainerDirectory::Unreadable;
            if (name.local == "Padding") {
                item.padding = std::max<int64_t>(value, 0);
                return;
            }
            item.length = value;
            item.hasLengthSlot = true;
            item.lengthSlot = slot;
        }
    }

    std::string_view packet;
    int directoryDepth = -1;
    int itemDepth = -1;
};

// A picture that the index or the container lists.
struct Listed {
    FileRange range;
    int indexEntry = -1;
    int containerItem = -1;
};

class Describer {
public:
    Describer(const QByteArray &photoBytes, PhotoPictures &into)
        : photo(photoBytes)
        , pictures(into) {}

    void run() {
        pictures.primary = parseJpegStructure(photo);
        if (!pictures.primary.isComplete())
            return problem(PicturesProblem::PrimaryIncomplete, -1, -1, pictures.primary.problem);
        pictures.index = readMultiPictureIndex(photo, pictures.primary.mpfSegment);
        if (pictures.index.status == MultiPictureIndex::Unreadable ||
            (pictures.index.status == MultiPictureIndex::Read &&
             pictures.index.entries.front().offset != 0))
            return problem(PicturesProblem::IndexUnreadable, 0, -1);
        pictures.container =
            readContainerDirectory(xmpPacketOf(photo, pictures.primary.xmpSegment));
        if (pictures.container.status == ContainerDirectory::Unreadable)
            return problem(PicturesProblem::ContainerUnreadable, -1, -1);
        if (!listIndexPictures() || !listContainerPictures() || !checkPlaces())
            return;
        buildParts();
    }

private:
    void problem(PicturesProblem kind, int entry, int item, const QString &detail = {}) {
        pictures.problem = kind;
        pictures.problemIndexEntry = entry;
        pictures.problemContainerItem = item;
        pictures.problemDetail = detail;
    }

    qint64 primaryEnd() const { return pictures.primary.imageEnd; }

    bool listIndexPictures() {
        const MultiPictureIndex &index = pictures.index;
        for (size_t k = 1; k < index.entries.size(); ++k) {
            const MultiPictureEntry &entry = index.entries[k];
            if (entry.size == 0)
                continue; // an empty slot
            listed.push_back({{index.startOf(entry), qint64(entry.size)}, int(k), -1});
        }
        return true;
    }

    // Where each item after the primary starts when they follow one another from the primary's
    // end (`forward`), or when the last one ends at the file's end; empty when the lengths do
    // not allow it.
    std::vector<qint64> itemStarts(bool forward) const {
        const std::vector<ContainerItem> &items = pictures.container.items;
        std::vector<qint64> starts(items.size(), -1);
        for (size_t k = 1; k < items.size(); ++k) {
            if (items[k].length < 0)
                return {};
        }
        if (forward) {
            qint64 position = primaryEnd() + items.front().padding;
            for (size_t k = 1; k < items.size(); ++k) {
                starts[k] = position;
                position += items[k].length + items[k].padding;
            }
            return starts;
        }
        qint64 position = photo.size();
        for (size_t k = items.size() - 1; k >= 1; --k) {
            position -= items[k].padding + items[k].length;
            starts[k] = position;
        }
        return position >= primaryEnd() ? starts : std::vector<qint64>();
    }

    bool endsAtFileEnd(const std::vector<qint64> &starts) const {
        const ContainerItem &last = pictures.container.items.back();
        return !starts.empty() && starts.back() + last.length + last.padding == photo.size();
    }

    // Every JPEG item lies after the primary, inside the file, and starts as a JPEG picture.
    bool placesJpegItems(const std::vector<qint64> &starts) const {
        if (starts.empty())
            return false;
        const std::vector<ContainerItem> &items = pictures.container.items;
        for (size_t k = 1; k < items.size(); ++k) {
            if (!items[k].isJpeg())
                continue;
            const qint64 start = starts[k];
            if (start < primaryEnd() || items[k].length < 2 ||
                items[k].length > photo.size() - start || uchar(photo[start]) != 0xFF ||
                uchar(photo[start + 1]) != 0xD8)
                return false;
        }
        return true;
    }

    // The items counted on from the primary's end when that comes out at the file's end or finds
    // the JPEG items; else counted back from the file's end when that finds them.
    std::vector<qint64> itemStarts() const {
        const std::vector<qint64> forward = itemStarts(true);
        if (endsAtFileEnd(forward) || placesJpegItems(forward))
            return forward;
        const std::vector<qint64> backward = itemStarts(false);
        return placesJpegItems(backward) ? backward : std::vector<qint64>();
    }

    bool listContainerPictures() {
        const std::vector<ContainerItem> &items = pictures.container.items;
        bool anyPicture = false;
        for (size_t k = 1; k < items.size(); ++k)
            anyPicture = anyPicture || items[k].isJpeg();
        if (!anyPicture)
            return true;
        const std::vector<qint64> starts = itemStarts();
        for (size_t k = 1; k < items.size(); ++k) {
            if (!items[k].isJpeg())
                continue;
            if (starts.empty()) {
                problem(PicturesProblem::ContainerUnreadable, -1, int(k));
                return false;
            }
            const FileRange range{starts[k], items[k].length};
            auto same = std::find_if(listed.begin(), listed.end(), [&](const Listed &picture) {
                return picture.range.offset == range.offset;
            });
            if (same == listed.end()) {
                listed.push_back({range, -1, int(k)});
            } else if (same->range.length != range.length) {
                problem(PicturesProblem::Disagreeing, same->indexEntry, int(k));
                return false;
            } else {
                same->containerItem = int(k);
            }
        }
        return true;
    }

    bool checkPlaces() {
        std::sort(listed.begin(), listed.end(),
                  [](const Listed &a, const Listed &b) { return a.range.offset < b.range.offset; });
        for (size_t i = 0; i < listed.size(); ++i) {
            const Listed &picture = listed[i];
            if (picture.range.offset < primaryEnd() || picture.range.length > photo.size() ||
                picture.range.offset > photo.size() - picture.range.length) {
                problem(PicturesProblem::OutsideFile, picture.indexEntry, picture.containerItem);
                return false;
            }
            if (i > 0 && picture.range.offset < listed[i - 1].range.end()) {
                const Listed &before = listed[i - 1];
                const bool fromBoth = (before.indexEntry >= 0) != (picture.indexEntry >= 0);
                problem(fromBoth ? PicturesProblem::Disagreeing : PicturesProblem::Overlapping,
                        std::max(before.indexEntry, picture.indexEntry),
                        std::max(before.containerItem, picture.containerItem));
                return false;
            }
        }
        return true;
    }

    void addOtherData(qint64 from, qint64 to) {
        if (to <= from)
            return;
        TrailingPart part;
        part.range = {from, to - from};
        pictures.parts.push_back(part);
    }

    void buildParts() {
        qint64 position = primaryEnd();
        for (const Listed &picture : listed) {
            const JpegStructure structure = parseJpegStructure(
                reinterpret_cast<const uchar *>(photo.constData()) + picture.range.offset,
                picture.range.length);
            if (!structure.isComplete()) {
                pictures.parts.clear();
                return problem(PicturesProblem::NotJpeg, picture.indexEntry, picture.containerItem,
                               structure.problem);
            }
            addOtherData(position, picture.range.offset);
            TrailingPart part;
            part.kind = TrailingPart::Picture;
            part.range = picture.range;
            part.pictureLength = structure.imageEnd;
            part.indexEntry = picture.indexEntry;
            part.containerItem = picture.containerItem;
            pictures.parts.push_back(part);
            position = picture.range.end();
        }
        addOtherData(position, photo.size());
    }

    const QByteArray &photo;
    PhotoPictures &pictures;
    std::vector<Listed> listed;
};

} // namespace

bool ContainerItem::isJpeg() const {
    return mime.toLower() == "image/jpeg";
}

ContainerDirectory readContainerDirectory(std::string_view packet) {
    ContainerReader reader(packet);
    if (!Xmp::scan(packet, reader)) {
        ContainerDirectory unreadable;
        if (packet.find(Xmp::ContainerNamespace) != std::string_view::npos)
            unreadable.status = ContainerDirectory::Unreadable;
        return unreadable;
    }
    return reader.directory;
}

std::string_view xmpPacketOf(const QByteArray &jpeg, const FileRange &xmpSegment) {
    const qint64 identifier = qint64(Xmp::SegmentIdentifier.size());
    if (xmpSegment.isEmpty() || xmpSegment.length < identifier || xmpSegment.end() > jpeg.size())
        return {};
    return std::string_view(jpeg.constData() + xmpSegment.offset + identifier,
                            size_t(xmpSegment.length - identifier));
}

int PhotoPictures::pictureCount() const {
    return int(std::count_if(parts.begin(), parts.end(), [](const TrailingPart &part) {
        return part.kind == TrailingPart::Picture;
    }));
}

std::vector<FileRange> PhotoPictures::picturesToTurn() const {
    std::vector<FileRange> ranges;
    for (const TrailingPart &part : parts) {
        if (part.kind == TrailingPart::Picture)
            ranges.push_back({part.range.offset, part.pictureLength});
    }
    return ranges;
}

bool PhotoPictures::isGainMap(size_t picture) const {
    size_t counted = 0;
    for (const TrailingPart &part : parts) {
        if (part.kind != TrailingPart::Picture)
            continue;
        if (counted++ != picture)
            continue;
        return part.containerItem >= 0 && size_t(part.containerItem) < container.items.size() &&
               container.items[size_t(part.containerItem)].semantic == "GainMap";
    }
    return false;
}

PhotoPictures describePictures(const QByteArray &photo) {
    PhotoPictures pictures;
    Describer(photo, pictures).run();
    return pictures;
}
