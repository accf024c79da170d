// What a file is and how it stands, as the system says it: the key that tells one file from
// another, its times to the nanosecond, its size, mode, owner and names. Plain values, compared
// by the checks that notice a file changed or was replaced.
#pragma once

#include <QDateTime>
#include <QtGlobal>

// Device and inode: the same key is the same file, whatever its names.
struct FileKey {
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileKey &other) const {
        return device == other.device && inode == other.inode;
    }
    bool operator!=(const FileKey &other) const { return !(*this == other); }
};

// A file time as the file system keeps it: seconds since the epoch and nanoseconds.
struct FileTime {
    qint64 seconds = 0;
    qint32 nanoseconds = 0;

    bool operator==(const FileTime &other) const {
        return seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
    bool operator!=(const FileTime &other) const { return !(*this == other); }
    bool operator<(const FileTime &other) const {
        return seconds < other.seconds ||
               (seconds == other.seconds && nanoseconds < other.nanoseconds);
    }

    // Milliseconds from `earlier` to this time (negative when this one is earlier).
    qint64 msecsSince(const FileTime &earlier) const;

    // For showing: local time, to the millisecond.
    QDateTime toDateTime() const;
    // The time of `dateTime`, to the millisecond.
    static FileTime fromDateTime(const QDateTime &dateTime);
    // The system clock now, to the nanosecond where the system has it.
    static FileTime now();
};

struct FileStatus {
    enum class Type { RegularFile, Folder, SymbolicLink, Other };

    FileKey key;
    Type type = Type::Other;
    qint64 size = 0;
    FileTime modified;
    FileTime changed; // any change to the data or the attributes moves it; nobody can set it
    FileTime accessed;
    uint mode = 0; // permission bits with set-id and sticky bits (07777)
    uint owner = 0;
    uint group = 0;
    quint64 links = 0;

    bool isRegularFile() const { return type == Type::RegularFile; }
    bool isFolder() const { return type == Type::Folder; }
};

// Flags that stop a file or folder from being replaced or emptied, as chattr sets them: in an
// append-only folder files can be made but never removed or renamed; an append-only or immutable
// file cannot be replaced.
enum class Protection { None, AppendOnly, Immutable };

// Whether two looks at a file found the same file with the same content: key, size,
// modification and change time. A write moves the times; a write that sets the modification time
// back still moves the change time.
bool sameFileUnchanged(const FileStatus &before, const FileStatus &now);
