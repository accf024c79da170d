// Folder selection: the current folder, the recent-folders list and the folder tree.
#include "mainwindow/pivotta.h"

void Pivotta::on_browse_clicked() {}
void Pivotta::directoryComboBox_currentIndexChanged(QString) {}
void Pivotta::on_actionFolderTree_triggered(bool) {}
void Pivotta::on_showTreeButton_clicked(bool) {}
void Pivotta::on_leftdock_visibilityChanged(bool) {}
void Pivotta::openFolder(QString) {}
void Pivotta::addToRecentFolders(QString) {}
void Pivotta::fillFolderComboBox() {}
