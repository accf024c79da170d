// The exact turn of a further picture (a gain map, a preview) that no lossless turn keeps whole:
// its side is no multiple of its block, so jpegtran would drop the partial blocks at the edge
// ("-trim"), leave them unturned, or refuse ("-perfect"), and a gain map would no longer have its
// photo's shape. Such a picture is decoded, its pixels turned, and encoded anew at high quality by
// Qt's JPEG writer, with its own metadata segments (EXIF, XMP with the gain map's parameters,
// MPF, ICC profile, comments) kept ahead of the new coding. The main picture is never turned this
// way. Pure functions over the pictures' bytes, for a worker thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "jpeg/turn.h"

struct JpegStructure;

// The quality the picture is encoded anew with: high enough that the decoded pixels differ from
// the original's by rounding, not by visible loss.
inline constexpr int exactTurnQuality = 95;

// The image turned in memory, pixel for pixel.
QImage turnedImage(const QImage &image, Turn turn);

struct ExactTurn {
    QByteArray picture; // the turned picture; empty when it could not be made
    QString problem;    // why not, in a few words
};

// `picture`, whose structure is `structure`, decoded, turned by `turn` and encoded anew: of the
// whole turned size, with the same number of colour components, progressive when it was, and
// its metadata segments kept in their order.
ExactTurn turnExactly(const QByteArray &picture, const JpegStructure &structure, Turn turn);

// `encoded` with the metadata segments of `original` (its APPn segments but Adobe's, which
// describes the old coding's colour transform, and its comments) in place of its own, right after
// its start marker. Empty when either is no JPEG picture whose segments can be walked.
QByteArray withMetadataOf(const QByteArray &original, const QByteArray &encoded);
