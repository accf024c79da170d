// The folder watcher: rotates photos that arrive in the current folder.
#include "mainwindow/pivotta.h"

void Pivotta::setWatchFolderSetting(bool, bool) {}
void Pivotta::setWatchFolderSetting(bool checked)
{
    setWatchFolderSetting(checked, false);
}
bool Pivotta::getWatchFolderToggleValue()
{
    return false;
}
void Pivotta::on_horizontalSlider_sliderPressed() {}
void Pivotta::on_horizontalSlider_actionTriggered(int) {}
void Pivotta::filesInserted(QString) {}
void Pivotta::watcherRotateFilesInCurrentDirectory() {}
void Pivotta::addWatchPath(QString) {}
void Pivotta::addWatchSubfolders() {}
void Pivotta::watchFolder(QString) {}
void Pivotta::rewatchCurrentFolder() {}
void Pivotta::removeAllWatchPaths() {}
void Pivotta::turnOffWatchingForManualRotate() {}
