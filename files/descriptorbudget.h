// How many files Pivotta may have open, and how many photos can be in work at once with what is
// left. Each photo in work holds its photo, its folder and its temporary file open, makes a file
// in the trash, and runs a tool with three pipes; a batch that starts more photos than the
// descriptors allow would see its opens fail. The program raises its soft limit to the hard
// limit at start, and the engine asks before it starts a photo. An open that still fails for
// want of descriptors is a reported problem (FileProblem::Kind::OutOfDescriptors).
#pragma once

#include <QtGlobal>

// A tool run holds its standard input, output and error and its process descriptor while it
// runs (measured with QProcess), and for a moment twice that while it starts.
constexpr int descriptorsPerRunningTool = 4;
constexpr int descriptorsPerStartingTool = 2 * descriptorsPerRunningTool;
// The photo, its folder, its temporary file, a file being made in the trash, and a tool.
constexpr int descriptorsPerPhotoInWork = 4 + descriptorsPerStartingTool;
// Left for everything else: the window, the tree being walked with its recent folders, a folder
// being listed, the trash folders, the lease-break pipe, Qt's own.
constexpr int descriptorsReserved = 64;

// Raises the soft limit on open descriptors to the hard limit. Returns the soft limit now, or -1
// where the system has none to tell (Windows).
qint64 raiseDescriptorLimit();
// The soft limit, or -1.
qint64 descriptorLimit();
// The descriptors open now (Linux: the entries of /proc/self/fd), or -1.
qint64 openDescriptorCount();

// How many photos can be in work at once, at most `wanted`, when `freeDescriptors` are free: 0
// when not even one fits.
int photosInWorkFor(int wanted, qint64 freeDescriptors, int perPhoto = descriptorsPerPhotoInWork,
                    int reserved = descriptorsReserved);
// The same with this process's numbers now; `wanted` where they are unknown.
int photosInWorkNow(int wanted);
