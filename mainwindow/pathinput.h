// Paths the user hands the window by typing, pasting or dropping them: what they name, without a
// window, so that the rules can be checked directly.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// The path that text typed or pasted into the folder box names: surrounding blanks and quotes
// go, a file URL becomes its local path, "~" stands for the home folder, and a relative path is
// taken from `currentFolder` (or the home folder when none is open). Empty for blank text.
QString typedFolderPath(const QString &typed, const QString &currentFolder);

// What a drag carries that the window can open: the first local folder, or else the first photo.
struct DroppedItem {
    enum Kind { Nothing, Folder, Photo };
    Kind kind = Nothing;
    QString path;
};
DroppedItem droppedItem(const QList<QUrl> &urls);

// Whether `path` lies in `folder` or one of its subfolders.
bool isInsideFolder(const QString &path, const QString &folder);
