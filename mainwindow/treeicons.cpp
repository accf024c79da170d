// The folder tree's icons and type names, looked up once per kind of entry.
#include "mainwindow/treeicons.h"

#include <QFileInfo>
#include <QMutexLocker>

QIcon TreeIconProvider::icon(IconType type) const {
    return QFileIconProvider::icon(type);
}

QIcon TreeIconProvider::icon(const QFileInfo &info) const {
    return kindOf(info).icon;
}

QString TreeIconProvider::type(const QFileInfo &info) const {
    return kindOf(info).type;
}

TreeIconProvider::Kind TreeIconProvider::kindOf(const QFileInfo &info) const {
    const QString key = info.isDir() ? QStringLiteral("/") : info.suffix().toLower();
    {
        const QMutexLocker locker(&mutex);
        const auto known = kinds.constFind(key);
        if (known != kinds.cend())
            return *known;
    }
    const Kind kind{QFileIconProvider::icon(info), QFileIconProvider::type(info)};
    const QMutexLocker locker(&mutex);
    return *kinds.insert(key, kind);
}
