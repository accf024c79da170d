// Shared by the window's tests: the application's identity and resources, a settings file of its
// own that each test starts empty, a temporary sandbox per test, and the window, whose parts the
// tests reach through public seams only: object names, the parts' signals, slots and accessors.
#pragma once

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <memory>

#include "mainwindow/closecountdown.h"
#include "mainwindow/folderbar.h"
#include "mainwindow/outputpanes.h"
#include "mainwindow/photopreview.h"
#include "mainwindow/pivotta.h"
#include "mainwindow/previewdock.h"
#include "mainwindow/startupdecisions.h"
#include "mainwindow/watchswitch.h"

class WindowFixture {
public:
    // For initTestCase(): the identity that addresses the settings, and the compiled-in icons.
    static void setUpCase() {
        QStandardPaths::setTestModeEnabled(true);
        Q_INIT_RESOURCE(resources);
        QCoreApplication::setApplicationName("Pivotta");
        QCoreApplication::setOrganizationName("Tavlund");
    }

    static void clearSettings() { userSettings().clear(); }
    static QSettings userSettings() {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavlund", "Pivotta");
    }

    // For init(): empty settings and a fresh sandbox; no window yet.
    void setUp() {
        clearSettings();
        sandbox = std::make_unique<QTemporaryDir>();
        QVERIFY(sandbox->isValid());
    }

    // For cleanup(): the window goes before the sandbox it may be looking at.
    void tearDown() {
        window.reset();
        sandbox.reset();
    }

    // A window as the program builds it from the command line's decisions.
    void newWindow(const StartupDecisions &decisions = {}) {
        window.reset();
        window = std::make_unique<Pivotta>(decisions);
    }

    static StartupDecisions decisions(bool preview, bool watch, const QString &folder,
                                      const QString &file) {
        StartupDecisions decided;
        decided.preview = preview;
        decided.watch = watch;
        decided.folder = folder;
        decided.file = file;
        return decided;
    }

    // Shows the window at `size` and waits until it is on the screen.
    void showWindow(const QSize &size) {
        window->resize(size);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T> T *child(const char *name) const { return window->findChild<T *>(name); }
    template <typename T> T *part() const { return window->findChild<T *>(); }

    OutputPanes *panes() const { return part<OutputPanes>(); }
    FolderBar *folderBar() const { return part<FolderBar>(); }
    PreviewDock *previewDock() const { return part<PreviewDock>(); }
    PhotoPreview *photoPreview() const { return previewDock()->photoPreview(); }
    WatchSwitch *watchSwitch() const { return part<WatchSwitch>(); }
    CloseCountdown *countdown() const { return part<CloseCountdown>(); }

    QString mainPaneText() const { return child<QTextBrowser>("cmdLineOutput")->toPlainText(); }

    std::unique_ptr<QTemporaryDir> sandbox;
    std::unique_ptr<Pivotta> window;
};
