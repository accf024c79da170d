// Checks that only mean something where permission bits and ownership apply (an unreadable
// folder, another owner's photo): run as root, they run in a child process as the user "nobody";
// run as anyone else, in this process.
#pragma once

#include <functional>

namespace OtherUser {

bool isRoot();
// The user id the check runs as.
unsigned userId();
// Runs `check`, which returns 0 when it passed and another number naming what failed. -1 when
// the child could not be run.
int run(const std::function<int()> &check);

} // namespace OtherUser
