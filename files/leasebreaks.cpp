// The lease-break signal, its handler and the pipe it writes into.
#include "files/leasebreaks.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_LINUX
int breakPipe[2] = {-1, -1};
int breakSignal = 0;

// Only async-signal-safe calls: the descriptor goes into the pipe, and a full pipe drops it
// (the photo can still be asked).
void onLeaseBreak(int, siginfo_t *info, void *) {
    const int savedErrno = errno;
    const int descriptor = info->si_fd;
    if (breakPipe[1] >= 0) {
        const ssize_t written = ::write(breakPipe[1], &descriptor, sizeof descriptor);
        Q_UNUSED(written)
    }
    errno = savedErrno;
}

void installHandler() {
    if (::pipe2(breakPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        breakPipe[0] = breakPipe[1] = -1;
    // A real-time signal nobody else in the program uses; its default would end the program,
    // so the handler is in place before any lease is asked for.
    const int signal = SIGRTMIN + 1;
    struct sigaction action = {};
    action.sa_sigaction = onLeaseBreak;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (::sigaction(signal, &action, nullptr) == 0)
        breakSignal = signal;
}
#endif
} // namespace

int prepareLeaseBreakSignal() {
#ifdef Q_OS_LINUX
    static std::once_flag installed;
    std::call_once(installed, installHandler);
    return breakSignal;
#else
    return 0;
#endif
}

LeaseBreakNotifier::LeaseBreakNotifier(QObject *parent)
    : QObject(parent) {
#ifdef Q_OS_LINUX
    if (prepareLeaseBreakSignal() == 0 || breakPipe[0] < 0)
        return;
    notifier = new QSocketNotifier(breakPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &LeaseBreakNotifier::readBreaks);
#endif
}

LeaseBreakNotifier::~LeaseBreakNotifier() = default;

void LeaseBreakNotifier::readBreaks() {
#ifdef Q_OS_LINUX
    int descriptor = -1;
    while (::read(breakPipe[0], &descriptor, sizeof descriptor) == ssize_t(sizeof descriptor))
        emit leaseBreaking(descriptor);
#endif
}
