// What happened in runs and to the watching, in the words users read: the window's messages and
// status texts for run events, and the summary at the end of a user batch. Pure functions of the
// facts and the colours.
#pragma once

#include <QList>
#include <QString>

#include "engine/runevents.h"
#include "presentation/outputmessage.h"

struct PaneColors;

QList<OutputMessage> eventMessages(const RunEvent &event, const PaneColors &colors);

// The status bar's text for an event; `shown` is false when the event leaves it as it is, and an
// empty text clears it.
struct StatusText {
    bool shown = false;
    QString text;
    int timeoutMs = 0;
};
StatusText eventStatus(const RunEvent &event);

// Plain text: folders the system would not watch, the limit that was reached and how to raise it.
QString watchLimitText(const RunEvent &event);
// Plain text: the temporary files an earlier Pivotta left, removed.
QString leftoversText(const RunEvent &event);
// Plain text: the system dropped change notifications, and every watched folder is looked at
// again.
QString notificationsLostText(const RunEvent &event);

// The main pane's summary of a run; only user batches have one.
QList<OutputMessage> summaryMessages(const RunSummary &summary);

// The summary's lines in plain words, shared by the window and the headless report: the photos
// found, those rotated (or, in a dry run, those that would be), those that could not be, those
// left for a later run, the folders and files not read.
QString photosFoundText(const RunSummary &summary);
QString rotatedText(const RunSummary &summary);
QString failedText(const RunSummary &summary);
QString leftForLaterText(const RunSummary &summary);
QString notReadText(const RunSummary &summary);
// How the photos were rotated: "single-process" one at a time, else "2 photos side by side".
QString sideBySideText(int photosAtOnce);
