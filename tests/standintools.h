// Stand-in jpegtran and exiv2 scripts, picked up through PIVOTTA_TOOLS_DIR, for the faults the
// real tools cannot be made to show: crashes, hangs, slow runs, tools that start children of
// their own.
#pragma once

#include <QString>
#include <QTemporaryDir>

namespace StandInTools {

// Script bodies that hand over to the real tools.
extern const QString realJpegtran;
extern const QString realExiv2;

// A folder of stand-in tools, used by the engine for as long as it exists.
class ToolFolder {
public:
    // A new folder inside `parentFolder`.
    explicit ToolFolder(const QString &parentFolder);
    ~ToolFolder();
    ToolFolder(const ToolFolder &) = delete;
    ToolFolder &operator=(const ToolFolder &) = delete;

    bool isValid() const { return folder.isValid(); }
    QString path() const { return folder.path(); }
    // Writes the tool as a shell script running `body`. jpegtran is given each picture on its
    // standard input and writes the turned one to its standard output; exiv2 is given a path. An
    // empty body leaves the tool missing.
    bool write(const QString &toolName, const QString &body);

private:
    QTemporaryDir folder;
};

// Whether the process is still running (a process that ended but was not yet reaped is not).
bool processRunning(qint64 processId);

} // namespace StandInTools
