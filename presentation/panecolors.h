// The colours that messages give parts of their text, one set for each theme. The panes' own
// background and text colours come from the theme's style sheet; these are chosen to read well
// on them.
#pragma once

#include <QString>
#include <QStringList>

struct PaneColors {
    QString link;       // links to photos
    QString turn;       // a turn being made
    QString note;       // a side note: a photo turned through a copy under another name
    QString emphasis;   // failures that must stand out from the text around them
    QString toolErrors; // what a tool wrote on its error stream

    // The colours of the light panes, as the messages have always carried them.
    static PaneColors light();
    // The colours of the dark panes.
    static PaneColors dark();

    QStringList all() const { return {link, turn, note, emphasis, toolErrors}; }
};
