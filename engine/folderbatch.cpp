// The folder batch: scan the current folder tree and rotate every photo that needs it.
#include "mainwindow/pivotta.h"

#include <QDirIterator>

void Pivotta::rotateFilesInCurrentDirectory(bool, bool) {}

void Pivotta::scanAndRotate(bool) {}

std::unique_ptr<QDirIterator> Pivotta::openFolderIterator()
{
    return nullptr;
}

void Pivotta::finishBatch(bool, int, int) {}

void Pivotta::reportDuration(int, QString, QString, QString) {}
