// Shared by the watcher tests: a shown window whose watcher and engine the tests reach through
// their public interfaces, and a watched folder in a temporary sandbox with test photos written
// into it.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <memory>

#include "engine/rotationengine.h"
#include "mainwindow/pivotta.h"
#include "testphotos.h"
#include "watcher/folderwatcher.h"

class PivottaTestAccess {
public:
    static void openFolder(Pivotta &window, const QString &folder) { window.openFolder(folder); }
    static void setWatch(Pivotta &window, bool on, bool fromClick) {
        window.setWatchFolderSetting(on, fromClick);
    }
    static bool watching(Pivotta &window) { return window.getWatchFolderToggleValue(); }
    static void watcherTrigger(Pivotta &window) { window.watcherRotateFilesInCurrentDirectory(); }
    static void rotateSingle(Pivotta &window, const QString &path, int angle) {
        window.rotateSingle(path, angle);
    }
};

class WatcherFixture {
protected:
    static void setUpCase() {
        QStandardPaths::setTestModeEnabled(true);
        Q_INIT_RESOURCE(resources);
        QCoreApplication::setApplicationName("Pivotta");
        QCoreApplication::setOrganizationName("Tavlund");
    }

    // A fresh settings file, a sandbox holding watched/sub, and a shown window with no folder.
    void setUp() {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta").clear();
        sandbox = std::make_unique<QTemporaryDir>();
        QVERIFY(sandbox->isValid());
        QVERIFY(QDir().mkpath(folder() + "/sub"));
        window = new Pivotta(false, false, false, QString(), QString());
        window->resize(1000, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void tearDown() {
        delete window;
        window = nullptr;
        sandbox.reset();
    }

    RotationEngine *engine() const { return window->rotationEngine(); }
    FolderWatcher *watcher() const { return window->folderWatcher(); }
    QString folder() const { return sandbox->filePath("watched"); }
    QString mainPaneText() const {
        return window->findChild<QTextBrowser *>("cmdLineOutput")->toPlainText();
    }
    QSlider *slider() const { return window->findChild<QSlider *>("horizontalSlider"); }

    // Opens the folder and turns watching on; opened again so that its subfolders are watched.
    void openWatchedFolder() {
        PivottaTestAccess::openFolder(*window, folder());
        PivottaTestAccess::setWatch(*window, true, true);
        PivottaTestAccess::openFolder(*window, folder());
        QVERIFY(PivottaTestAccess::watching(*window));
        QVERIFY(watcher()->watchedPaths().contains(folder() + "/sub"));
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

    std::unique_ptr<QTemporaryDir> sandbox;
    Pivotta *window = nullptr;
};
