// The plain-text report of a run without a window: a line for each photo that is rotated, would
// be rotated, is left or fails, then the summary.
#pragma once

#include <QString>
#include <QStringList>

struct PhotoOutcome;
struct RunSummary;

// The report's line for one photo, its path shown in native separators.
QString headlessReportLine(const PhotoOutcome &outcome);
// The summary lines at the end of a run, and last, where the originals of the rotated photos
// were kept, when they were.
QStringList headlessSummaryLines(const RunSummary &summary);
