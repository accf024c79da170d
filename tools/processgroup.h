// Tools run in a process group of their own, so that stopping a tool also stops whatever it
// started. Qt has no way to do this; these small functions hold the platform calls.
#pragma once

#include <QtGlobal>

class QProcess;

// Makes the process start as the leader of a new process group (set before start()). Setting the
// group from the parent after start() would race the child's exec. Descriptors given (POSIX)
// become its standard input and output. On Linux a process started from the main thread is also
// killed when Pivotta ends, however it ends; what the tool itself started sees its pipes close.
void startInOwnProcessGroup(QProcess &process, int standardInput = -1, int standardOutput = -1);

// Ends at once the process group led by `processId`: the tool and every process it started that
// is still in its group. Harmless when the group is gone. On Windows only the tool itself ends
// (jpegtran and exiv2 start no processes of their own there).
void killProcessGroup(qint64 processId);

// Asks the process group to end (SIGTERM), leaving time to clean up before killProcessGroup.
void terminateProcessGroup(qint64 processId);
