// Renders what a wording object says as the window's panes would, so that tests without a window
// can read the texts a user would see. The log owns a PaneWording (light colours) unless it is
// given one.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTextDocument>

#include "presentation/outputmessage.h"
#include "presentation/panewording.h"

class FolderWatcher;
class PhotoRotation;
class RotationEngine;

class MessageLog : public QObject {
    Q_OBJECT

public:
    // Listens to `wording`'s messages.
    explicit MessageLog(PaneWording *wording);
    // Listens to a wording of its own.
    MessageLog();
    // A log whose own wording listens to `engine`.
    explicit MessageLog(RotationEngine *engine);

    // The wording the log listens to; tests connect to its signals too.
    PaneWording *wording() const { return listened; }
    // The log's wording listens to these. A rotation on its own is told as a run would tell it,
    // its outcome included.
    void listenTo(RotationEngine *engine);
    void listenTo(FolderWatcher *watcher);
    void listenTo(PhotoRotation *rotation);

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
    PaneWording ownWording;
    PaneWording *listened = &ownWording;
    QTextDocument main;
    QTextDocument detailed;
    QList<OutputMessage> received;
};
