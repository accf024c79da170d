// One run of an external tool, without blocking: start() returns at once and done() reports
// the end exactly once, whatever the end was (finished, crashed, never started, timed out,
// stopped). The tool runs in a process group of its own, and the whole group is killed when the
// run ends, so that nothing the tool started goes on writing afterwards. Nothing here ever waits
// for the tool, not even the destructor.
//
// The tool's standard input is fed from the caller's bytes a piece at a time, as the tool takes
// them, and its standard output is gathered as it comes: a photo of hundreds of megabytes costs
// the program its bytes and the tool's output, never a further copy of either.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "engine/toolresult.h"

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
    void feedInput();
    void gatherOutput();
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onTimeout();
    void killTool();

    QProcess *process; // owned; outlives this object while a killed tool is being reaped
    QTimer timeout;
    QByteArray input; // shares the caller's bytes
    qint64 inputAt = 0;
    qint64 inputEnd = 0;
    bool inputClosed = false;
    QByteArray output;
    qint64 processId = 0;
    bool running = false;
    bool starting = false;
    ToolResult::Ending requestedEnding = ToolResult::Finished; // set by a timeout or stop()
};
