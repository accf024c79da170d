// The geometry of jpegtran's lossless transforms and the check of a turned result against the
// original: which transform an orientation needs, the size that comes out, the edge pixels that
// "-trim" drops or that make "-perfect" refuse, and whether a result is what a lossless turn
// must give. Pure functions over the files' structures.
#pragma once

#include <QSize>
#include <QString>

#include "jpeg/turn.h"

struct JpegFrame;
struct JpegStructure;

// The pixels that "-trim" drops: partial blocks at the edges that the transform would move
// inside the picture. Counted in the turned photo: `columns` fewer across, `rows` fewer down.
struct EdgeTrim {
    int columns = 0;
    int rows = 0;

    bool isNone() const { return columns == 0 && rows == 0; }
    bool operator==(const EdgeTrim &other) const {
        return columns == other.columns && rows == other.rows;
    }
};
EdgeTrim trimmedEdges(const JpegFrame &frame, Turn transform);

// The size of the turned photo, less the edges that "-trim" drops when `trim` is on.
QSize turnedSize(const JpegFrame &frame, Turn transform, bool trim);

// Whether the transform would cut the picture's width (or height): that side ends in a partial
// block that the transform moves inside the picture. What makes "-perfect" refuse.
bool widthImperfect(const JpegFrame &frame, Turn transform);
bool heightImperfect(const JpegFrame &frame, Turn transform);
// Whether jpegtran turns every pixel of a picture of this frame into its place: no side that the
// transform moves ends in a partial block. What "-perfect" accepts.
bool isPerfectTurn(const JpegFrame &frame, Turn transform);

// What the check of a turned result found.
enum class ResultVerdict {
    Sound,    // what a lossless turn gives
    Doubtful, // right in form, but its size leaves doubt: decode it before trusting it
    Wrong,    // not the original turned: leave the photo
};

struct ResultCheck {
    ResultVerdict verdict = ResultVerdict::Wrong;
    QString reason;         // empty when sound
    double sizeRatio = 0.0; // coded data per pixel, result over original
};

// The bounds of the size ratio inside which a result is taken as sound without decoding. A
// lossless turn keeps every coefficient; only their order inside each block and the Huffman
// codes change. Measured with bench_losslessturn over 882 turns (126 photos: the shared test
// photos and ImageMagick re-saves at quality 50 to 98, 4:2:0, 4:2:2 and 4:4:4, 1800x1200,
// 1201x799 and 640x480, baseline and progressive, standard and optimised tables; all seven
// transforms with "-trim" and the options that keep the coding): coded data per pixel, result
// over original, from 0.965 to 1.034 (1st to 99th percentile 0.971 to 1.028, median 1.000;
// transforms that keep the sides 0.965 to 1.007). The bounds leave about twice that margin.
inline constexpr double soundSizeRatioLow = 0.93;
inline constexpr double soundSizeRatioHigh = 1.07;

// Checks the turned result's structure against the original's: complete, the same precision and
// components (sampling factors traded for transforms that swap sides), the expected size, the
// original's coding process kept, and coded data of about the original's size per pixel.
ResultCheck checkTurnedResult(const JpegStructure &original, const JpegStructure &result,
                              Turn transform, bool trim);
