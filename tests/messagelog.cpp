// Rendering messages into two documents the way the window's panes take them.
#include "messagelog.h"

#include <QTextCursor>

void MessageLog::add(const OutputMessage &message) {
    received << message;
    QTextDocument &pane = message.pane == OutputMessage::Main ? main : detailed;
    QTextCursor cursor(&pane);
    cursor.movePosition(QTextCursor::End);
    if (message.plainTextNoNewline) {
        cursor.insertText(message.text);
        return;
    }
    cursor.insertBlock();
    if (Qt::mightBeRichText(message.text) || message.pane == OutputMessage::Main)
        cursor.insertHtml(message.text);
    else
        cursor.insertText(message.text);
}

void MessageLog::clear() {
    main.clear();
    detailed.clear();
    received.clear();
}

QStringList MessageLog::mainMessages() const {
    QStringList texts;
    for (const OutputMessage &message : received) {
        if (message.pane == OutputMessage::Main)
            texts << message.text;
    }
    return texts;
}
