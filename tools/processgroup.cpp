// Process groups for the tools: POSIX calls on Unix, the process alone on Windows.
#include "tools/processgroup.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {
// The system ends a child with the thread that started it, not with the process. Only the main
// thread lives as long as the program, so only tools it starts are bound to the program's end.
bool bindsToProgramsEnd() {
#ifdef Q_OS_LINUX
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
#else
    return false;
#endif
}
} // namespace

void startInOwnProcessGroup(QProcess &process, int standardInput, int standardOutput) {
#ifdef Q_OS_UNIX
    const bool endWithProgram = bindsToProgramsEnd();
    const pid_t program = ::getpid();
    // In the child, after QProcess has set up its channels and before the tool starts: only
    // calls that are safe there.
    process.setChildProcessModifier([standardInput, standardOutput, endWithProgram, program] {
#ifdef Q_OS_LINUX
        // Killed with Pivotta, however Pivotta ends (even by SIGKILL), so that no tool goes on
        // working for nobody. A Pivotta that ended before this call is no longer the parent.
        if (endWithProgram && ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::getppid() != program)
            ::_exit(127);
#else
        Q_UNUSED(endWithProgram)
        Q_UNUSED(program)
#endif
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
