// Pivotta without a window: `pivotta --headless [--dry-run] [--jobs N] <folder-or-photo>...`
// rotates every folder and photo named, one after the other, with the same engine and the same
// settings as the window, needs no display, and prints one plain-text report: a line for each
// destination not found, for each photo that is rotated, left or fails and for each folder or
// file that cannot be read, then one summary. Errors go to standard error. SIGTERM, SIGHUP and
// SIGINT stop the run as Stop does (photos whole, temporary files gone), the destinations not yet
// begun are left, and the summary is still printed. Exit status: 0 when every photo was done
// with, 1 when a photo could not be rotated, a folder or file could not be read or a destination
// was not found, 3 when nothing failed but photos were left for a later run (still being
// written, changed meanwhile, in use by another program), 2 for a bad option or when no
// destination exists, 128 + the signal's number when a signal stopped the run (130 for SIGINT,
// 143 for SIGTERM, 129 for SIGHUP), as shells report it.
//
// `pivotta --headless [--jobs N] --watch <folder>` watches the folder and its subfolders instead:
// each photo that arrives is turned as in the window, with a report line for each one turned,
// left or failed. SIGTERM, SIGHUP or SIGINT ends watching: the photo in hand is finished or
// stopped whole, the summary of everything watched is printed, and the exit status is 0. When the
// watched folder is gone (deleted, or a share unmounted), watching ends the same way with exit
// status 1.
#pragma once

// The report's words are presentation/headlessreport's.
enum HeadlessExit {
    HeadlessSuccess = 0,
    HeadlessPhotoFailed = 1,
    HeadlessBadUsage = 2,
    HeadlessPhotosLeft = 3,        // photos left for a later run, none failed
    HeadlessStoppedBySignal = 128, // plus the signal's number
};

int runHeadless(int argc, char **argv);
