// The single-photo preview: a photo picked in the folder tree shown as stored and as oriented,
// stepping through the tree, opening the photo or its folder, and asking for that one photo to be
// rotated by its tag or by a quarter turn.
#include "mainwindow/previewdock.h"

#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QUrl>

#include <utility>

#include "mainwindow/pathinput.h"
#include "mainwindow/photopreview.h"
#include "presentation/messagetext.h"

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

// Lays out `root` and everything in it now, parents before children, as the layout requests
// waiting in the event queue would at the next turn of the event loop. A second pass carries
// the size limits that the first pass changed up to the parents.
void settleLayoutsUnder(QWidget *root) {
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (int pass = 0; pass < 2; ++pass) {
        for (QWidget *widget : std::as_const(widgets)) {
            if (widget->layout() && !widget->isHidden())
                widget->layout()->activate();
        }
    }
}

// A view's size in the screen's pixels, so that a photo is decoded as sharp as the screen shows.
QSize devicePixelSize(const QWidget *view) {
    return view->size() * view->devicePixelRatioF();
}

QPixmap pixmapFor(const QWidget *view, const QImage &image) {
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(view->devicePixelRatioF());
    return pixmap;
}
} // namespace

PreviewDock::PreviewDock(const Widgets &dockWidgets, RotationEngine *engine, QObject *parent)
    : QObject(parent)
    , widgets(dockWidgets)
    , preview(new PhotoPreview(engine, this)) {
    prepareViews();
    connectControls();
    setPhotoControlsEnabled(false);
    setStepsEnabled(false);
#ifndef Q_OS_WIN
    widgets.openFolder->setToolTip(tr("Open the folder this photo is in, in the file manager"));
#endif
}

void PreviewDock::prepareViews() {
    for (QLabel *view : {widgets.rawView, widgets.orientedView}) {
        view->setBackgroundRole(QPalette::Base);
        view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        view->setAlignment(Qt::AlignCenter);
        view->setScaledContents(false);
        view->installEventFilter(new ResizeFollower(view, &rescale));
    }
    // The photo shown is decoded again at the views' new size once a resize has settled (a dock
    // dragged wider, the detailed pane opened beside the preview).
    rescale.setSingleShot(true);
    rescale.setInterval(150);
    connect(&rescale, &QTimer::timeout, this, &PreviewDock::rescaleToViews);
    // The oriented view also shows notes about the photo, never markup.
    widgets.orientedView->setWordWrap(true);
    widgets.orientedView->setTextFormat(Qt::PlainText);
}

void PreviewDock::connectControls() {
    const auto requestAutorotate = [this] { emit autorotateRequested(preview->selectedFile()); };
    const auto requestClockwise = [this] {
        emit quarterTurnRequested(preview->selectedFile(), Turn::Rotate90);
    };
    const auto requestCounterclockwise = [this] {
        emit quarterTurnRequested(preview->selectedFile(), Turn::Rotate270);
    };
    connect(widgets.autorotate, &QAbstractButton::clicked, this, requestAutorotate);
    connect(widgets.autorotateAction, &QAction::triggered, this, requestAutorotate);
    connect(widgets.clockwise, &QAbstractButton::clicked, this, requestClockwise);
    connect(widgets.clockwiseAction, &QAction::triggered, this, requestClockwise);
    connect(widgets.counterclockwise, &QAbstractButton::clicked, this, requestCounterclockwise);
    connect(widgets.counterclockwiseAction, &QAction::triggered, this, requestCounterclockwise);

    connect(widgets.previous, &QAbstractButton::clicked, this, [this] { emit stepRequested(-1); });
    connect(widgets.previousAction, &QAction::triggered, this, [this] { emit stepRequested(-1); });
    connect(widgets.next, &QAbstractButton::clicked, this, [this] { emit stepRequested(+1); });
    connect(widgets.nextAction, &QAction::triggered, this, [this] { emit stepRequested(+1); });

    connect(widgets.refresh, &QAbstractButton::clicked, this, &PreviewDock::reload);
    connect(widgets.openPhoto, &QAbstractButton::clicked, this, [this] { openSelected(false); });
    connect(widgets.openFolder, &QAbstractButton::clicked, this, [this] { openSelected(true); });
}

void PreviewDock::setFolder(const QString &currentFolder) {
    folder = currentFolder;
    setStepsEnabled(!folder.isEmpty());
    if (!isInsideFolder(preview->previewedFile(), folder))
        clear();
}

void PreviewDock::showPhoto(const QString &path) {
    const bool shownAlready = !path.isEmpty() && path == preview->previewedFile() &&
                              path == preview->selectedFile() && widgets.dock->isVisible();
    if (!preview->select(path)) {
        clear();
        return;
    }
    if (shownAlready)
        return;
    setPhotoControlsEnabled(true);
    emit opening();
    widgets.dock->show();
    load(path);
}

void PreviewDock::clear() {
    preview->clear();
    setPhotoControlsEnabled(false);
    for (QLabel *label : {widgets.rawView, widgets.orientedView, widgets.fileName}) {
        label->clear();
        label->setToolTip(QString());
    }
}

void PreviewDock::reload() {
    load(preview->previewedFile());
}

void PreviewDock::load(const QString &path) {
    if (path.isEmpty())
        return;
    // The name line first: its height decides how much room the views get. A photo from outside
    // the current folder is named in full.
    const QString shortPath = isInsideFolder(path, folder) ? pathRelativeToFolder(path, folder)
                                                           : QDir::toNativeSeparators(path);
    widgets.fileName->setText(escapeHtml(shortPath));
    widgets.fileName->setToolTip(literalToolTip(shortPath));
    settleLayout();
    if (fitNameLine())
        settleLayout();

    preview->load(path, devicePixelSize(widgets.rawView), devicePixelSize(widgets.orientedView));
    emit photoChecked(preview->orientationCheck(), path);
    showImages();
}

// The name line is one line of text high, with the scroll bar under it when the name is wider
// than the dock. Returns whether its height changed.
bool PreviewDock::fitNameLine() {
    const QFontMetricsF nameMetrics(widgets.fileName->font());
    const bool scrolls =
        widgets.fileName->sizeHint().width() > widgets.fileNameArea->viewport()->width();
    const int scrollBar =
        scrolls ? widgets.fileNameArea->horizontalScrollBar()->sizeHint().height() : 0;
    const int height = int(nameMetrics.lineSpacing() * 1.5) + scrollBar;
    if (widgets.fileNameArea->maximumHeight() == height)
        return false;
    widgets.fileNameArea->setMaximumHeight(height);
    return true;
}

// A dock just shown and a new name line change the views' size at the next layout pass; the
// photo is scaled to that size, so the pass is made now.
void PreviewDock::settleLayout() {
    settleLayoutsUnder(widgets.dock->window());
}

void PreviewDock::rescaleToViews() {
    if (preview->previewedFile().isEmpty() || widgets.dock->isHidden())
        return;
    preview->rescale(devicePixelSize(widgets.rawView), devicePixelSize(widgets.orientedView));
    showImages();
}

void PreviewDock::showImages() {
    const QImage raw = preview->rawImage();
    if (raw.isNull()) {
        widgets.rawView->clear();
    } else {
        widgets.rawView->setPixmap(pixmapFor(widgets.rawView, raw));
        widgets.rawView->setToolTip(
            literalToolTip(QDir::toNativeSeparators(preview->previewedFile())));
    }

    QLabel *oriented = widgets.orientedView;
    oriented->clear();
    if (!preview->orientedImage().isNull() && preview->hasOrientation()) {
        oriented->setPixmap(pixmapFor(oriented, preview->orientedImage()));
    } else if (raw.isNull() && !preview->decodeError().isEmpty()) {
        // Whatever its tag says, a photo that cannot be decoded has no preview to show.
        oriented->setText(
            tr("This photo could not be decoded for the preview:\n%1").arg(preview->decodeError()));
    } else {
        oriented->setText(tr("No EXIF orientation metadata in this file to work "
                             "with.\n\nPhoto may already have been rotated."));
    }
}

// The photo in the default viewer, or its folder in the file manager.
void PreviewDock::openSelected(bool itsFolder) {
    const QFileInfo photo(preview->selectedFile());
    if (preview->selectedFile().isEmpty() || !photo.isFile())
        return;
    const QString target = itsFolder ? photo.absolutePath() : photo.absoluteFilePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(target));
}

void PreviewDock::setPhotoControlsEnabled(bool enabled) {
    for (QAbstractButton *button : {widgets.openPhoto, widgets.openFolder, widgets.clockwise,
                                    widgets.counterclockwise, widgets.autorotate, widgets.refresh})
        button->setEnabled(enabled);
    for (QAction *action :
         {widgets.autorotateAction, widgets.clockwiseAction, widgets.counterclockwiseAction})
        action->setEnabled(enabled);
}

void PreviewDock::setStepsEnabled(bool enabled) {
    for (QAbstractButton *button : {widgets.previous, widgets.next})
        button->setEnabled(enabled);
    for (QAction *action : {widgets.previousAction, widgets.nextAction})
        action->setEnabled(enabled);
}
