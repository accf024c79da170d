// The recently-used-folders rules.
#include "mainwindow/recentfolders.h"

#include <QDir>

QStringList recentFoldersAfterUse(QStringList stored, const QString &folder, int maximum) {
    const QString nativeFolder = QDir::toNativeSeparators(folder);
    stored.removeAll(nativeFolder);
    stored.prepend(nativeFolder);
    while (stored.size() > qMax(0, maximum))
        stored.removeLast();
    return stored;
}

QStringList recentFolderItems(const QStringList &stored, int maximum) {
    QStringList items;
    for (const QString &entry : stored.mid(0, qMax(0, maximum))) {
        if (!entry.trimmed().isEmpty())
            items << QDir::toNativeSeparators(entry);
    }
    return items;
}
