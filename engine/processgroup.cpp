// Process groups for the tools: POSIX calls on Unix, the process alone on Windows.
#include "engine/processgroup.h"

#include <QProcess>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif

void startInOwnProcessGroup(QProcess &process, int standardInput, int standardOutput) {
#ifdef Q_OS_UNIX
    // In the child, after QProcess has set up its channels and before the tool starts: only
    // calls that are safe there.
    process.setChildProcessModifier([standardInput, standardOutput] {
        ::setpgid(0, 0);
        if (standardInput >= 0)
            ::dup2(standardInput, STDIN_FILENO);
        if (standardOutput >= 0)
            ::dup2(standardOutput, STDOUT_FILENO);
    });
#else
    Q_UNUSED(process)
    Q_UNUSED(standardInput)
    Q_UNUSED(standardOutput)
#endif
}

namespace {
void signalProcessGroup(qint64 processId, int signalNumber) {
#ifdef Q_OS_UNIX
    // While a group has members its id is not given to a new process, so this reaches no
    // stranger even after the leader has ended.
    if (processId > 0)
        ::kill(-pid_t(processId), signalNumber);
#else
    Q_UNUSED(processId)
    Q_UNUSED(signalNumber)
#endif
}
} // namespace

void killProcessGroup(qint64 processId) {
#ifdef Q_OS_UNIX
    signalProcessGroup(processId, SIGKILL);
#else
    Q_UNUSED(processId)
#endif
}

void terminateProcessGroup(qint64 processId) {
#ifdef Q_OS_UNIX
    signalProcessGroup(processId, SIGTERM);
#else
    Q_UNUSED(processId)
#endif
}
