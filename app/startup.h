// What the command line decides at start-up, and the start-up font rule.
#pragma once

#include <QFont>
#include <QString>
#include <QVariant>

class QCommandLineParser;

struct StartupDecisions {
    bool preview = false;
    bool watch = false;
    bool tutorial = false;
    QString folder; // the first positional argument when it names an existing directory
    QString file;   // the first positional argument when it names an existing file
};

// The application's name, organization and version, which also address its settings.
void setApplicationIdentity();

// Registers the options in their documented order: help, destination, watch, tutorial,
// preview, the options of a run without a window (headless, dry-run, jobs), version.
void addStartupOptions(QCommandLineParser &parser);

// Whether the arguments ask for a run without a window; looked at before any application object
// exists, since that decides which one is built.
bool headlessRequested(int argc, char **argv);

// Reads the decisions from a parser that has already parsed the arguments.
StartupDecisions startupDecisions(const QCommandLineParser &parser);

// The application font: family "Segoe UI"; the forced pixel size only when both stored values
// are present and the check is true, otherwise point size 10.
QFont startupFont(QFont font, const QVariant &forceChecked, const QVariant &forceValue);

// False when no window system can be reached (a console without a display), so that help,
// version and option errors can still be answered without one.
bool graphicalDisplayAvailable();
