// Building the rich-text messages of the output panes: escaping outside text, links to photos,
// the short path form, the report lines of a turn and a tool's output. Free of any window, so
// that the presentation and the tests use them alike.
#pragma once

#include <QString>
#include <QTime>

#include "jpeg/turn.h"

struct PaneColors;

// Outside text (file names, paths, tool output) made safe to embed in a rich-text message:
// it shows literally and can add no markup or link.
QString escapeHtml(const QString &text);

// Outside text (a name, a path, a system's or tool's words) for a plain-text line of a terminal or
// the headless report: every control character shows as a visible escape ("\n", "\t", "\x1b",
// "\u202e" for those that reorder or break lines), so that a name can neither end its line nor
// forge another. Where a backslash can be part of a name, it shows as "\\", so that each shown
// text stands for one text only.
QString escapeControlCharacters(const QString &text);

// The short form of a photo path: the path less as many leading characters as the folder text
// has, less one leading separator. It cuts by length only.
QString pathRelativeToFolder(const QString &path, const QString &folder);

// The target of a link to a photo: its absolute file URL, fully percent-encoded, with no character
// that HTML would have to escape.
QString fileLinkTarget(const QString &filePath);

// The link to a photo that messages use, in `color`. Its text is the path in native separators
// (`showNativePath`), the file name alone, or (`showRelativePath`) the path relative to
// `folder`; its target is the photo's absolute file URL.
QString fileLink(const QString &filePath, bool showNativePath, bool showRelativePath,
                 const QString &folder, const QString &color);

// The main pane's announcement of a turn, "Rotating 90° ⤾ CW" and the photo's link, marked
// " (dry run)" for a dry run. 270 reads as 90 counter-clockwise.
QString rotationReportLine(const QString &filePath, Turn turn, bool dryRun, const QString &folder,
                           const PaneColors &colors);

// The detailed pane's line for the same turn: the time, the turn named as in the main pane
// ("90° CCW"), the short path.
QString rotationDetailLine(const QString &filePath, Turn turn, const QString &folder,
                           const QTime &time);

// How a turn is named in plain text: "90° clockwise", "mirrored horizontally" ...
QString turnDescription(Turn turn);

// A tool's output as it is shown in a pane: the standard output, then the standard error in a
// span of `errorColor`, each escaped and with its line breaks turned into "<br>".
QString toolOutputHtml(const QString &standardOutput, const QString &standardError,
                       const QString &errorColor);

// Any outside text as a rich-text fragment that shows it literally, line breaks kept.
QString plainTextAsHtml(const QString &text);
