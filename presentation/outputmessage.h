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
    // A progress mark's line: the words it starts with when the mark begins it. The wording
    // begins a line for a run of marks, so that a mark never joins another message's line.
    QString markLineStart;

    static OutputMessage main(const QString &text, bool checkDuplicate = false) {
        return {Main, text, checkDuplicate, false, QString()};
    }
    // A mark such as " .", added to the end of the main pane's last line.
    static OutputMessage mark(const QString &text) { return {Main, text, false, true, QString()}; }
    // A progress mark on a line of marks that starts with `lineStart` (plain text).
    static OutputMessage progressMark(const QString &lineStart) {
        return {Main, QStringLiteral(" ."), false, true, lineStart};
    }
    static OutputMessage detailed(const QString &text, bool checkDuplicate) {
        return {Detailed, text, checkDuplicate, false, QString()};
    }
    static OutputMessage detailedRaw(const QString &text) {
        return {DetailedRaw, text, false, false, QString()};
    }

    bool operator==(const OutputMessage &other) const {
        return pane == other.pane && text == other.text && checkDuplicate == other.checkDuplicate &&
               plainTextNoNewline == other.plainTextNoNewline &&
               markLineStart == other.markLineStart;
    }
};
Q_DECLARE_METATYPE(OutputMessage)
