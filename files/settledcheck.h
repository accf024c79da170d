// Looking twice: where no lease can be had, a photo counts as finished when two looks a
// moment apart find the same file with the same size and times, and it has not been changed for
// a while. A pure comparison of two looks and the clock, so that the caller waits with a timer
// instead of blocking.
#pragma once

#include "files/filestatus.h"

struct FileLook {
    FileStatus status;
    FileTime at; // when it was taken
};

struct SettledVerdict {
    enum class Kind {
        Settled,
        Changing, // the looks differ: take the second as the first and look again
        WaitMore, // too soon to tell: look again after waitMs
    };
    Kind kind = Kind::WaitMore;
    qint64 waitMs = 0;
};

// The shortest time between the two looks.
constexpr qint64 settleLookIntervalMs = 200;
// How long a photo must have been left alone.
constexpr qint64 settleQuietMs = 2000;

// A change time ahead of the clock by less than settleQuietMs counts as recent (the clock of a file
// server may differ a little); further ahead, the clocks disagree and only the looks decide.
SettledVerdict compareLooks(const FileLook &first, const FileLook &second,
                            qint64 intervalMs = settleLookIntervalMs,
                            qint64 quietForMs = settleQuietMs);
