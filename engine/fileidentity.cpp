// File identity through the operating system's own calls: POSIX (with Linux extended
// attributes) here, and the Windows side, which is written but untested.
#include "engine/fileidentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <vector>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("FileIdentity", text);
}

bool fail(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}

#ifndef Q_OS_WIN
QByteArray encodedPath(const QString &path) {
    return QFile::encodeName(path);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}
#endif

#ifdef Q_OS_LINUX
std::vector<QByteArray> attributeNames(const QByteArray &path) {
    const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
    if (size <= 0)
        return {};
    QByteArray list(int(size), '\0');
    const ssize_t read = ::listxattr(path.constData(), list.data(), size_t(list.size()));
    std::vector<QByteArray> names;
    for (const QByteArray &name : list.left(int(qMax<ssize_t>(read, 0))).split('\0')) {
        if (!name.isEmpty())
            names.push_back(name);
    }
    return names;
}

bool attributeValue(const QByteArray &path, const QByteArray &name, QByteArray *value) {
    const ssize_t size = ::getxattr(path.constData(), name.constData(), nullptr, 0);
    if (size < 0)
        return false;
    value->resize(int(size));
    return ::getxattr(path.constData(), name.constData(), value->data(), size_t(size)) == size;
}

// Labels that the system gives each file itself (SELinux, capabilities): left as the new file got
// them, not copied and not removed.
bool isSystemLabel(const QByteArray &name) {
    return name.startsWith("security.");
}
#endif

} // namespace

FileIdentity fileIdentityOf(const QString &path) {
    FileIdentity identity;
#ifdef Q_OS_WIN
    // Untested: the volume serial number and file index stand for device and inode, the change
    // time comes from FILE_BASIC_INFO; owner and group are not used on Windows.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandle(handle, &info) &&
        GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        identity.exists = true;
        identity.device = info.dwVolumeSerialNumber;
        identity.inode = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.linkCount = info.nNumberOfLinks;
        identity.changeTimeNs = basic.ChangeTime.QuadPart * 100;
    }
    CloseHandle(handle);
#else
    struct stat info;
    if (::stat(encodedPath(path).constData(), &info) != 0)
        return identity;
    identity.exists = true;
    identity.device = quint64(info.st_dev);
    identity.inode = quint64(info.st_ino);
#ifdef Q_OS_MACOS
    identity.changeTimeNs =
        qint64(info.st_ctimespec.tv_sec) * 1000000000 + info.st_ctimespec.tv_nsec;
#else
    identity.changeTimeNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
#endif
    identity.owner = info.st_uid;
    identity.group = info.st_gid;
    identity.linkCount = quint64(info.st_nlink);
#endif
    return identity;
}

bool mayGiveOwnershipAs(uint owner, uint group, uint userId, const QList<uint> &groups) {
    return userId == 0 || (owner == userId && groups.contains(group));
}

bool mayGiveOwnership(uint owner, uint group) {
#ifdef Q_OS_WIN
    Q_UNUSED(owner)
    Q_UNUSED(group)
    return true; // ReplaceFileW keeps the photo's owner and access list itself
#else
    QList<uint> groups{uint(::getegid())};
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> list(static_cast<size_t>(count));
        const int read = ::getgroups(count, list.data());
        for (int i = 0; i < read; ++i)
            groups << uint(list[size_t(i)]);
    }
    return mayGiveOwnershipAs(owner, group, uint(::geteuid()), groups);
#endif
}

QString ownerAndGroupText(uint owner, uint group) {
    QString ownerName = QString::number(owner);
    QString groupName = QString::number(group);
#ifndef Q_OS_WIN
    std::vector<char> buffer(16384);
    struct passwd user;
    struct passwd *foundUser = nullptr;
    if (::getpwuid_r(owner, &user, buffer.data(), buffer.size(), &foundUser) == 0 && foundUser)
        ownerName = QString::fromLocal8Bit(foundUser->pw_name);
    struct group entry;
    struct group *foundGroup = nullptr;
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &foundGroup) == 0 && foundGroup)
        groupName = QString::fromLocal8Bit(foundGroup->gr_name);
#endif
    return ownerName + ":" + groupName;
}

bool carryOwnership(const QString &path, uint owner, uint group, QString *error) {
#ifdef Q_OS_WIN
    Q_UNUSED(path)
    Q_UNUSED(owner)
    Q_UNUSED(group)
    Q_UNUSED(error)
    return true; // ReplaceFileW keeps the photo's owner and access list itself
#else
    const FileIdentity current = fileIdentityOf(path);
    if (!current.exists)
        return fail(error, tr("the rotated file is gone"));
    if (current.owner == owner && current.group == group)
        return true;
    if (::chown(encodedPath(path).constData(), owner, group) != 0)
        return fail(error, tr("the owner %1 could not be kept: %2")
                               .arg(ownerAndGroupText(owner, group), systemError()));
    return true;
#endif
}

bool copyExtendedAttributes(const QString &from, const QString &to, QString *error) {
#ifdef Q_OS_LINUX
    const QByteArray source = encodedPath(from);
    const QByteArray target = encodedPath(to);
    const std::vector<QByteArray> wanted = attributeNames(source);
    for (const QByteArray &name : attributeNames(target)) {
        // A new file may have got an access list from its folder's default one.
        if (!isSystemLabel(name) && std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
            ::removexattr(target.constData(), name.constData()) != 0)
            return fail(error, tr("the attribute %1 could not be removed from the rotated file: %2")
                                   .arg(QString::fromLatin1(name), systemError()));
    }
    for (const QByteArray &name : wanted) {
        QByteArray value, present;
        if (!attributeValue(source, name, &value))
            return fail(error, tr("the attribute %1 could not be read: %2")
                                   .arg(QString::fromLatin1(name), systemError()));
        if (isSystemLabel(name) && attributeValue(target, name, &present) && present == value)
            continue;
        if (::setxattr(target.constData(), name.constData(), value.constData(),
                       size_t(value.size()), 0) != 0)
            return fail(error, tr("the attribute %1 could not be kept: %2")
                                   .arg(QString::fromLatin1(name), systemError()));
    }
    return true;
#else
    // Windows: ReplaceFileW carries the photo's access list and streams itself (untested).
    // Other systems: not carried.
    Q_UNUSED(from)
    Q_UNUSED(to)
    Q_UNUSED(error)
    return true;
#endif
}

bool flushFolderToDisk(const QString &folder) {
#ifdef Q_OS_WIN
    Q_UNUSED(folder)
    return true; // NTFS journals the rename itself
#else
    const int descriptor = ::open(encodedPath(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0)
        return false;
    const bool flushed = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return flushed;
#endif
}
