// The application font rule, used at start-up and when the Preferences dialog forces a size.
#pragma once

#include <QFont>
#include <QVariant>

// The application font: family "Segoe UI"; the forced pixel size only when both stored values
// are present and the check is true, otherwise point size 10.
QFont startupFont(QFont font, const QVariant &forceChecked, const QVariant &forceValue);
