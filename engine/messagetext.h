// Building the rich-text messages of the output panes: escaping outside text, links to photos,
// the short path form, and the report line of a rotation. Free of any window, so that the
// engine and the tests use them alike.
#pragma once

#include <QString>

#include "engine/turn.h"

// Outside text (file names, paths, tool output) made safe to embed in a rich-text message:
// it shows literally and can add no markup or link.
QString escapeHtml(const QString &text);

// The short form of a photo path: the path less as many leading characters as the folder text
// has, less one leading separator. It cuts by length only.
QString pathRelativeToFolder(const QString &path, const QString &folder);

// The link to a photo that messages use. Its text is the path in native separators
// (`showNativePath`), the file name alone, or (`showRelativePath`) the path relative to
// `folder`; its target is the photo's absolute file URL.
QString fileLink(const QString &filePath, bool showNativePath, bool showRelativePath,
                 const QString &folder);

// The main pane's announcement of a turn, "Rotating 90° ⤾ CW" and the photo's link, marked
// " (dry run)" for a dry run. 270 reads as 90 counter-clockwise.
QString rotationReportLine(const QString &filePath, Turn turn, bool dryRun, const QString &folder);

// The detailed pane's line for the same turn: the time, the angle as given, the short path.
QString rotationDetailLine(const QString &filePath, Turn turn, const QString &folder);

// How a turn is named in plain text: "90° clockwise", "mirrored horizontally" ...
QString turnDescription(Turn turn);
