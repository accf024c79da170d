// The preview dock: a photo picked in the folder tree shown as stored and as oriented, with the
// buttons and actions that open it, rotate it, or step to its neighbours in the tree. The photo
// and its images live in PhotoPreview; rotating and stepping are asked of the window. The photo
// controls work only while a photo is shown, the steps only while a folder is open.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "jpeg/turn.h"

class PhotoPreview;
struct OrientationCheck;
class QAbstractButton;
class QAction;
class QDockWidget;
class QLabel;
class QScrollArea;
class RotationEngine;

class PreviewDock : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QDockWidget *dock;
        QLabel *rawView;      // the photo as stored
        QLabel *orientedView; // the photo as it will look, or a note about it
        QLabel *fileName;
        QScrollArea *fileNameArea;
        QAbstractButton *previous;
        QAbstractButton *next;
        QAbstractButton *openPhoto;
        QAbstractButton *openFolder;
        QAbstractButton *clockwise;
        QAbstractButton *counterclockwise;
        QAbstractButton *autorotate;
        QAbstractButton *refresh;
        QAction *autorotateAction;
        QAction *clockwiseAction;
        QAction *counterclockwiseAction;
        QAction *previousAction;
        QAction *nextAction;
    };

    PreviewDock(const Widgets &widgets, RotationEngine *engine, QObject *parent);

    PhotoPreview *photoPreview() const { return preview; }

public slots:
    // The current folder, which names in the dock are shown relative to. A photo shown from
    // another folder goes.
    void setFolder(const QString &folder);
    // Shows the photo at `path` in the dock, unless it is shown there already; anything but a
    // file empties the dock.
    void showPhoto(const QString &path);
    // Empties the dock: no photo is shown, selected or acted on.
    void clear();
    // Reads the photo at `path` again and shows it (after it was rotated).
    void load(const QString &path);
    // Reads the photo shown again.
    void reload();

signals:
    // The dock is about to be shown for a photo.
    void opening();
    void autorotateRequested(const QString &path);
    void quarterTurnRequested(const QString &path, Turn turn);
    // The entry above (-1) or below (+1) in the folder tree is wanted.
    void stepRequested(int step);
    // The photo about to be shown was read: what its orientation check found, for the panes.
    void photoChecked(const OrientationCheck &check, const QString &path);

private:
    void prepareViews();
    void connectControls();
    void settleLayout();
    bool fitNameLine();
    void showImages();
    void rescaleToViews();
    void openSelected(bool itsFolder);
    void setPhotoControlsEnabled(bool enabled);
    void setStepsEnabled(bool enabled);

    Widgets widgets;
    PhotoPreview *preview = nullptr;
    QString folder;
    QTimer rescale;
};
