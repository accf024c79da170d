// The POSIX calls the held files share, behind small functions that retry an interrupted call
// and fill a FileStatus. Only the POSIX side of this layer includes this header.
#pragma once

#include <QtGlobal>

#ifndef Q_OS_WIN

#include <QByteArray>
#include <QString>

#include "files/filestatus.h"

// Each returns false (or -1) with errno set when the call fails.
bool statusOfDescriptor(int descriptor, FileStatus *status);
// The entry `name` in `folder` itself: a symbolic link is not followed.
bool statusAt(int folder, const QByteArray &name, FileStatus *status);
int openAt(int folder, const QByteArray &name, int flags, uint mode = 0);
bool writeAllAt(int descriptor, qint64 offset, const char *data, qint64 length);
// Reads up to `length` bytes at `offset`: the count read (short only at the end), or -1.
qint64 readAllAt(int descriptor, qint64 offset, char *into, qint64 length);

// Append-only or immutable (Linux; None elsewhere and where the file system has no such flags).
Protection protectionOf(int descriptor);

// "/proc/self/fd/N": the open file itself, for calls that take a path (Linux).
QByteArray ownDescriptorPath(int descriptor);
// "/proc/<pid>/fd/N": the same path as another process (a tool) must give it.
QByteArray processDescriptorPath(int descriptor);

#endif
