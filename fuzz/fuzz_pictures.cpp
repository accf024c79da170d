// libFuzzer entry point for the pictures of a photo and their assembly: every input is taken as a
// photo, its pictures described, its orientation values listed and set in place, and, when its
// pictures can be told apart, assembled again from its own pictures as if they had been turned;
// the metadata segments of each of its pictures are carried over to a picture encoded anew as the
// exact turn does. What the functions report must lie inside the input, the parts must cover what
// follows the primary exactly, and an edit in place must keep the length.
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "jpeg/exactturn.h"
#include "jpeg/orientationvalues.h"
#include "jpeg/photoassembly.h"
#include "jpeg/photopictures.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void checkParts(const PhotoPictures &pictures, qint64 size) {
    if (!pictures.isUsable())
        return;
    qint64 position = pictures.primary.imageEnd;
    for (const TrailingPart &part : pictures.parts) {
        require(part.range.offset == position && part.range.length > 0);
        require(part.kind == TrailingPart::OtherData ||
                (part.pictureLength > 0 && part.pictureLength <= part.range.length));
        position = part.range.end();
    }
    require(position == size);
}

void checkOrientationEdits(const QByteArray &photo) {
    const FoundOrientations found = findOrientations(photo);
    for (const OrientationValue &value : found.values)
        require(!value.writable || (value.at >= 0 && value.at + value.size <= photo.size()));
    QByteArray edited = photo;
    const OrientationEdits edits = setOrientationInPlace(edited);
    require(edited.size() == photo.size());
    require(edits.edits.size() == found.values.size());
}

void checkAssembly(const QByteArray &photo, const PhotoPictures &pictures) {
    if (!pictures.isUsable())
        return;
    TurnedPictures same;
    same.primary = photo.left(pictures.primary.imageEnd);
    if (!pictures.primary.thumbnail.isEmpty())
        same.thumbnail =
            photo.mid(pictures.primary.thumbnail.offset, pictures.primary.thumbnail.length);
    for (const FileRange &range : pictures.picturesToTurn())
        same.pictures.push_back(photo.mid(range.offset, range.length));
    const AssembledPhoto assembled = assemblePhoto(photo, pictures, same);
    require(assembled.report.isOk() == !assembled.bytes.isEmpty());
}

// A grey picture of one pixel as libjpeg writes it: start, JFIF, tables, frame, scan, end.
const QByteArray &encodedPicture() {
    static const QByteArray picture = QByteArray::fromHex(
        "FFD8FFE000104A46494600010100000100010000FFDB004300020101010101020101010202020202"
        "0403020202020504040304060506060605060606070908060709070606080B08090A0A0A0A0A0608"
        "0B0C0B0A0C090A0A0AFFC0000B080001000101011100FFC400140001000000000000000000000000"
        "00000000FFC40014100100000000000000000000000000000000FFDA0008010100003F003FFFD9");
    return picture;
}

// The result starts as a picture does and holds no more than the two inputs.
void checkMetadataCarriedOver(const QByteArray &original) {
    const QByteArray result = withMetadataOf(original, encodedPicture());
    require(result.isEmpty() || result.startsWith(QByteArray("\xFF\xD8", 2)));
    require(result.size() <= original.size() + encodedPicture().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray photo(reinterpret_cast<const char *>(data), qsizetype(size));
    const PhotoPictures pictures = describePictures(photo);
    checkParts(pictures, photo.size());
    checkOrientationEdits(photo);
    checkAssembly(photo, pictures);
    checkMetadataCarriedOver(photo);
    if (pictures.isUsable()) {
        for (const FileRange &range : pictures.picturesToTurn())
            checkMetadataCarriedOver(photo.mid(range.offset, range.length));
    }
    return 0;
}
