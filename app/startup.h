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

// Registers the options in their documented order: help, destination, watch, tutorial,
// preview, version.
void addStartupOptions(QCommandLineParser &parser);

// Reads the decisions from a parser that has already parsed the arguments.
StartupDecisions startupDecisions(const QCommandLineParser &parser);

// The application font: family "Segoe UI"; the forced pixel size only when both stored values
// are present and the check is true, otherwise point size 10.
QFont startupFont(QFont font, const QVariant &forceChecked, const QVariant &forceValue);

// False when no window system can be reached (a console without a display), so that help,
// version and option errors can still be answered without one.
bool graphicalDisplayAvailable();
