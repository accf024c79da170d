// Running a check as an unprivileged user.
#include "otheruser.h"

#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr uid_t nobody = 65534;
}

bool OtherUser::isRoot() {
    return ::geteuid() == 0;
}

unsigned OtherUser::userId() {
    return isRoot() ? nobody : ::geteuid();
}

int OtherUser::run(const std::function<int()> &check) {
    if (!isRoot())
        return check();
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(100);
        ::_exit(check());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

QString OtherUser::whyUnreachable(const QString &path) {
    const QByteArray encoded = QFile::encodeName(path);
    // access() searches every folder on the way with the child's own ids.
    const int result = run([encoded] { return ::access(encoded.constData(), F_OK) == 0 ? 0 : 1; });
    if (result == 0)
        return QString();
    return QString("the user %1 cannot reach %2: a folder on its way is closed to others (a "
                   "checkout or temporary folder under /root or a home folder of mode 0700); "
                   "set TMPDIR to a folder others may enter to run this check")
        .arg(userId())
        .arg(path);
}

QString OtherUser::programCopyIn(const QString &program, const QString &folder) {
    const QString copy = folder + "/" + QFileInfo(program).fileName();
    QFile::remove(copy);
    if (!QFile::copy(program, copy))
        return QString();
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                          QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                          QFileDevice::ReadOther | QFileDevice::ExeOther;
    return QFile::setPermissions(copy, everyone) ? copy : QString();
}
