// A look at the pictures themselves, for the rare result whose structure leaves doubt: small
// decodes of the original and the result, the original turned in memory, compared.
#pragma once

#include <QByteArray>
#include <QString>

#include "engine/turn.h"

// Whether the JPEG picture `result` shows the JPEG picture `original` turned by `turn`, judged
// from small decodes (an eighth of each side for photos). False when either cannot be decoded.
bool showsTheOriginalTurned(const QByteArray &original, const QByteArray &result, Turn turn);
// The same for the pictures in two files.
bool showsTheOriginalTurned(const QString &originalPath, const QString &resultPath, Turn turn);
