// A tool's standard input and output, served on a thread of their own: the input written from
// the caller's bytes as the tool takes them, the output gathered as it comes, with blocking calls
// that never touch the event loop. A turned photo of hundreds of megabytes thus costs the program
// its bytes and the tool's output, no further copy, and no wake-up of the GUI thread for each
// piece the tool reads or writes.
//
// POSIX: pipes the tool gets as its descriptors 0 and 1. Windows (untested): QProcess's own
// channels, written and read from the GUI thread.
#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

class QProcess;
struct PipeTransfer;

class ToolPipes : public QObject {
    Q_OBJECT

public:
    explicit ToolPipes(QObject *parent = nullptr);
    // The serving thread, if still at work, ends by itself once the tool's end closes the pipes.
    ~ToolPipes() override;

    // Before the tool starts: makes the pipes and has `process` start with them, as the leader of
    // a process group of its own. False when no pipe can be made.
    bool prepare(QProcess &process);
    // Once the tool started: feeds it `length` bytes of `input` from `offset` and gathers its
    // output; served() follows. Once it could not start: served() follows at once.
    void serve(QProcess &process, bool started, const QByteArray &input, qint64 offset,
               qint64 length);
    // The output gathered; valid after served().
    QByteArray takeOutput();

signals:
    // The tool closed its output (it ended), or the serving was given up.
    void served();

private:
    std::shared_ptr<PipeTransfer> transfer;
};
