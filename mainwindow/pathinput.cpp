// Typed, pasted and dropped paths.
#include "mainwindow/pathinput.h"

#include <QDir>
#include <QFileInfo>

#include "engine/photonames.h"

namespace {
QString withoutQuotes(const QString &text) {
    for (const QChar quote : {QChar('"'), QChar('\'')}) {
        if (text.size() >= 2 && text.startsWith(quote) && text.endsWith(quote))
            return text.mid(1, text.size() - 2);
    }
    return text;
}

bool isPhotoFile(const QFileInfo &file) {
    return file.isFile() && QDir::match(photoNameFilters(), file.fileName());
}
} // namespace

QString typedFolderPath(const QString &typed, const QString &currentFolder) {
    QString path = withoutQuotes(typed.trimmed());
    if (path.isEmpty())
        return QString();
    if (path.startsWith("file:", Qt::CaseInsensitive)) {
        const QUrl url(path);
        if (url.isLocalFile())
            path = url.toLocalFile();
    }
    if (path == "~" || path.startsWith("~/"))
        path = QDir::homePath() + path.mid(1);
    path = QDir::fromNativeSeparators(path);
    if (QDir::isRelativePath(path))
        path = QDir(currentFolder.isEmpty() ? QDir::homePath() : currentFolder).filePath(path);
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

DroppedItem droppedItem(const QList<QUrl> &urls) {
    DroppedItem photo;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo entry(url.toLocalFile());
        if (entry.isDir())
            return {DroppedItem::Folder, QDir::toNativeSeparators(entry.absoluteFilePath())};
        if (photo.kind == DroppedItem::Nothing && isPhotoFile(entry))
            photo = {DroppedItem::Photo, entry.absoluteFilePath()};
    }
    return photo;
}

bool isInsideFolder(const QString &path, const QString &folder) {
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString relative =
        QDir(QDir::cleanPath(QDir::fromNativeSeparators(folder)))
            .relativeFilePath(QDir::cleanPath(QDir::fromNativeSeparators(path)));
    return relative != ".." && !relative.startsWith("../") && !QDir::isAbsolutePath(relative);
}
