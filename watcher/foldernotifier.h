// The system's change notifications for folders: one watch per folder, a signal naming the folder
// in which something changed (or that went itself), and a signal when the system dropped
// notifications because too many changes came at once, so that every folder must be looked at
// again. On Linux it is inotify, read without waiting; elsewhere Qt's QFileSystemWatcher, which
// never tells of dropped notifications.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class FolderNotifier : public QObject {
    Q_OBJECT

public:
    // The system's own notifier for this platform.
    static FolderNotifier *create(QObject *parent);

    // Watches `folders` and returns those the system would not take because its limit of watches
    // is reached. A folder that cannot be watched for another reason (gone, no permission) is left
    // out without a word: its parent's next look tells what became of it.
    virtual QStringList addFolders(const QStringList &folders) = 0;
    // Stops watching `folders`; folders not watched are passed over.
    virtual void removeFolders(const QStringList &folders) = 0;
    // The folders watched now.
    virtual QStringList folders() const = 0;

signals:
    // Something in `folder` changed, or the folder itself was deleted, moved or unmounted.
    void folderChanged(const QString &folder);
    // The system dropped notifications: any watched folder may have changed unnoticed.
    void notificationsLost();

protected:
    using QObject::QObject;
};
