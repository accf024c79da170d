// Assembling a turned photo from its turned pictures and the bytes it keeps.
#include "jpeg/photoassembly.h"

#include <algorithm>
#include <set>
#include <string>

#include "jpeg/photopictures.h"

namespace {

constexpr qint64 LargestSegment = 0xFFFF; // the length field counts its own two bytes
constexpr qint64 LargestIndexValue = 0xFFFFFFFFLL;

QByteArray bigEndian16(qint64 value) {
    return QByteArray(1, char((value >> 8) & 0xFF)) + char(value & 0xFF);
}

QByteArray bytesOf(const std::string &text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

// The packet with the edits made, which must not overlap.
std::string edited(std::string_view packet, std::vector<Xmp::Replacement> edits) {
    std::sort(edits.begin(), edits.end(), [](const Xmp::Replacement &a, const Xmp::Replacement &b) {
        return a.span.begin < b.span.begin;
    });
    std::string result;
    uint64_t position = 0;
    for (const Xmp::Replacement &edit : edits) {
        result.append(packet.substr(position, edit.span.begin - position));
        result += edit.text;
        position = edit.span.end;
    }
    result.append(packet.substr(position));
    return result;
}

class Assembly {
public:
    Assembly(const QByteArray &originalBytes, const PhotoPictures &photoPictures,
             const TurnedPictures &turnedPictures)
        : original(originalBytes)
        , pictures(photoPictures)
        , turned(turnedPictures) {}

    AssembledPhoto run() {
        if (checkInputs() && preparePrimary() && prepareParts() && writeItemLengths() &&
            writeIndex()) {
            out.bytes = primary;
            for (const QByteArray &part : parts)
                out.bytes += part;
        }
        return out;
    }

private:
    bool fail(AssemblyProblem problem, int picture = -1, const QString &detail = {}) {
        out.report.problem = problem;
        out.report.picture = picture;
        out.report.detail = detail;
        return false;
    }

    bool checkInputs() {
        if (!pictures.isUsable())
            return fail(AssemblyProblem::PicturesUnusable, -1, pictures.problemDetail);
        if (int(turned.pictures.size()) != pictures.pictureCount())
            return fail(AssemblyProblem::PictureCount);
        return true;
    }

    bool preparePrimary() {
        primary = turned.primary;
        const JpegStructure structure = parseJpegStructure(primary);
        if (!structure.isComplete())
            return fail(AssemblyProblem::PrimaryIncomplete, -1, structure.problem);
        primary.truncate(structure.imageEnd);
        // IFD1's orientation speaks for the thumbnail: it is reset only with a turned one.
        int places = Ifd0Values | XmpValues;
        AssemblyReport &report = out.report;
        if (!turned.thumbnail.isEmpty()) {
            report.thumbnailGiven = true;
            QString error;
            report.thumbnail = putBackThumbnail(primary, structure, turned.thumbnail, &error);
            if (report.thumbnail == ThumbnailPlacement::Failed)
                return fail(AssemblyProblem::ThumbnailNotPlaced, -1, error);
            if (report.thumbnail != ThumbnailPlacement::NoRoom)
                places |= Ifd1Values;
        } else if (structure.thumbnail.isEmpty()) {
            places |= Ifd1Values;
        }
        report.primaryOrientation = setOrientationInPlace(primary, 1, places);
        return true;
    }

    bool prepareParts() {
        int picture = 0;
        for (const TrailingPart &part : pictures.parts) {
            if (part.kind == TrailingPart::OtherData) {
                parts.push_back(original.mid(part.range.offset, part.range.length));
                out.report.otherBytesKept += part.range.length;
                continue;
            }
            QByteArray bytes = turned.pictures[size_t(picture)];
            const JpegStructure structure = parseJpegStructure(bytes);
            if (!structure.isComplete())
                return fail(AssemblyProblem::PictureIncomplete, picture, structure.problem);
            bytes.truncate(structure.imageEnd);
            const int places =
                Ifd0Values | XmpValues | (structure.thumbnail.isEmpty() ? Ifd1Values : 0);
            out.report.pictureOrientations.push_back(setOrientationInPlace(bytes, 1, places));
            // What the listed range held after the picture's end stays after it.
            const qint64 tail = part.range.length - part.pictureLength;
            parts.push_back(bytes + original.mid(part.range.end() - tail, tail));
            ++picture;
        }
        return true;
    }

    // Writes the lengths asked for (-1: leave) into the container directory of the primary's
    // XMP packet. A longer value takes its room from the packet's padding, or else grows the
    // segment.
    bool rewriteLengths(const std::vector<qint64> &lengths) {
        const JpegStructure structure = parseJpegStructure(primary);
        const std::string_view packet = xmpPacketOf(primary, structure.xmpSegment);
        const ContainerDirectory directory = readContainerDirectory(packet);
        if (directory.status != ContainerDirectory::Read ||
            directory.items.size() != pictures.container.items.size())
            return fail(AssemblyProblem::ContainerLost);
        std::vector<Xmp::Replacement> edits;
        for (size_t k = 0; k < lengths.size(); ++k) {
            const ContainerItem &item = directory.items[k];
            if (lengths[k] < 0 || !item.hasLengthSlot || item.length == lengths[k])
                continue;
            edits.push_back(Xmp::replaceValue(packet, item.lengthSlot, std::to_string(lengths[k])));
            written.insert(int(k));
        }
        if (edits.empty())
            return true;
        qint64 growth = 0;
        uint64_t lastEdit = 0;
        for (const Xmp::Replacement &edit : edits) {
            growth += edit.growth();
            lastEdit = std::max(lastEdit, edit.span.end);
        }
        const Xmp::Span padding = Xmp::trailingPadding(packet);
        if (growth > 0 && padding.begin >= lastEdit && qint64(padding.size()) >= growth) {
            edits.push_back({{padding.end - uint64_t(growth), padding.end}, {}});
            growth = 0;
        }
        const QByteArray payload =
            QByteArray(Xmp::SegmentIdentifier.data(), qsizetype(Xmp::SegmentIdentifier.size())) +
            bytesOf(edited(packet, edits));
        if (payload.size() + 2 > LargestSegment)
            return fail(AssemblyProblem::NoRoomInXmp);
        const qint64 segmentAt = structure.xmpSegment.offset - 2;
        primary.replace(segmentAt, structure.xmpSegment.length + 2,
                        bigEndian16(payload.size() + 2) + payload);
        out.report.xmpGrowth += growth;
        return true;
    }

    bool writeItemLengths() {
        const std::vector<ContainerItem> &items = pictures.container.items;
        if (pictures.container.status != ContainerDirectory::Read || items.empty())
            return true;
        std::vector<qint64> lengths(items.size(), -1);
        for (size_t i = 0; i < pictures.parts.size(); ++i) {
            if (pictures.parts[i].containerItem >= 0)
                lengths[size_t(pictures.parts[i].containerItem)] = parts[i].size();
        }
        if (!rewriteLengths(lengths))
            return false;
        // A primary that states its own length: the value changes the length it states, so
        // it is written until it holds still (a digit more at most once).
        if (items.front().length > 0) {
            for (int round = 0; round < 3; ++round) {
                std::vector<qint64> primaryLength(items.size(), -1);
                primaryLength[0] = primary.size();
                if (!rewriteLengths(primaryLength))
                    return false;
            }
        }
        out.report.itemLengthsWritten = int(written.size());
        return true;
    }

    bool writeIndex() {
        if (pictures.index.status != MultiPictureIndex::Read)
            return true;
        const JpegStructure structure = parseJpegStructure(primary);
        const MultiPictureIndex index = readMultiPictureIndex(primary, structure.mpfSegment);
        if (index.status != MultiPictureIndex::Read ||
            index.entries.size() != pictures.index.entries.size())
            return fail(AssemblyProblem::IndexLost);
        if (primary.size() > LargestIndexValue)
            return fail(AssemblyProblem::TooLarge);
        writeMultiPictureEntry(primary, index, 0, quint32(primary.size()), 0);
        int entriesWritten = 1;
        qint64 start = primary.size();
        for (size_t i = 0; i < parts.size(); ++i) {
            const int entry = pictures.parts[i].indexEntry;
            if (entry > 0) {
                const qint64 offset = start - index.headerAt;
                if (offset > LargestIndexValue || parts[i].size() > LargestIndexValue)
                    return fail(AssemblyProblem::TooLarge);
                writeMultiPictureEntry(primary, index, size_t(entry), quint32(parts[i].size()),
                                       quint32(offset));
                ++entriesWritten;
            }
            start += parts[i].size();
        }
        out.report.indexEntriesWritten = entriesWritten;
        return true;
    }

    const QByteArray &original;
    const PhotoPictures &pictures;
    const TurnedPictures &turned;
    AssembledPhoto out;
    QByteArray primary;
    std::vector<QByteArray> parts; // each trailing part as it goes into the result
    std::set<int> written;         // the container items whose length was written
};

} // namespace

AssembledPhoto assemblePhoto(const QByteArray &original, const PhotoPictures &pictures,
                             const TurnedPictures &turned) {
    return Assembly(original, pictures, turned).run();
}
