// Pivotta without a window: `pivotta --headless [--dry-run] [--jobs N] <folder-or-photo>`
// rotates with the same engine and the same settings as the window, needs no display, and
// prints a plain-text report: a line for each photo that is rotated, left or fails, then the
// summary. Errors go to standard error. Exit status: 0 when nothing failed, 1 when a photo could
// not be rotated, 2 for a bad option or a destination that does not exist.
#pragma once

// The report's words are presentation/headlessreport's.
enum HeadlessExit { HeadlessSuccess = 0, HeadlessPhotoFailed = 1, HeadlessBadUsage = 2 };

int runHeadless(int argc, char **argv);
