// A message for one of the two output panes, as presentation/ words the engine's and the
// watcher's facts and as the window writes it into its panes.
#pragma once

#include <QMetaType>
#include <QString>

struct OutputMessage {
    enum Pane {
        Main,        // the main pane, through its duplicate check and text limit
        Detailed,    // the detailed pane, through its duplicate check and text limit
        DetailedRaw, // the detailed pane as it is: no duplicate check, not counted
    };

    Pane pane = Main;
    QString text; // rich text, except for a plain mark
    bool checkDuplicate = false;
    bool plainTextNoNewline = false; // main pane: literal text added to the last line

    static OutputMessage main(const QString &text, bool checkDuplicate = false) {
        return {Main, text, checkDuplicate, false};
    }
    // A progress mark such as ". ", added to the end of the main pane's last line.
    static OutputMessage mark(const QString &text) { return {Main, text, false, true}; }
    static OutputMessage detailed(const QString &text, bool checkDuplicate) {
        return {Detailed, text, checkDuplicate, false};
    }
    static OutputMessage detailedRaw(const QString &text) {
        return {DetailedRaw, text, false, false};
    }

    bool operator==(const OutputMessage &other) const {
        return pane == other.pane && text == other.text && checkDuplicate == other.checkDuplicate &&
               plainTextNoNewline == other.plainTextNoNewline;
    }
};
Q_DECLARE_METATYPE(OutputMessage)
