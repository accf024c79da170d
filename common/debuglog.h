// The program's debug log: diagnostics the user never sees. Off by default; enable with
// QT_LOGGING_RULES="pivotta.debug=true".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPivotta)
