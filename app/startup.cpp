// Command-line options and the start-up decisions.
#include "app/startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

void setApplicationIdentity() {
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
    QCoreApplication::setApplicationVersion("3.27");
}

void addStartupOptions(QCommandLineParser &parser) {
    parser.setApplicationDescription(QCoreApplication::applicationName());
    parser.addHelpOption();
    parser.addPositionalArgument(
        "destination",
        QCoreApplication::translate("main", "The folder to rotate files in (with --headless: any "
                                            "number of folders and photos)"),
        "[destination...]");
    parser.addOption(
        {{"w", "watch"},
         QCoreApplication::translate("main", "Keep watching folder and rotate all new files")});
    parser.addOption(
        {{"t", "tutorial"}, QCoreApplication::translate("main", "Show tutorial at startup")});
    parser.addOption({{"p", "preview"},
                      QCoreApplication::translate(
                          "main", "Preview photo orientation before & after autorotating")});
    parser.addOption(
        {"headless",
         QCoreApplication::translate(
             "main", "Rotate without a window and print a report (no display needed); "
                     "--headless --watch <folder> watches the folder until SIGINT or SIGTERM")});
    parser.addOption(
        {"dry-run", QCoreApplication::translate(
                        "main", "With --headless: only report what would be rotated")});
    parser.addOption({"jobs",
                      QCoreApplication::translate("main", "With --headless: photos rotated side by "
                                                          "side (default: as in Preferences)"),
                      "N"});
    parser.addVersionOption();
}

bool headlessRequested(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--headless") == 0 || qstrcmp(argv[i], "-headless") == 0)
            return true;
        if (qstrcmp(argv[i], "--") == 0)
            break;
    }
    return false;
}

StartupDecisions startupDecisions(const QCommandLineParser &parser) {
    StartupDecisions decisions;
    decisions.tutorial = parser.isSet("tutorial");
    decisions.watch = parser.isSet("watch");
    decisions.preview = parser.isSet("preview");

    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        const QString destination = positional.first();
        const QFileInfo info(destination);
        if (!destination.isEmpty() && info.isDir())
            decisions.folder = destination;
        else if (!destination.isEmpty() && info.exists())
            decisions.file = destination;
    }
    return decisions;
}

bool graphicalDisplayAvailable() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}
