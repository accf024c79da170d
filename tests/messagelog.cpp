// Rendering messages into two documents the way the window's panes take them.
#include "messagelog.h"

#include <QTextCursor>

#include "engine/photorotation.h"
#include "engine/rotationengine.h"
#include "watcher/folderwatcher.h"

MessageLog::MessageLog(PaneWording *wording)
    : listened(wording) {
    connect(listened, &PaneWording::message, this, &MessageLog::add);
}

MessageLog::MessageLog()
    : MessageLog(&ownWording) {}

MessageLog::MessageLog(RotationEngine *engine)
    : MessageLog() {
    listenTo(engine);
}

void MessageLog::listenTo(RotationEngine *engine) {
    listened->listenTo(engine);
}

void MessageLog::listenTo(FolderWatcher *watcher) {
    listened->listenTo(watcher);
}

void MessageLog::listenTo(PhotoRotation *rotation) {
    connect(rotation, &PhotoRotation::step, listened, &PaneWording::tellStep);
    connect(rotation, &PhotoRotation::finished, listened,
            [this, rotation](const PhotoRotationOutcome &outcome) {
                listened->tellOutcome(photoOutcomeOf(rotation->photo(), rotation->turn(), outcome));
            });
}

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
