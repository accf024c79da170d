// File times to the nanosecond: a photo's modification time is read before it is turned and set
// back exactly, with calls that take nanoseconds (futimens, utimensat; SetFileTime on Windows,
// untested, which keeps 100 ns steps). The access time stays as it was unless one is given.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "files/filestatus.h"

class HeldFolder;
struct FileProblem;

// An EXIF date ("2021:07:04 18:30:05") as the local time it means, with nanoseconds 0. Empty
// when the text is no such date.
std::optional<FileTime> fileTimeFromExifDate(const QString &exifDate);

// Sets the times of the open file `descriptor` (POSIX). `displayPath` names it in the problem.
bool setDescriptorFileTimes(int descriptor, const FileTime &modified,
                            const std::optional<FileTime> &accessed, const QString &displayPath,
                            FileProblem *problem);
// Sets the times of the entry `name` in `folder`, a symbolic link not followed.
bool setFileTimesAt(const HeldFolder &folder, const QByteArray &name, const FileTime &modified,
                    const std::optional<FileTime> &accessed, FileProblem *problem);
