// The message handler that keeps library messages in the debug log.
#include "app/librarymessages.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstring>

#include "common/debuglog.h"

namespace {
QtMessageHandler handlerBefore = nullptr;

// The logging rules have already let the program's own messages through, or not.
bool isWritten(const char *category, QtMsgType type) {
    if (type == QtFatalMsg)
        return true;
    if (category && std::strcmp(category, lcPivotta().categoryName()) == 0)
        return true;
    return lcPivotta().isDebugEnabled();
}

void routeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (!isWritten(context.category, type))
        return;
    if (handlerBefore) {
        handlerBefore(type, context, message);
        return;
    }
    std::fputs(qPrintable(qFormatLogMessage(type, context, message) + '\n'), stderr);
}
} // namespace

void keepLibraryMessagesInDebugLog() {
    handlerBefore = qInstallMessageHandler(routeMessage);
}
