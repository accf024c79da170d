// Writing stand-in tool scripts and watching what they leave running.
#include "standintools.h"

#include <QDir>
#include <QFile>

#include "tools/toolcommands.h"

namespace StandInTools {

const QString realJpegtran = "exec /usr/bin/jpegtran \"$@\"\n";
const QString realExiv2 = "exec /usr/bin/exiv2 \"$@\"\n";

ToolFolder::ToolFolder(const QString &parentFolder)
    : folder(parentFolder + "/tools-XXXXXX") {
    qputenv(toolsDirEnvironmentVariable, QFile::encodeName(folder.path()));
}

ToolFolder::~ToolFolder() {
    qunsetenv(toolsDirEnvironmentVariable);
}

bool ToolFolder::write(const QString &toolName, const QString &body) {
    if (body.isEmpty())
        return true;
    QFile script(folder.filePath(toolName));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write(("#!/bin/sh\n" + body).toUtf8());
    script.close();
    return script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                 QFileDevice::ExeOwner);
}

bool processRunning(qint64 processId) {
    // The third field of /proc/PID/stat is the state; Z is a zombie. The command name before it
    // is in parentheses and may hold blanks.
    QFile stat(QString("/proc/%1/stat").arg(processId));
    if (processId <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int afterName = line.lastIndexOf(')');
    return afterName >= 0 && line.mid(afterName + 2, 1) != "Z";
}

} // namespace StandInTools
