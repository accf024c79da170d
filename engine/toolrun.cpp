// Running an external tool asynchronously in its own process group.
#include "engine/toolrun.h"

#include <algorithm>

#include "common/debuglog.h"
#include "engine/processgroup.h"

namespace {
// A tool whose time is up gets this long to end by itself before it is killed.
constexpr int terminationGraceMs = 1000;
// The standard input is handed to QProcess this much at a time, and only once what it holds
// has gone down below one piece: at most about two pieces are ever copied.
constexpr qint64 inputPiece = qint64(1) << 20;
} // namespace

ToolRun::ToolRun(QObject *parent)
    : QObject(parent)
    , process(new QProcess) {
    startInOwnProcessGroup(*process);
    timeout.setSingleShot(true);
    connect(process, &QProcess::errorOccurred, this, &ToolRun::onErrorOccurred);
    connect(process, &QProcess::finished, this, &ToolRun::onFinished);
    connect(process, &QProcess::bytesWritten, this, &ToolRun::feedInput);
    connect(process, &QProcess::readyReadStandardOutput, this, &ToolRun::gatherOutput);
    connect(&timeout, &QTimer::timeout, this, &ToolRun::onTimeout);
}

// A QProcess destroyed while its tool runs would wait for the tool to end. The tool and its group
// are killed instead, and the process object lets the tool go: it goes itself once the system has
// reported the tool's end, which also reaps the tool, so that no zombie stays behind.
ToolRun::~ToolRun() {
    if (process->state() == QProcess::NotRunning) {
        delete process;
        return;
    }
    process->disconnect(this);
    killTool();
    connect(process, &QProcess::stateChanged, process, [orphan = process](auto state) {
        if (state == QProcess::NotRunning)
            orphan->deleteLater();
    });
}

void ToolRun::start(const QString &program, const QStringList &arguments, int timeoutMs,
                    const QByteArray &bytes) {
    start(program, arguments, timeoutMs, bytes, 0, bytes.size());
}

void ToolRun::start(const QString &program, const QStringList &arguments, int timeoutMs,
                    const QByteArray &bytes, qint64 offset, qint64 length) {
    qCDebug(lcPivotta) << program << arguments;
    input = bytes;
    inputAt = std::clamp<qint64>(offset, 0, bytes.size());
    inputEnd = std::clamp<qint64>(offset + length, inputAt, bytes.size());
    output.clear();
    // jpegtran's output is about as long as its input.
    output.reserve(inputEnd - inputAt + 65536);
    inputClosed = false;
    running = true;
    starting = true;
    requestedEnding = ToolResult::Finished;
    process->start(program, arguments, QIODevice::ReadWrite);
    starting = false;
    if (running) {
        processId = process->processId();
        timeout.start(timeoutMs);
        feedInput();
    }
}

void ToolRun::feedInput() {
    if (!running || inputClosed || process->bytesToWrite() >= inputPiece)
        return;
    if (inputAt < inputEnd) {
        const qint64 piece = std::min(inputPiece, inputEnd - inputAt);
        process->write(input.constData() + inputAt, piece);
        inputAt += piece;
    }
    if (inputAt >= inputEnd) {
        process->closeWriteChannel(); // once what it holds is written
        inputClosed = true;
        input = QByteArray();
    }
}

void ToolRun::gatherOutput() {
    output.append(process->readAllStandardOutput());
}

void ToolRun::stop() {
    if (!running)
        return;
    requestedEnding = ToolResult::Stopped;
    killTool();
}

void ToolRun::onErrorOccurred(QProcess::ProcessError error) {
    // Every other error is followed by finished(); a tool that never started is not.
    if (error != QProcess::FailedToStart || !running)
        return;
    ToolResult result;
    result.ending = ToolResult::FailedToStart;
    result.errorText = process->errorString();
    running = false;
    timeout.stop();
    input = QByteArray();
    // done() never comes from inside start(): the caller is still in the middle of its step.
    if (starting)
        QMetaObject::invokeMethod(
            this, [this, result] { emit done(result); }, Qt::QueuedConnection);
    else
        emit done(result);
}

void ToolRun::onFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    if (!running)
        return;
    // Whatever the tool left running in its group ends with it.
    killProcessGroup(processId);
    ToolResult::Ending ending = requestedEnding;
    if (ending == ToolResult::Finished && exitStatus != QProcess::NormalExit)
        ending = ToolResult::Crashed;
    gatherOutput();
    ToolResult result;
    result.ending = ending;
    result.exitCode = exitCode;
    result.output = std::move(output);
    output = QByteArray();
    result.standardError = QString::fromUtf8(process->readAllStandardError());
    running = false;
    timeout.stop();
    input = QByteArray();
    emit done(result);
}

void ToolRun::onTimeout() {
    if (!running)
        return;
    if (requestedEnding == ToolResult::TimedOut) {
        killTool(); // the grace period is over
        return;
    }
    qCDebug(lcPivotta) << "tool time is up, ending it" << process->program();
    requestedEnding = ToolResult::TimedOut;
    terminateProcessGroup(processId);
    process->terminate();
    timeout.start(terminationGraceMs);
}

void ToolRun::killTool() {
    killProcessGroup(processId);
    process->kill();
}
