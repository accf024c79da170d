// The text that tells how long a batch took.
#pragma once

#include <QString>

// `withMinutes` gets the minutes as %1 and the remaining whole seconds as %2; below one minute
// `withoutMinutes` gets the seconds with their fraction as %2. A non-empty `label` fills %3.
QString durationText(qint64 elapsedMs, const QString &withMinutes, const QString &withoutMinutes,
                     const QString &label);
