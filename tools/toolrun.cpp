// Running an external tool asynchronously in its own process group.
#include "tools/toolrun.h"

#include "common/debuglog.h"
#include "tools/processgroup.h"
#include "tools/toolpipes.h"

namespace {
// A tool whose time is up gets this long to end by itself before it is killed.
constexpr int terminationGraceMs = 1000;
} // namespace

ToolRun::ToolRun(QObject *parent)
    : QObject(parent)
    , process(new QProcess) {
    timeout.setSingleShot(true);
    connect(process, &QProcess::errorOccurred, this, &ToolRun::onErrorOccurred);
    connect(process, &QProcess::finished, this, &ToolRun::onFinished);
    connect(&timeout, &QTimer::timeout, this, &ToolRun::onTimeout);
}

// A QProcess destroyed while its tool runs would wait for the tool to end. The tool and its group
// are killed instead, and the process object lets the tool go: it goes itself once the system has
// reported the tool's end, which also reaps the tool, so that no zombie stays behind. The pipes'
// thread ends with the tool's output.
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
                    const QByteArray &input) {
    start(program, arguments, timeoutMs, input, 0, input.size());
}

void ToolRun::start(const QString &program, const QStringList &arguments, int timeoutMs,
                    const QByteArray &input, qint64 offset, qint64 length) {
    qCDebug(lcPivotta) << program << arguments;
    result = ToolResult();
    processEnded = false;
    outputEnded = false;
    requestedEnding = ToolResult::Finished;
    delete pipes;
    pipes = new ToolPipes(this);
    connect(pipes, &ToolPipes::served, this, &ToolRun::onServed);
    running = true;
    if (pipes->prepare(*process)) {
        process->start(program, arguments, QIODevice::ReadWrite);
    } else {
        result.ending = ToolResult::FailedToStart;
        result.errorText = QStringLiteral("no pipes for the tool");
        processEnded = true;
    }
    // done() never comes from inside start(): the caller is still in the middle of its step. A
    // tool that did not start has its output end with the next turn of the event loop.
    const bool started = !processEnded;
    if (started) {
        processId = process->processId();
        timeout.start(timeoutMs);
    }
    pipes->serve(*process, started, input, offset, length);
}

void ToolRun::stop() {
    if (!running)
        return;
    requestedEnding = ToolResult::Stopped;
    killTool();
}

void ToolRun::onErrorOccurred(QProcess::ProcessError error) {
    // Every other error is followed by finished(); a tool that never started is not.
    if (error != QProcess::FailedToStart || !running || processEnded)
        return;
    result.ending = ToolResult::FailedToStart;
    result.errorText = process->errorString();
    processEnded = true;
    timeout.stop();
    finishWhenBothEnded();
}

void ToolRun::onFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    if (!running || processEnded)
        return;
    // Whatever the tool left running in its group ends with it, and its output with them.
    killProcessGroup(processId);
    ToolResult::Ending ending = requestedEnding;
    if (ending == ToolResult::Finished && exitStatus != QProcess::NormalExit)
        ending = ToolResult::Crashed;
    result.ending = ending;
    result.exitCode = exitCode;
    result.standardError = QString::fromUtf8(process->readAllStandardError());
    processEnded = true;
    timeout.stop();
    finishWhenBothEnded();
}

void ToolRun::onServed() {
    outputEnded = true;
    result.output = pipes->takeOutput();
    finishWhenBothEnded();
}

// done() comes once the tool has ended and its output has been gathered to its end.
void ToolRun::finishWhenBothEnded() {
    if (!running || !processEnded || !outputEnded)
        return;
    running = false;
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
