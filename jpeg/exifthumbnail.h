// The EXIF thumbnail of a turned picture: jpegtran copies the old one over with the metadata, and
// the thumbnail turned on its own is put in its place. A pure function over the picture's bytes.
#pragma once

#include <QByteArray>
#include <QString>

struct JpegStructure;

// Where a turned thumbnail went.
enum class ThumbnailPlacement {
    SameSlot,     // into the old thumbnail's place, the rest of it filled with zeros
    GrownSegment, // the thumbnail ends the EXIF segment, which grew by the difference
    NoRoom,       // larger and not at the end: the old thumbnail was left as it was
    Failed,       // the result did not parse afterwards
};

// Puts `turnedThumbnail` in the place of the thumbnail in `jpeg`, whose structure is `structure`
// (the turned picture, which still holds the old thumbnail that jpegtran copied over), and
// updates IFD1's length field. Nothing else in the EXIF block moves. A thumbnail that does not
// fit grows the EXIF segment only when nothing can lie behind it in the segment: fewer bytes than
// any value stored outside its directory entry needs. On NoRoom and Failed `jpeg` is as it was;
// on Failed `error` says why.
ThumbnailPlacement putBackThumbnail(QByteArray &jpeg, const JpegStructure &structure,
                                    const QByteArray &turnedThumbnail, QString *error);
