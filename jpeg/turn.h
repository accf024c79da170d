// How a photo's stored pixels are turned so that it stands upright: a quarter, half or
// three-quarter turn, or one of the four mirrorings, named as jpegtran names them.
#pragma once

enum class Turn {
    None,
    Rotate90, // clockwise, as all angles here
    Rotate180,
    Rotate270,
    FlipHorizontal, // left and right swapped
    FlipVertical,   // top and bottom swapped
    Transpose,        // mirrored across the top-left to bottom-right diagonal
    Transverse,       // mirrored across the top-right to bottom-left diagonal
};

// 90, 180 and 270 give their turns; any other angle gives None.
Turn turnForAngle(int angle);
// The clockwise angle of a rotation; 0 for None and for the mirrorings.
int clockwiseAngle(Turn turn);
bool isMirroring(Turn turn);
// Whether the turned photo's width is the original's height.
bool swapsSides(Turn turn);
// The turn that makes a photo with this EXIF orientation value (1 to 8) upright; None for 1 and
// for values outside 1 to 8.
Turn turnForOrientation(int orientation);
