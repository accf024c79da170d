// The check of a turned picture: its structure against what a lossless turn of the original
// must give, and for the rare result whose size leaves doubt, a look at the pictures themselves
// (small decodes of the original and the result, the original turned in memory, compared). Pure
// functions over the pictures' bytes.
#pragma once

#include <QByteArray>
#include <QString>

#include "jpeg/losslessturn.h"
#include "jpeg/turn.h"

struct JpegStructure;

// Whether the JPEG picture `result` shows the JPEG picture `original` turned by `turn`, judged
// from small decodes (an eighth of each side for photos). False when either cannot be decoded.
bool showsTheOriginalTurned(const QByteArray &original, const QByteArray &result, Turn turn);

// Whether `result`, jpegtran's output for the picture `original` (whose structure is
// `originalStructure`), is that picture turned by `turn`: complete, its frame turned, its coding
// kept, and where its size leaves doubt, a decode says so. Sound or Wrong, with the reason.
ResultCheck checkTurnedPicture(const QByteArray &original, const JpegStructure &originalStructure,
                               const QByteArray &result, Turn turn, bool trim);

// Whether `result`, a further picture that was decoded, turned and encoded anew (exactturn.h), is
// `original` turned by `turn`: complete, of the whole turned size without any edge dropped, with
// as many colour components, and showing the original turned to within the new coding's rounding.
ResultCheck checkExactlyTurnedPicture(const QByteArray &original,
                                      const JpegStructure &originalStructure,
                                      const QByteArray &result, Turn turn);

// Whether `result` is the EXIF thumbnail `original` turned with jpegtranThumbnailArguments:
// complete and of the turned, trimmed size. Its coding may differ: it is written anew to fit.
bool isTurnedThumbnail(const QByteArray &original, const QByteArray &result, Turn turn);
