// The debug-log category shared by the whole program.
#include "common/debuglog.h"

Q_LOGGING_CATEGORY(lcPivotta, "pivotta", QtInfoMsg)
