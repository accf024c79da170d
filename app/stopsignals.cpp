// Stop signals through a self-pipe (POSIX) or the console's control handler (Windows).
#include "app/stopsignals.h"

#include <QSocketNotifier>

#include <csignal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_WIN
StopSignals *current = nullptr;

// Runs on a thread of its own: the request is queued to the event loop.
BOOL WINAPI onConsoleControl(DWORD) {
    if (current)
        QMetaObject::invokeMethod(current, "stopRequested", Qt::QueuedConnection,
                                  Q_ARG(int, SIGINT));
    return TRUE;
}
#else
constexpr int caught[] = {SIGTERM, SIGHUP, SIGINT};
int pipeEnds[2] = {-1, -1};

// Only what is safe in a signal handler: one write of one byte. SA_RESETHAND has already put
// the default action back for the next signal.
void onSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = savedErrno;
}

void setAction(void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    for (const int signal : caught)
        ::sigaction(signal, &action, nullptr);
}
#endif
} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent) {
#ifdef Q_OS_WIN
    current = this;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default action
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::readSignal);
    setAction(onSignal, SA_RESETHAND | SA_RESTART);
#endif
}

StopSignals::~StopSignals() {
#ifdef Q_OS_WIN
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    current = nullptr;
#else
    if (!notifier)
        return;
    setAction(SIG_DFL, 0);
    delete notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
#endif
}

void StopSignals::readSignal() {
#ifndef Q_OS_WIN
    // From now on any of them ends the program at once.
    setAction(SIG_DFL, 0);
    unsigned char number = 0;
    while (::read(pipeEnds[0], &number, 1) == 1)
        emit stopRequested(int(number));
#endif
}
