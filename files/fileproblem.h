// A file operation that failed: what kind of failure, the file or folder it concerns (as the user
// reads its path) and the reason in words. Every opening, listing, reading and writing of this
// layer reports its failures this way instead of skipping silently.
#pragma once

#include <QString>

struct FileProblem {
    enum class Kind {
        None,
        NotFound,
        NoPermission,
        SymbolicLink,   // a symbolic link where a file or folder was expected; not followed
        NotRegularFile, // a FIFO, device or socket where a photo was expected; never opened
        NotFolder,
        Replaced,   // another file or folder now has the name than the one listed or held
        FolderLoop, // a folder that is one of its own parents (a bind mount)
        Protected,  // append-only or immutable
        InUse,      // another process holds it with a lease of its own; not waited for
        OutOfDescriptors,
        DiskFull,
        Other,
    };

    Kind kind = Kind::None;
    QString path;   // for the user to read; never opened by path
    QString reason; // plain text
    int systemError = 0;

    bool isProblem() const { return kind != Kind::None; }
    // "path: reason"
    QString text() const;
};

// The problem the system's error number `error` means for `path`.
FileProblem problemFromSystemError(int error, const QString &path);
// The same for the error left in errno by the last system call.
FileProblem problemFromErrno(const QString &path);
FileProblem problemOf(FileProblem::Kind kind, const QString &path, const QString &reason);

// Fills `*out` when the caller asked for it; returns false, so that a failing function can end
// with `return reportProblem(problem, out);`.
bool reportProblem(const FileProblem &problem, FileProblem *out);
