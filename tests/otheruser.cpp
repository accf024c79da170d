// Running a check as an unprivileged user.
#include "otheruser.h"

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
