// How one run of an external tool ended, and what it wrote.
#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

struct ToolResult {
    enum Ending {
        Finished,      // exited normally with exitCode
        Crashed,       // ended by a signal or crash
        FailedToStart, // never ran: errorText says why
        TimedOut,      // killed after its time was up
        Stopped,       // killed on request
    };

    Ending ending = FailedToStart;
    int exitCode = -1;
    QString errorText;
    QByteArray output; // the standard output: a turned picture, or text
    QString standardError;

    // The standard output of a tool that writes text there.
    QString outputText() const { return QString::fromUtf8(output); }
    bool exitedNormally() const { return ending == Finished; }
    bool succeeded() const { return ending == Finished && exitCode == 0; }
};
Q_DECLARE_METATYPE(ToolResult)
