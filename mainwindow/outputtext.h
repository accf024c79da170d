// Text helpers for the output panes, free of any window so that tests can call them directly.
#pragma once

#include <QString>

// Outside text (file names, paths, tool output) made safe to embed in a rich-text message:
// it shows literally and can add no markup or link.
QString escapeHtml(const QString &text);

// The short form of a photo path: the path less as many leading characters as the folder text
// has, less one leading separator. It cuts by length only.
QString pathRelativeToFolder(const QString &path, const QString &folder);

// Whether an append that brought the shared message count to `count` must drop the oldest
// paragraph of its pane; a limit of 0 keeps everything.
bool exceedsTextLimit(int count, int limit);
