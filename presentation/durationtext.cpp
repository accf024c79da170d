// The duration text of a batch summary.
#include "presentation/durationtext.h"

QString durationText(qint64 elapsedMs, const QString &withMinutes, const QString &withoutMinutes,
                     const QString &label) {
    const qint64 minutes = elapsedMs / 60000;
    const qint64 seconds = elapsedMs / 1000 - 60 * minutes;
    QString text = minutes > 0 ? withMinutes.arg(minutes).arg(seconds)
                               : withoutMinutes.arg(double(elapsedMs) / 1000);
    if (!label.isEmpty())
        text = text.arg(label);
    return text;
}
