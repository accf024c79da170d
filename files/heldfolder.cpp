// Held folders: opening, listing and looking at entries through descriptors (POSIX), or through
// paths (Windows, untested).
#include "files/heldfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "files/fileproblem.h"

#ifndef Q_OS_WIN
#include "files/posixfiles.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("HeldFolder", text);
}

std::shared_ptr<const FolderPlace> childPlace(const std::shared_ptr<const FolderPlace> &parent,
                                              const QByteArray &name, const FileKey &key) {
    auto place = std::make_shared<FolderPlace>();
    place->parent = parent;
    place->name = name;
    place->key = key;
    place->nativePath = parent->nativePath + '/' + name;
    place->displayPath = parent->displayPath + '/' + displayNameOf(name);
    place->depth = parent->depth + 1;
    return place;
}

// The folder above, as a root place.
std::shared_ptr<FolderPlace> abovePlace(const FolderPlace &place, const FileKey &key) {
    auto above = std::make_shared<FolderPlace>();
    const qsizetype slash = place.nativePath.lastIndexOf('/');
    above->nativePath = slash > 0 ? place.nativePath.left(slash) : QByteArray("/");
    above->displayPath = displayNameOf(above->nativePath);
    above->key = key;
    return above;
}

FileProblem replacedProblem(const QString &path) {
    return problemOf(FileProblem::Kind::Replaced, path,
                     tr("it is no longer the folder that was listed there"));
}

FileProblem loopProblem(const QString &path) {
    return problemOf(FileProblem::Kind::FolderLoop, path,
                     tr("it is one of its own parent folders; not entered again"));
}

#ifndef Q_OS_WIN
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Why a subfolder could not be opened. A symbolic link fails with O_DIRECTORY | O_NOFOLLOW as
// "not a folder" (or, on some systems, as a loop): it is named for what it is.
FileProblem subfolderOpenProblem(int error, int parent, const QByteArray &name,
                                 const QString &path) {
    FileStatus status;
    if ((error == ENOTDIR || error == ELOOP) && statusAt(parent, name, &status) &&
        status.type == FileStatus::Type::SymbolicLink)
        return problemFromSystemError(ELOOP, path);
    return problemFromSystemError(error, path);
}

// The real path of an open folder, for text only.
QByteArray realPathOf(int descriptor, const QString &givenPath) {
#ifdef Q_OS_LINUX
    QByteArray buffer(4096, '\0');
    const ssize_t length =
        ::readlink(ownDescriptorPath(descriptor).constData(), buffer.data(), size_t(buffer.size()));
    if (length > 0 && length < buffer.size() && buffer.startsWith('/'))
        return buffer.left(int(length));
#else
    Q_UNUSED(descriptor)
#endif
    const QString canonical = QFileInfo(givenPath).canonicalFilePath();
    return QFile::encodeName(canonical.isEmpty() ? QFileInfo(givenPath).absoluteFilePath()
                                                 : canonical);
}

bool typeOfEntry(int folder, const struct dirent *entry, FolderEntry *listed) {
    switch (entry->d_type) {
    case DT_REG:
        listed->type = FileStatus::Type::RegularFile;
        return true;
    case DT_DIR:
        listed->type = FileStatus::Type::Folder;
        return true;
    case DT_LNK:
        listed->type = FileStatus::Type::SymbolicLink;
        return true;
    case DT_UNKNOWN:
        break; // the file system does not say: ask the entry itself
    default:
        listed->type = FileStatus::Type::Other;
        return true;
    }
    FileStatus status;
    if (!statusAt(folder, listed->name, &status))
        return false;
    listed->type = status.type;
    return true;
}
#endif
} // namespace

bool FolderPlace::isOrIsWithin(const FileKey &folder) const {
    for (const FolderPlace *place = this; place; place = place->parent.get()) {
        if (place->key == folder)
            return true;
    }
    return false;
}

QString displayNameOf(const QByteArray &nativeName) {
#ifdef Q_OS_WIN
    return QString::fromUtf8(nativeName);
#else
    return QFile::decodeName(nativeName);
#endif
}

HeldFolder::HeldFolder(Descriptor descriptor, std::shared_ptr<const FolderPlace> place)
    : fd(std::move(descriptor))
    , folderPlace(std::move(place)) {}

HeldFolder::~HeldFolder() = default;

QString HeldFolder::displayPathOf(const QByteArray &name) const {
    return folderPlace->displayPath + '/' + displayNameOf(name);
}

QByteArray HeldFolder::nativePathOf(const QByteArray &name) const {
    return folderPlace->nativePath + '/' + name;
}

#ifndef Q_OS_WIN

std::shared_ptr<HeldFolder> HeldFolder::openRoot(const QString &path, FileProblem *problem) {
    const QString shown = QDir::cleanPath(path);
    Descriptor descriptor(openAt(AT_FDCWD, QFile::encodeName(path), folderFlags));
    FileStatus status;
    if (!descriptor.isValid() || !statusOfDescriptor(descriptor.get(), &status)) {
        reportProblem(problemFromErrno(shown), problem);
        return nullptr;
    }
    auto place = std::make_shared<FolderPlace>();
    place->key = status.key;
    place->nativePath = realPathOf(descriptor.get(), path);
    place->displayPath = shown;
    return std::shared_ptr<HeldFolder>(new HeldFolder(std::move(descriptor), std::move(place)));
}

std::shared_ptr<HeldFolder>
HeldFolder::openSubfolder(const HeldFolder &parent, const QByteArray &name, FileProblem *problem) {
    const QString shown = parent.displayPathOf(name);
    Descriptor descriptor(openAt(parent.descriptor(), name, folderFlags | O_NOFOLLOW));
    FileStatus status;
    if (!descriptor.isValid()) {
        reportProblem(subfolderOpenProblem(errno, parent.descriptor(), name, shown), problem);
        return nullptr;
    }
    if (!statusOfDescriptor(descriptor.get(), &status)) {
        reportProblem(problemFromErrno(shown), problem);
        return nullptr;
    }
    if (parent.place()->isOrIsWithin(status.key)) {
        reportProblem(loopProblem(shown), problem);
        return nullptr;
    }
    return std::shared_ptr<HeldFolder>(
        new HeldFolder(std::move(descriptor), childPlace(parent.place(), name, status.key)));
}

std::shared_ptr<HeldFolder> HeldFolder::reopen(const HeldFolder &parent,
                                               const std::shared_ptr<const FolderPlace> &place,
                                               FileProblem *problem) {
    Descriptor descriptor(openAt(parent.descriptor(), place->name, folderFlags | O_NOFOLLOW));
    FileStatus status;
    if (!descriptor.isValid()) {
        reportProblem(
            subfolderOpenProblem(errno, parent.descriptor(), place->name, place->displayPath),
            problem);
        return nullptr;
    }
    if (!statusOfDescriptor(descriptor.get(), &status)) {
        reportProblem(problemFromErrno(place->displayPath), problem);
        return nullptr;
    }
    if (status.key != place->key) {
        reportProblem(replacedProblem(place->displayPath), problem);
        return nullptr;
    }
    return std::shared_ptr<HeldFolder>(new HeldFolder(std::move(descriptor), place));
}

std::shared_ptr<HeldFolder> HeldFolder::openAbove(const HeldFolder &folder, FileProblem *problem) {
    Descriptor descriptor(openAt(folder.descriptor(), "..", folderFlags));
    FileStatus status;
    if (!descriptor.isValid() || !statusOfDescriptor(descriptor.get(), &status)) {
        reportProblem(problemFromErrno(folder.displayPath() + "/.."), problem);
        return nullptr;
    }
    return std::shared_ptr<HeldFolder>(
        new HeldFolder(std::move(descriptor), abovePlace(*folder.place(), status.key)));
}

bool HeldFolder::list(QList<FolderEntry> *entries, QList<FileProblem> *problems) const {
    entries->clear();
    // A descriptor of its own, so that the listing starts at the beginning and the held one
    // keeps its state; the stream closes it.
    const int listing = openAt(descriptor(), ".", folderFlags);
    DIR *stream = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!stream) {
        problems->append(problemFromErrno(displayPath()));
        if (listing >= 0)
            ::close(listing);
        return false;
    }
    bool complete = true;
    for (;;) {
        errno = 0;
        const struct dirent *entry = ::readdir(stream);
        if (!entry) {
            if (errno != 0) {
                problems->append(problemFromErrno(displayPath()));
                complete = false;
            }
            break;
        }
        FolderEntry listed;
        listed.name = QByteArray(entry->d_name);
        if (listed.name == "." || listed.name == "..")
            continue;
        listed.displayName = displayNameOf(listed.name);
        if (!typeOfEntry(descriptor(), entry, &listed)) {
            if (errno != ENOENT) // gone since it was listed: nothing to say about it
                problems->append(problemFromErrno(displayPathOf(listed.name)));
            continue;
        }
        entries->append(listed);
    }
    ::closedir(stream);
    std::sort(entries->begin(), entries->end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    return complete;
}

bool HeldFolder::statusOf(const QByteArray &name, FileStatus *status, FileProblem *problem) const {
    if (statusAt(descriptor(), name, status))
        return true;
    return reportProblem(problemFromErrno(displayPathOf(name)), problem);
}

bool HeldFolder::status(FileStatus *status, FileProblem *problem) const {
    if (statusOfDescriptor(descriptor(), status))
        return true;
    return reportProblem(problemFromErrno(displayPath()), problem);
}

Protection HeldFolder::protection() const {
    return protectionOf(descriptor());
}

bool HeldFolder::flush(FileProblem *problem) const {
    if (::fsync(descriptor()) == 0 || errno == EINVAL) // EINVAL: a folder that cannot be flushed
        return true;
    return reportProblem(problemFromErrno(displayPath()), problem);
}

QString HeldFolder::toolPathOf(const QByteArray &name) const {
#ifdef Q_OS_LINUX
    return QFile::decodeName(processDescriptorPath(descriptor()) + '/' + name);
#else
    return QFile::decodeName(nativePathOf(name));
#endif
}

#else // Q_OS_WIN: paths, untested

namespace {
QString windowsPath(const QByteArray &nativePath) {
    return QString::fromUtf8(nativePath);
}

FileKey pathKey(const QString &path) {
    // No inode to compare: the path stands for the folder.
    return {0, quint64(qHash(QFileInfo(path).absoluteFilePath().toLower()))};
}

FileStatus statusFromInfo(const QFileInfo &info) {
    FileStatus status;
    status.key = pathKey(info.absoluteFilePath());
    status.type = info.isSymLink() || info.isJunction() ? FileStatus::Type::SymbolicLink
                  : info.isDir() ? FileStatus::Type::Folder
                  : info.isFile() ? FileStatus::Type::RegularFile
                                  : FileStatus::Type::Other;
    status.size = info.size();
    status.modified = FileTime::fromDateTime(info.lastModified());
    status.changed = FileTime::fromDateTime(info.metadataChangeTime());
    status.accessed = FileTime::fromDateTime(info.lastRead());
    status.links = 1;
    return status;
}

FileProblem missingProblem(const QString &path) {
    return problemOf(FileProblem::Kind::NotFound, path, tr("there is no such folder"));
}
} // namespace

std::shared_ptr<HeldFolder> HeldFolder::openRoot(const QString &path, FileProblem *problem) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        reportProblem(missingProblem(QDir::cleanPath(path)), problem);
        return nullptr;
    }
    auto place = std::make_shared<FolderPlace>();
    place->nativePath = info.absoluteFilePath().toUtf8();
    place->key = pathKey(info.absoluteFilePath());
    place->displayPath = QDir::cleanPath(path);
    return std::shared_ptr<HeldFolder>(new HeldFolder(Descriptor(), std::move(place)));
}

std::shared_ptr<HeldFolder>
HeldFolder::openSubfolder(const HeldFolder &parent, const QByteArray &name, FileProblem *problem) {
    const QFileInfo info(windowsPath(parent.nativePathOf(name)));
    if (info.isSymLink() || info.isJunction()) {
        reportProblem(problemOf(FileProblem::Kind::SymbolicLink, parent.displayPathOf(name),
                                tr("it is a symbolic link, which is not followed")),
                      problem);
        return nullptr;
    }
    if (!info.isDir()) {
        reportProblem(missingProblem(parent.displayPathOf(name)), problem);
        return nullptr;
    }
    return std::shared_ptr<HeldFolder>(new HeldFolder(
        Descriptor(), childPlace(parent.place(), name, pathKey(info.absoluteFilePath()))));
}

std::shared_ptr<HeldFolder> HeldFolder::reopen(const HeldFolder &parent,
                                               const std::shared_ptr<const FolderPlace> &place,
                                               FileProblem *problem) {
    std::shared_ptr<HeldFolder> folder = openSubfolder(parent, place->name, problem);
    if (!folder)
        return nullptr;
    return std::shared_ptr<HeldFolder>(new HeldFolder(Descriptor(), place));
}

std::shared_ptr<HeldFolder> HeldFolder::openAbove(const HeldFolder &folder, FileProblem *problem) {
    const QFileInfo above(QString::fromUtf8(folder.place()->nativePath) + "/..");
    if (!above.isDir()) {
        reportProblem(missingProblem(folder.displayPath() + "/.."), problem);
        return nullptr;
    }
    return std::shared_ptr<HeldFolder>(new HeldFolder(
        Descriptor(), abovePlace(*folder.place(), pathKey(above.absoluteFilePath()))));
}

bool HeldFolder::list(QList<FolderEntry> *entries, QList<FileProblem> *problems) const {
    entries->clear();
    const QDir folder(windowsPath(folderPlace->nativePath));
    if (!folder.exists()) {
        problems->append(missingProblem(displayPath()));
        return false;
    }
    const QFileInfoList infos =
        folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : infos) {
        FolderEntry entry;
        entry.name = info.fileName().toUtf8();
        entry.displayName = info.fileName();
        entry.type = statusFromInfo(info).type;
        entries->append(entry);
    }
    std::sort(entries->begin(), entries->end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    return true;
}

bool HeldFolder::statusOf(const QByteArray &name, FileStatus *status, FileProblem *problem) const {
    const QFileInfo info(windowsPath(nativePathOf(name)));
    if (!info.exists() && !info.isSymLink())
        return reportProblem(missingProblem(displayPathOf(name)), problem);
    *status = statusFromInfo(info);
    return true;
}

bool HeldFolder::status(FileStatus *status, FileProblem *problem) const {
    const QFileInfo info(windowsPath(folderPlace->nativePath));
    if (!info.isDir())
        return reportProblem(missingProblem(displayPath()), problem);
    *status = statusFromInfo(info);
    return true;
}

Protection HeldFolder::protection() const {
    return Protection::None;
}

bool HeldFolder::flush(FileProblem *problem) const {
    Q_UNUSED(problem)
    return true; // NTFS journals its renames itself
}

QString HeldFolder::toolPathOf(const QByteArray &name) const {
    return QDir::toNativeSeparators(windowsPath(nativePathOf(name)));
}

#endif
