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
#include <QTimer>

#include "engine/rotationengine.h"
#include "mainwindow/photopreview.h"
#include "presentation/messagetext.h"
#include "presentation/panewording.h"

namespace {
// Starts a timer whenever the watched widget changes its size.
class ResizeFollower : public QObject {
public:
    ResizeFollower(QObject *parent, QTimer *timer)
        : QObject(parent)
        , settle(timer) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Resize)
            settle->start();
        return QObject::eventFilter(watched, event);
    }

private:
    QTimer *settle;
};

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
        view->installEventFilter(new ResizeFollower(view, &previewRescale));
    }
    // The photo shown is decoded again at the views' new size once a resize has settled (a dock
    // dragged wider, the detailed pane opened beside the preview).
    previewRescale.setSingleShot(true);
    previewRescale.setInterval(150);
    connect(&previewRescale, &QTimer::timeout, this, [this] {
        if (previewer->previewedFile().isEmpty() || ui->imagedock->isHidden())
            return;
        previewer->rescale(ui->rawImage->size(), ui->transformedImage->size());
        showPreviewImages(true);
    });
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
    if (!previewer->select(path))
        return;
    ui->actionRotate_currently_selected_file->setEnabled(true);
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

    previewer->load(path, ui->rawImage->size(), ui->transformedImage->size());
    wording->tellCheck(previewer->orientationCheck(), path, currentFolder());
    showPreviewImages(showOriented);
}

void Pivotta::showPreviewImages(bool showOriented) {
    const QImage raw = previewer->rawImage();
    if (raw.isNull()) {
        ui->rawImage->clear();
    } else {
        ui->rawImage->setPixmap(QPixmap::fromImage(raw));
        ui->rawImage->setToolTip(
            literalToolTip(QDir::toNativeSeparators(previewer->previewedFile())));
    }

    ui->transformedImage->clear();
    if (!showOriented) {
        ui->transformedImage->setText("-");
    } else if (!previewer->orientedImage().isNull() && previewer->hasOrientation()) {
        ui->transformedImage->setPixmap(QPixmap::fromImage(previewer->orientedImage()));
    } else if (raw.isNull() && !previewer->decodeError().isEmpty()) {
        // Whatever its tag says, a photo that cannot be decoded has no preview to show.
        ui->transformedImage->setText(tr("This photo could not be decoded for the preview:\n%1")
                                          .arg(previewer->decodeError()));
    } else {
        ui->transformedImage->setText(tr("No EXIF orientation metadata in this file to work "
                                         "with.\n\nPhoto may already have been rotated."));
    }
}

void Pivotta::rotateSingle(QString filePath, int orientation) {
    rotateSinglePhoto(filePath, turnForAngle(orientation), false);
}

// Turns one photo by `turn`, or as its orientation says when `turn` is None; the preview, the
// countdown and "Done." (when asked for) follow once the rotation has finished.
void Pivotta::rotateSinglePhoto(const QString &filePath, Turn turn, bool sayDoneAfterwards) {
    if (!filePath.isEmpty() && QFileInfo(filePath).isFile()) {
        const bool started = turn == Turn::None
                                 ? engine->rotateByOrientation(filePath, currentFolder())
                                 : engine->rotatePhoto(filePath, turn, currentFolder());
        if (started) {
            singleRotationPath = filePath;
            sayDoneAfterSingle = sayDoneAfterwards;
            return;
        }
    }
    if (sayDoneAfterwards)
        appendOutput("<br>" + tr("Done."));
    startCloseAfterFinishCountdown();
}

void Pivotta::onSinglePhotoFinished(const RunSummary &summary) {
    const QString path = singleRotationPath;
    singleRotationPath.clear();
    // A photo that needed no turn is shown in the preview as it is.
    if (summary.photosToRotate == 0)
        previewFile(path);
    else
        loadPreview(path, true);
    if (sayDoneAfterSingle)
        appendOutput("<br>" + tr("Done."));
    sayDoneAfterSingle = false;
    startCloseAfterFinishCountdown();
}

void Pivotta::on_autorotateSingleButton_clicked() {
    const QString path = previewer->selectedFile();
    rotateSinglePhoto(path, Turn::None, true);
}

void Pivotta::manualRotate(QString path, int degrees) {
    rotateSingle(path, degrees);
}

void Pivotta::on_rotateSingleClockwiseButton_clicked() {
    manualRotate(previewer->selectedFile(), 90);
}

void Pivotta::on_rotateSingleCounterclockwiseButton_clicked() {
    manualRotate(previewer->selectedFile(), 270);
}

void Pivotta::on_actionRotate_Clockwise_triggered() {
    manualRotate(previewer->selectedFile(), 90);
}

void Pivotta::on_actionRotate_Counterclockwise_triggered() {
    manualRotate(previewer->selectedFile(), 270);
}

void Pivotta::on_refreshButton_clicked() {
    loadPreview(previewer->previewedFile(), true);
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
    const QFileInfo photo(previewer->selectedFile());
    if (previewer->selectedFile().isEmpty() || !photo.isFile())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(photo.absoluteFilePath()));
}

void Pivotta::on_openSingleFolder_clicked() {
    const QFileInfo photo(previewer->selectedFile());
    if (previewer->selectedFile().isEmpty() || !photo.isFile())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(photo.absolutePath()));
}
