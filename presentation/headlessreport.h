// The plain-text report of a run without a window: a line for each photo that is rotated, would
// be rotated, is left or fails, and for each folder or file that could not be read, then the
// summary. Every name and outside text in it is escaped, so that each line is what it says.
#pragma once

#include <QString>
#include <QStringList>

struct PhotoOutcome;
struct PhotoStep;
struct RunEvent;
struct RunSummary;

// A path as the report shows it: in native separators, on one line, with its control characters
// escaped.
QString reportedPath(const QString &path);
// The report's line for one photo, its path shown in native separators.
QString headlessReportLine(const PhotoOutcome &outcome);
// The report's line for a step of a photo's rotation: only a trash entry taken out again has one.
QString headlessStepLine(const PhotoStep &step);
// The report's line for a run event: folders and files that could not be read, leftover
// temporary files removed, what watching has to say; empty for the events the report leaves out.
QString headlessEventLine(const RunEvent &event);
// The report's line for a destination given on the command line that does not exist.
QString headlessNotFoundLine(const QString &destination);
// The summary lines at the end of a run, and last, where the originals of the rotated photos
// were kept, when they were. The first names the run's folder, or the `destinations` it was
// given when they were more than one; `notFound` destinations given did not exist.
QStringList headlessSummaryLines(const RunSummary &summary,
                                 const QStringList &destinations = QStringList(), int notFound = 0);
