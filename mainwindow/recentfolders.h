// The list of recently used folders: most recent first, native separators, no exact duplicates,
// bounded length. Pure functions over string lists, so the rules can be checked without a window.
#pragma once

#include <QString>
#include <QStringList>

// The stored list after `folder` was used: `folder` in native form moves to (or is put at) the
// head, exact case-sensitive duplicates of it are dropped, and the tail is cut to `maximum`.
QStringList recentFoldersAfterUse(QStringList stored, const QString &folder, int maximum);

// The folders the combo box offers at start-up: at most `maximum` of the stored entries in
// order, in native form, without empty entries (the combo box has its own blank item).
QStringList recentFolderItems(const QStringList &stored, int maximum);
