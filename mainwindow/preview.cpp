// Single-photo preview as stored and as oriented, and manual rotation.
#include "mainwindow/pivotta.h"

void Pivotta::rotateSingle(QString, int) {}
void Pivotta::on_tree_clicked(QModelIndex) {}
void Pivotta::on_tree_activated(QModelIndex) {}
void Pivotta::on_autorotateSingleButton_clicked() {}
void Pivotta::on_rotateSingleClockwiseButton_clicked() {}
void Pivotta::on_rotateSingleCounterclockwiseButton_clicked() {}
void Pivotta::on_actionRotate_Clockwise_triggered() {}
void Pivotta::on_actionRotate_Counterclockwise_triggered() {}
void Pivotta::on_refreshButton_clicked() {}
void Pivotta::on_selectPrevious_clicked() {}
void Pivotta::on_selectNext_clicked() {}
void Pivotta::on_actionSelectPrevious_triggered() {}
void Pivotta::on_actionSelectNext_triggered() {}
void Pivotta::on_openSingle_clicked() {}
void Pivotta::on_openSingleFolder_clicked() {}
void Pivotta::preparePreview() {}
void Pivotta::previewFile(QString) {}
void Pivotta::loadPreview(QString, bool) {}
void Pivotta::showPreviewImages(bool) {}
void Pivotta::manualRotate(QString, int) {}
void Pivotta::selectNeighbour(int) {}
