// Event delivery that turns an escaping std::exception into the thrown() signal.
#include "app/catchexceptionapplication.h"

#include "common/debuglog.h"

#include <exception>

CatchExceptionApplication::CatchExceptionApplication(int &argc, char **argv)
    : QApplication(argc, argv) {}

bool CatchExceptionApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &exception) {
        const char *what = exception.what();
        qCDebug(lcPivotta) << "CatchExceptionApplication: " << what;
        emit thrown(what ? QString::fromLatin1(what) : QString());
        return true;
    }
}
