// What the command line decides at start-up.
#pragma once

#include "common/applicationfont.h"
#include "mainwindow/startupdecisions.h"

class QCommandLineParser;

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

// False when no window system can be reached (a console without a display), so that help,
// version and option errors can still be answered without one.
bool graphicalDisplayAvailable();
