// Temporary files beside a photo, the atomic replacement of the photo, and the checks around it.
#include "engine/safereplace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "engine/fileidentity.h"

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
constexpr int keptNameLength = 64;

std::filesystem::path toFilesystemPath(const QString &path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Qt cannot ask the operating system to write a file's data to the disk; without it, a power
// failure right after the rename could leave the photo's name on a file whose data never
// arrived.
bool flushFileToDisk(const QString &path) {
#ifdef Q_OS_WIN
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return flushed;
#else
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (descriptor < 0)
        return false;
    const bool flushed = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return flushed;
#endif
}

constexpr QFileDevice::Permissions anyWriteBit =
    QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
} // namespace

QString siblingTempPath(const QString &photoPath) {
    const QFileInfo photo(photoPath);
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return photo.absolutePath() + "/." + photo.fileName().left(keptNameLength) + ".pivotta-" +
           uuid + ".tmp";
}

QString systemTempCopyPath(const QString &applicationName) {
    QString name = applicationName;
    name.remove(' ');
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return QDir::toNativeSeparators(QDir::tempPath() + "/" + name + "_" + uuid + ".jpg");
}

bool FileState::operator==(const FileState &other) const {
    return exists == other.exists && size == other.size && modified == other.modified &&
           permissions == other.permissions && device == other.device && inode == other.inode &&
           changeTimeNs == other.changeTimeNs;
}

FileState fileStateOf(const QString &path) {
    const QFileInfo info(path);
    FileState state;
    state.exists = info.exists();
    if (state.exists) {
        state.size = info.size();
        state.modified = info.lastModified();
        state.permissions = info.permissions();
        const FileIdentity identity = fileIdentityOf(path);
        state.device = identity.device;
        state.inode = identity.inode;
        state.changeTimeNs = identity.changeTimeNs;
    }
    return state;
}

bool isWritablePhoto(const QFileInfo &photo) {
    return photo.isFile() && photo.isWritable() && (photo.permissions() & anyWriteBit);
}

bool folderAcceptsNewFiles(const QString &folder) {
#ifdef Q_OS_WIN
    Q_UNUSED(folder)
    return true;
#else
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable() && (info.permissions() & anyWriteBit);
#endif
}

namespace {

ReplaceOutcome outcome(ReplaceResult result, const QString &errorText = {}) {
    return {result, errorText};
}

QString photoChangedText() {
    return QCoreApplication::translate("SafeReplace",
                                       "the photo was changed while it was being rotated");
}

// The photo's owner, group, attributes and permissions given to the replacement. The
// permissions come last: changing the owner may clear set-id bits, and with an access list the
// group bits are its mask, which must end as the photo's.
ReplaceOutcome carryIdentity(const QString &replacement, const QString &photo) {
    const FileIdentity identity = fileIdentityOf(photo);
    if (!identity.exists)
        return outcome(ReplaceResult::PhotoChanged, photoChangedText());
    QString error;
    if (!mayGiveOwnership(identity.owner, identity.group)) {
        return outcome(ReplaceResult::IdentityNotKept,
                       QCoreApplication::translate("SafeReplace",
                                                   "the photo belongs to %1, and a new file made "
                                                   "by this user cannot")
                           .arg(ownerAndGroupText(identity.owner, identity.group)));
    }
    if (!carryOwnership(replacement, identity.owner, identity.group, &error) ||
        !copyExtendedAttributes(photo, replacement, &error))
        return outcome(ReplaceResult::IdentityNotKept, error);
    namespace fs = std::filesystem;
    std::error_code failure;
    const fs::perms permissions = fs::status(toFilesystemPath(photo), failure).permissions();
    if (!failure)
        fs::permissions(toFilesystemPath(replacement), permissions, fs::perm_options::replace,
                        failure);
    if (failure)
        return outcome(ReplaceResult::Failed, QString::fromLocal8Bit(failure.message().c_str()));
    return outcome(ReplaceResult::Replaced);
}

bool renameOver(const QString &replacement, const QString &photo, QString *error) {
#ifdef Q_OS_WIN
    // Untested: ReplaceFileW keeps the photo's access list, attributes and alternate streams.
    const std::wstring target = QDir::toNativeSeparators(photo).toStdWString();
    const std::wstring source = QDir::toNativeSeparators(replacement).toStdWString();
    if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
        return true;
    *error = QString::fromStdString(std::system_category().message(int(GetLastError())));
    return false;
#else
    std::error_code failure;
    std::filesystem::rename(toFilesystemPath(replacement), toFilesystemPath(photo), failure);
    if (failure)
        *error = QString::fromLocal8Bit(failure.message().c_str());
    return !failure;
#endif
}

} // namespace

ReplaceOutcome replacePhotoKeepingIdentity(const QString &replacement, const QString &photo,
                                           const FileState &photoStateBefore) {
    if (fileStateOf(photo) != photoStateBefore)
        return outcome(ReplaceResult::PhotoChanged, photoChangedText());
    const ReplaceOutcome carried = carryIdentity(replacement, photo);
    if (carried.result != ReplaceResult::Replaced)
        return carried;
    if (!flushFileToDisk(replacement)) {
        return outcome(ReplaceResult::Failed,
                       QCoreApplication::translate(
                           "SafeReplace", "the rotated file could not be written to the disk"));
    }
    // Checked again as late as possible: an edit made while the result was finished and written
    // must survive. What happens between this check and the rename cannot be seen.
    if (fileStateOf(photo) != photoStateBefore)
        return outcome(ReplaceResult::PhotoChanged, photoChangedText());
    QString error;
    if (!renameOver(replacement, photo, &error))
        return outcome(ReplaceResult::Failed, error);
    flushFolderToDisk(QFileInfo(photo).absolutePath());
    return outcome(ReplaceResult::Replaced);
}
