// Folder selection: the current folder and the combo box, the recent-folders list, the Browse
// dialog and the folder tree of the left dock.
#include "mainwindow/folderbar.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QTreeView>

#include "presentation/messagetext.h"
#include "engine/photofiles.h"
#include "mainwindow/recentfolders.h"
#include "settings/settings.h"
#include "watcher/folderwatcher.h"

namespace {
constexpr int recentFolderMax = 20;
constexpr Qt::MatchFlags exactText = Qt::MatchExactly | Qt::MatchCaseSensitive;

// The wait cursor for the span of one scope, restored on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};
} // namespace

FolderBar::FolderBar(const Widgets &barWidgets, FolderWatcher *folderWatcher, QWidget *window)
    : QObject(window)
    , widgets(barWidgets)
    , dialogParent(window)
    , watcher(folderWatcher)
    , model(new QFileSystemModel(this)) {
    widgets.tree->setBackgroundRole(QPalette::Button);
    connect(widgets.folders, &QComboBox::currentTextChanged, this, &FolderBar::followComboBox);
    connect(widgets.browse, &QAbstractButton::clicked, this, &FolderBar::browse);
    connect(widgets.browseAction, &QAction::triggered, this, &FolderBar::browse);
    connect(widgets.tree, &QTreeView::clicked, this, &FolderBar::chooseEntry);
    connect(widgets.tree, &QTreeView::activated, this, &FolderBar::chooseEntry);
    connectTreeSwitches();
    fillComboBox();
}

void FolderBar::openFoldersPickedInComboBox() {
    connect(widgets.folders, &QComboBox::currentTextChanged, this, &FolderBar::openFolder);
}

// The combo box shows the current folder; watcher runs rotate it.
void FolderBar::followComboBox(const QString &text) {
    folder = text;
    watcher->setCurrentFolder(text);
    emit currentFolderChanged(text);
}

void FolderBar::fillComboBox() {
    const QStringList items = recentFolderItems(Settings::recentFolderList(), recentFolderMax);
    if (items.isEmpty())
        return;
    widgets.folders->addItem(QString());
    widgets.folders->addItems(items);
}

void FolderBar::addToRecentFolders(const QString &folderPath) {
    Settings::setValue(
        SettingsKey::recentFolderList,
        recentFoldersAfterUse(Settings::recentFolderList(), folderPath, recentFolderMax));
}

void FolderBar::openFolder(const QString &folderPath) {
    const WaitCursor waitCursor;
    if (folderPath.isEmpty() || !QFileInfo(folderPath).isDir()) {
        widgets.treeHelp->show();
        widgets.tree->hide();
        return;
    }
    const QString nativeFolder = QDir::toNativeSeparators(folderPath);
    widgets.folders->setToolTip(nativeFolder);
    addToRecentFolders(folderPath);

    widgets.treeHelp->hide();
    widgets.tree->setEnabled(true);
    widgets.tree->show();
    widgets.treeAction->setEnabled(true);
    emit folderOpened(folderPath);

    makeFolderCurrentInComboBox(nativeFolder);

    if (!watcher->systemWatchedPaths().isEmpty())
        watcher->removeAllWatchPaths();
    watcher->watchFolder(folderPath);

    showFolderInTree(folderPath);
    // The watcher says again what it does, now for this folder.
    watcher->setWatching(watcher->isWatching(), false);
}

// Once folders picked in the combo box are opened, making another item current runs openFolder
// again for the same folder from in here; that nested run finds the item current and goes no
// deeper.
void FolderBar::makeFolderCurrentInComboBox(const QString &nativeFolder) {
    QComboBox *comboBox = widgets.folders;
    if (comboBox->findText(nativeFolder, exactText) < 0)
        comboBox->addItem(nativeFolder);
    comboBox->setCurrentIndex(comboBox->findText(nativeFolder, exactText));
}

void FolderBar::showFolderInTree(const QString &folderPath) {
    if (!model->setRootPath(folderPath).isValid())
        emit message(tr("Could not open folder %1").arg(escapeHtml(folderPath)));
    model->setNameFilters(photoNameFilters());
    model->setNameFilterDisables(true);

    QTreeView *tree = widgets.tree;
    tree->setModel(model);
    for (int column = 1; column <= 3; ++column)
        tree->hideColumn(column);
    const QModelIndex rootIndex = model->index(QDir::cleanPath(folderPath));
    if (rootIndex.isValid())
        tree->setRootIndex(rootIndex);
    tree->setAnimated(false);
    tree->setSortingEnabled(true);
    // The hidden header's initial indicator is descending, which would list the photos Z to A.
    tree->sortByColumn(0, Qt::AscendingOrder);
    tree->setColumnWidth(0, tree->width() / 3);
}

// The caption names the dialog's accept button, so the button is given that name everywhere, not
// only where the system's own folder dialog happens to use it.
void FolderBar::browse() {
    const QString startFolder = folder.isEmpty() ? QDir::currentPath() : folder;
    auto *dialog = new QFileDialog(
        dialogParent,
        tr("Select directory to rotate photos in (Note: JPEG files do not show here, "
           "they will show in the app after clicking 'Select Folder'.)"),
        startFolder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, tr("Select Folder"));
    connect(dialog, &QFileDialog::fileSelected, this, &FolderBar::openChosenFolder);
    dialog->open();
}

void FolderBar::openChosenFolder(const QString &chosenFolder) {
    const QString nativeChoice = QDir::toNativeSeparators(chosenFolder);
    if (nativeChoice.isEmpty() || nativeChoice == folder)
        return;
    openFolder(nativeChoice);
}

void FolderBar::chooseEntry(const QModelIndex &index) {
    chosen = index;
    emit entryChosen(model->filePath(index));
}

// Steps among the entries of the same folder, in the order the tree shows them; there is no
// wrap-around at either end.
void FolderBar::stepInTree(int step) {
    if (!chosen.isValid() || chosen.model() != model)
        return;
    const QModelIndex parent = chosen.parent();
    const int row = chosen.row() + step;
    if (row < 0 || row >= model->rowCount(parent))
        return;
    const QModelIndex neighbour = model->index(row, chosen.column(), parent);
    chosen = neighbour;
    if (widgets.tree->model() == model)
        widgets.tree->setCurrentIndex(neighbour);
    emit entryChosen(model->filePath(neighbour));
}

void FolderBar::showTree() {
    widgets.treeButton->setChecked(true);
    widgets.treeAction->setChecked(true);
    widgets.treeDock->show();
}

// The button, the View menu's action and the dock's own close button agree on whether the tree
// is shown.
void FolderBar::connectTreeSwitches() {
    connect(widgets.treeAction, &QAction::triggered, widgets.treeDock, &QWidget::setVisible);
    connect(widgets.treeButton, &QAbstractButton::clicked, this, [this](bool checked) {
        widgets.treeAction->setChecked(checked);
        widgets.treeDock->setVisible(checked);
    });
    connect(widgets.treeDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        widgets.treeAction->setChecked(visible);
        widgets.treeButton->setChecked(visible);
    });
}
