// The single-photo preview: a photo picked in the folder tree shown as stored and as oriented,
// stepping through the tree, opening the photo or its folder, and rotating that one photo by its
// tag or by a quarter turn.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetricsF>
#include <QCoreApplication>
#include <QPixmap>
#include <QTextDocument>

#include "mainwindow/outputtext.h"
#include "mainwindow/previewimage.h"

namespace {
// Tool tips render text that looks like markup as rich text; a path must show as it is.
QString literalToolTip(const QString &text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap) : text;
}
} // namespace

void Pivotta::preparePreview() {
    for (QLabel *view : {ui->rawImage, ui->transformedImage}) {
        view->setBackgroundRole(QPalette::Base);
        view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        view->setAlignment(Qt::AlignCenter);
        view->setScaledContents(false);
    }
    // The oriented view also shows notes about the photo, never markup.
    ui->transformedImage->setWordWrap(true);
    ui->transformedImage->setTextFormat(Qt::PlainText);
}

void Pivotta::on_tree_clicked(QModelIndex index) {
    treeIndex = index;
    previewFile(folderModel->filePath(index));
}

void Pivotta::on_tree_activated(QModelIndex index) {
    on_tree_clicked(index);
}

void Pivotta::previewFile(QString path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        selectedFile.clear();
        return;
    }
    ui->actionRotate_currently_selected_file->setEnabled(true);
    selectedFile = path;
    ui->detailedOutputDock->hide();
    ui->action_Detailed_output->setChecked(false);
    ui->imagedock->show();
    loadPreview(path, true);
}

// Layout changes (a dock just shown, a new name line) take effect at the next layout pass; the
// photo is scaled to the views' size, so that pass is run first.
void Pivotta::settlePreviewLayout() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void Pivotta::loadPreview(QString path, bool showOriented) {
    if (path.isEmpty())
        return;
    // The name line first: its height decides how much room the views get.
    const QString shortPath = pathRelativeToFolder(path);
    ui->previewFileName->setText(escapeHtml(shortPath));
    ui->previewFileName->setToolTip(literalToolTip(shortPath));
    const QFontMetricsF nameMetrics(ui->previewFileName->font());
    ui->previewFileNameScrollArea->setMaximumHeight(int(nameMetrics.lineSpacing() * 1.5));
    settlePreviewLayout();

    const PreviewImage raw = readPreviewImage(path, rawPreviewBounds(ui->rawImage->size()), false);
    rawPreviewImage = raw.image;
    previewDecodeError = raw.error;
    orientedPreviewImage = QImage();

    const int angle = readRotationAngle(path, false);
    previewHasOrientation = angle != 0;
    if (previewHasOrientation && !rawPreviewImage.isNull())
        orientedPreviewImage = readPreviewImage(path, ui->transformedImage->size(), true).image;

    previewedFile = path;
    showPreviewImages(showOriented);
}

void Pivotta::showPreviewImages(bool showOriented) {
    if (rawPreviewImage.isNull()) {
        ui->rawImage->clear();
    } else {
        ui->rawImage->setPixmap(QPixmap::fromImage(rawPreviewImage));
        ui->rawImage->setToolTip(literalToolTip(QDir::toNativeSeparators(previewedFile)));
    }

    ui->transformedImage->clear();
    if (!showOriented) {
        ui->transformedImage->setText("-");
    } else if (!orientedPreviewImage.isNull() && previewHasOrientation) {
        ui->transformedImage->setPixmap(QPixmap::fromImage(orientedPreviewImage));
    } else if (rawPreviewImage.isNull() && !previewDecodeError.isEmpty()) {
        // Whatever its tag says, a photo that cannot be decoded has no preview to show.
        ui->transformedImage->setText(
            tr("This photo could not be decoded for the preview:\n%1").arg(previewDecodeError));
    } else {
        ui->transformedImage->setText(tr("No EXIF orientation metadata in this file to work "
                                         "with.\n\nPhoto may already have been rotated."));
    }
}

void Pivotta::rotateSingle(QString filePath, int orientation) {
    if (!filePath.isEmpty() && QFileInfo(filePath).isFile()) {
        if (orientation == 0) {
            appendOutput(tr("Automatic rotating requires EXIF orientation metadata to be present. "
                            "File %1 contains no such metadata, so Pivotta cannot know which way "
                            "to rotate it.")
                             .arg(fileLink(filePath, false, false)));
            previewFile(filePath);
        } else if (rotationInProgress()) {
            // The running batch may be working on this very photo; two tools must never write
            // the same file at once.
            appendOutput(tr("Photos are being rotated right now. Please try again when that has "
                            "finished."));
        } else {
            manualRunActive = true;
            turnOffWatchingForManualRotate();
            rotatePhoto(filePath, orientation, false);
            loadPreview(filePath, true);
            manualRunActive = false;
        }
    }
    startCloseAfterFinishCountdown();
}

void Pivotta::on_autorotateSingleButton_clicked() {
    const int angle = readRotationAngle(selectedFile, false);
    rotateSingle(selectedFile, angle);
    appendOutput("<br>" + tr("Done."));
}

void Pivotta::manualRotate(QString path, int degrees) {
    rotateSingle(path, degrees);
}

void Pivotta::on_rotateSingleClockwiseButton_clicked() {
    manualRotate(selectedFile, 90);
}

void Pivotta::on_rotateSingleCounterclockwiseButton_clicked() {
    manualRotate(selectedFile, 270);
}

void Pivotta::on_actionRotate_Clockwise_triggered() {
    manualRotate(selectedFile, 90);
}

void Pivotta::on_actionRotate_Counterclockwise_triggered() {
    manualRotate(selectedFile, 270);
}

void Pivotta::on_refreshButton_clicked() {
    loadPreview(previewedFile, true);
}

void Pivotta::on_selectPrevious_clicked() {
    selectNeighbour(-1);
}

void Pivotta::on_selectNext_clicked() {
    selectNeighbour(+1);
}

void Pivotta::on_actionSelectPrevious_triggered() {
    selectNeighbour(-1);
}

void Pivotta::on_actionSelectNext_triggered() {
    selectNeighbour(+1);
}

// Steps to the entry above or below in the tree, among the entries of the same folder, in the
// order the tree shows them; there is no wrap-around at either end.
void Pivotta::selectNeighbour(int step) {
    if (!treeIndex.isValid() || treeIndex.model() != folderModel)
        return;
    const QModelIndex parent = treeIndex.parent();
    const int row = treeIndex.row() + step;
    if (row < 0 || row >= folderModel->rowCount(parent))
        return;
    const QModelIndex neighbour = folderModel->index(row, treeIndex.column(), parent);
    treeIndex = neighbour;
    if (ui->tree->model() == folderModel)
        ui->tree->setCurrentIndex(neighbour);
    previewFile(folderModel->filePath(neighbour));
}

void Pivotta::on_openSingle_clicked() {
    const QFileInfo photo(selectedFile);
    if (selectedFile.isEmpty() || !photo.isFile())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(photo.absoluteFilePath()));
}

void Pivotta::on_openSingleFolder_clicked() {
    const QFileInfo photo(selectedFile);
    if (selectedFile.isEmpty() || !photo.isFile())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(photo.absolutePath()));
}
