// Serving a tool's standard input and output: POSIX pipes and a thread with poll(), or QProcess's
// channels on Windows (untested).
#include "tools/toolpipes.h"

#include <QMetaObject>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "files/descriptor.h"
#include "tools/processgroup.h"

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>
#endif

namespace {
// Each call moves at most this much; the pipes hold as much where the system allows, so that the
// tool seldom waits for the thread.
constexpr qint64 piece = qint64(1) << 20;
// What a streaming tool moves at a time.
constexpr qint64 streamedPiece = 4096;
// How often the thread looks whether it was given up, while the tool neither reads nor writes.
constexpr int givenUpCheckMs = 100;
} // namespace

// What the serving thread and the GUI thread share: the thread works on it until the tool closes
// its output, the GUI thread only once served() was told.
struct PipeTransfer {
    Descriptor toTool;   // the write end of the tool's standard input
    Descriptor fromTool; // the read end of its standard output
    Descriptor childInput;
    Descriptor childOutput;
    QByteArray input; // shares the caller's bytes
    qint64 inputAt = 0;
    qint64 inputEnd = 0;
    QByteArray output;
    std::atomic<bool> givenUp{false};
};

#ifndef Q_OS_WIN

namespace {
bool makePipe(Descriptor *readEnd, Descriptor *writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    *readEnd = Descriptor(ends[0]);
    *writeEnd = Descriptor(ends[1]);
#ifdef F_SETPIPE_SZ
    ::fcntl(ends[0], F_SETPIPE_SZ, int(piece));
#endif
    return true;
}

// Only this process's ends: the tool's stay blocking, as it expects.
void makeNonBlocking(const Descriptor &descriptor) {
    ::fcntl(descriptor.get(), F_SETFL, ::fcntl(descriptor.get(), F_GETFL) | O_NONBLOCK);
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Each returns the bytes it moved.
qint64 writeSome(PipeTransfer &t) {
    const qint64 wanted = std::min(piece, t.inputEnd - t.inputAt);
    const ssize_t written =
        ::write(t.toTool.get(), t.input.constData() + t.inputAt, size_t(wanted));
    if (written > 0)
        t.inputAt += written;
    // A tool that stops reading (it failed, or it needs no more) ends its input.
    if ((written < 0 && !wouldBlock(errno)) || t.inputAt >= t.inputEnd)
        t.toTool.close();
    return std::max<qint64>(written, 0);
}

qint64 readSome(PipeTransfer &t) {
    // Read straight into the room set aside, while there is room: no further copy.
    const qsizetype size = t.output.size();
    const qint64 wanted =
        std::min<qint64>(piece, std::max<qint64>(t.output.capacity() - size, 65536));
    t.output.resize(size + wanted);
    const ssize_t read = ::read(t.fromTool.get(), t.output.data() + size, size_t(wanted));
    t.output.resize(size + std::max<ssize_t>(read, 0));
    if (read == 0 || (read < 0 && !wouldBlock(errno)))
        t.fromTool.close();
    return std::max<qint64>(read, 0);
}

// Until the tool closes its output: what it reads is written, what it writes is read.
void serveUntilClosed(PipeTransfer &t) {
    // A tool that ends before it has read all its input makes the next write fail with EPIPE
    // instead of ending the program: the signal is held for this thread, which ends soon.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    if (t.inputAt >= t.inputEnd)
        t.toTool.close();
    while (t.fromTool.isValid() && !t.givenUp) {
        struct pollfd watched[2] = {{t.fromTool.get(), POLLIN, 0}, {t.toTool.get(), POLLOUT, 0}};
        const int count = t.toTool.isValid() ? 2 : 1;
        if (::poll(watched, nfds_t(count), givenUpCheckMs) <= 0)
            continue;
        qint64 moved = 0;
        if (count == 2 && watched[1].revents != 0)
            moved += writeSome(t);
        if (watched[0].revents != 0)
            moved += readSome(t);
        // A tool that streams does so in small pieces (jpegtran: 4 KB); the pipes hold a
        // megabyte, so a moment's pause lets the pieces gather instead of waking this thread,
        // and taking the core from the tool, for each one. A short answer (exiv2's) is taken
        // at once.
        if (moved >= streamedPiece && moved < piece / 4)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    t.toTool.close();
    t.fromTool.close();
    t.input = QByteArray();
}
} // namespace

ToolPipes::ToolPipes(QObject *parent)
    : QObject(parent)
    , transfer(std::make_shared<PipeTransfer>()) {}

ToolPipes::~ToolPipes() {
    transfer->givenUp = true;
}

bool ToolPipes::prepare(QProcess &process) {
    PipeTransfer &t = *transfer;
    if (!makePipe(&t.childInput, &t.toTool) || !makePipe(&t.fromTool, &t.childOutput))
        return false;
    makeNonBlocking(t.toTool);
    makeNonBlocking(t.fromTool);
    // QProcess makes no pipes of its own for these two.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    startInOwnProcessGroup(process, t.childInput.get(), t.childOutput.get());
    return true;
}

void ToolPipes::serve(QProcess &process, bool started, const QByteArray &input, qint64 offset,
                      qint64 length) {
    Q_UNUSED(process)
    PipeTransfer &t = *transfer;
    // The tool has its own copies of these, if it started: the output ends when it does.
    t.childInput.close();
    t.childOutput.close();
    if (!started) {
        t.toTool.close();
        t.fromTool.close();
        QMetaObject::invokeMethod(this, &ToolPipes::served, Qt::QueuedConnection);
        return;
    }
    t.input = input;
    t.inputAt = std::clamp<qint64>(offset, 0, input.size());
    t.inputEnd = std::clamp<qint64>(offset + length, t.inputAt, input.size());
    // jpegtran's output is about as long as its input.
    t.output.reserve(t.inputEnd - t.inputAt + 65536);
    QThread *thread = QThread::create([shared = transfer] { serveUntilClosed(*shared); });
    connect(thread, &QThread::finished, this, &ToolPipes::served);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

#else // Q_OS_WIN: QProcess's channels, untested.

ToolPipes::ToolPipes(QObject *parent)
    : QObject(parent)
    , transfer(std::make_shared<PipeTransfer>()) {}

ToolPipes::~ToolPipes() = default;

bool ToolPipes::prepare(QProcess &process) {
    startInOwnProcessGroup(process);
    return true;
}

void ToolPipes::serve(QProcess &process, bool started, const QByteArray &input, qint64 offset,
                      qint64 length) {
    if (!started) {
        QMetaObject::invokeMethod(this, &ToolPipes::served, Qt::QueuedConnection);
        return;
    }
    connect(&process, &QProcess::readyReadStandardOutput, this,
            [this, &process] { transfer->output += process.readAllStandardOutput(); });
    connect(&process, &QProcess::finished, this, [this, &process] {
        transfer->output += process.readAllStandardOutput();
        emit served();
    });
    process.write(input.mid(offset, length));
    process.closeWriteChannel();
}

#endif

QByteArray ToolPipes::takeOutput() {
    QByteArray output = std::move(transfer->output);
    transfer->output = QByteArray();
    return output;
}
