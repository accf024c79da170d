// The panes' words for the engine's and the watcher's facts.
#include "presentation/panewording.h"

#include "engine/rotationengine.h"
#include "presentation/messagetext.h"
#include "presentation/photowording.h"
#include "presentation/runwording.h"
#include "watcher/folderwatcher.h"

PaneWording::PaneWording(QObject *parent)
    : QObject(parent) {
    qRegisterMetaType<OutputMessage>();
}

void PaneWording::listenTo(RotationEngine *engine) {
    connect(engine, &RotationEngine::runEvent, this, &PaneWording::tellEvent);
    connect(engine, &RotationEngine::photoStep, this, &PaneWording::tellStep);
    connect(engine, &RotationEngine::photoFinished, this, &PaneWording::tellOutcome);
    connect(engine, &RotationEngine::runFinished, this, &PaneWording::tellSummary);
}

void PaneWording::listenTo(FolderWatcher *watcher) {
    connect(watcher, &FolderWatcher::watchEvent, this, &PaneWording::tellEvent);
}

void PaneWording::setColors(const PaneColors &colorSet) {
    paneColors = colorSet;
}

void PaneWording::tellEvent(const RunEvent &event) {
    const StatusText statusText = eventStatus(event);
    if (statusText.shown)
        emit status(statusText.text, statusText.timeoutMs);
    emitAll(eventMessages(event, paneColors));
}

void PaneWording::tellStep(const PhotoStep &step) {
    emitAll(stepMessages(step, paneColors));
}

void PaneWording::tellOutcome(const PhotoOutcome &outcome) {
    emitAll(outcomeMessages(outcome, paneColors));
}

void PaneWording::tellSummary(const RunSummary &summary) {
    emitAll(summaryMessages(summary));
}

void PaneWording::tellCheck(const OrientationCheck &check, const QString &photoPath,
                            const QString &folder) {
    emitAll(checkMessages(check, {photoPath, photoPath, folder}, paneColors));
}

void PaneWording::emitAll(const QList<OutputMessage> &messages) {
    for (const OutputMessage &outputMessage : messages)
        emit message(placed(outputMessage));
}

// A progress mark joins the line of marks it belongs to, or begins that line: it never follows
// another message's words, nor stands alone.
OutputMessage PaneWording::placed(const OutputMessage &outputMessage) {
    if (outputMessage.pane != OutputMessage::Main)
        return outputMessage;
    if (outputMessage.markLineStart.isEmpty()) {
        openMarkLine.clear();
        return outputMessage;
    }
    if (outputMessage.markLineStart == openMarkLine)
        return outputMessage;
    openMarkLine = outputMessage.markLineStart;
    return OutputMessage::main(escapeHtml(openMarkLine) + outputMessage.text);
}
