// The cleanup of Pivotta's temporary files beside photos that the scan still does by path:
// every running Pivotta holds an advisory lock (flock) on each temporary file it works on, from
// its creation until the file has become the photo or been removed (files/heldtempfile.h). A
// batch's cleanup removes only files whose name is one that Pivotta makes and whose lock it can
// take: files left by a Pivotta that was killed or logged out, never one that another Pivotta is
// writing.
#pragma once

#include <QString>
#include <QStringList>

// Whether `fileName` is one that Pivotta gives its temporary files: ".NAME.pivotta-UUID.tmp".
bool isPivottaTempName(const QString &fileName);

// Removes the stale Pivotta temporary files in `folder` (not in its subfolders): regular files
// with Pivotta's names whose lock nobody holds. Returns the names removed.
QStringList removeStaleTempFiles(const QString &folder);
