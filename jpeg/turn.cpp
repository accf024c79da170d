// The turns and what jpegtran is told for each.
#include "jpeg/turn.h"

Turn turnForAngle(int angle) {
    switch (angle) {
    case 90:
        return Turn::Rotate90;
    case 180:
        return Turn::Rotate180;
    case 270:
        return Turn::Rotate270;
    default:
        return Turn::None;
    }
}

int clockwiseAngle(Turn turn) {
    switch (turn) {
    case Turn::Rotate90:
        return 90;
    case Turn::Rotate180:
        return 180;
    case Turn::Rotate270:
        return 270;
    default:
        return 0;
    }
}

bool isMirroring(Turn turn) {
    return turn == Turn::FlipHorizontal || turn == Turn::FlipVertical ||
           turn == Turn::Transpose || turn == Turn::Transverse;
}

bool swapsSides(Turn turn) {
    return turn == Turn::Rotate90 || turn == Turn::Rotate270 || turn == Turn::Transpose ||
           turn == Turn::Transverse;
}

Turn turnForOrientation(int orientation) {
    switch (orientation) {
    case 2:
        return Turn::FlipHorizontal;
    case 3:
        return Turn::Rotate180;
    case 4:
        return Turn::FlipVertical;
    case 5:
        return Turn::Transpose;
    case 6:
        return Turn::Rotate90;
    case 7:
        return Turn::Transverse;
    case 8:
        return Turn::Rotate270;
    default:
        return Turn::None;
    }
}
