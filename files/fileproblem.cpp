// The problems file operations report, and the words for the system's error numbers.
#include "files/fileproblem.h"

#include <QCoreApplication>

#include <cerrno>
#include <system_error>

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("FileProblem", text);
}

FileProblem::Kind kindOf(int error) {
    switch (error) {
    case ENOENT:
        return FileProblem::Kind::NotFound;
    case EACCES:
    case EPERM:
        return FileProblem::Kind::NoPermission;
    case ELOOP:
        return FileProblem::Kind::SymbolicLink;
    case ENOTDIR:
        return FileProblem::Kind::NotFolder;
    case EMFILE:
    case ENFILE:
        return FileProblem::Kind::OutOfDescriptors;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileProblem::Kind::DiskFull;
    default:
        return FileProblem::Kind::Other;
    }
}

QString reasonOf(int error) {
    switch (error) {
    case ELOOP:
        return tr("it is a symbolic link, which is not followed");
    case EMFILE:
    case ENFILE:
        return tr("too many files are open at once (%1)")
            .arg(QString::fromStdString(std::generic_category().message(error)));
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return tr("the disk is full (%1)")
            .arg(QString::fromStdString(std::generic_category().message(error)));
    default:
        // The generic category's words are the system's own (strerror), and safe in any thread.
        return QString::fromStdString(std::generic_category().message(error));
    }
}
} // namespace

QString FileProblem::text() const {
    return path.isEmpty() ? reason : path + ": " + reason;
}

FileProblem problemFromSystemError(int error, const QString &path) {
    FileProblem problem;
    problem.kind = kindOf(error);
    problem.path = path;
    problem.reason = reasonOf(error);
    problem.systemError = error;
    return problem;
}

FileProblem problemFromErrno(const QString &path) {
    return problemFromSystemError(errno, path);
}

FileProblem problemOf(FileProblem::Kind kind, const QString &path, const QString &reason) {
    FileProblem problem;
    problem.kind = kind;
    problem.path = path;
    problem.reason = reason;
    return problem;
}

bool reportProblem(const FileProblem &problem, FileProblem *out) {
    if (out)
        *out = problem;
    return false;
}
