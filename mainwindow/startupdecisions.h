// What the command line decided for the window at start-up: the one value the window is built
// from (the command line itself is read in app/startup).
#pragma once

#include <QString>

struct StartupDecisions {
    bool preview = false;  // show, never rotate; the watcher stays off
    bool watch = false;    // watching on from the start
    bool tutorial = false; // the welcome text at start-up
    QString folder;        // the first positional argument when it names an existing directory
    QString file;          // the first positional argument when it names an existing file
};
