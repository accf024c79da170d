// Running an external tool asynchronously in its own process group.
#include "engine/toolrun.h"

#include "common/debuglog.h"
#include "engine/processgroup.h"

namespace {
// A tool whose time is up gets this long to end by itself before it is killed.
constexpr int terminationGraceMs = 1000;
} // namespace

ToolRun::ToolRun(QObject *parent)
    : QObject(parent)
    , process(new QProcess) {
    startInOwnProcessGroup(*process);
    timeout.setSingleShot(true);
    connect(process, &QProcess::errorOccurred, this, &ToolRun::onErrorOccurred);
    connect(process, &QProcess::finished, this, &ToolRun::onFinished);
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
    killTool();
    connect(process, &QProcess::stateChanged, process, [orphan = process](auto state) {
        if (state == QProcess::NotRunning)
            orphan->deleteLater();
    });
}

void ToolRun::start(const QString &program, const QStringList &arguments, int timeoutMs,
                    const QByteArray &input) {
    qCDebug(lcPivotta) << program << arguments;
    running = true;
    starting = true;
    requestedEnding = ToolResult::Finished;
    process->start(program, arguments, QIODevice::ReadWrite);
    starting = false;
    if (running) {
        processId = process->processId();
        timeout.start(timeoutMs);
        if (!input.isEmpty())
            process->write(input);
        process->closeWriteChannel();
    }
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
    ToolResult result;
    result.ending = ending;
    result.exitCode = exitCode;
    result.output = process->readAllStandardOutput();
    result.standardOutput = QString::fromUtf8(result.output);
    result.standardError = QString::fromUtf8(process->readAllStandardError());
    running = false;
    timeout.stop();
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
