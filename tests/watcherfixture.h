// Shared by the watcher tests: the window fixture with a shown window, a watched folder in the
// sandbox with test photos written into it, and the watcher and engine reached through their
// public interfaces.
#pragma once

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QSlider>

#include "engine/rotationengine.h"
#include "testphotos.h"
#include "watcher/foldernotifier.h"
#include "watcher/folderwatcher.h"
#include "windowfixture.h"

class WatcherFixture : public WindowFixture {
protected:
    // Empty settings, a sandbox holding watched/sub, and a shown window with no folder.
    void setUp() {
        WindowFixture::setUp();
        QVERIFY(QDir().mkpath(folder() + "/sub"));
        newWindow();
        showWindow(QSize(1000, 700));
    }

    RotationEngine *engine() const { return window->rotationEngine(); }
    FolderWatcher *watcher() const { return window->folderWatcher(); }
    QString folder() const { return sandbox->filePath("watched"); }
    QSlider *slider() const { return child<QSlider>("horizontalSlider"); }

    // Opens the folder and turns watching on; opened again so that its subfolders are watched.
    void openWatchedFolder() {
        folderBar()->openFolder(folder());
        watchSwitch()->setOn(true);
        folderBar()->openFolder(folder());
        QVERIFY(watchSwitch()->isOn());
        QVERIFY(watcher()->isWatching());
        QVERIFY(watcher()->watchedPaths().contains(folder() + "/sub"));
    }

    // The user flips the watch switch.
    void flipWatchSwitch() { QTest::keyClick(slider(), Qt::Key_Space); }

    // As if the settling delay after a change ran out now.
    void triggerWatcherRun() { engine()->startWatcherRun(folderBar()->currentFolder()); }

    // The photo turned a quarter clockwise from the preview, as the user does it.
    void rotateClockwise(const QString &path) {
        previewDock()->showPhoto(path);
        child<QAbstractButton>("rotateSingleClockwiseButton")->click();
    }

    static QByteArray photoBytes(int orientation) {
        QTemporaryDir scratch;
        const QString path = scratch.filePath("cut.jpg");
        if (!TestPhotos::writeCroppedPhoto(orientation, path))
            return {};
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void writeFile(const QString &path, const QByteArray &bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    // Photos changed a while ago are no longer taken for copies still going on.
    static void backdate(const QString &path) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                 QFileDevice::FileModificationTime));
    }

    // No run going, none scheduled or noted to follow, no photo awaited.
    bool idle() const {
        return !engine()->isBusy() && !engine()->hasRunPending() && !watcher()->isRunScheduled() &&
               watcher()->photosAwaited().isEmpty();
    }

    // Idle, and still idle a moment later, when any notification of the last writes has come
    // in: no trigger, retry or recheck was left behind.
    void waitUntilIdle(int timeoutMs) {
        QTRY_VERIFY_WITH_TIMEOUT(idle(), timeoutMs);
        QTest::qWait(300);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), timeoutMs);
    }
};
