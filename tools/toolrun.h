// One run of an external tool, without blocking: start() returns at once and done() reports
// the end exactly once, whatever the end was (finished, crashed, never started, timed out,
// stopped). The tool runs in a process group of its own, and the whole group is killed when the
// run ends, so that nothing the tool started goes on writing afterwards. Nothing here ever waits
// for the tool, not even the destructor. Its standard input and output are served off the GUI
// thread (toolpipes.h).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "tools/toolresult.h"

class ToolPipes;

class ToolRun : public QObject {
    Q_OBJECT

public:
    explicit ToolRun(QObject *parent = nullptr);
    ~ToolRun() override;

    // Starts the tool, with `input` on its standard input. After `timeoutMs` it is asked to end
    // and, a moment later, killed.
    void start(const QString &program, const QStringList &arguments, int timeoutMs,
               const QByteArray &input = QByteArray());
    // The same with `length` bytes of `input` from `offset` on its standard input.
    void start(const QString &program, const QStringList &arguments, int timeoutMs,
               const QByteArray &input, qint64 offset, qint64 length);
    // Kills the tool and its group now; done() follows with Stopped.
    void stop();
    bool isRunning() const { return running; }

signals:
    void done(const ToolResult &result);

private:
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onServed();
    void finishWhenBothEnded();
    void onTimeout();
    void killTool();

    QProcess *process; // owned; outlives this object while a killed tool is being reaped
    ToolPipes *pipes = nullptr;
    QTimer timeout;
    ToolResult result; // filled as the tool's end and its output's end come in
    qint64 processId = 0;
    bool running = false; // from start() until done()
    bool processEnded = false;
    bool outputEnded = false;
    ToolResult::Ending requestedEnding = ToolResult::Finished; // set by a timeout or stop()
};
