// Words for the window's panes: listens to the rotation engine and the folder watcher and emits
// each fact as the messages and status texts users read, in the colours of the theme. The window
// only connects it to its panes and its status bar, and tells it the theme.
#pragma once

#include <QObject>
#include <QString>

#include "presentation/outputmessage.h"
#include "presentation/panecolors.h"

class FolderWatcher;
class RotationEngine;
struct OrientationCheck;
struct PhotoOutcome;
struct PhotoStep;
struct RunEvent;
struct RunSummary;

class PaneWording : public QObject {
    Q_OBJECT

public:
    explicit PaneWording(QObject *parent = nullptr);

    // Connect the wording before anything else that writes into the panes when a run ends: the
    // run's summary comes first.
    void listenTo(RotationEngine *engine);
    void listenTo(FolderWatcher *watcher);

    // The light colours until told otherwise. Messages already shown keep theirs.
    void setColors(const PaneColors &colorSet);
    const PaneColors &colors() const { return paneColors; }

    void tellEvent(const RunEvent &event);
    void tellStep(const PhotoStep &step);
    void tellOutcome(const PhotoOutcome &outcome);
    void tellSummary(const RunSummary &summary);
    // What a check of one photo found (the preview's). `folder` is the current folder.
    void tellCheck(const OrientationCheck &check, const QString &photoPath, const QString &folder);

signals:
    void message(const OutputMessage &message);
    // A status text for `timeoutMs` (0: until replaced); an empty text clears the status bar.
    void status(const QString &text, int timeoutMs);

private:
    void emitAll(const QList<OutputMessage> &messages);
    OutputMessage placed(const OutputMessage &outputMessage);

    PaneColors paneColors = PaneColors::light();
    QString openMarkLine; // the start of the main pane's last line when it is a line of marks
};
