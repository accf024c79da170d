// File identity and the running user through the operating system's own calls: POSIX here, and
// the Windows side, which is written but untested.
#include "files/fileidentity.h"

#include <QDir>
#include <QFile>

#include <vector>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
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

uint currentUserId() {
#ifdef Q_OS_WIN
    return 0;
#else
    return uint(::geteuid());
#endif
}

QList<uint> currentGroups() {
    QList<uint> groups;
#ifndef Q_OS_WIN
    groups << uint(::getegid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> list(static_cast<size_t>(count));
        const int read = ::getgroups(count, list.data());
        for (int i = 0; i < read; ++i)
            groups << uint(list[size_t(i)]);
    }
#endif
    return groups;
}

bool mayGiveOwnershipAs(uint owner, uint group, uint userId, const QList<uint> &groups) {
    return userId == 0 || (owner == userId && groups.contains(group));
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
