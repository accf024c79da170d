// What happened to photos, in the words users read: each step and each outcome as the window's
// panes show them, what a check of one photo found, and the plain reason an outcome gives in the
// headless report. Pure functions of the facts and the colours.
#pragma once

#include <QList>
#include <QString>

#include "engine/runevents.h"
#include "presentation/outputmessage.h"

struct PaneColors;

QList<OutputMessage> stepMessages(const PhotoStep &step, const PaneColors &colors);
QList<OutputMessage> outcomeMessages(const PhotoOutcome &outcome, const PaneColors &colors);

// What a check of one photo found, as a run tells it, without a run's progress mark.
QList<OutputMessage> checkMessages(const OrientationCheck &check, const PhotoRef &photo,
                                   const PaneColors &colors);

// Why a photo was left or failed, in plain words: "the photo is read-only".
QString reasonText(const PhotoOutcome &outcome);

// That the trash entry `entry`, a second name of `photo` an earlier run left there, was taken out
// again; both as the caller shows them (rich or plain text).
QString originalTakenBackText(const QString &photo, const QString &entry);

// What a finished jpegtran run means, e.g. "no space left on the disk"; empty for Success.
QString jpegtranOutcomeText(JpegtranOutcome outcome);

// "15 rows and 1 column of edge pixels dropped."; empty when nothing was.
QString edgeTrimText(const DroppedEdges &trim);
// Why no lossless turn keeps the picture whole (its width or height is not a multiple of the
// block size, with the numbers); empty when the turn keeps it whole.
QString imperfectionReason(const PictureFrame &frame);
