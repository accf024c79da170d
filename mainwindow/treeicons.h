// The folder tree's icons and type names, looked up once per kind of entry.
#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QMutex>

// The file system model asks for an entry's icon and type name each time the entry changes, and
// the usual provider asks the MIME database for them every time: during a batch every rotated
// photo changes, so the tree did that work for each. This provider asks once for folders and
// once for each file name suffix and answers from what it kept. The model calls it from its
// gatherer thread and from the GUI thread.
class TreeIconProvider : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;

private:
    struct Kind {
        QIcon icon;
        QString type;
    };
    Kind kindOf(const QFileInfo &info) const;

    mutable QMutex mutex;
    mutable QHash<QString, Kind> kinds; // by "/" for folders, else the lower-case suffix
};
