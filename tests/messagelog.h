// Collects what the engine or the watcher says and renders it as the window's panes would, so
// that tests without a window can read the texts a user would see.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTextDocument>

#include "engine/outputmessage.h"

class MessageLog : public QObject {
    Q_OBJECT

public:
    // Listens to `source`'s message(const OutputMessage &) signal.
    template <typename Source> explicit MessageLog(Source *source) {
        connect(source, &Source::message, this, &MessageLog::add);
    }
    MessageLog() = default;

    void add(const OutputMessage &message);
    void clear();

    // The panes' plain text, as a user reads it.
    QString mainText() const { return main.toPlainText(); }
    QString detailedText() const { return detailed.toPlainText(); }
    // The messages as they came, in order.
    QList<OutputMessage> messages() const { return received; }
    // The main pane's messages as they came (rich text).
    QStringList mainMessages() const;

private:
    QTextDocument main;
    QTextDocument detailed;
    QList<OutputMessage> received;
};
