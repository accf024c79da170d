// A look at the pictures themselves, for the rare result whose structure leaves doubt: small
// decodes of the original and the result, the original turned in memory, compared.
#pragma once

#include <QString>

#include "engine/turn.h"

// Whether the picture in `resultPath` shows the picture in `originalPath` turned by `turn`,
// judged from decodes at an eighth of each side. False when either cannot be decoded.
bool showsTheOriginalTurned(const QString &originalPath, const QString &resultPath, Turn turn);
