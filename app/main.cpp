// Entry point: application object, identity, font, command line, main window, event loop.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>

#include "app/catchexceptionapplication.h"
#include "app/headless.h"
#include "app/librarymessages.h"
#include "app/startup.h"
#include "common/debuglog.h"
#include "common/screenfit.h"
#include "files/descriptorbudget.h"
#include "mainwindow/pivotta.h"
#include "settings/settings.h"

namespace {
// Without a window system the GUI application object cannot be built; help, version and
// option errors are still answered from a console-only application object.
int answerWithoutDisplay(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    QCommandLineParser parser;
    addStartupOptions(parser);
    parser.process(app); // ends the program for help, version and bad options
    std::fputs("Pivotta needs a graphical display to show its window.\n", stderr);
    return 1;
}
} // namespace

int main(int argc, char **argv) {
    // Before any library can log: what it logs belongs in the debug log, not the user's report.
    keepLibraryMessagesInDebugLog();
    // Large batches hold many folders, photos and tools open at once.
    raiseDescriptorLimit();
    if (headlessRequested(argc, argv))
        return runHeadless(argc, argv);
    if (!graphicalDisplayAvailable())
        return answerWithoutDisplay(argc, argv);

    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    CatchExceptionApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    setApplicationIdentity();
    // Lets the desktop match the window to its launcher entry and icon.
    QGuiApplication::setDesktopFileName("org.example.pivotta");

    QApplication::setFont(startupFont(QApplication::font(),
                                      Settings::value(SettingsKey::forceFontSizeChecked),
                                      Settings::value(SettingsKey::forceFontSizeValue)));

    QCommandLineParser parser;
    addStartupOptions(parser);
    parser.process(app);
    const StartupDecisions decisions = startupDecisions(parser);

    auto *window = new Pivotta(decisions);

    const QSize storedSize = Settings::windowSize(window->metaObject()->className());
    if (storedSize != QSize(0, 0)) {
        window->restore();
        qCDebug(lcPivotta) << "restore " << storedSize;
    } else {
        window->setGeometry(100, 100, 1024, 600);
    }
    fitIntoScreen(window);
    window->show();
    return app.exec();
}
