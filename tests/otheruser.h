// Checks that only mean something where permission bits and ownership apply (an unreadable
// folder, another owner's photo): run as root, they run in a child process as the user "nobody";
// run as anyone else, in this process.
//
// As root, what the check reaches must be reachable by "nobody": a checkout or a temporary
// folder under a folder closed to others (/root, a home folder of mode 0700) is not. Such a check
// is skipped with the reason (OTHER_USER_MUST_REACH), never failed, and the program it starts is
// a copy in the test's own folder (programCopyIn).
#pragma once

#include <QString>

#include <functional>

namespace OtherUser {

bool isRoot();
// The user id the check runs as.
unsigned userId();
// Runs `check`, which returns 0 when it passed and another number naming what failed. -1 when
// the child could not be run.
int run(const std::function<int()> &check);

// Empty when the user the check runs as can reach `path` (every folder on its way searchable);
// otherwise the reason, for the test's skip message.
QString whyUnreachable(const QString &path);
// A copy of `program` in `folder`, executable by everyone, for a check that starts the program
// as the other user; empty when it could not be made.
QString programCopyIn(const QString &program, const QString &folder);

} // namespace OtherUser

// Skips the running test with the reason when the other user cannot reach `path`.
#define OTHER_USER_MUST_REACH(path)                                                                \
    do {                                                                                           \
        const QString whyUnreachable = OtherUser::whyUnreachable(path);                            \
        if (!whyUnreachable.isEmpty())                                                             \
            QSKIP(qPrintable(whyUnreachable));                                                     \
    } while (false)
