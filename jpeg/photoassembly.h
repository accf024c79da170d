// Putting a turned photo together from its turned pictures: the primary as jpegtran wrote it
// (with "-copy all" it still holds the photo's EXIF block with the old thumbnail, its XMP and its
// multi-picture index), the turned EXIF thumbnail put back in its place, the orientation values
// set to upright in place, each further picture turned, the other data after the primary kept
// byte for byte in its order, and the multi-picture index and the XMP container directory told
// the new sizes and places. A pure function over byte buffers; it says what it did, or why it
// could not.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "jpeg/exifthumbnail.h"
#include "jpeg/orientationvalues.h"

struct PhotoPictures;

struct TurnedPictures {
    QByteArray primary;   // jpegtran's output for the primary picture
    QByteArray thumbnail; // the primary's EXIF thumbnail turned; empty when it has none or it
                          // could not be turned (it then keeps its old orientation)
    std::vector<QByteArray> pictures; // each further picture turned, in the order of
                                      // PhotoPictures::picturesToTurn()
};

enum class AssemblyProblem {
    None,
    PicturesUnusable,   // the photo's pictures could not be told apart (see PhotoPictures)
    PictureCount,       // not one turned picture for each further picture
    PrimaryIncomplete,  // the turned primary is not a whole JPEG picture (detail: why)
    PictureIncomplete,  // a turned further picture is not a whole JPEG picture (detail: why)
    ThumbnailNotPlaced, // the turned thumbnail could not be put back (detail: why)
    IndexLost,          // the turned primary lacks the photo's readable multi-picture index
    ContainerLost,      // the turned primary lacks the photo's readable container directory
    NoRoomInXmp,        // longer lengths would grow the XMP segment past 64 KB
    TooLarge,           // a size or offset would not fit the index's 32 bits
};

struct AssemblyReport {
    AssemblyProblem problem = AssemblyProblem::None;
    int picture = -1; // the further picture concerned, counted from 0 in picturesToTurn()
    QString detail;

    bool thumbnailGiven = false;
    ThumbnailPlacement thumbnail = ThumbnailPlacement::Failed; // where it went, when given
    OrientationEdits primaryOrientation;
    std::vector<OrientationEdits> pictureOrientations; // one per further picture
    int indexEntriesWritten = 0;
    int itemLengthsWritten = 0;
    qint64 xmpGrowth = 0;      // bytes the XMP segment grew by; 0 when its padding took them
    qint64 otherBytesKept = 0; // bytes after the primary that are no picture, kept as they were

    bool isOk() const { return problem == AssemblyProblem::None; }
};

struct AssembledPhoto {
    QByteArray bytes; // empty unless the report is ok
    AssemblyReport report;
};

// `pictures` is describePictures(original).
AssembledPhoto assemblePhoto(const QByteArray &original, const PhotoPictures &pictures,
                             const TurnedPictures &turned);
