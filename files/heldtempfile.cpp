// Temporary files in a held folder, the replacement of a photo by one, and the removal of stale
// ones: descriptors, flock and renameat (POSIX), or paths and ReplaceFileW (Windows, untested).
#include "files/heldtempfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>

#include "files/filetimes.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <system_error>
#include <windows.h>
#else
#include "files/posixfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif
#ifdef Q_OS_LINUX
#include <algorithm>
#include <sys/xattr.h>
#endif

namespace {
constexpr int keptNameLength = 64;
constexpr int creationAttempts = 3;

QString tr(const char *text) {
    return QCoreApplication::translate("HeldTempFile", text);
}

FileProblem protectedProblem(const QString &path, const QString &reason) {
    return problemOf(FileProblem::Kind::Protected, path, reason);
}
} // namespace

QByteArray tempNameFor(const QByteArray &photoName) {
    QString kept = displayNameOf(photoName).left(keptNameLength);
    if (!kept.isEmpty() && kept.back().isHighSurrogate())
        kept.chop(1);
    const QByteArray uuid = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    return '.' + kept.toUtf8() + ".pivotta-" + uuid + ".tmp";
}

bool isTempName(const QByteArray &name) {
    static const QRegularExpression pattern(
        "\\A\\..+\\.pivotta-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.tmp\\z",
        QRegularExpression::DotMatchesEverythingOption); // photo names may hold line breaks
    return pattern.match(displayNameOf(name)).hasMatch();
}

FileProblem replacementBlocker(const HeldPhoto &photo) {
    const HeldFolder &folder = *photo.folder();
    switch (folder.protection()) {
    case Protection::AppendOnly:
        return protectedProblem(folder.displayPath(),
                                tr("the folder is append-only: a rotated file could be made there "
                                   "but never put in the photo's place or removed"));
    case Protection::Immutable:
        return protectedProblem(folder.displayPath(),
                                tr("the folder is immutable: nothing in it can be replaced"));
    case Protection::None:
        break;
    }
    switch (photo.protection()) {
    case Protection::AppendOnly:
        return protectedProblem(photo.displayPath(),
                                tr("the photo is append-only: it cannot be replaced"));
    case Protection::Immutable:
        return protectedProblem(photo.displayPath(),
                                tr("the photo is immutable: it cannot be replaced"));
    case Protection::None:
        break;
    }
    return {};
}

HeldTempFile::HeldTempFile(std::shared_ptr<HeldFolder> folder, const QByteArray &name)
    : heldFolder(std::move(folder))
    , fileName(name) {}

std::unique_ptr<HeldTempFile> HeldTempFile::create(std::shared_ptr<HeldFolder> folder,
                                                   const QByteArray &photoName,
                                                   FileProblem *problem) {
    for (int attempt = 0; attempt < creationAttempts; ++attempt) {
        std::unique_ptr<HeldTempFile> temp(new HeldTempFile(folder, tempNameFor(photoName)));
        FileProblem failure;
        if (temp->create(&failure))
            return temp;
        temp->gone = true; // nothing of ours to remove
        if (failure.isProblem()) {
            reportProblem(failure, problem);
            return nullptr;
        }
    }
    reportProblem(problemOf(FileProblem::Kind::Other, folder->displayPath(),
                            tr("no temporary file could be made and held there")),
                  problem);
    return nullptr;
}

QString HeldTempFile::displayPath() const {
    return heldFolder->displayPathOf(fileName);
}

QString HeldTempFile::toolPath() const {
    return heldFolder->toolPathOf(fileName);
}

HeldTempFile::Outcome HeldTempFile::replace(HeldPhoto &photo, FileProblem *problem) {
    if (photo.folder()->key() != heldFolder->key()) {
        reportProblem(problemOf(FileProblem::Kind::Other, displayPath(),
                                tr("the temporary file is not in the photo's folder")),
                      problem);
        return Outcome::Failed;
    }
    if (photo.placement(problem) != HeldPhoto::Placement::InPlace)
        return Outcome::PhotoChanged;
    const Outcome carried = carryIdentityOf(photo, problem);
    if (carried != Outcome::Replaced)
        return carried;
    if (!flush(problem))
        return Outcome::Failed;
    // Checked again as late as possible: an edit made while the new version was being finished
    // must survive. What happens between this check and the rename cannot be seen.
    if (photo.placement(problem) != HeldPhoto::Placement::InPlace)
        return Outcome::PhotoChanged;
    if (!renameOver(photo, problem))
        return Outcome::Failed;
    heldFolder->flush(nullptr);
    return Outcome::Replaced;
}

#ifndef Q_OS_WIN

namespace {
// Whether `name` in `folder` still names the file open as `descriptor`: a cleanup may have
// removed the name between the creation and the lock.
bool nameNamesDescriptor(int folder, const QByteArray &name, int descriptor) {
    FileStatus opened, named;
    return statusOfDescriptor(descriptor, &opened) && statusAt(folder, name, &named) &&
           opened.isRegularFile() && opened.key == named.key;
}

bool lockWithoutWaiting(int descriptor) {
    int result;
    do {
        result = ::flock(descriptor, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

QString ownerAndGroupText(uint owner, uint group) {
    QString ownerName = QString::number(owner);
    QString groupName = QString::number(group);
    std::vector<char> buffer(16384);
    struct passwd user;
    struct passwd *foundUser = nullptr;
    if (::getpwuid_r(owner, &user, buffer.data(), buffer.size(), &foundUser) == 0 && foundUser)
        ownerName = QString::fromLocal8Bit(foundUser->pw_name);
    struct group entry;
    struct group *foundGroup = nullptr;
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &foundGroup) == 0 && foundGroup)
        groupName = QString::fromLocal8Bit(foundGroup->gr_name);
    return ownerName + ":" + groupName;
}

#ifdef Q_OS_LINUX
std::vector<QByteArray> attributeNames(int descriptor) {
    const ssize_t size = ::flistxattr(descriptor, nullptr, 0);
    if (size <= 0)
        return {};
    QByteArray list(int(size), '\0');
    const ssize_t read = ::flistxattr(descriptor, list.data(), size_t(list.size()));
    std::vector<QByteArray> names;
    for (const QByteArray &name : list.left(int(qMax<ssize_t>(read, 0))).split('\0')) {
        if (!name.isEmpty())
            names.push_back(name);
    }
    return names;
}

bool attributeValue(int descriptor, const QByteArray &name, QByteArray *value) {
    const ssize_t size = ::fgetxattr(descriptor, name.constData(), nullptr, 0);
    if (size < 0)
        return false;
    value->resize(int(size));
    return ::fgetxattr(descriptor, name.constData(), value->data(), size_t(size)) == size;
}

// Labels the system gives each file itself (SELinux, capabilities): left as the new file got
// them, neither copied nor removed.
bool isSystemLabel(const QByteArray &name) {
    return name.startsWith("security.");
}

// The user's attributes and the access lists (system.posix_acl_*) of `from`, and no others.
bool copyAttributes(int from, int to, const QString &path, FileProblem *problem) {
    const std::vector<QByteArray> wanted = attributeNames(from);
    for (const QByteArray &name : attributeNames(to)) {
        // A new file may have got an access list from its folder's default one.
        if (!isSystemLabel(name) && std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
            ::fremovexattr(to, name.constData()) != 0)
            return reportProblem(problemFromErrno(path), problem);
    }
    for (const QByteArray &name : wanted) {
        QByteArray value, present;
        if (!attributeValue(from, name, &value))
            return reportProblem(problemFromErrno(path), problem);
        if (isSystemLabel(name) && attributeValue(to, name, &present) && present == value)
            continue;
        if (::fsetxattr(to, name.constData(), value.constData(), size_t(value.size()), 0) != 0) {
            FileProblem failure = problemFromErrno(path);
            failure.reason = tr("the attribute %1 could not be kept: %2")
                                 .arg(QString::fromLatin1(name), failure.reason);
            return reportProblem(failure, problem);
        }
    }
    return true;
}
#endif
} // namespace

HeldTempFile::~HeldTempFile() {
    if (!gone && fd.isValid() && nameNamesDescriptor(heldFolder->descriptor(), fileName, fd.get()))
        ::unlinkat(heldFolder->descriptor(), fileName.constData(), 0); // still locked
}

bool HeldTempFile::create(FileProblem *problem) {
    const int folder = heldFolder->descriptor();
    // Read and write: the new version can be read back through the same descriptor.
    fd = Descriptor(
        openAt(folder, fileName, O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.isValid()) {
        if (errno != EEXIST)
            reportProblem(problemFromErrno(displayPath()), problem);
        return false;
    }
    if (!lockWithoutWaiting(fd.get()) || !nameNamesDescriptor(folder, fileName, fd.get())) {
        fd.close();
        return false;
    }
    return true;
}

bool HeldTempFile::write(const QByteArray &bytes, FileProblem *problem) {
    if (::ftruncate(fd.get(), 0) != 0)
        return reportProblem(problemFromErrno(displayPath()), problem);
    written = 0;
    return append(bytes, problem);
}

bool HeldTempFile::append(const QByteArray &bytes, FileProblem *problem) {
    if (!writeAllAt(fd.get(), written, bytes.constData(), bytes.size()))
        return reportProblem(problemFromErrno(displayPath()), problem);
    written += bytes.size();
    return true;
}

bool HeldTempFile::readAll(QByteArray *bytes, FileProblem *problem) const {
    FileStatus now;
    if (!status(&now, problem))
        return false;
    bytes->resize(now.size);
    const qint64 read = readAllAt(fd.get(), 0, bytes->data(), now.size);
    if (read < 0)
        return reportProblem(problemFromErrno(displayPath()), problem);
    bytes->resize(read);
    return true;
}

bool HeldTempFile::status(FileStatus *status, FileProblem *problem) const {
    if (statusOfDescriptor(fd.get(), status))
        return true;
    return reportProblem(problemFromErrno(displayPath()), problem);
}

bool HeldTempFile::setTimes(const FileTime &modified, const std::optional<FileTime> &accessed,
                            FileProblem *problem) {
    return setDescriptorFileTimes(fd.get(), modified, accessed, displayPath(), problem);
}

// The permissions come last: changing the owner may clear set-id bits, and with an access list
// the group bits are its mask, which must end as the photo's.
HeldTempFile::Outcome HeldTempFile::carryIdentityOf(const HeldPhoto &photo, FileProblem *problem) {
    FileStatus original, made;
    if (!photo.statusNow(&original, problem) || !status(&made, problem))
        return Outcome::Failed;
    if ((original.owner != made.owner || original.group != made.group) &&
        ::fchown(fd.get(), original.owner, original.group) != 0) {
        FileProblem failure = problemFromErrno(displayPath());
        failure.reason =
            tr("the photo belongs to %1, and a new file made by this user cannot (%2)")
                .arg(ownerAndGroupText(original.owner, original.group), failure.reason);
        reportProblem(failure, problem);
        return Outcome::IdentityNotKept;
    }
#ifdef Q_OS_LINUX
    if (!copyAttributes(photo.descriptor(), fd.get(), displayPath(), problem))
        return Outcome::IdentityNotKept;
#endif
    if (::fchmod(fd.get(), mode_t(original.mode)) != 0) {
        reportProblem(problemFromErrno(displayPath()), problem);
        return Outcome::IdentityNotKept;
    }
    return Outcome::Replaced;
}

bool HeldTempFile::flush(FileProblem *problem) {
    if (::fsync(fd.get()) == 0)
        return true;
    FileProblem failure = problemFromErrno(displayPath());
    failure.reason =
        tr("the rotated file could not be written to the disk (%1)").arg(failure.reason);
    return reportProblem(failure, problem);
}

bool HeldTempFile::renameOver(const HeldPhoto &photo, FileProblem *problem) {
    const int folder = heldFolder->descriptor();
    if (::renameat(folder, fileName.constData(), folder, photo.name().constData()) != 0)
        return reportProblem(problemFromErrno(photo.displayPath()), problem);
    gone = true;
    fd.close(); // the lock goes with it
    return true;
}

bool HeldTempFile::remove(FileProblem *problem) {
    if (gone)
        return true;
    if (fd.isValid() && nameNamesDescriptor(heldFolder->descriptor(), fileName, fd.get()) &&
        ::unlinkat(heldFolder->descriptor(), fileName.constData(), 0) != 0)
        return reportProblem(problemFromErrno(displayPath()), problem);
    gone = true;
    fd.close();
    return true;
}

QStringList removeStaleTempFilesIn(const HeldFolder &folder, QList<FileProblem> *problems) {
    QStringList removed;
    QList<FolderEntry> entries;
    if (!folder.list(&entries, problems))
        return removed;
    for (const FolderEntry &entry : std::as_const(entries)) {
        if (entry.type != FileStatus::Type::RegularFile || !isTempName(entry.name))
            continue;
        const Descriptor stale(openAt(folder.descriptor(), entry.name,
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!stale.isValid()) {
            if (errno != ENOENT)
                problems->append(problemFromErrno(folder.displayPathOf(entry.name)));
            continue;
        }
        if (!lockWithoutWaiting(stale.get()) ||
            !nameNamesDescriptor(folder.descriptor(), entry.name, stale.get()))
            continue; // held by a running Pivotta, or gone
        if (::unlinkat(folder.descriptor(), entry.name.constData(), 0) == 0)
            removed << entry.displayName;
        else
            problems->append(problemFromErrno(folder.displayPathOf(entry.name)));
    }
    return removed;
}

#else // Q_OS_WIN: paths, untested

namespace {
QString windowsPath(const HeldFolder &folder, const QByteArray &name) {
    return QString::fromUtf8(folder.nativePathOf(name));
}

QString systemErrorText() {
    return QString::fromStdString(std::system_category().message(int(GetLastError())));
}
} // namespace

HeldTempFile::~HeldTempFile() {
    if (!gone && file) {
        file->close();
        QFile::remove(windowsPath(*heldFolder, fileName));
    }
}

bool HeldTempFile::create(FileProblem *problem) {
    file = std::make_unique<QFile>(windowsPath(*heldFolder, fileName));
    if (file->open(QIODevice::ReadWrite | QIODevice::NewOnly))
        return true;
    if (!file->exists())
        reportProblem(problemOf(FileProblem::Kind::Other, displayPath(), file->errorString()),
                      problem);
    file.reset();
    return false;
}

bool HeldTempFile::write(const QByteArray &bytes, FileProblem *problem) {
    if (!file->resize(0))
        return reportProblem(
            problemOf(FileProblem::Kind::Other, displayPath(), file->errorString()), problem);
    written = 0;
    return append(bytes, problem);
}

bool HeldTempFile::append(const QByteArray &bytes, FileProblem *problem) {
    if (!file->seek(written) || file->write(bytes) != bytes.size() || !file->flush())
        return reportProblem(
            problemOf(FileProblem::Kind::DiskFull, displayPath(), file->errorString()), problem);
    written += bytes.size();
    return true;
}

bool HeldTempFile::readAll(QByteArray *bytes, FileProblem *problem) const {
    Q_UNUSED(problem)
    file->seek(0);
    *bytes = file->readAll();
    return true;
}

bool HeldTempFile::status(FileStatus *status, FileProblem *problem) const {
    return heldFolder->statusOf(fileName, status, problem);
}

bool HeldTempFile::setTimes(const FileTime &modified, const std::optional<FileTime> &accessed,
                            FileProblem *problem) {
    file->flush();
    return setFileTimesAt(*heldFolder, fileName, modified, accessed, problem);
}

HeldTempFile::Outcome HeldTempFile::carryIdentityOf(const HeldPhoto &photo, FileProblem *problem) {
    Q_UNUSED(photo)
    Q_UNUSED(problem)
    return Outcome::Replaced; // ReplaceFileW keeps the photo's access list, attributes and streams
}

bool HeldTempFile::flush(FileProblem *problem) {
    if (file->flush() && FlushFileBuffers(HANDLE(_get_osfhandle(file->handle()))))
        return true;
    return reportProblem(problemOf(FileProblem::Kind::Other, displayPath(),
                                   tr("the rotated file could not be written to the disk")),
                         problem);
}

bool HeldTempFile::renameOver(const HeldPhoto &photo, FileProblem *problem) {
    file->close(); // ReplaceFileW must be able to move it
    const std::wstring target =
        QDir::toNativeSeparators(windowsPath(*heldFolder, photo.name())).toStdWString();
    const std::wstring source =
        QDir::toNativeSeparators(windowsPath(*heldFolder, fileName)).toStdWString();
    if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr)) {
        gone = true;
        return true;
    }
    return reportProblem(
        problemOf(FileProblem::Kind::Other, photo.displayPath(), systemErrorText()), problem);
}

bool HeldTempFile::remove(FileProblem *problem) {
    if (gone)
        return true;
    file->close();
    if (!QFile::remove(windowsPath(*heldFolder, fileName)))
        return reportProblem(problemOf(FileProblem::Kind::Other, displayPath(), systemErrorText()),
                             problem);
    gone = true;
    return true;
}

QStringList removeStaleTempFilesIn(const HeldFolder &folder, QList<FileProblem> *problems) {
    QStringList removed;
    QList<FolderEntry> entries;
    if (!folder.list(&entries, problems))
        return removed;
    for (const FolderEntry &entry : std::as_const(entries)) {
        // A file that a running Pivotta has open cannot be removed: that is its hold here.
        if (entry.type == FileStatus::Type::RegularFile && isTempName(entry.name) &&
            QFile::remove(windowsPath(folder, entry.name)))
            removed << entry.displayName;
    }
    return removed;
}

#endif
