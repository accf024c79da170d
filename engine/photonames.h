// Which files are photos: the name patterns the folder scan, the watcher and the folder tree
// share.
#pragma once

#include <QStringList>

// "*.jpg", "*.jpeg", "*.jfif", "*.jpe", matched in any letter case.
const QStringList &photoNameFilters();
